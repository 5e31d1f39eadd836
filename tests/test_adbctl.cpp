// adbctl.exe, the console program, run as a script runs it: against the
// simulated phones, its output read from files and pipes (and once from a
// console of its own), JSON parsed by a real parser, exit statuses, bad
// input refused before anything is sent, Ctrl+C in the middle of a batch,
// apps named as the APKs a phone serves name them.
#include <gtest/gtest.h>
#include <windows.h>
#include <nlohmann/json.hpp>
#include <functional>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>
#include "cli/options.h"
#include "appnames/namecache.h"
#include "connect/known.h"
#include "connect/otheradb.h"
#include "text/text.h"
#include "tests/support/child.h"
#include "tests/support/rival.h"
#include "tests/support/testapks.h"
#include "tests/support/uidriver.h"

namespace {

using Json = nlohmann::json;

bool Contains(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

std::wstring Wide(const std::string& gbk) { return cli::Widen(gbk); }

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
}


std::string Profile(const char* name) {
    return test::ReadFileBytes(test::ExeDir() + "\\..\\..\\tests\\profiles\\" + name);
}

// One quick phone of the given serial: a user app, a risky system app, a
// protected one and a plain one.
std::string QuickPhone(const std::string& serial, int api = 34) {
    return "device " + serial + " device product:p model:M_" + serial + " device:d\napi " + std::to_string(api) +
           "\npackage com.user.app enabled third-party\npackage com.android.systemui enabled system protected\n"
           "package com.sys.plain enabled system\npackage com.sys.other enabled system\n";
}
const char kQuick[] = "platform-tools 34.0.5\nconnect-ms 0\ncommand-ms 0\nvm-ms 0\nscript-ms 0\nchange-ms 0\n";

struct Ran {
    DWORD exit = 0xDEAD;
    std::string out, err;   // the bytes written to standard output and standard error
    std::vector<Json> Lines() const {
        std::vector<Json> lines;
        for (const std::string& l : text::SplitLines(out))
            if (!l.empty()) lines.push_back(Json::parse(l));
        return lines;
    }
};

// A scratch folder (with a Chinese name) holding adbctl.exe and the
// simulated adb beside it, as a user unpacks the tool; the phones' state,
// adb's log and the record of actions inside it.
class Ctl : public ::testing::Test {
protected:
    void SetUp() override {
        std::wstring build = Wide(test::ExeDir()) + L"\\..";
        folder_ = Wide(test::ExeDir()) + L"\\adbctl-测试-" +
                  Wide(::testing::UnitTest::GetInstance()->current_test_info()->name());
        CreateDirectoryW(folder_.c_str(), nullptr);
        CreateDirectoryW((folder_ + L"\\adb_1.0.40").c_str(), nullptr);
        ASSERT_TRUE(CopyFileW((build + L"\\adbctl.exe").c_str(), (folder_ + L"\\adbctl.exe").c_str(), FALSE));
        ASSERT_TRUE(CopyFileW((build + L"\\adb_1.0.40\\adb.exe").c_str(), (folder_ + L"\\adb_1.0.40\\adb.exe").c_str(),
                              FALSE));
        DeleteFileW(Log().c_str());
        DeleteFileW(Record().c_str());
        DeleteFileW(Names().c_str());
        SetEnvironmentVariableW(L"ADBSIM_STATE", State().c_str());
        SetEnvironmentVariableW(L"ADBSIM_LOG", Log().c_str());
        SetEnvironmentVariableW(L"ANDROID_SERIAL", nullptr);
    }

    void Phones(const std::string& profile) const { WriteBytes(State(), profile); }
    std::wstring State() const { return folder_ + L"\\adb_1.0.40\\state.txt"; }
    std::wstring Log() const { return folder_ + L"\\adb_1.0.40\\log.txt"; }
    std::wstring Record() const { return folder_ + L"\\记录\\actions.log"; }
    std::string AdbLog() const { return test::ReadFileBytes(Log()); }
    std::string PhoneState() const { return test::ReadFileBytes(State()); }
    std::string RecordText() const { return test::ReadFileBytes(Record()); }

    // Starts adbctl with these arguments (UTF-16 on its command line, as a
    // console passes them), its two streams into files.
    bool Start(const std::string& args, PROCESS_INFORMATION* pi, DWORD flags = 0) const {
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
        HANDLE out = CreateFileW((folder_ + L"\\out.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                 CREATE_ALWAYS, 0, nullptr);
        HANDLE err = CreateFileW((folder_ + L"\\err.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                 CREATE_ALWAYS, 0, nullptr);
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        si.hStdOutput = out;
        si.hStdError = err;
        // Every run that names apps keeps its names in the scratch folder:
        // the window's cache holds whatever other runs on this computer read.
        std::string command = args.substr(0, args.find(' '));
        bool names = command == "list" || command == "disable" || command == "enable" || command == "delete" ||
                     command == "restore" || command == "undo" || command == "record";
        std::string all = args;
        if (names && args.find("--names-file") == std::string::npos) all.insert(command.size(), NamesArg());
        std::wstring line = L"\"" + folder_ + L"\\adbctl.exe\" " + Wide(all);
        BOOL ok = CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, flags, nullptr, folder_.c_str(), &si, pi);
        CloseHandle(out);
        CloseHandle(err);
        return ok != FALSE;
    }

    Ran Finish(PROCESS_INFORMATION& pi) const {
        Ran r;
        if (WaitForSingleObject(pi.hProcess, 120000) == WAIT_OBJECT_0) GetExitCodeProcess(pi.hProcess, &r.exit);
        else TerminateProcess(pi.hProcess, 0xDEAD);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
        r.out = test::ReadFileBytes(folder_ + L"\\out.txt");
        r.err = test::ReadFileBytes(folder_ + L"\\err.txt");
        return r;
    }

    // Arguments in GBK, as the test's own texts are; the record kept in the scratch folder.
    Ran Run(const std::string& args) const {
        PROCESS_INFORMATION pi = {};
        if (!Start(args, &pi)) return Ran();
        return Finish(pi);
    }
    Ran RunRecorded(const std::string& args) const {
        return Run(args + " --record-file \"" + cli::Narrow(Record()) + "\"");
    }
    // The names cache in the scratch folder instead of the window's.
    std::wstring Names() const { return folder_ + L"\\名称.txt"; }
    std::string NamesArg() const { return " --names-file \"" + cli::Narrow(Names()) + "\""; }

    std::wstring folder_;
};

// UTF-8 of a GBK text of the test, as adbctl writes into a file or pipe.
std::string U(const std::string& gbk) { return text::GbkToUtf8(gbk); }

TEST_F(Ctl, DevicesWithTheirHintsAsTextAndJson) {
    Phones(Profile("two-phones.txt"));
    Ran text = Run("devices");
    EXPECT_EQ(text.exit, 0u) << text.err;
    EXPECT_EQ(text.out, U("2A191FDH300ABC\tdevice\tPixel_7\r\n"
                          "R5CT41ABCDE\tunauthorized\t-\t未授权：请在手机上点“允许 USB 调试”（没有弹出时：在开发者选项里点“撤销 USB 调试授权”，再重新插线）\r\n"));
    Ran json = Run("devices --json");
    std::vector<Json> lines = json.Lines();
    ASSERT_EQ(lines.size(), 2u) << json.out;
    EXPECT_EQ(lines[0]["serial"], "2A191FDH300ABC");
    EXPECT_EQ(lines[0]["ready"], true);
    EXPECT_EQ(lines[0]["model"], "Pixel_7");
    EXPECT_EQ(lines[1]["ready"], false);
    EXPECT_EQ(lines[1]["state"], "unauthorized");
    EXPECT_EQ(lines[1]["hint"], U("未授权：请在手机上点“允许 USB 调试”（没有弹出时：在开发者选项里点“撤销 USB 调试授权”，再重新插线）"));

    // No phone at all, and no adb at all: exit 3 and a line saying so.
    Phones(kQuick);
    Ran none = Run("devices");
    EXPECT_EQ(none.exit, 3u);
    EXPECT_EQ(none.out, "");
    EXPECT_TRUE(Contains(none.err, U("没有发现手机"))) << none.err;
    Ran noAdb = Run("devices --adb C:\\nowhere\\adb.exe");
    EXPECT_EQ(noAdb.exit, 3u);
    EXPECT_TRUE(Contains(noAdb.err, U("找不到 C:\\nowhere\\adb.exe"))) << noAdb.err;

    // Without adb_1.0.40 beside it, adbctl takes the adb on PATH, else says where to put one.
    Phones(Profile("two-phones.txt"));
    std::wstring elsewhere = folder_ + L"\\platform-tools";
    CreateDirectoryW(elsewhere.c_str(), nullptr);
    ASSERT_TRUE(MoveFileExW((folder_ + L"\\adb_1.0.40\\adb.exe").c_str(), (elsewhere + L"\\adb.exe").c_str(),
                            MOVEFILE_REPLACE_EXISTING));
    wchar_t path[8192] = L"";
    GetEnvironmentVariableW(L"PATH", path, 8192);
    SetEnvironmentVariableW(L"PATH", (elsewhere + L";" + path).c_str());
    Ran onPath = Run("devices");
    SetEnvironmentVariableW(L"PATH", path);
    Ran nowhere = Run("devices");
    EXPECT_EQ(onPath.exit, 0u) << onPath.err;
    EXPECT_EQ(onPath.out, text.out);
    EXPECT_EQ(nowhere.exit, 3u);
    EXPECT_TRUE(Contains(nowhere.err, U("找不到 adb：请把 platform-tools 里的 adb.exe"))) << nowhere.err;
}

TEST_F(Ctl, AWorkProfileIsTheUserGiven) {
    Phones(Profile("work-profile.txt"));
    Ran apps = Run("list --user 10 --kind user");
    EXPECT_EQ(apps.exit, 0u) << apps.err;
    EXPECT_TRUE(Contains(apps.out, U("com.microsoft.teams\t已启用\t用户"))) << apps.out;
    EXPECT_TRUE(Contains(apps.out, U("com.tencent.mm\t已删除\t用户"))) << "the owner's app only";

    Ran off = RunRecorded("disable com.microsoft.teams --user 10 --json");
    EXPECT_EQ(off.exit, 0u) << off.err;
    std::vector<Json> lines = off.Lines();
    ASSERT_EQ(lines.size(), 1u) << off.out;
    EXPECT_EQ(lines[0]["outcome"], "done");
    EXPECT_TRUE(Contains(PhoneState(), "com.microsoft.teams uninstalled third-party uid=10203 u10=disabled-user"))
        << PhoneState();
    EXPECT_EQ(text::SplitLines(RunRecorded("record --user 10").out).size(), 1u);
    EXPECT_EQ(RunRecorded("record").out, "") << "user 0 has no history";
}

TEST_F(Ctl, ListOnePhoneOrEveryPhoneFilteredAsTextAndJson) {
    Phones(Profile("phone-shelf.txt"));
    // Three ready phones: a command for one must say which.
    Ran which = Run("list");
    EXPECT_EQ(which.exit, 2u);
    EXPECT_TRUE(Contains(which.err, U("连接了 3 台手机"))) << which.err;
    EXPECT_EQ(which.out, "");

    // A phone named that is not ready, or not there: what to do, status 3.
    Ran offline = Run("list --device 0123456789ABCDEF");
    EXPECT_EQ(offline.exit, 3u);
    EXPECT_TRUE(Contains(offline.err, U("0123456789ABCDEF（离线："))) << offline.err;
    Ran missing = Run("disable com.x --device NOPE");
    EXPECT_EQ(missing.exit, 3u);
    EXPECT_TRUE(Contains(missing.err, U("没有找到序列号为“NOPE”的手机"))) << missing.err;
    EXPECT_FALSE(Contains(AdbLog(), "shell"));

    Ran user = Run("list --device R58M30XYZ --kind user");
    EXPECT_EQ(user.exit, 0u) << user.err;
    ASSERT_EQ(text::SplitLines(user.out).size(), 1u) << user.out;
    EXPECT_EQ(user.out.substr(0, user.out.find("\t/")), U("com.tencent.mm\t已启用\t用户"));

    // ANDROID_SERIAL chooses as --device does.
    SetEnvironmentVariableW(L"ANDROID_SERIAL", L"7HX0219C00");
    Ran env = Run("list --state disabled");
    SetEnvironmentVariableW(L"ANDROID_SERIAL", nullptr);
    EXPECT_EQ(env.exit, 0u) << env.err;
    EXPECT_TRUE(Contains(env.out, U("com.google.android.youtube\t已禁用\t系统\t"))) << env.out;
    EXPECT_EQ(text::SplitLines(env.out).size(), 1u) << env.out;

    // Every phone: lines prefixed with the phone; the offline one named with its hint.
    Ran all = Run("list --all --filter FACEBOOK");
    EXPECT_EQ(all.exit, 0u) << all.err;
    std::vector<std::string> lines = text::SplitLines(all.out);
    ASSERT_EQ(lines.size(), 3u) << all.out;
    EXPECT_EQ(lines[0].substr(0, 13), "[9A1B2C3D4E] ");
    EXPECT_EQ(lines[1].substr(0, 12), "[R58M30XYZ] ");
    EXPECT_EQ(lines[2].substr(0, 13), "[7HX0219C00] ");
    EXPECT_TRUE(Contains(all.err, U("0123456789ABCDEF（离线"))) << all.err;

    Ran json = Run("list --all --json --filter android.");
    std::vector<Json> objects = json.Lines();
    ASSERT_FALSE(objects.empty()) << json.out;
    size_t risky = 0;
    for (const Json& j : objects) {
        EXPECT_TRUE(j["device"] == "9A1B2C3D4E" || j["device"] == "R58M30XYZ" || j["device"] == "7HX0219C00") << j;
        EXPECT_TRUE(j["state"] == "enabled" || j["state"] == "disabled" || j["state"] == "deleted") << j;
        EXPECT_TRUE(j["kind"] == "system" || j["kind"] == "user") << j;
        EXPECT_TRUE(j["path"].is_string());
        if (j["package"] == "com.android.systemui") {
            risky++;
            EXPECT_TRUE(Contains(j["risk"].get<std::string>(), U("系统界面"))) << j;
        }
    }
    EXPECT_EQ(risky, 3u);
}

// A list file in a folder with a Chinese name, as Notepad saves it (UTF-8
// with a mark), with a comment, pm's own line form, a risky package and a
// hostile line; run on every phone at once.
TEST_F(Ctl, AListOnEveryPhoneRiskyOnesNeedYesHostileLinesNeverSent) {
    Phones(Profile("phone-shelf.txt"));
    CreateDirectoryW((folder_ + L"\\清单").c_str(), nullptr);
    std::wstring list = folder_ + L"\\清单\\精简列表.txt";
    WriteBytes(list, "\xEF\xBB\xBF# " + U("精简") + "\r\ncom.google.android.youtube\r\npackage:com.facebook.katana\r\n"
                     "com.android.systemui\r\ncom.x;reboot\r\ncom.google.android.videos\r\n");
    Ran r = RunRecorded("disable --all --json --from \"" + cli::Narrow(list) + "\"");
    EXPECT_EQ(r.exit, 1u) << r.err;
    std::vector<Json> lines = r.Lines();
    ASSERT_EQ(lines.size(), 1u + 3 * 4) << r.out;
    EXPECT_EQ(lines[0]["line"], 5);
    EXPECT_EQ(lines[0]["outcome"], "bad-name");
    EXPECT_TRUE(Contains(lines[0]["message"].get<std::string>(), U("“;”"))) << lines[0];
    std::map<std::string, std::string> got;
    for (size_t i = 1; i < lines.size(); i++) {
        const Json& j = lines[i];
        EXPECT_EQ(j["action"], "disable");
        got[j["device"].get<std::string>() + " " + j["package"].get<std::string>()] =
            j["outcome"].get<std::string>() + (j["ok"] == true ? " ok" : "");
    }
    std::map<std::string, std::string> want = {
        {"9A1B2C3D4E com.google.android.youtube", "done ok"},
        {"9A1B2C3D4E com.facebook.katana", "done ok"},
        {"9A1B2C3D4E com.android.systemui", "not-confirmed"},
        {"9A1B2C3D4E com.google.android.videos", "done ok"},
        {"R58M30XYZ com.google.android.youtube", "done ok"},
        {"R58M30XYZ com.facebook.katana", "done ok"},
        {"R58M30XYZ com.android.systemui", "not-confirmed"},
        {"R58M30XYZ com.google.android.videos", "unknown"},
        {"7HX0219C00 com.google.android.youtube", "already ok"},
        {"7HX0219C00 com.facebook.katana", "done ok"},
        {"7HX0219C00 com.android.systemui", "not-confirmed"},
        {"7HX0219C00 com.google.android.videos", "done ok"},
    };
    EXPECT_EQ(got, want);
    EXPECT_TRUE(Contains(lines[3]["message"].get<std::string>(), U("系统界面"))) << lines[3];
    EXPECT_TRUE(Contains(lines[3]["message"].get<std::string>(), "--yes")) << lines[3];
    std::string sent = AdbLog();
    EXPECT_FALSE(Contains(sent, "systemui")) << "refused without --yes";
    EXPECT_FALSE(Contains(sent, "reboot"));
    size_t intents = 0, outcomes = 0;
    for (const std::string& line : text::SplitLines(RecordText())) (Contains(line, "\tintent\t") ? intents : outcomes)++;
    EXPECT_EQ(outcomes, 9u) << RecordText();
    EXPECT_EQ(intents, 9u) << "each package's intent before its batch was sent";

    // With --yes the phone itself answers: a protected package.
    Ran yes = RunRecorded("disable com.android.systemui --device R58M30XYZ --yes");
    EXPECT_EQ(yes.exit, 1u);
    EXPECT_EQ(yes.out, U("com.android.systemui：失败，系统不允许禁用受保护的应用\r\n"));
}

// Waits for the copies of user apps (undo brings back the deleted user app
// only by installing the copies made before the delete): until then disabled.
TEST_F(Ctl, DeleteUndoAndTheRecordNewestFirst) {
    Phones(std::string(kQuick) + QuickPhone("ONE"));
    // A user app is not deleted without --yes; a dry run sends no action.
    Ran dry = RunRecorded("delete com.user.app com.sys.plain --dry-run");
    EXPECT_EQ(dry.exit, 1u);
    EXPECT_EQ(dry.out, U("com.user.app：没有删除：这是用户自己安装的应用，删除会连安装包一起删掉；加 --yes 会先把安装包复制到电脑"
                         "（restore 和 undo 用它重新安装），复制不成功的不删除\r\n"
                         "com.sys.plain：将发送：cmd package uninstall -k --user 0 com.sys.plain\r\n"));
    EXPECT_FALSE(Contains(AdbLog(), " uninstall "));
    EXPECT_EQ(RecordText(), "");

    Ran del = RunRecorded("delete com.user.app com.sys.plain --yes");
    EXPECT_EQ(del.exit, 0u) << del.err;
    EXPECT_EQ(del.out, U("com.user.app：已删除\r\ncom.sys.plain：已删除\r\n"));
    // Deleting again is "already so", and the status says done.
    Ran again = RunRecorded("delete com.sys.plain");
    EXPECT_EQ(again.exit, 0u) << again.out;
    EXPECT_EQ(again.out, U("com.sys.plain：本来就是删除状态，没有改动\r\n"));
    Ran off = RunRecorded("disable com.sys.other");
    EXPECT_EQ(off.exit, 0u);

    Ran undo = RunRecorded("undo --json");
    EXPECT_EQ(undo.exit, 0u) << undo.err;
    // Restore what was deleted, then enable what was enabled before the tool.
    std::vector<Json> steps = undo.Lines();
    ASSERT_EQ(steps.size(), 5u) << undo.out;
    std::vector<std::string> order;
    for (const Json& j : steps) {
        order.push_back(j["action"].get<std::string>() + " " + j["package"].get<std::string>());
        EXPECT_EQ(j["ok"], true) << j;
    }
    EXPECT_EQ(order, (std::vector<std::string>{"restore com.sys.plain", "restore com.user.app", "enable com.sys.other",
                                               "enable com.sys.plain", "enable com.user.app"}));
    std::string phone = PhoneState();
    for (const char* p : {"com.user.app", "com.sys.plain", "com.sys.other"})
        EXPECT_TRUE(Contains(phone, std::string("package ") + p + " enabled")) << p << "\n" << phone;
    Ran nothing = RunRecorded("undo");
    EXPECT_EQ(nothing.exit, 0u);
    EXPECT_EQ(nothing.out, "");
    EXPECT_TRUE(Contains(nothing.err, U("没有需要撤销的操作")));

    Ran record = RunRecorded("record --json");
    EXPECT_EQ(record.exit, 0u) << record.err;
    std::vector<Json> history = record.Lines();
    ASSERT_GE(history.size(), 9u) << record.out;
    EXPECT_EQ(history.front()["action"], "enable");
    const Json& first = history.back();
    EXPECT_EQ(first["action"], "delete");
    EXPECT_EQ(first["package"], "com.user.app");
    EXPECT_EQ(first["device"], "ONE");
    EXPECT_EQ(first["model"], "M_ONE");
    EXPECT_EQ(first["before"], "enabled");
    // Told which phone, the record needs no adb at all.
    DeleteFileW(Log().c_str());
    Ran offline = RunRecorded("record --device ONE --adb C:\\nowhere\\adb.exe");
    EXPECT_EQ(offline.exit, 0u) << offline.err;
    EXPECT_EQ(text::SplitLines(offline.out).size(), history.size());
    EXPECT_TRUE(Contains(offline.out, U("\tcom.user.app\t删除\t已删除"))) << offline.out;
    EXPECT_EQ(AdbLog(), "");
}

// Bad input: one line on standard error naming what is wrong, status 2,
// and adb never started.
TEST_F(Ctl, BadInputIsRefusedBeforeAnythingRuns) {
    Phones(std::string(kQuick) + QuickPhone("ONE"));
    struct Case {
        const char* args;
        const char* says;
    } cases[] = {
        {"frobnicate", "不认识的命令“frobnicate”"},
        {"list --colour", "不认识的选项“--colour”"},
        {"disable com.x --state enabled", "选项 --state 不能用于这个命令"},
        {"disable \"com.x&calc\"", "com.x&calc：包名含有不允许的字符“&”"},
        {"enable com.ok 中文.名字", "包名含有不允许的字符“中”"},
        {"disable", "没有给出包名"},
        {"list --user ten", "--user 需要一个非负整数"},
        {"list --state frozen", "--state 只能是 enabled、disabled 或 deleted"},
        {"list --device ONE --all", "--device 和 --all 只能用一个"},
        {"devices extra", "这个命令不带参数"},
        {"list --device", "选项 --device 后面缺少它的值"},
        {"disable --from C:\\nowhere\\list.txt", "C:\\nowhere\\list.txt：无法打开文件"},
    };
    for (const Case& c : cases) {
        Ran r = Run(c.args);
        EXPECT_EQ(r.exit, 2u) << c.args;
        EXPECT_EQ(r.out, "") << c.args;
        EXPECT_TRUE(Contains(r.err, U(c.says))) << c.args << "\n" << r.err;
        EXPECT_EQ(text::SplitLines(r.err).size(), 1u) << c.args << "\n" << r.err;
    }
    EXPECT_EQ(AdbLog(), "");

    Ran help = Run("--help");
    EXPECT_EQ(help.exit, 0u);
    for (const char* part :
         {"退出码", "  0  ", "  1  ", "  2  ", "  3  ", "  4  ", "--dry-run", "--json", "--no-names", "label"})
        EXPECT_TRUE(Contains(help.out, U(part))) << part;
    EXPECT_EQ(Run("disable com.x --help").out, help.out);
    EXPECT_EQ(Run("--version").out, "adbctl 1.0\r\n");
}

// The options as the parser reads them: "--name=value", options anywhere,
// and "--" before names that look like options.
TEST(CtlOptions, SpellingsTheParserAccepts) {
    cli::Options o;
    std::string error;
    ASSERT_TRUE(cli::ParseArguments({L"--json", L"disable", L"com.a", L"--user=10", L"com.b", L"--yes"}, &o, &error))
        << error;
    EXPECT_EQ(o.command, cli::Command::Disable);
    EXPECT_EQ(o.names, (std::vector<std::string>{"com.a", "com.b"}));
    EXPECT_EQ(o.user, 10);
    EXPECT_TRUE(o.json && o.yes && !o.dryRun);
    EXPECT_FALSE(cli::ParseArguments({L"disable", L"--", L"--yes"}, &o, &error)) << "a name after --";
    EXPECT_TRUE(Contains(error, "“-”")) << error;
    ASSERT_TRUE(cli::ParseArguments({L"record", L"--device", L"--odd-serial"}, &o, &error)) << error;
    EXPECT_EQ(o.device, "--odd-serial");
    ASSERT_TRUE(cli::ParseArguments({}, &o, &error));
    EXPECT_EQ(o.command, cli::Command::Help);
}

// Standard output into a pipe: UTF-8 (or GBK with --ansi), closed when
// adbctl ends even though an adb server it started lives on.
TEST_F(Ctl, IntoAPipeUtf8OrAnsiAndNoServerKeepsItOpen) {
    const DWORD kServerMs = 15000;
    const std::string phones = std::string(kQuick) + "daemon " + std::to_string(kServerMs) + "\n" + QuickPhone("ONE");
    Phones(phones);
    for (bool ansi : {false, true}) {
        DWORD started = GetTickCount();
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
        HANDLE readEnd = nullptr, writeEnd = nullptr;
        ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, &inherit, 0));
        SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = writeEnd;
        si.hStdError = writeEnd;
        std::wstring line = L"\"" + folder_ + L"\\adbctl.exe\" disable com.user.app" + (ansi ? L" --ansi" : L"");
        PROCESS_INFORMATION pi = {};
        ASSERT_TRUE(CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, folder_.c_str(), &si, &pi));
        CloseHandle(writeEnd);
        std::string out;
        char buf[4096];
        DWORD got = 0;
        while (ReadFile(readEnd, buf, sizeof buf, &got, nullptr) && got > 0) out.append(buf, got);
        // The end of the pipe is adbctl's end, not its servers'.
        EXPECT_LT(GetTickCount() - started, kServerMs);
        EXPECT_EQ(WaitForSingleObject(pi.hProcess, 30000), WAIT_OBJECT_0);
        CloseHandle(readEnd);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
        std::string want = ansi ? std::string("com.user.app：已禁用\r\n") : U("com.user.app：已禁用\r\n");
        EXPECT_TRUE(Contains(out, want)) << (ansi ? "--ansi " : "") << out;
        EXPECT_FALSE(Contains(out, "[1/1]")) << "no progress into a pipe";
        Phones(phones);
    }
}

BOOL WINAPI Swallow(DWORD) { return TRUE; }

// A console for the test process, its standard handles left where they were
// (the test's output goes on into its file). It stays until the process ends.
bool OwnConsole() {
    if (GetConsoleWindow()) return true;
    HANDLE streams[3] = {GetStdHandle(STD_INPUT_HANDLE), GetStdHandle(STD_OUTPUT_HANDLE), GetStdHandle(STD_ERROR_HANDLE)};
    FreeConsole();
    if (!AllocConsole()) return false;
    SetStdHandle(STD_INPUT_HANDLE, streams[0]);
    SetStdHandle(STD_OUTPUT_HANDLE, streams[1]);
    SetStdHandle(STD_ERROR_HANDLE, streams[2]);
    return true;
}

// The screen of the test's console, line by line; a double-width
// character may fill two cells, and counts once.
std::wstring ConsoleText() {
    HANDLE out = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    GetConsoleScreenBufferInfo(out, &info);
    std::wstring text;
    for (SHORT y = 0; y <= info.dwCursorPosition.Y; y++) {
        std::wstring row(static_cast<size_t>(info.dwSize.X), L' ');
        DWORD got = 0;
        ReadConsoleOutputCharacterW(out, &row[0], static_cast<DWORD>(row.size()), COORD{0, y}, &got);
        row.resize(got);
        std::wstring once;
        for (wchar_t c : row)
            if (c < 0x1100 || once.empty() || once.back() != c) once += c;
        text += once.substr(0, once.find_last_not_of(L' ') + 1) + L"\n";
    }
    CloseHandle(out);
    return text;
}

// adbctl with the test's console as both its streams, on an empty screen
// with the cursor home, in a code page that has no Chinese (the console's
// own comes back at the end).
class InConsole {
public:
    InConsole() {
        out_ = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
        CONSOLE_SCREEN_BUFFER_INFO info = {};
        GetConsoleScreenBufferInfo(out_, &info);
        DWORD written = 0;
        FillConsoleOutputCharacterW(out_, L' ', static_cast<DWORD>(info.dwSize.X * info.dwSize.Y), COORD{0, 0},
                                    &written);
        SetConsoleCursorPosition(out_, COORD{0, 0});
        codePage_ = GetConsoleOutputCP();
        SetConsoleOutputCP(437);
    }
    ~InConsole() {
        SetConsoleOutputCP(codePage_);
        CloseHandle(out_);
    }
    InConsole(const InConsole&) = delete;
    InConsole& operator=(const InConsole&) = delete;

    bool Start(const std::wstring& folder, const std::string& args, PROCESS_INFORMATION* pi) const {
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
        HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     &inherit, OPEN_EXISTING, 0, nullptr);
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = console;
        si.hStdError = console;
        std::wstring line = L"\"" + folder + L"\\adbctl.exe\" " + Wide(args);
        BOOL ok = CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, folder.c_str(), &si, pi);
        CloseHandle(console);
        return ok != FALSE;
    }

    // Waits for it; its exit status.
    static DWORD Finish(PROCESS_INFORMATION& pi) {
        DWORD exit = 0xDEAD;
        if (WaitForSingleObject(pi.hProcess, 60000) == WAIT_OBJECT_0) GetExitCodeProcess(pi.hProcess, &exit);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
        return exit;
    }

private:
    HANDLE out_ = nullptr;
    UINT codePage_ = 0;
};

TEST_F(Ctl, IntoAConsoleInUnicodeWhateverItsCodePage) {
    Phones(std::string(kQuick) + QuickPhone("ONE"));
    ASSERT_TRUE(OwnConsole());
    InConsole console;
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(console.Start(folder_, "disable com.user.app com.nope" + NamesArg(), &pi));
    DWORD exit = console.Finish(pi);
    std::wstring text = ConsoleText();
    EXPECT_EQ(exit, 1u);
    // The progress line was there and has been wiped; the data stays.
    EXPECT_EQ(text, L"com.user.app\uFF1A\u5DF2\u7981\u7528\n"
                    L"com.nope\uFF1A\u5931\u8D25\uFF0C\u624B\u673A\u4E0A\u6CA1\u6709\u8FD9\u4E2A\u5E94\u7528\n\n")
        << cli::Narrow(text);
}

// A slow phone with ten user apps: each change takes 400 ms, so a Ctrl+C
// sent when the first has changed lands seconds before the batch could end.
constexpr int kSlowApps = 10;
std::string SlowPhone() {
    std::string p = "platform-tools 34.0.5\nconnect-ms 0\ncommand-ms 0\nchange-ms 400\n"
                    "device SLOW1 device model:Slow\napi 34\n";
    for (int i = 0; i < kSlowApps; i++) p += "package com.p" + std::to_string(i) + " enabled third-party\n";
    return p;
}

TEST_F(Ctl, CtrlCStopsAfterThePackageInProgressAndTheRecordMatchesThePhone) {
    Phones(SlowPhone());
    // The test shares a console of its own with adbctl, and its handler
    // lets Ctrl+C pass it by. (Ignoring Ctrl+C instead would pass the
    // ignoring on to adbctl, and under Wine adbctl cannot take it back.)
    // Wine allocates a console only after a FreeConsole.
    ASSERT_TRUE(OwnConsole());
    SetConsoleCtrlHandler(Swallow, TRUE);
    PROCESS_INFORMATION pi = {};
    std::string names;
    for (int i = 0; i < kSlowApps; i++) names += " com.p" + std::to_string(i);
    ASSERT_TRUE(Start("disable" + names + " --record-file \"" + cli::Narrow(Record()) + "\"", &pi));
    // Once the phone has the first package changed, the batch is running.
    DWORD start = GetTickCount();
    while (!Contains(PhoneState(), "com.p0 disabled-user") && GetTickCount() - start < 60000) Sleep(10);
    EXPECT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) << GetLastError();
    Ran r = Finish(pi);
    SetConsoleCtrlHandler(Swallow, FALSE);
    EXPECT_EQ(r.exit, 4u) << r.err;
    EXPECT_TRUE(Contains(r.err, U("已取消"))) << r.err;

    // Every package has its line, and each line, each record line and the
    // phone agree; the phone was left before the end of the list.
    std::string phone = PhoneState();
    std::vector<std::string> lines = text::SplitLines(r.out);
    ASSERT_GE(lines.size(), size_t(kSlowApps)) << r.out;
    EXPECT_EQ(lines[0], U("com.p0：已禁用"));
    size_t done = 0;
    for (int i = 0; i < kSlowApps; i++) {
        std::string name = "com.p" + std::to_string(i);
        bool disabled = Contains(phone, name + " disabled-user");
        done += disabled;
        EXPECT_EQ(lines[i], U(name + (disabled ? "：已禁用" : "：已取消，没有禁用")));
    }
    EXPECT_LT(done, size_t(kSlowApps)) << "stopped before the end";
    // Every intent is settled, by the package's end or by the read back.
    std::vector<std::string> record = text::SplitLines(RecordText());
    std::set<std::string> settled;
    for (const std::string& line : record) {
        size_t name = line.find("com.p");
        ASSERT_NE(name, std::string::npos) << line;
        std::string package = line.substr(name, 6);
        if (Contains(line, "\tintent\t")) continue;
        settled.insert(package);
        EXPECT_EQ(Contains(line, "\tdone"), Contains(phone, package + " disabled-user")) << line;
    }
    EXPECT_EQ(settled.size(), size_t(kSlowApps)) << RecordText();
}


// Ctrl+C while adb lists the phones, and while the record is printed; a
// second Ctrl+C during a batch ends adbctl at once, its adb client with it.
TEST_F(Ctl, CtrlCWorksInEveryCommandAndASecondOneEndsAtOnce) {
    ASSERT_TRUE(OwnConsole());
    SetConsoleCtrlHandler(Swallow, TRUE);
    auto pressAfter = [&](const std::string& args, const std::function<bool()>& ready) {
        PROCESS_INFORMATION pi = {};
        EXPECT_TRUE(Start(args, &pi));
        DWORD start = GetTickCount();
        while (!ready() && GetTickCount() - start < 30000) Sleep(10);
        EXPECT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) << GetLastError();
        DWORD pressed = GetTickCount();
        Ran r = Finish(pi);
        return std::make_pair(r, GetTickCount() - pressed);
    };
    // adb takes seconds to list the phones.
    Phones("platform-tools 34.0.5\ndelay 8000\n" + QuickPhone("ONE"));
    auto devices = pressAfter("devices", [&] { return Contains(AdbLog(), "devices"); });
    EXPECT_EQ(devices.first.exit, 4u) << devices.first.err;
    EXPECT_LT(devices.second, 5000u) << "not after adb's answer";

    // The second Ctrl+C while a package takes seconds on the phone.
    std::string slow = "platform-tools 34.0.5\nconnect-ms 0\ncommand-ms 0\nchange-ms 6000\n"
                       "device SLOW1 device model:Slow\napi 34\npackage com.s0 enabled third-party\n"
                       "package com.s1 enabled third-party\n";
    Phones(slow);
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(Start("disable com.s0 com.s1 --record-file \"" + cli::Narrow(Record()) + "\"", &pi));
    DWORD start = GetTickCount();
    while (!Contains(AdbLog(), "disable-user") && GetTickCount() - start < 30000) Sleep(10);
    Sleep(200);   // the script is on the phone, its first package in progress
    EXPECT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0));
    Sleep(200);
    EXPECT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0));
    DWORD pressed = GetTickCount();
    Ran twice = Finish(pi);
    EXPECT_EQ(twice.exit, 4u) << twice.err;
    EXPECT_LT(GetTickCount() - pressed, 3000u) << "the second Ctrl+C does not wait for the package in progress";
    EXPECT_TRUE(Contains(RecordText(), "\tintent\t")) << "the intents tell the next read what was asked";
    SetConsoleCtrlHandler(Swallow, FALSE);
}

// Ctrl+C on a phone that goes on with the list after its client is gone:
// adbctl undo reads the phone first, settles what the record left open, and
// brings every package back.
TEST_F(Ctl, CtrlCOnAPhoneThatGoesOnIsUndoneWhole) {
    std::string p = "platform-tools 34.0.5\nconnect-ms 0\ncommand-ms 0\nchange-ms 300\nkeeps-going\n"
                    "device GO1 device model:Going\napi 34\n";
    std::string names;
    for (int i = 0; i < kSlowApps; i++) {
        p += "package com.g" + std::to_string(i) + " enabled third-party\n";
        names += " com.g" + std::to_string(i);
    }
    Phones(p);
    ASSERT_TRUE(OwnConsole());
    SetConsoleCtrlHandler(Swallow, TRUE);
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(Start("disable" + names + " --record-file \"" + cli::Narrow(Record()) + "\"", &pi));
    DWORD start = GetTickCount();
    while (!Contains(PhoneState(), "com.g0 disabled-user") && GetTickCount() - start < 60000) Sleep(10);
    EXPECT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0));
    Ran r = Finish(pi);
    SetConsoleCtrlHandler(Swallow, FALSE);
    EXPECT_EQ(r.exit, 4u) << r.err;
    auto disabled = [&] {
        size_t n = 0;
        for (int i = 0; i < kSlowApps; i++) n += Contains(PhoneState(), "com.g" + std::to_string(i) + " disabled-user");
        return n;
    };
    start = GetTickCount();
    while (disabled() < size_t(kSlowApps) && GetTickCount() - start < 60000) Sleep(50);
    ASSERT_EQ(disabled(), size_t(kSlowApps)) << "the phone finished the list on its own";

    Ran undo = RunRecorded("undo");
    EXPECT_EQ(undo.exit, 0u) << undo.out << undo.err;
    EXPECT_EQ(disabled(), 0u) << undo.out;
    EXPECT_EQ(text::SplitLines(undo.out).size(), size_t(kSlowApps)) << undo.out;
}

// Output that cannot be written (the reader of a pipe went away) ends
// adbctl with 5, and never with 0.
TEST_F(Ctl, AClosedPipeEndsWithItsOwnExitStatus) {
    Phones(std::string(kQuick) + QuickPhone("ONE"));
    HANDLE read = nullptr, write = nullptr;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    ASSERT_TRUE(CreatePipe(&read, &write, &inherit, 0));
    CloseHandle(read);   // nobody reads
    HANDLE err = CreateFileW((folder_ + L"\\err.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                             CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = write;
    si.hStdError = err;
    std::wstring line = L"\"" + folder_ + L"\\adbctl.exe\" list --no-names --json --record-file \"" + Record() + L"\"";
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, folder_.c_str(), &si, &pi));
    CloseHandle(write);
    CloseHandle(err);
    ASSERT_EQ(WaitForSingleObject(pi.hProcess, 60000), static_cast<DWORD>(WAIT_OBJECT_0));
    DWORD exit = 0;
    GetExitCodeProcess(pi.hProcess, &exit);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    EXPECT_EQ(exit, 5u);
    EXPECT_TRUE(Contains(test::ReadFileBytes(folder_ + L"\\err.txt"), U("输出无法写入")));

    // --ansi leaves JSON in UTF-8, and says so.
    Ran json = Run("list --no-names --json --ansi --filter com.user");
    EXPECT_EQ(json.exit, 0u);
    EXPECT_TRUE(Contains(json.err, "--ansi 对 --json 不起作用")) << "standard error in the ANSI code page: " << json.err;
    EXPECT_FALSE(json.Lines().empty());
}

// Apps of a phone in Chinese served from real test APKs (tests/apk), as the
// phone's launcher names them; one package without an APK has no name.
struct Served {
    const char* package;
    const char* apk;     // the test APK, empty for none
    const char* label;   // GBK; empty for none
};
// In the order pm lists them.
const Served kServed[] = {
    {"com.t.launcher", "launcher", "启动器"},
    {"com.t.literal", "literal", "Literal 名字"},
    {"com.t.locales", "locales", "全部(中国)"},
    {"com.t.missing", "", ""},
    {"com.t.split", "split_base", "拆分应用"},
};

// The phone's profile; its APKs in a folder with a plain name (the
// simulated adb opens them through the ANSI calls). `execMs`: each file
// tool's time on the phone.
std::string ServingPhone(int execMs = 0) {
    std::string dir = test::ExeDir() + "\\adbctl_apks";
    CreateDirectoryA(dir.c_str(), nullptr);
    std::string p = std::string(kQuick) + "exec-ms " + std::to_string(execMs) +
                    "\ndevice N1 device model:Named\napi 34\nprop persist.sys.locale zh-CN\napk-dir " + dir + "\n";
    for (const Served& s : kServed) {
        if (*s.apk) {
            EXPECT_TRUE(test::WriteFileText(dir + "\\" + s.package + ".apk", test::TestApk(s.apk))) << s.apk;
        }
        p += std::string("package ") + s.package + " enabled third-party\n";
    }
    EXPECT_TRUE(test::WriteFileText(dir + "\\com.t.split@split_config.zh.apk", test::TestApk("split_config.zh")));
    return p + "package com.sys.plain enabled system\n";
}

TEST_F(Ctl, ListNamesTheAppsAsTheirApksDoAndBatchesReuseTheNames) {
    Phones(ServingPhone());
    Ran text = Run("list --kind user" + NamesArg());
    EXPECT_EQ(text.exit, 0u) << text.err;
    std::vector<std::string> lines = text::SplitLines(text.out);
    ASSERT_EQ(lines.size(), std::size(kServed)) << text.out;
    for (size_t i = 0; i < lines.size(); i++) {
        // The columns of before, the name last; "-" where there is none.
        std::vector<std::string> f = text::SplitTabs(lines[i]);
        ASSERT_EQ(f.size(), 5u) << lines[i];
        EXPECT_EQ(f[0], kServed[i].package);
        EXPECT_EQ(f[1] + f[2], U("已启用用户"));
        EXPECT_EQ(f[4], *kServed[i].label ? U(kServed[i].label) : "-") << kServed[i].package;
    }
    EXPECT_TRUE(Contains(AdbLog(), "exec-out"));

    Ran json = Run("list --kind user --json" + NamesArg());
    std::vector<Json> objects = json.Lines();
    ASSERT_EQ(objects.size(), std::size(kServed)) << json.out;
    for (size_t i = 0; i < objects.size(); i++) {
        EXPECT_EQ(objects[i]["package"], kServed[i].package);
        if (*kServed[i].label) {
            EXPECT_EQ(objects[i]["label"], U(kServed[i].label));
        } else {
            EXPECT_TRUE(objects[i]["label"].is_null()) << objects[i];
        }
    }

    // The filter looks in the names too.
    Ran found = Run(std::string("list --filter 拆分") + NamesArg());
    EXPECT_EQ(found.out.substr(0, found.out.find('\t')), "com.t.split") << found.out;
    EXPECT_EQ(text::SplitLines(found.out).size(), 1u) << found.out;
    // ... and by pinyin, as the window does: "qd" is 启动器 (qi dong), "chaif" 拆分.
    for (const char* query : {"qd", "chaif"}) {
        Ran pinyin = Run(std::string("list --filter ") + query + NamesArg());
        ASSERT_EQ(text::SplitLines(pinyin.out).size(), 1u) << query << ": " << pinyin.out;
        EXPECT_EQ(pinyin.out.substr(0, pinyin.out.find('\t')), *query == 'q' ? "com.t.launcher" : "com.t.split");
    }

    // --no-names: no name read, and the output of before.
    DeleteFileW(Log().c_str());
    Ran plain = Run("list --kind user --no-names --json");
    EXPECT_EQ(plain.exit, 0u) << plain.err;
    for (const Json& j : plain.Lines()) EXPECT_FALSE(j.contains("label")) << j;
    EXPECT_FALSE(Contains(AdbLog(), "exec-out")) << AdbLog();
    Ran plainText = Run("list --kind user --no-names");
    EXPECT_EQ(text::SplitTabs(text::SplitLines(plainText.out).at(0)).size(), 4u) << plainText.out;

    // A batch names an app by what the list left in the cache, without reading it again.
    DeleteFileW(Log().c_str());
    Ran off = RunRecorded("disable com.t.locales com.t.missing" + NamesArg());
    EXPECT_EQ(off.exit, 0u) << off.err;
    EXPECT_EQ(off.out, U("全部(中国) (com.t.locales)：已禁用\r\ncom.t.missing：已禁用\r\n"));
    EXPECT_FALSE(Contains(AdbLog(), "exec-out")) << AdbLog();
    Ran on = RunRecorded("enable com.t.locales --no-names" + NamesArg());
    EXPECT_EQ(on.out, U("com.t.locales：已启用\r\n"));
    // The record names the apps last, as list does; --no-names leaves the column out.
    auto endsWith = [](const std::string& s, const std::string& end) {
        return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
    };
    std::vector<std::string> record = text::SplitLines(RunRecorded("record").out);
    ASSERT_EQ(record.size(), 3u);
    EXPECT_TRUE(endsWith(record[0], U("\t已启用\t全部(中国)"))) << record[0];
    EXPECT_TRUE(endsWith(record[1], "\t-")) << record[1];
    EXPECT_EQ(RunRecorded("record --json").Lines()[0]["label"], U("全部(中国)"));
    EXPECT_TRUE(endsWith(text::SplitLines(RunRecorded("record --no-names").out)[0], U("\t已启用")));
}

// A name with a character GBK lacks, and a tab in it, from the cache: whole
// in UTF-8 into a file or pipe, the tab a blank in a text line and kept in JSON.
TEST_F(Ctl, ANameOutsideGbkComesThroughWholeInTextAndJson) {
    Phones(std::string(kQuick) + QuickPhone("ONE"));
    const std::u16string name = u"\u5FAE\u4FE1\t\U0001F600";
    const std::string utf8 = "\xE5\xBE\xAE\xE4\xBF\xA1\t\xF0\x9F\x98\x80";
    WriteBytes(Names(),
               appnames::FormatNameLine({"com.user.app", "/data/app/old/base.apk", 1, 1, "", "zh-CN"}, {true, name, ""}) +
                   appnames::FormatNameLine({"com.sys.plain", "/system/app/P/P.apk", 1, 1, "", "zh-CN"}, {false, u"", ""}));

    Ran dry = RunRecorded("disable com.user.app com.sys.plain --dry-run" + NamesArg());
    EXPECT_EQ(dry.exit, 0u) << dry.err;
    std::vector<std::string> text = text::SplitLines(dry.out);
    ASSERT_EQ(text.size(), 2u) << dry.out;
    EXPECT_EQ(text[0].substr(0, text[0].find(U("："))), "\xE5\xBE\xAE\xE4\xBF\xA1 \xF0\x9F\x98\x80 (com.user.app)");
    EXPECT_EQ(text[1].substr(0, text[1].find(U("："))), "com.sys.plain");

    Ran done = RunRecorded("disable com.user.app com.sys.plain --json" + NamesArg());
    EXPECT_EQ(done.exit, 0u) << done.err;
    std::vector<Json> j = done.Lines();
    ASSERT_EQ(j.size(), 2u) << done.out;
    EXPECT_EQ(j[0]["outcome"], "done");
    EXPECT_EQ(j[0]["label"], utf8);
    EXPECT_TRUE(j[1]["label"].is_null()) << j[1];

    // Undo reads the phone: the app is at another path than the name was
    // read at (updated since), and keeps its name.
    Ran undo = RunRecorded("undo" + NamesArg());
    EXPECT_EQ(undo.exit, 0u) << undo.err;
    EXPECT_EQ(undo.out,
              U("com.sys.plain：已启用\r\n") + "\xE5\xBE\xAE\xE4\xBF\xA1 \xF0\x9F\x98\x80 (com.user.app)" +
                  U("：已启用\r\n"));
}

// Ctrl+C while the names are read: the read stops at once, every app is
// listed, without the names not yet read, and the status says cancelled.
TEST_F(Ctl, CtrlCDuringTheNameReadListsEveryAppAndSaysCancelled) {
    // Each file tool takes a second on this phone: the first run of the
    // read (a stat, a tail and a listing per package) takes many seconds.
    Phones(ServingPhone(1000));
    ASSERT_TRUE(OwnConsole());
    SetConsoleCtrlHandler(Swallow, TRUE);
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(Start("list --kind user --json" + NamesArg(), &pi));
    DWORD start = GetTickCount();
    while (!Contains(AdbLog(), "exec-out") && GetTickCount() - start < 60000) Sleep(10);
    EXPECT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) << GetLastError();
    Ran r = Finish(pi);
    SetConsoleCtrlHandler(Swallow, FALSE);
    EXPECT_EQ(r.exit, 4u) << r.err;
    EXPECT_TRUE(Contains(r.err, U("已取消"))) << r.err;
    std::vector<Json> objects = r.Lines();
    ASSERT_EQ(objects.size(), std::size(kServed)) << r.out;
    for (size_t i = 0; i < objects.size(); i++) {
        EXPECT_EQ(objects[i]["package"], kServed[i].package);
        EXPECT_TRUE(objects[i]["label"].is_null()) << "nothing read yet: " << objects[i];
    }
    // Stopped in its first run: no second one started.
    std::string log = AdbLog();
    EXPECT_EQ(log.find("exec-out"), log.rfind("exec-out")) << log;
}


// On a console the name read shows its count, and wipes it at the end.
TEST_F(Ctl, OnAConsoleTheNameReadShowsItsCountAndWipesItWhole) {
    Phones(ServingPhone(100));
    ASSERT_TRUE(OwnConsole());
    InConsole console;
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(console.Start(folder_, "list --filter no.such.app" + NamesArg(), &pi));
    DWORD start = GetTickCount();
    while (!Contains(AdbLog(), "exec-out") && GetTickCount() - start < 60000) Sleep(10);
    std::wstring during = ConsoleText();
    DWORD exit = console.Finish(pi);
    EXPECT_EQ(exit, 0u);
    // "正在读取应用名称 N/6": every package of the phone, the filter comes after.
    EXPECT_EQ(during.find(L"\u6B63\u5728\u8BFB\u53D6\u5E94\u7528\u540D\u79F0 "), 0u) << cli::Narrow(during);
    EXPECT_NE(during.find(L"/6"), std::wstring::npos) << cli::Narrow(during);
    EXPECT_EQ(ConsoleText(), L"\n") << cli::Narrow(ConsoleText());
}

// Wireless debugging from a script: the phone found, a wrong code refused,
// the right one pairs and connects the same phone, which is then acted on
// like one on a cable; the pairing port used to connect is said; bad input
// is a usage error. Exit statuses and --json throughout.
TEST_F(Ctl, PairsAndConnectsAPhoneOverTheNetwork) {
    DeleteFileA(conn::KnownPhones::DefaultPath().c_str());
    Phones(std::string(kQuick) +
           "device 192.168.1.23:37123 wifi product:p model:Pixel_7 device:d\napi 34\nprop ro.serialno R58M123\n"
           "wireless guid=adb-R58M123-AbCdEf pair-port=41234 code=482915\n"
           "package com.user.app enabled third-party\npackage com.sys.plain enabled system\n");
    Ran found = Run("discover");
    EXPECT_EQ(found.exit, 0u) << found.err;
    EXPECT_EQ(found.out, U("192.168.1.23\t可配对 192.168.1.23:41234\t可连接 192.168.1.23:37123\tadb-R58M123-AbCdEf\r\n"));
    std::vector<Json> json = Run("discover --json").Lines();
    ASSERT_EQ(json.size(), 1u);
    EXPECT_EQ(json[0]["pairPort"], 41234);
    EXPECT_EQ(json[0]["connectPort"], 37123);

    EXPECT_EQ(Run("pair 192.168.1.23:41234 12345").exit, 2u) << "five digits";
    Ran wrong = Run("pair 192.168.1.23:41234 111111 --json");
    EXPECT_EQ(wrong.exit, 1u);
    ASSERT_EQ(wrong.Lines().size(), 1u) << wrong.out;
    EXPECT_EQ(wrong.Lines()[0]["outcome"], "wrong-code");
    EXPECT_EQ(wrong.Lines()[0]["ok"], false);

    Ran viaPairingPort = Run("connect 192.168.1.23:41234 --json");
    EXPECT_EQ(viaPairingPort.exit, 1u);
    ASSERT_EQ(viaPairingPort.Lines().size(), 1u) << viaPairingPort.out;
    EXPECT_EQ(viaPairingPort.Lines()[0]["outcome"], "pairing-port");
    EXPECT_TRUE(Contains(viaPairingPort.Lines()[0]["message"].get<std::string>(), U("配对用的端口")));

    Ran paired = Run("pair 192.168.1.23:41234 482915 --json");
    EXPECT_EQ(paired.exit, 0u) << paired.err;
    ASSERT_EQ(paired.Lines().size(), 1u) << paired.out;
    EXPECT_EQ(paired.Lines()[0]["outcome"], "paired");
    EXPECT_EQ(paired.Lines()[0]["connect"], "connected");
    EXPECT_EQ(paired.Lines()[0]["serial"], "192.168.1.23:37123");
    Ran off = RunRecorded("disable com.user.app --device 192.168.1.23:37123");
    EXPECT_EQ(off.exit, 0u) << off.err;
    EXPECT_TRUE(Contains(PhoneState(), "package com.user.app disabled-user")) << PhoneState();
    Ran again = Run("connect 192.168.1.23:37123");
    EXPECT_EQ(again.exit, 0u) << again.err;
    EXPECT_EQ(again.out, U("192.168.1.23:37123\t192.168.1.23:37123 已经连接\r\n"));
    DeleteFileA(conn::KnownPhones::DefaultPath().c_str());
}

// Another program's adb on adb's port: every command that needs adb says
// so and exits with 3; other-adb tells who holds the port where Windows
// says (Wine does not: it says it cannot tell), ends it with --end, and
// ends nothing it cannot name.
TEST_F(Ctl, AnotherProgramsAdbOnThePortIsSaid) {
    Phones(std::string(kQuick) + QuickPhone("SER1"));
    test::Rival rival(cli::Narrow(folder_) + "\\adb_1.0.40\\adb.exe", cli::Narrow(folder_) + "\\suite_adb.exe");
    ASSERT_TRUE(rival.Serving());
    Ran devices = Run("devices");
    EXPECT_EQ(devices.exit, 3u);
    EXPECT_TRUE(Contains(devices.err, U("被另一个程序的 adb 服务占用，它与本工具的 adb 版本不同（它的是 31 版"))) << devices.err;
    Ran owner = Run("other-adb --json");
    EXPECT_EQ(owner.exit, 0u) << owner.err;
    ASSERT_EQ(owner.Lines().size(), 1u) << owner.out;
    EXPECT_EQ(owner.Lines()[0]["port"], rival.Port());
    // Windows names the owner and it is ended; Wine gives no owner, and nothing is.
    bool named = conn::FindPortOwner(rival.Port()).Known();
    Ran end = Run("other-adb --end");
    EXPECT_EQ(end.exit, named ? 0u : 3u) << end.err;
    EXPECT_EQ(rival.Ended(), named);
    rival.End();
    EXPECT_EQ(Run("devices").exit, 0u);
}

}  // namespace

namespace {

// A makers' phone as a script meets it, without the profile's latencies.
std::string QuickProfile(const char* name) {
    std::string text = Profile(name), kept;
    for (const std::string& line : text::SplitLines(text))
        if (line.find("-ms ") == std::string::npos || line.compare(0, 8, "package ") == 0) kept += line + "\n";
    return std::string(kQuick) + kept;
}

} // namespace

// What a phone refuses but another action does: said with the way out, done
// the other way with --yes; what Android 17 will not do, said before anything
// is sent; a Secure Folder said unreachable; the users by their names.
TEST_F(Ctl, RefusalsSayTheWayOutAndYesTakesTheActionThatWorks) {
    Phones(QuickProfile("xiaomi-hyperos.txt"));
    Ran off = RunRecorded("disable com.miui.analytics com.taobao.taobao --json");
    EXPECT_EQ(off.exit, 1u);
    std::vector<Json> lines = off.Lines();
    ASSERT_EQ(lines.size(), 2u) << off.out;
    EXPECT_EQ(lines[0]["outcome"], "disable-refused");
    EXPECT_EQ(lines[0]["instead"], "delete");
    EXPECT_EQ(lines[0]["ok"], false);
    EXPECT_TRUE(Contains(lines[0]["message"].get<std::string>(), U("不允许禁用系统应用"))) << lines[0];
    EXPECT_EQ(lines[1]["outcome"], "done");
    EXPECT_TRUE(lines[1]["instead"].is_null());
    EXPECT_TRUE(Contains(off.err, U("加 --yes 自动改用删除"))) << off.err;
    EXPECT_TRUE(Contains(PhoneState(), "package com.miui.analytics enabled"));

    Ran yes = RunRecorded("disable com.miui.analytics com.miui.msa.global --yes");
    EXPECT_EQ(yes.exit, 0u) << yes.out << yes.err;
    EXPECT_EQ(yes.out, U("com.miui.analytics：失败，这台手机不允许禁用系统应用；可以改用删除（保留数据，用 恢复 可以找回）\r\n"
                         "com.miui.msa.global：失败，这台手机不允许禁用系统应用；可以改用删除（保留数据，用 恢复 可以找回）\r\n"
                         "com.miui.analytics：已删除\r\ncom.miui.msa.global：已删除\r\n"));
    EXPECT_TRUE(Contains(PhoneState(), "package com.miui.analytics uninstalled"));
    // The record tells both, and undo brings them back.
    EXPECT_TRUE(Contains(RecordText(), "\tdisable\tdisable-refused\t")) << RecordText();
    Ran undo = RunRecorded("undo");
    EXPECT_EQ(undo.exit, 0u) << undo.out << undo.err;
    EXPECT_TRUE(Contains(PhoneState(), "package com.miui.analytics enabled"));

    // Android 17, read before sending: no delete of system apps, disable with --yes.
    Phones(QuickProfile("android17-phone.txt"));
    DeleteFileW(Log().c_str());
    Ran refused = RunRecorded("delete com.google.android.youtube");
    EXPECT_EQ(refused.exit, 1u);
    EXPECT_EQ(refused.out, U("com.google.android.youtube：没有删除：这台手机是 Android 17，从 Android 17 起 adb 不能为单个用户"
                             "删除系统应用；加 --yes 改用禁用，或用 adbctl disable\r\n"));
    EXPECT_FALSE(Contains(AdbLog(), "uninstall"));
    Ran instead = RunRecorded("delete com.google.android.youtube --yes --json");
    EXPECT_EQ(instead.exit, 0u) << instead.out << instead.err;
    lines = instead.Lines();
    ASSERT_EQ(lines.size(), 2u) << instead.out;
    EXPECT_EQ(lines[0]["outcome"], "root-only");
    EXPECT_EQ(lines[1]["action"], "disable");
    EXPECT_EQ(lines[1]["outcome"], "done");
    EXPECT_TRUE(Contains(PhoneState(), "package com.google.android.youtube disabled-user"));

    // The spaces by their names; a Secure Folder adb may not reach says so,
    // and acting on it says so for each package instead of a stack trace.
    Phones(QuickProfile("samsung-secure-folder.txt"));
    Ran users = Run("users --json");
    EXPECT_EQ(users.exit, 0u) << users.err;
    lines = users.Lines();
    ASSERT_EQ(lines.size(), 3u) << users.out;
    EXPECT_EQ(lines[1]["label"], U("应用双开"));
    EXPECT_EQ(lines[2]["label"], U("安全文件夹"));
    EXPECT_EQ(lines[2]["reachable"], false);
    EXPECT_EQ(lines[0]["reachable"], true);
    Ran list = Run("list --user 150 --no-names");
    EXPECT_EQ(list.exit, 3u);
    EXPECT_TRUE(Contains(list.err, U("手机不允许 adb 访问这个用户"))) << list.err;
    Ran denied = RunRecorded("disable com.whatsapp --user 150 --no-names");
    EXPECT_EQ(denied.exit, 1u);
    EXPECT_EQ(denied.out, U("com.whatsapp：失败，手机不允许 adb 访问这个用户（安全文件夹等受保护的空间），只能在手机上操作\r\n"));
    EXPECT_EQ(denied.err, U("[R5CW31XYZ8A] 用户 150：手机不允许 adb 访问这个用户（安全文件夹等受保护的空间）：其中的应用只能在手机上管理\r\n"));
}

// Waits for the copies of user apps: a script deletes a user app with a
// split, undo says what the owner must switch on while the phone refuses
// installs from the computer, and reinstalls the copies once it allows them.
TEST_F(Ctl, UndoReinstallsADeletedUserAppsCopiesOnceThePhoneAllows) {
    Phones(QuickProfile("xiaomi-hyperos.txt"));
    Ran del = RunRecorded("delete com.ss.android.ugc.aweme --yes");
    EXPECT_EQ(del.exit, 0u) << del.out << del.err;
    EXPECT_TRUE(Contains(PhoneState(), "com.ss.android.ugc.aweme uninstalled"));
    Ran refused = RunRecorded("undo --json");
    EXPECT_EQ(refused.exit, 1u);
    EXPECT_TRUE(Contains(refused.out + refused.err, U("USB安装"))) << refused.out << refused.err;
    std::string state = PhoneState();
    state.replace(state.find("usb-install off"), 15, "usb-install on");
    WriteBytes(State(), state);
    Ran back = RunRecorded("undo");
    EXPECT_EQ(back.exit, 0u) << back.out << back.err;
    std::string line = PhoneState().substr(PhoneState().find("package com.ss.android.ugc.aweme "));
    line = line.substr(0, line.find('\n'));
    EXPECT_TRUE(Contains(line, " enabled ") && !Contains(line, "apk-gone") && !Contains(line, "data-lost")) << line;
}
