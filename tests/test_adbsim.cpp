// The simulated adb client and its phones, run as the program runs them: the
// built adb.exe as a child process, a profile in a scratch folder as its
// state, stdout and stderr kept apart.
#include <gtest/gtest.h>
#include <windows.h>
#include <cstdio>
#include <set>
#include <string>
#include <vector>
#include "tests/support/child.h"
#include "tests/support/files.h"

namespace {

std::string gScratch;

std::string ReadText(const std::string& path) { return test::ReadFileBytes(path); }

void WriteText(const std::string& path, const std::string& text) {
    ASSERT_TRUE(test::WriteFileText(path, text)) << path;
}

std::string StatePath() { return gScratch + "\\state.txt"; }
std::string LogPath() { return gScratch + "\\log.txt"; }

// A fresh scratch state: a shipped profile by name, or the text given.
void UseProfile(const std::string& name) {
    WriteText(StatePath(), ReadText(test::ExeDir() + "\\..\\profiles\\" + name));
    DeleteFileA(LogPath().c_str());
}
void UseText(const std::string& text) {
    WriteText(StatePath(), text);
    DeleteFileA(LogPath().c_str());
}

struct Result {
    std::string out;
    std::string err;
    DWORD code = 0;
};

HANDLE OutputFile(const std::string& path) {
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    return CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, nullptr);
}

// Starts adb.exe with `args`, its output into files named after `tag`.
PROCESS_INFORMATION Start(const std::string& args, const std::string& tag) {
    std::string line = "\"" + test::ExeDir() + "\\..\\adb_1.0.40\\adb.exe\" " + args;
    std::vector<char> buf(line.begin(), line.end());
    buf.push_back(0);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = OutputFile(gScratch + "\\" + tag + ".out");
    si.hStdError = OutputFile(gScratch + "\\" + tag + ".err");
    PROCESS_INFORMATION pi = {};
    BOOL ok = CreateProcessA(nullptr, buf.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    EXPECT_TRUE(ok) << line;
    CloseHandle(si.hStdOutput);
    CloseHandle(si.hStdError);
    return pi;
}

Result Finish(PROCESS_INFORMATION pi, const std::string& tag) {
    Result r;
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 60000), WAIT_OBJECT_0);
    GetExitCodeProcess(pi.hProcess, &r.code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    r.out = ReadText(gScratch + "\\" + tag + ".out");
    r.err = ReadText(gScratch + "\\" + tag + ".err");
    return r;
}

Result Adb(const std::string& args) { return Finish(Start(args, "adb"), "adb"); }

std::string StateOf(const std::string& package) {
    std::string state = ReadText(StatePath());
    size_t at = state.find("package " + package + " ");
    if (at == std::string::npos) return "<no line>";
    size_t from = at + 9 + package.size();
    return state.substr(from, state.find_first_of(" \r\n", from) - from);
}

::testing::AssertionResult StartsWith(const std::string& text, const std::string& start) {
    if (text.compare(0, start.size(), start) == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "\"" << text.substr(0, start.size() + 40) << "\" does not start with \""
                                         << start << "\"";
}

int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
    return n;
}

class AdbSim : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        gScratch = test::ExeDir() + "\\adbsim_scratch";
        CreateDirectoryA(gScratch.c_str(), nullptr);
        SetEnvironmentVariableA("ADBSIM_STATE", StatePath().c_str());
        SetEnvironmentVariableA("ADBSIM_LOG", LogPath().c_str());
    }
    void TearDown() override { SetEnvironmentVariableA("ANDROID_SERIAL", nullptr); }
};

// A quick phone per Android version, with the same packages.
std::string Phone(int api, const char* tools = "34.0.5") {
    return std::string("platform-tools ") + tools + "\nconnect-ms 0\ncommand-ms 0\nvm-ms 0\nscript-ms 0\nchange-ms 0\n" +
           "device P" + std::to_string(api) + " device\napi " + std::to_string(api) +
           "\npackage com.example.app enabled\npackage com.android.systemui enabled system protected\n"
           "package com.example.mdm enabled delete-fails=DELETE_FAILED_DEVICE_POLICY_MANAGER\n"
           "package com.example.gone uninstalled\n";
}

const char kUnauthorized[] =
    "device unauthorized.\r\nThis adb server's $ADB_VENDOR_KEYS is not set\r\n"
    "Try 'adb kill-server' if that seems wrong.\r\nOtherwise check for a confirmation dialog on your device.\r\n";

TEST_F(AdbSim, DevicesAsTheClientPrintsThem) {
    UseProfile("two-phones.txt");
    Result r = Adb("devices");
    EXPECT_EQ(r.out, "List of devices attached\r\n2A191FDH300ABC\tdevice\r\nR5CT41ABCDE\tunauthorized\r\n\r\n");
    EXPECT_EQ(r.code, 0u);
    // The serial the environment names chooses a phone for other commands only.
    SetEnvironmentVariableA("ANDROID_SERIAL", "2A191FDH300ABC");
    EXPECT_EQ(Adb("devices").out, r.out);
    EXPECT_EQ(Adb("get-serialno").out, "2A191FDH300ABC\r\n");
    SetEnvironmentVariableA("ANDROID_SERIAL", nullptr);
    r = Adb("devices -l");
    EXPECT_EQ(r.out,
              "List of devices attached\r\n"
              "2A191FDH300ABC         device product:panther model:Pixel_7 device:panther transport_id:5\r\n"
              "R5CT41ABCDE            unauthorized transport_id:6\r\n\r\n");

    UseText("platform-tools 34.0.5\ndevice emulator-5554 offline usb:1-4\ndevice 0123456789abcdef0123 no-permissions\n");
    EXPECT_EQ(Adb("devices -l").out,
              "List of devices attached\r\n"
              "emulator-5554          offline usb:1-4 transport_id:1\r\n"
              "0123456789abcdef0123   no permissions; see [http://developer.android.com/tools/device.html] "
              "transport_id:2\r\n\r\n");
    UseText("platform-tools 34.0.5\n");
    r = Adb("devices");
    EXPECT_EQ(r.out, "List of devices attached\r\n\r\n");
    EXPECT_EQ(r.code, 0u);
}

TEST_F(AdbSim, ChoosingAPhoneAndTheClientsMessagesInBothStyles) {
    UseProfile("two-phones.txt");
    Result r = Adb("shell getprop ro.product.model");
    EXPECT_EQ(r.err, "adb.exe: more than one device/emulator\r\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.code, 1u);
    r = Adb("-s 2A191FDH300ABC shell getprop ro.product.model");
    EXPECT_EQ(r.out, "Pixel 7\n");
    EXPECT_EQ(r.code, 0u);
    r = Adb("-s R5CT41ABCDE shell getprop ro.product.model");
    EXPECT_EQ(r.err, std::string("adb.exe: ") + kUnauthorized);
    EXPECT_EQ(r.code, 1u);
    EXPECT_EQ(Adb("-s nothere shell echo").err, "adb.exe: device 'nothere' not found\r\n");
    EXPECT_EQ(Adb("-t 6 get-state").err, std::string("adb.exe: ") + kUnauthorized);

    SetEnvironmentVariableA("ANDROID_SERIAL", "2A191FDH300ABC");
    EXPECT_EQ(Adb("shell getprop ro.build.version.sdk").out, "33\n");
    EXPECT_EQ(Adb("-s R5CT41ABCDE get-state").code, 1u) << "-s wins over ANDROID_SERIAL";
    EXPECT_EQ(Count(Adb("devices").out, "\tdevice\r\n"), 1) << "devices ignores ANDROID_SERIAL";
    EXPECT_EQ(Count(Adb("devices").out, "\tunauthorized\r\n"), 1) << "devices ignores ANDROID_SERIAL";
    SetEnvironmentVariableA("ANDROID_SERIAL", nullptr);

    // -d takes the one phone on USB, -e the one emulator.
    UseText("platform-tools 34.0.5\ndevice emulator-5554 device\ndevice 0B26 device\n");
    EXPECT_EQ(Adb("-d get-serialno").out, "0B26\r\n");
    EXPECT_EQ(Adb("-e get-serialno").out, "emulator-5554\r\n");
    UseText("platform-tools 34.0.5\ndevice 0B26 device\n");
    EXPECT_EQ(Adb("-e get-serialno").err, "adb.exe: no emulators found\r\n");

    // Before platform-tools 30 the client says "error:".
    UseText("platform-tools 29.0.6\ndevice a offline\ndevice b authorizing\ndevice c no-permissions\n");
    EXPECT_EQ(Adb("shell echo").err, "error: more than one device/emulator\r\n");
    EXPECT_EQ(Adb("-s a shell echo").err, "error: device offline\r\n");
    EXPECT_EQ(Adb("-s b shell echo").err, "error: device still authorizing\r\n");
    EXPECT_EQ(Adb("-s c shell echo").err,
              "error: insufficient permissions for device\r\n"
              "See [http://developer.android.com/tools/device.html] for more information\r\n");
    UseText("platform-tools 29.0.6\n");
    EXPECT_EQ(Adb("shell echo").err, "error: no devices/emulators found\r\n");
}

TEST_F(AdbSim, AndroidNineOnFailsWithStatusAndStackTrace) {
    UseText(Phone(34));
    Result r = Adb("shell pm disable-user com.example.nothere");
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(StartsWith(r.err,
              "\nException occurred while executing 'disable-user':\n"
              "java.lang.IllegalArgumentException: Unknown package: com.example.nothere\n\tat "));
    EXPECT_EQ(r.code, 255u);
    r = Adb("shell pm disable-user com.android.systemui");
    EXPECT_NE(r.err.find("\njava.lang.SecurityException: Cannot disable a protected package: com.android.systemui\n"
                         "\tat "),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.code, 255u);
    EXPECT_EQ(StateOf("com.android.systemui"), "enabled");

    r = Adb("shell pm disable-user --user 0 com.example.app");
    EXPECT_EQ(r.out, "Package com.example.app new state: disabled-user\n");
    EXPECT_EQ(r.code, 0u);
    EXPECT_EQ(StateOf("com.example.app"), "disabled-user");
    EXPECT_EQ(Adb("shell pm enable com.example.app").out, "Package com.example.app new state: enabled\n");

    r = Adb("shell pm uninstall -k --user 0 com.example.mdm");
    EXPECT_EQ(r.out, "Failure [DELETE_FAILED_DEVICE_POLICY_MANAGER]\n");
    EXPECT_EQ(r.code, 1u);
    r = Adb("shell pm uninstall -k --user 0 com.example.gone");
    EXPECT_EQ(r.out, "Failure [not installed for 0]\n");
    EXPECT_EQ(r.code, 1u);
    r = Adb("shell cmd package install-existing --user 0 com.example.gone");
    EXPECT_EQ(r.out, "Package com.example.gone installed for user: 0\n");
    EXPECT_EQ(StateOf("com.example.gone"), "enabled");
    r = Adb("shell cmd package install-existing com.example.nothere");
    EXPECT_EQ(r.out, "android.content.pm.PackageManager$NameNotFoundException: Package com.example.nothere doesn't exist\n");
    EXPECT_EQ(r.code, 1u);
    r = Adb("shell pm uninstall -k --user 0 com.example.app");
    EXPECT_EQ(r.out, "Success\n");
    EXPECT_EQ(StateOf("com.example.app"), "uninstalled");
    // Without a user a third-party app leaves the phone (and the file); a
    // system app does not.
    r = Adb("shell \"pm uninstall com.example.app; pm uninstall com.android.systemui; pm list packages -u example; "
            "pm disable-user com.example.mdm\"");
    EXPECT_EQ(r.out, "Success\nFailure [DELETE_FAILED_INTERNAL_ERROR]\npackage:com.example.mdm\npackage:com.example.gone\n"
                     "Package com.example.mdm new state: disabled-user\n");
    EXPECT_EQ(StateOf("com.example.app"), "<no line>");
    EXPECT_EQ(StateOf("com.example.mdm"), "disabled-user");
    r = Adb("shell pm list packages -x");
    EXPECT_EQ(r.err, "Error: Unknown option: -x\n");
    EXPECT_EQ(r.code, 255u);
}

TEST_F(AdbSim, OlderAndroidsTextsAndLostStatus) {
    // Android 8: pm exits 0 whatever happened, `cmd package` keeps the result;
    // the exception has no command name yet.
    UseText(Phone(26));
    Result r = Adb("shell pm disable-user com.example.nothere");
    EXPECT_EQ(r.code, 0u);
    EXPECT_TRUE(StartsWith(r.err, "\nException occurred while executing:\njava"));
    EXPECT_EQ(Adb("shell cmd package disable-user com.example.nothere").code, 255u);
    EXPECT_EQ(Adb("shell pm uninstall -k --user 0 com.example.gone").code, 0u);

    // Android 7: no install-existing yet.
    UseText(Phone(25));
    r = Adb("shell cmd package install-existing com.example.gone");
    EXPECT_EQ(r.err, "Unknown command: install-existing\n");
    EXPECT_EQ(r.code, 255u);

    // Android 6: the old pm, one CR LF stream, status lost, no cmd.
    UseText(Phone(23, "28.0.2"));
    r = Adb("shell pm disable-user com.example.nothere");
    EXPECT_EQ(r.out, "Error: java.lang.IllegalArgumentException: Unknown package: com.example.nothere\r\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.code, 0u);
    r = Adb("shell pm install-existing com.example.gone");
    EXPECT_TRUE(StartsWith(r.out, "Error: unknown command 'install-existing'\r\nusage"));
    EXPECT_EQ(Adb("shell pm uninstall -k --user 0 com.example.gone").out, "Failure - not installed for 0\r\n");
    EXPECT_EQ(Adb("shell cmd package list packages").out, "/system/bin/sh: cmd: not found\r\n");
    EXPECT_EQ(Adb("shell \"pm disable-user com.example.app; echo $?\"").out,
              "Package com.example.app new state: disabled-user\r\n0\r\n");
}

TEST_F(AdbSim, ListsByStateKindAndUser) {
    UseProfile("work-profile.txt");
    auto list = [](const std::string& options) { return Adb("shell pm list packages " + options).out; };
    EXPECT_EQ(list("-d"), "package:com.example.game\n");
    EXPECT_EQ(list("-3"), "package:com.tencent.mm\npackage:com.example.game\n");
    EXPECT_EQ(list("-3 -u"), "package:com.tencent.mm\npackage:com.example.game\npackage:com.microsoft.teams\n"
                             "package:com.example.work.vpn\n");
    EXPECT_EQ(list("-3 --user 10"), "package:com.microsoft.teams\npackage:com.example.work.vpn\n");
    EXPECT_EQ(list("-d --user 10"), "package:com.google.android.calendar\n");
    EXPECT_EQ(list("-e -s google"), "package:com.google.android.gm\npackage:com.google.android.calendar\n"
                                    "package:com.google.android.apps.docs\npackage:com.google.android.youtube\n");
    EXPECT_EQ(list("-U --user 10 teams"), "package:com.microsoft.teams uid:1010203\n");
    std::string withPath = list("-f com.tencent.mm");
    EXPECT_TRUE(StartsWith(withPath, "package:/data/app/~~"));
    EXPECT_EQ(withPath.find("==/base.apk=com.tencent.mm\n"), withPath.size() - 27) << withPath;
    EXPECT_EQ(Adb("shell pm list users").out,
              "Users:\n\tUserInfo{0:Owner:c13} running\n\tUserInfo{10:Work profile:1030} running\n");

    // A change for the work profile leaves the owner's state alone.
    EXPECT_EQ(Adb("shell pm disable-user --user 10 com.google.android.gm").code, 0u);
    EXPECT_EQ(list("-d --user 10"), "package:com.google.android.gm\npackage:com.google.android.calendar\n");
    EXPECT_EQ(list("-d"), "package:com.example.game\n");
    EXPECT_NE(ReadText(StatePath()).find("package com.google.android.gm enabled system uid=10123 u10=disabled-user\n"),
              std::string::npos);
}

TEST_F(AdbSim, ScriptsRunAsThePhonesShell) {
    UseText(Phone(34));
    Result r = Adb("shell \"echo ==A==; pm disable-user com.example.app; echo rc=$?; "
                   "pm uninstall -k --user 0 com.example.gone; echo 'rc=$?' $?; "
                   "false && echo not || echo or; true && echo and; echo \\\"a;b\\\" 'c  d'\"");
    EXPECT_EQ(r.out, "==A==\nPackage com.example.app new state: disabled-user\nrc=0\n"
                     "Failure [not installed for 0]\nrc=$? 1\nor\nand\na;b c  d\n");
    EXPECT_EQ(r.code, 0u);
    // Arguments are joined with blanks, so the last command's status is the session's.
    r = Adb("shell pm disable-user com.example.nothere 2>/dev/null ; echo after $?");
    EXPECT_EQ(r.out, "after 255\n");
    EXPECT_EQ(r.err, "");
    r = Adb("shell \"echo x >&2; nosuch; exit 3\"");
    EXPECT_EQ(r.err, "x\n/system/bin/sh: nosuch: inaccessible or not found\n");
    EXPECT_EQ(r.code, 3u);
    r = Adb("shell \"echo 'open\"");
    EXPECT_EQ(r.err, "/system/bin/sh: no closing quote\n");
    EXPECT_EQ(r.out, "") << "nothing of a broken script runs";
    // Background changes all land before the session ends.
    r = Adb("shell \"pm disable-user com.example.app & pm uninstall -k --user 0 com.example.mdm & wait; echo done\"");
    EXPECT_EQ(Count(r.out, "\n"), 3) << r.out;
    EXPECT_EQ(r.out.substr(r.out.size() - 5), "done\n");
}

// Each process changes six packages, one read-modify-write of the state
// file each, so that the eight processes' writes overlap in time.
TEST_F(AdbSim, EightProcessesAtOnceLoseNoChangeAndNoLogLineOnOnePhoneOrEight) {
    std::string profile = "platform-tools 34.0.5\nconnect-ms 0\ncommand-ms 0\nchange-ms 0\n# kept\ndevice X device\n";
    for (int i = 0; i < 48; i++) profile += "package com.example.p" + std::to_string(i) + " enabled\n";
    UseText(profile);
    auto script = [](int process) {
        std::string s;
        for (int k = 0; k < 6; k++) s += "pm disable-user com.example.p" + std::to_string(process * 6 + k) + ";";
        return s;
    };
    std::vector<PROCESS_INFORMATION> running;
    for (int i = 0; i < 8; i++) running.push_back(Start("shell \"" + script(i) + "\"", "p" + std::to_string(i)));
    for (int i = 0; i < 8; i++) {
        Result r = Finish(running[i], "p" + std::to_string(i));
        EXPECT_EQ(Count(r.out, " new state: disabled-user\n"), 6) << r.out;
    }
    std::string state = ReadText(StatePath());
    EXPECT_EQ(Count(state, " disabled-user\n"), 48) << state;
    EXPECT_EQ(state.substr(0, 70), profile.substr(0, 70)) << "the other lines stay";
    std::string log = ReadText(LogPath());
    EXPECT_EQ(Count(log, "\n"), 8) << log;
    for (int i = 0; i < 8; i++) EXPECT_EQ(Count(log, "shell \"" + script(i) + "\"\n"), 1) << log;

    // Eight phones of one state file, each changed by its own process (one
    // also uninstalling, which drops a line): every phone keeps its lines and
    // every change of the others.
    profile = "platform-tools 34.0.5\nconnect-ms 0\ncommand-ms 0\nchange-ms 0\n# kept\n";
    for (int d = 0; d < 8; d++) {
        profile += "device X" + std::to_string(d) + " device\n";
        for (int i = 0; i < 8; i++) profile += "package com.example.p" + std::to_string(i) + " enabled\n";
    }
    UseText(profile);
    running.clear();
    for (int d = 0; d < 8; d++) {
        std::string own = d == 3 ? "pm uninstall com.example.p7;" : "";
        for (int k = 0; k < 6; k++) own += "pm disable-user com.example.p" + std::to_string(k) + ";";
        running.push_back(Start("-s X" + std::to_string(d) + " shell \"" + own + "\"", "d" + std::to_string(d)));
    }
    for (int d = 0; d < 8; d++) {
        Result r = Finish(running[d], "d" + std::to_string(d));
        EXPECT_EQ(Count(r.out, " new state: disabled-user\n"), 6) << r.out << r.err;
    }
    state = ReadText(StatePath());
    EXPECT_EQ(Count(state, " disabled-user\n"), 48) << state;
    EXPECT_EQ(Count(state, "package com.example.p7 enabled\n"), 7) << state;
    for (int d = 0; d < 8; d++) {
        size_t at = state.find("device X" + std::to_string(d) + " device\n");
        ASSERT_NE(at, std::string::npos) << state;
        size_t end = state.find("device X", at + 1);
        EXPECT_EQ(Count(state.substr(at, end - at), "package "), d == 3 ? 7 : 8) << state;
    }
    EXPECT_EQ(state.substr(0, 70), profile.substr(0, 70)) << "the other lines stay";
}

TEST_F(AdbSim, ShippedPhonesAnswerLikePhones) {
    UseProfile("current-phone.txt");
    Result r = Adb("shell pm list packages");
    EXPECT_GE(Count(r.out, "package:"), 300);
    EXPECT_GE(Count(r.out, "package:com.android."), 100);
    EXPECT_GE(Count(r.out, "package:com.miui."), 50);
    EXPECT_EQ(Count(Adb("shell pm list packages -3").out, "\n"), 44);
    // Each APK in a folder of its own, though system apps are named after their names' last part.
    std::string paths = Adb("shell pm list packages -f").out;
    std::set<std::string> folders;
    for (size_t at = paths.find("package:"); at != std::string::npos; at = paths.find("package:", at + 1)) {
        size_t apk = paths.find(".apk=", at);
        ASSERT_NE(apk, std::string::npos);
        EXPECT_TRUE(folders.insert(paths.substr(at, paths.rfind('/', apk) - at)).second) << paths.substr(at, 80);
    }
    EXPECT_EQ(Adb("shell pm path com.android.providers.calendar").out, "package:/system/app/Calendar/Calendar.apk\n");
    EXPECT_EQ(Adb("shell pm path com.android.calendar").out,
              "package:/system/app/AndroidCalendar/AndroidCalendar.apk\n");
    EXPECT_NE(Adb("shell pm disable-user com.miui.securitycenter").err.find("Cannot disable a protected package"),
              std::string::npos);
    EXPECT_EQ(Adb("shell pm uninstall -k --user 0 com.xiaomi.finddevice").out,
              "Failure [DELETE_FAILED_DEVICE_POLICY_MANAGER]\n");
    EXPECT_EQ(Adb("shell getprop ro.build.version.release").out, "14\n");

    // A phone's dumpsys window: hundreds of KB, one focus pair per display.
    r = Adb("shell dumpsys window");
    EXPECT_GE(r.out.size(), 200000u);
    EXPECT_EQ(Count(r.out, "mCurrentFocus="), 1);
    EXPECT_NE(r.out.find(" u0 com.tencent.mm/com.tencent.mm.ui.LauncherUI}\n  mFocusedApp=ActivityRecord{"),
              std::string::npos);
    EXPECT_NE(r.out.find("\n  mTopFocusedDisplayId=0\n"), std::string::npos);
    UseText(Phone(34) + "dumpsys-kb 50\ndisplays 2\nfocus display=1 user=10 com.x.y/.Main\n");
    r = Adb("shell dumpsys window");
    EXPECT_EQ(Count(r.out, "mCurrentFocus="), 2);
    EXPECT_NE(r.out.find(" u10 com.x.y/.Main}\n"), std::string::npos);
    EXPECT_NE(r.out.find("\n  mTopFocusedDisplayId=1\n"), std::string::npos);

    UseProfile("old-phone.txt");
    r = Adb("shell dumpsys window");
    EXPECT_EQ(Count(r.out, "mCurrentFocus="), 1);
    EXPECT_EQ(Count(r.out, "mTopFocusedDisplayId"), 0);
    EXPECT_EQ(Count(r.out, "\n"), Count(r.out, "\r\n"));
    EXPECT_EQ(Adb("shell getprop ro.build.version.sdk").out, "23\r\n");
}

// A Java program (pm up to Android 8.1, settings up to 7.1) starts a VM;
// `cmd` and the wrapper scripts of later releases do not. The slow costs are
// far apart from the fast ones so that no machine's pace can mix them up.
TEST_F(AdbSim, StartingPmOrCmdCostsWhatTheAndroidVersionMakesItCost) {
    auto phone = [](int api) {
        return "platform-tools 34.0.5\nconnect-ms 0\ncommand-ms 0\nscript-ms 0\nvm-ms 3000\nchange-ms 0\n"
               "device X device\napi " + std::to_string(api) + "\npackage a.b enabled\n";
    };
    auto took = [](const char* command) {
        DWORD start = GetTickCount();
        Result r = Adb(command);
        EXPECT_NE(r.out.find("a.b"), std::string::npos) << command << ": " << r.out << r.err;
        return GetTickCount() - start;
    };
    UseText(phone(27));
    EXPECT_GE(took("shell pm list packages"), 3000u) << "Android 8.1: pm is Java";
    EXPECT_LT(took("shell cmd package list packages"), 2000u) << "cmd is native";
    UseText(phone(28));
    EXPECT_LT(took("shell pm list packages"), 2000u) << "Android 9: pm is a script around cmd";
    UseText(phone(25));
    EXPECT_GE(took("shell \"settings get secure android_id; echo a.b\""), 3000u) << "Android 7.1: settings is Java";
    UseText(phone(26));
    EXPECT_LT(took("shell \"cmd settings get secure android_id; settings get secure android_id; echo a.b\""), 2000u)
        << "Android 8: settings is a script around cmd";
    EXPECT_EQ(Adb("shell cmd settings get secure android_id").out, Adb("shell settings get secure android_id").out);
}

TEST_F(AdbSim, EachKindOfChangeTakesTheServiceItsOwnTime) {
    UseText("platform-tools 34.0.5\nconnect-ms 0\ncommand-ms 0\ndisable-ms 0\nenable-ms 0\nuninstall-ms 1500\n"
            "device X device\npackage a.b enabled\n");
    DWORD start = GetTickCount();
    Adb("shell \"cmd package disable-user a.b; cmd package enable a.b\"");
    DWORD toggled = GetTickCount() - start;
    Adb("shell cmd package uninstall -k --user 0 a.b");
    EXPECT_GE(GetTickCount() - start - toggled, 1500u);
    EXPECT_LT(toggled, 1000u) << "disable and enable cost nothing here";
}

TEST_F(AdbSim, LatencyFromTheProfile) {
    UseText("platform-tools 34.0.5\nconnect-ms 300\nchange-ms 250\ndevice X device\npackage a.b enabled\n");
    DWORD start = GetTickCount();
    Adb("shell \"pm disable-user a.b; pm enable a.b\"");
    EXPECT_GE(GetTickCount() - start, 800u) << "a connection and two changes";
}

} // namespace

// Files served from a folder on the computer at the packages' paths, read by
// the tools each Android version has, and `exec-out` passing them unchanged.
TEST_F(AdbSim, PhonesServeFilesThroughTheirVersionsTools) {
    std::string dir = gScratch + "\\apks";
    CreateDirectoryA(dir.c_str(), nullptr);
    std::string bytes;
    for (int i = 0; i < 3000; i++) bytes += static_cast<char>(i * 7 % 256);
    WriteText(dir + "\\com.example.app.apk", bytes);
    WriteText(dir + "\\com.example.app@split_config.zh.apk", "split");
    for (int api : {21, 23, 26, 28, 30}) {
        SCOPED_TRACE("API " + std::to_string(api));
        UseText(Phone(api) + "apk-dir " + dir + "\nexec-ms 0\nusb-kbps 0\n");
        Result r = Adb("shell pm path com.example.app");
        std::string path = r.out.substr(8, r.out.find_first_of("\r\n") - 8);
        std::string folder = path.substr(0, path.rfind('/'));
        EXPECT_EQ(Adb("exec-out \"ls " + folder + "\"").out, "base.apk\nsplit_config.zh.apk\n");
        // Bytes [1000, 1100): by block arithmetic everywhere, by bytes from Android 11.
        r = Adb("exec-out \"dd if=" + path + " bs=100 skip=10 count=1 2>/dev/null\"");
        EXPECT_EQ(r.out, bytes.substr(1000, 100));
        r = Adb("exec-out \"dd if=" + path + " iflag=skip_bytes,count_bytes skip=1000 count=100 2>/dev/null\"");
        EXPECT_EQ(r.out == bytes.substr(1000, 100), api >= 30);
        r = Adb("exec-out \"tail -c 50 " + path + "; stat -c '%s %n' " + path + "\"");
        EXPECT_EQ(r.out, api >= 23 ? bytes.substr(2950) + "3000 " + path + "\n"
                                   : "/system/bin/sh: tail: not found\n/system/bin/sh: stat: not found\n");
        r = Adb("exec-out \"head -c 5 " + folder + "/split_config.zh.apk\"");
        const char* missing = api >= 24 ? ": inaccessible or not found\n" : ": not found\n";
        EXPECT_EQ(r.out, api >= 28 ? std::string("split") : std::string("/system/bin/sh: head") + missing);
        r = Adb("exec-out \"dd if=" + path + " bs=1000 count=1 2>/dev/null | gzip -1\"");
        EXPECT_EQ(r.out.compare(0, 2, "\x1f\x8b") == 0, api >= 26) << "a gzip stream from Android 8";
        // Before Android 7 a plain shell's terminal turns LF into CR LF; exec-out never does.
        r = Adb("shell \"dd if=" + path + " bs=3000 count=1 2>/dev/null\"");
        EXPECT_EQ(r.out.size(), api < 24 ? bytes.size() + static_cast<size_t>(Count(bytes, "\n")) : bytes.size());
        EXPECT_EQ(Adb("exec-out \"stat -c %s /data/app/none/base.apk 2>/dev/null; echo $?\"").out,
                  api >= 23 ? "1\n" : "127\n");
    }
}

namespace {

// The line of a package in the state file, whole.
std::string LineOf(const std::string& package) {
    std::string state = ReadText(StatePath());
    size_t at = state.find("package " + package + " ");
    if (at == std::string::npos) return "<no line>";
    return state.substr(at, state.find('\n', at) - at);
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

} // namespace

// The makers' phones answer each change as their owners report it.
TEST_F(AdbSim, MakersPhonesRefuseAsTheirOwnersReport) {
    UseProfile("xiaomi-hyperos.txt");
    Result r = Adb("shell pm disable-user --user 0 com.miui.analytics");
    EXPECT_EQ(r.code, 255u);
    EXPECT_TRUE(Has(r.err, "\njava.lang.SecurityException: Cannot disable system packages.\n")) << r.err;
    EXPECT_EQ(StateOf("com.miui.analytics"), "enabled");
    EXPECT_EQ(Adb("shell pm uninstall -k --user 0 com.miui.analytics").out, "Success\n");
    EXPECT_EQ(StateOf("com.miui.analytics"), "uninstalled");
    EXPECT_EQ(Adb("shell cmd package install-existing --user 0 com.miui.analytics").out,
              "Package com.miui.analytics installed for user: 0\n");
    EXPECT_TRUE(Has(Adb("shell pm disable-user --user 0 com.miui.core").err, "Cannot disable miui core packages."));
    // The region's disabled apps: the shell may not move them, either way.
    EXPECT_TRUE(Has(Adb("shell pm enable --user 0 com.miui.hybrid").err,
                    "java.lang.SecurityException: Shell cannot change component state for null to 1"));
    EXPECT_EQ(StateOf("com.miui.hybrid"), "disabled");
    EXPECT_EQ(Adb("shell pm uninstall -k --user 0 com.mi.globalbrowser").out, "Failure [-1000]\n");
    // A package the user does not have is "not installed" for it, known to the phone or not.
    EXPECT_EQ(Adb("shell pm uninstall -k --user 0 com.not.there").out, "Failure [not installed for 0]\n");
    EXPECT_EQ(Adb("shell pm disable-user --user 0 com.taobao.taobao").out,
              "Package com.taobao.taobao new state: disabled-user\n");
    EXPECT_TRUE(Has(Adb("shell pm list users").out, "\tUserInfo{999:XSpace:801010} running\n"));

    UseProfile("android17-phone.txt");
    EXPECT_EQ(Adb("shell getprop ro.build.version.release").out, "17\n");
    EXPECT_EQ(Adb("shell pm uninstall -k --user 0 com.google.android.youtube").out,
              "Failure [only root can delete system app for a particular user]\n");
    EXPECT_EQ(StateOf("com.google.android.youtube"), "enabled");
    EXPECT_EQ(Adb("shell pm disable-user --user 0 com.google.android.youtube").out,
              "Package com.google.android.youtube new state: disabled-user\n");
    EXPECT_EQ(Adb("shell pm uninstall -k --user 0 com.whatsapp").out, "Success\n");

    UseProfile("vivo-originos.txt");
    EXPECT_EQ(Adb("shell pm uninstall -k --user 0 com.vivo.appstore").out, "Failure [DELETE_FAILED_USER_RESTRICTED]\n");
    EXPECT_TRUE(Has(Adb("shell pm disable-user --user 0 com.vivo.appstore").err,
                    "java.lang.SecurityException: Cannot disable com.vivo.appstore no root permission"));
    EXPECT_EQ(Adb("shell pm uninstall -k --user 0 com.vivo.space").out, "Success\n");

    UseProfile("honor-magicos.txt");
    EXPECT_EQ(Adb("shell pm uninstall -k --user 0 com.hihonor.id").out,
              "Failure [DELETE_FAILED_ABORTED: com.hihonor.id is not allowed the uninstall.]\n");

    // A Secure Folder: every command for it, and a list of every user, refused.
    UseProfile("samsung-secure-folder.txt");
    r = Adb("shell pm list packages");
    EXPECT_EQ(r.code, 255u);
    EXPECT_TRUE(Has(r.err, "Exception occurred while executing 'list':\n"
                           "java.lang.SecurityException: Shell does not have permission to access user 150\n"))
        << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(Has(Adb("shell pm list packages --user 0").out, "package:com.whatsapp\n"));
    EXPECT_TRUE(Has(Adb("shell pm list packages --user 150").err, "access user 150"));
    EXPECT_TRUE(Has(Adb("shell pm disable-user --user 150 com.whatsapp").err, "access user 150"));
    EXPECT_TRUE(Has(Adb("shell pm list packages --user 95").out, "package:com.whatsapp\n"));
}

// An app its owner installed that no other user has loses its APK when it is
// deleted for the owner: only its copies bring it back, and only when the
// phone takes installs from the computer.
TEST_F(AdbSim, AUserAppDeletedWithItsLastUserLosesItsApkAndComesBackOnlyFromItsCopies) {
    UseProfile("xiaomi-hyperos.txt");
    std::string copies = gScratch + "\\copies";
    CreateDirectoryA(copies.c_str(), nullptr);
    Result path = Adb("shell pm path --user 0 com.ss.android.ugc.aweme");
    ASSERT_EQ(Count(path.out, "package:"), 2) << path.out;
    ASSERT_TRUE(StartsWith(path.out, "package:/data/app/~~"));
    std::vector<std::string> remote, local;
    for (size_t at = path.out.find("package:"); at != std::string::npos; at = path.out.find("package:", at + 1)) {
        remote.push_back(path.out.substr(at + 8, path.out.find('\n', at) - at - 8));
        local.push_back(copies + "\\" + remote.back().substr(remote.back().rfind('/') + 1));
    }
    EXPECT_TRUE(Has(remote[0], "/base.apk")) << remote[0];
    EXPECT_TRUE(Has(remote[1], "/split_config.arm64_v8a.apk")) << remote[1];
    Result pulled = Adb("pull " + remote[0] + " " + remote[1] + " " + copies);
    EXPECT_EQ(pulled.code, 0u) << pulled.err;
    EXPECT_EQ(Count(pulled.out, "1 file pulled"), 2) << pulled.out;
    std::string base = ReadText(local[0]), split = ReadText(local[1]);
    EXPECT_EQ(base.compare(0, 4, "PK\x03\x04"), 0);
    EXPECT_EQ(Adb("shell stat -c %s " + remote[0]).out, std::to_string(base.size()) + "\n");
    EXPECT_GT(split.size(), 0u);

    // Deleted for its only user: the APK goes, the data and the record stay.
    EXPECT_EQ(Adb("shell pm uninstall -k --user 0 com.ss.android.ugc.aweme").out, "Success\n");
    EXPECT_TRUE(Has(LineOf("com.ss.android.ugc.aweme"), " apk-gone")) << LineOf("com.ss.android.ugc.aweme");
    EXPECT_FALSE(Has(LineOf("com.ss.android.ugc.aweme"), "data-lost"));
    EXPECT_TRUE(Has(Adb("shell pm list packages -u --user 0").out, "package:com.ss.android.ugc.aweme\n"));
    path = Adb("shell pm path --user 0 com.ss.android.ugc.aweme");
    EXPECT_EQ(path.out, "");
    EXPECT_EQ(path.code, 1u);
    EXPECT_EQ(Adb("pull " + remote[0] + " " + copies + "\\again.apk").err,
              "adb: error: failed to stat remote object '" + remote[0] + "': No such file or directory\r\n");
    Result existing = Adb("shell cmd package install-existing --user 0 com.ss.android.ugc.aweme");
    EXPECT_EQ(existing.out, "android.content.pm.PackageManager$NameNotFoundException: Package "
                            "com.ss.android.ugc.aweme doesn't exist\n");
    EXPECT_EQ(existing.code, 1u);

    // Dual apps still has WeChat: its APK stays, install-existing brings it back.
    EXPECT_EQ(Adb("shell pm uninstall -k --user 0 com.tencent.mm").out, "Success\n");
    EXPECT_FALSE(Has(LineOf("com.tencent.mm"), "apk-gone"));
    EXPECT_EQ(Adb("shell cmd package install-existing --user 0 com.tencent.mm").out,
              "Package com.tencent.mm installed for user: 0\n");

    // USB安装 off: refused at the commit, nothing changes.
    std::string install = "install-multiple -r --user 0 \"" + local[0] + "\" \"" + local[1] + "\"";
    Result refused = Adb(install);
    EXPECT_EQ(refused.code, 1u);
    EXPECT_EQ(refused.err, "adb: failed to finalize session\r\n"
                           "Failure [INSTALL_FAILED_USER_RESTRICTED: Install canceled by user]\r\n");
    EXPECT_TRUE(Has(LineOf("com.ss.android.ugc.aweme"), " apk-gone"));
    // The owner switches it on: the copies install, for the owner alone.
    std::string state = ReadText(StatePath());
    state.replace(state.find("usb-install off"), 15, "usb-install on");
    WriteText(StatePath(), state);
    Result done = Adb(install);
    EXPECT_EQ(done.out, "Success\r\n") << done.err;
    EXPECT_EQ(done.code, 0u);
    EXPECT_EQ(LineOf("com.ss.android.ugc.aweme").find("apk-gone"), std::string::npos);
    EXPECT_EQ(StateOf("com.ss.android.ugc.aweme"), "enabled");
    EXPECT_FALSE(Has(LineOf("com.ss.android.ugc.aweme"), "u999=")) << "--user 0: the owner's only";
    EXPECT_EQ(Count(Adb("shell pm path --user 0 com.ss.android.ugc.aweme").out, "package:"), 2);

    // Copies that are not whole, or not the app, are refused.
    test::WriteFileText(copies + "\\cut.apk", base.substr(0, base.size() - 30));
    EXPECT_TRUE(Has(Adb("install-multiple -r \"" + copies + "\\cut.apk\"").err, "INSTALL_PARSE_FAILED_NOT_APK"));
    EXPECT_TRUE(Has(Adb("install-multiple -r \"" + local[1] + "\"").err, "Full install must include a base package"));
    // Without --user an install is every user's, as pm's is.
    EXPECT_EQ(Adb("install -r \"" + local[0] + "\"").out, "Success\r\n");
    EXPECT_TRUE(Has(LineOf("com.ss.android.ugc.aweme"), "u999=enabled")) << LineOf("com.ss.android.ugc.aweme");
    EXPECT_TRUE(Has(LineOf("com.ss.android.ugc.aweme"), "u11=enabled"));
}
