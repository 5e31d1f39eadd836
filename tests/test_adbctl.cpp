// adbctl.exe, the console program, run as a script runs it: against the
// simulated phones, its output read from files and pipes (and once from a
// console of its own), JSON parsed by a real parser, exit statuses, bad
// input refused before anything is sent, Ctrl+C in the middle of a batch.
#include <gtest/gtest.h>
#include <windows.h>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>
#include "cli/options.h"
#include "device/text.h"
#include "tests/support/child.h"
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

std::string ReadBytes(const std::wstring& path) {
    std::string out;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) return out;
    char buf[4096];
    DWORD got;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0) out.append(buf, got);
    CloseHandle(h);
    return out;
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
const char kQuick[] = "platform-tools 34.0.5\nconnect-ms 0\ncommand-ms 0\nchange-ms 0\n";

struct Ran {
    DWORD exit = 0xDEAD;
    std::string out, err;   // the bytes written to standard output and standard error
    std::vector<Json> Lines() const {
        std::vector<Json> lines;
        for (const std::string& l : dev::SplitLines(out))
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
        SetEnvironmentVariableW(L"ADBSIM_STATE", State().c_str());
        SetEnvironmentVariableW(L"ADBSIM_LOG", Log().c_str());
        SetEnvironmentVariableW(L"ANDROID_SERIAL", nullptr);
    }

    void Phones(const std::string& profile) const { WriteBytes(State(), profile); }
    std::wstring State() const { return folder_ + L"\\adb_1.0.40\\state.txt"; }
    std::wstring Log() const { return folder_ + L"\\adb_1.0.40\\log.txt"; }
    std::wstring Record() const { return folder_ + L"\\记录\\actions.log"; }
    std::string AdbLog() const { return ReadBytes(Log()); }
    std::string PhoneState() const { return ReadBytes(State()); }
    std::string RecordText() const { return ReadBytes(Record()); }

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
        std::wstring line = L"\"" + folder_ + L"\\adbctl.exe\" " + Wide(args);
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
        r.out = ReadBytes(folder_ + L"\\out.txt");
        r.err = ReadBytes(folder_ + L"\\err.txt");
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

    std::wstring folder_;
};

// UTF-8 of a GBK text of the test, as adbctl writes into a file or pipe.
std::string U(const std::string& gbk) { return dev::GbkToUtf8(gbk); }

TEST_F(Ctl, DevicesWithTheirHintsAsTextAndJson) {
    Phones(Profile("two-phones.txt"));
    Ran text = Run("devices");
    EXPECT_EQ(text.exit, 0u) << text.err;
    EXPECT_EQ(text.out, U("2A191FDH300ABC\tdevice\tPixel_7\r\n"
                          "R5CT41ABCDE\tunauthorized\t-\t未授权：请在手机上确认“允许 USB 调试”\r\n"));
    Ran json = Run("devices --json");
    std::vector<Json> lines = json.Lines();
    ASSERT_EQ(lines.size(), 2u) << json.out;
    EXPECT_EQ(lines[0]["serial"], "2A191FDH300ABC");
    EXPECT_EQ(lines[0]["ready"], true);
    EXPECT_EQ(lines[0]["model"], "Pixel_7");
    EXPECT_EQ(lines[1]["ready"], false);
    EXPECT_EQ(lines[1]["state"], "unauthorized");
    EXPECT_EQ(lines[1]["hint"], U("未授权：请在手机上确认“允许 USB 调试”"));

    // No phone at all, and no adb at all: exit 3 and a line saying so.
    Phones(kQuick);
    Ran none = Run("devices");
    EXPECT_EQ(none.exit, 3u);
    EXPECT_EQ(none.out, "");
    EXPECT_TRUE(Contains(none.err, U("没有发现手机"))) << none.err;
    Ran noAdb = Run("devices --adb C:\\nowhere\\adb.exe");
    EXPECT_EQ(noAdb.exit, 3u);
    EXPECT_TRUE(Contains(noAdb.err, U("找不到 C:\\nowhere\\adb.exe"))) << noAdb.err;
}

}  // namespace
