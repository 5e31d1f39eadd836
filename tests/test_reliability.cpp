// The real program under hostile input and misbehaving outside tools: names
// built to break out of the command line, long runs, a hung, crashing or
// failing adb, odd output bytes, outputs too large for the log and buttons
// clicked inside each other.
#include <gtest/gtest.h>
#include <windows.h>
#include <psapi.h>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>
#include "tests/doubles/pattern.h"
#include "support/child.h"
#include "support/uidriver.h"

namespace {

using test::ToolUnderTest;
using namespace test::captions;
const char* const kAllButtons[] = {kListDevices, kForeground, kDisable, kDelete, kListDisabled, kEnable};

const char kRefused[] = "包名含有不允许的字符“";

const char kDevice[] =
    "device emulator-5554 device\n"
    "package com.example.app enabled\n"
    "package com.example.old disabled-user\n"
    "focus com.example.app/com.example.app.MainActivity\n";

bool Contains(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// Printable form of a name for failure messages (it may be 32 KB long).
std::string Shown(const std::string& name) {
    std::string out;
    for (unsigned char c : name.substr(0, 60)) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            wsprintfA(hex, "\\x%02X", c);
            out += hex;
        }
    }
    if (name.size() > 60) out += "... (" + std::to_string(name.size()) + " bytes)";
    return out;
}

void WriteState(const ToolUnderTest& tool, const std::string& state) {
    std::string path = tool.Folder() + "\\adb_1.0.40\\adb_state.txt";
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
    DWORD put = 0;
    WriteFile(h, state.data(), static_cast<DWORD>(state.size()), &put, nullptr);
    CloseHandle(h);
}

// Every file and folder below `dir`: relative path -> size and last write.
// Top-level entries starting with `skip` (the scratch folders) are left out.
using Listing = std::map<std::string, std::string>;

void ListTree(const std::string& dir, const std::string& relative, const std::string& skip, Listing* out) {
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
        std::string name = fd.cFileName;
        if (name == "." || name == "..") continue;
        if (relative.empty() && !skip.empty() && name.compare(0, skip.size(), skip) == 0) continue;
        std::string rel = relative.empty() ? name : relative + "\\" + name;
        unsigned long long size = (static_cast<unsigned long long>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
        (*out)[rel] = std::to_string(size) + " " + std::to_string(fd.ftLastWriteTime.dwHighDateTime) + ":" +
                      std::to_string(fd.ftLastWriteTime.dwLowDateTime);
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ListTree(dir + "\\" + name, rel, skip, out);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
}

Listing ListOutside() {
    Listing all;
    ListTree(test::ExeDir(), "", "e2e-", &all);
    return all;
}

std::string Differences(const Listing& before, const Listing& after) {
    std::string out;
    for (const auto& e : after) {
        auto it = before.find(e.first);
        if (it == before.end()) out += "  new: " + e.first + "\n";
        else if (it->second != e.second) out += "  changed: " + e.first + "\n";
    }
    for (const auto& e : before)
        if (!after.count(e.first)) out += "  gone: " + e.first + "\n";
    return out;
}

// Files whose names say an injected command ran, anywhere in the scratch folder.
std::vector<std::string> Markers(const std::string& folder) {
    Listing all;
    ListTree(folder, "", "", &all);
    std::vector<std::string> found;
    for (const auto& e : all)
        if (Contains(e.first, "marker") || Contains(e.first, "pwned")) found.push_back(e.first);
    return found;
}

bool Answers(HWND window) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &result) != 0;
}

// Clicks and waits until the button is enabled again with something in the
// log, which the test empties first.
bool ClickForLog(ToolUnderTest& tool, const char* caption, DWORD timeoutMs = 20000) {
    HWND b = tool.Button(caption);
    if (!b) return false;
    tool.SetText(tool.Log(), "");
    tool.Click(b);
    return tool.WaitFor([&] { return IsWindowEnabled(b) && !tool.Text(tool.Log()).empty(); }, timeoutMs);
}

// --- hostile package names ------------------------------------------------------

struct HostileName {
    std::string name;
    std::string shown;   // the offending character as the refusal names it; empty: not pinned
};

std::vector<HostileName> HostileNames() {
    const std::string payload = " echo pwned > marker.txt";
    std::vector<HostileName> names = {
        {"x &" + payload, "&"},
        {"x &&" + payload, "&"},
        {"x ||" + payload, "|"},
        {"x |" + payload, "|"},
        {"x ^&" + payload, "^"},
        {"x > marker.txt", ">"},
        {"x >> marker.txt", ">"},
        {"x < marker.txt", "<"},
        {"\"x\" &" + payload, "\""},
        {"\"\"x\"\" &" + payload, "\""},
        {"x\" &" + payload + " & \"", "\""},
        {"x\"\"", "\""},
        {"%COMSPEC% /c" + payload, "%"},
        {"x %PATH%", "%"},
        {"!COMSPEC! /c" + payload, "!"},
        {"(echo pwned) > marker.txt", "("},
        {"x) & (" + payload, ")"},
        {"x^", "^"},
        {"x;" + payload, ";"},
        {"x$(touch /sdcard/pwned)", "$"},
        {"x`touch /sdcard/pwned`", "`"},
        {"-k com.example.app", "-"},
        {"..\\..\\marker", "\\"},
        {"x,y", ","},
        {"x\techo pwned", "0x09"},
        {"x\r\necho pwned > marker.txt", "0x0D"},
        {"x\necho pwned > marker.txt", "0x0A"},
        {"x\x1a", "0x1A"},
        {"x\x80", "0x80"},
        {"x\xFF\xFE", ""},
        {"\xFF\xFE", ""},
    };
    // A 32 KB name: the interpreter's line limit must not be what saves us.
    names.push_back({std::string(32 * 1024 - 40, 'a') + " &" + payload, "&"});
    names.push_back({std::string(32 * 1024, 'b') + "|" + payload, "|"});
    return names;
}

TEST(Reliability, HostileNamesRunNothingThroughAnyAction) {
    const Listing outsideBefore = ListOutside();
    ToolUnderTest tool("hostile", kDevice);
    // The scratch folder outlives a run: no marker of an earlier one counts.
    for (const std::string& stale : Markers(tool.Folder())) DeleteFileA((tool.Folder() + "\\" + stale).c_str());
    ASSERT_TRUE(tool.Start());
    const std::vector<HostileName> names = HostileNames();
    ASSERT_GE(names.size(), 25u);

    for (const char* action : {kDisable, kDelete, kEnable}) {
        for (const HostileName& h : names) {
            tool.SetText(tool.Edit(), h.name);
            // Text() reads CR LF as LF; bytes that form no GBK character do
            // not come back unchanged through another process's WM_GETTEXT.
            std::string want = h.name;
            for (size_t at; (at = want.find("\r\n")) != std::string::npos;) want.erase(at, 1);
            if (std::none_of(want.begin(), want.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; })) {
                ASSERT_EQ(Shown(tool.Text(tool.Edit())), Shown(want)) << "the edit box must hold the whole name";
            }
            size_t before = tool.AdbLog().size();
            ASSERT_TRUE(ClickForLog(tool, action)) << action << " " << Shown(h.name);
            std::string log = tool.Text(tool.Log());
            EXPECT_EQ(tool.AdbLog().size(), before) << action << " ran " << Shown(h.name);
            EXPECT_EQ(log.compare(0, sizeof kRefused - 1, kRefused), 0) << action << " " << Shown(h.name) << ": " << log;
            EXPECT_EQ(log.find('\n'), std::string::npos) << "one line: " << log;
            if (!h.shown.empty()) {
                EXPECT_TRUE(Contains(log, "“" + h.shown + "”")) << Shown(h.name) << " wants " << h.shown << ": " << log;
            }
            EXPECT_TRUE(tool.Running());
        }
    }

    // The tool still runs commands, one per click, after all of that.
    tool.SetText(tool.Edit(), "com.example.app");
    ASSERT_TRUE(tool.ClickAndWait(kDisable));
    EXPECT_EQ(tool.AdbLog().size(), 1u);
    EXPECT_EQ(tool.Text(tool.Log()), "Package com.example.app new state: disabled-user\n");

    tool.Close();
    EXPECT_EQ(tool.WaitExit(), 0u);
    EXPECT_EQ(Markers(tool.Folder()), std::vector<std::string>());
    std::string changed = Differences(outsideBefore, ListOutside());
    EXPECT_TRUE(changed.empty()) << "outside the scratch folder:\n" << changed;
}

// Names that pass the check still make exactly one command: blanks and line
// ends that the edit box itself takes out cannot split it.
TEST(Reliability, AcceptedOddNamesRunOneCommandEach) {
    ToolUnderTest tool("oddnames", kDevice);
    ASSERT_TRUE(tool.Start());
    const std::string names[] = {"   ", "a b c", "com.example.app      ", "_._", std::string(200, '.')};
    for (const std::string& name : names) {
        tool.SetText(tool.Edit(), name);
        std::string held = tool.Text(tool.Edit());
        size_t before = tool.AdbLog().size();
        ASSERT_TRUE(tool.ClickAndWait(kEnable)) << name;
        std::vector<std::string> log = tool.AdbLog();
        ASSERT_EQ(log.size(), before + 1) << name;
        EXPECT_TRUE(EndsWith(log.back(), "adb\" shell pm enable " + held)) << log.back();
    }
    tool.Close();
    EXPECT_EQ(tool.WaitExit(), 0u);
    EXPECT_EQ(Markers(tool.Folder()), std::vector<std::string>());
}

// --- a long run -----------------------------------------------------------------

constexpr int kLongRun = 500;
constexpr int kWarmUp = 20;

struct Figures {
    SIZE_T privateBytes = 0;
    DWORD handles = 0;
};

struct LongRunResult {
    bool done = false;
    std::string failure;
    Figures afterWarmUp, atEnd;
};

// The system's handle table, where GetProcessHandleCount answers nothing
// for another process (as under Wine); 0 when that is not there either.
DWORD CountHandlesOf(DWORD pid) {
    struct Entry {
        ULONG ownerPid;
        BYTE objectType, flags;
        USHORT handle;
        PVOID object;
        ACCESS_MASK access;
    };
    using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (!query) return 0;
    const ULONG kSystemHandleInformation = 16;
    std::vector<char> buffer(1 << 20);
    for (int tries = 0; tries < 6; tries++) {
        ULONG needed = 0;
        LONG status = query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
        if (status == 0) {
            ULONG count = *reinterpret_cast<ULONG*>(buffer.data());
            const Entry* e = reinterpret_cast<const Entry*>(buffer.data() + sizeof(ULONG_PTR));
            DWORD n = 0;
            for (ULONG i = 0; i < count; i++) n += e[i].ownerPid == pid;
            return n;
        }
        buffer.resize(std::max<size_t>(buffer.size() * 2, needed + 4096));
    }
    return 0;
}

Figures Measure(DWORD pid) {
    Figures f;
    HANDLE p = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (!p) return f;
    PROCESS_MEMORY_COUNTERS_EX m = {};
    m.cb = sizeof m;
    if (GetProcessMemoryInfo(p, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&m), sizeof m))
        f.privateBytes = m.PrivateUsage ? m.PrivateUsage : m.PagefileUsage;
    if (!GetProcessHandleCount(p, &f.handles) || f.handles == 0) f.handles = CountHandlesOf(pid);
    CloseHandle(p);
    return f;
}

// Every action in turn, kLongRun commands in all, measured from outside
// after the warm-up and at the end. Run once for the tests that read it.
const LongRunResult& LongRun() {
    static LongRunResult r;
    if (r.done) return r;
    r.done = true;
    ToolUnderTest tool("longrun", kDevice);
    if (!tool.Start()) {
        r.failure = "the tool did not start";
        return r;
    }
    for (int i = 1; i <= kLongRun; i++) {
        const char* action = kAllButtons[i % 6];
        tool.SetText(tool.Edit(), "com.example.app");
        if (!tool.ClickAndWait(action)) {
            r.failure = "command " + std::to_string(i) + " (" + action + ") did not complete";
            return r;
        }
        if (i == kWarmUp) r.afterWarmUp = Measure(tool.ProcessId());
    }
    r.atEnd = Measure(tool.ProcessId());
    if (tool.AdbLog().size() != static_cast<size_t>(kLongRun))
        r.failure = "adb received " + std::to_string(tool.AdbLog().size()) + " commands";
    tool.Close();
    if (tool.WaitExit() != 0) r.failure += " exit code not 0";
    return r;
}

TEST(Reliability, PrivateMemoryStaysFlatOverManyCommands) {
    const LongRunResult& r = LongRun();
    ASSERT_TRUE(r.failure.empty()) << r.failure;
    ASSERT_NE(r.afterWarmUp.privateBytes, 0u) << "no memory figures for the tool's process";
    long long growth = static_cast<long long>(r.atEnd.privateBytes) - static_cast<long long>(r.afterWarmUp.privateBytes);
    EXPECT_LT(growth, 2LL * 1024 * 1024) << "after " << kWarmUp << ": " << r.afterWarmUp.privateBytes << ", after "
                                         << kLongRun << ": " << r.atEnd.privateBytes;
}

TEST(Reliability, HandleCountStaysFlatOverManyCommands) {
    const LongRunResult& r = LongRun();
    ASSERT_TRUE(r.failure.empty()) << r.failure;
    if (r.afterWarmUp.handles == 0) GTEST_SKIP() << "GetProcessHandleCount gives no figure for another process here";
    EXPECT_LE(r.atEnd.handles, r.afterWarmUp.handles + 5)
        << "after " << kWarmUp << ": " << r.afterWarmUp.handles << ", after " << kLongRun << ": " << r.atEnd.handles;
}

// --- misbehaving adb ------------------------------------------------------------

TEST(Reliability, HungAdbLeavesTheWindowWorkingAndClosingWaitsNoLonger) {
    const DWORD kDelay = 8000;
    ToolUnderTest tool("hung", std::string(kDevice) + "delay " + std::to_string(kDelay) + "\n");
    ASSERT_TRUE(tool.Start());
    tool.Click(tool.Button(kListDevices));
    ASSERT_TRUE(tool.WaitFor([&] { return tool.AdbLog().size() == 1; }));
    DWORD started = GetTickCount();
    // Later commands answer at once; the first has read its state by now.
    Sleep(300);
    WriteState(tool, kDevice);

    EXPECT_TRUE(Answers(tool.Window()));
    EXPECT_FALSE(IsWindowEnabled(tool.Button(kListDevices)));

    tool.SetText(tool.Edit(), "a&b");
    ASSERT_TRUE(ClickForLog(tool, kDisable));
    EXPECT_EQ(tool.Text(tool.Log()).compare(0, sizeof kRefused - 1, kRefused), 0) << tool.Text(tool.Log());
    EXPECT_EQ(tool.AdbLog().size(), 1u);

    tool.SetText(tool.Edit(), "com.example.app");
    ASSERT_TRUE(ClickForLog(tool, kEnable));
    EXPECT_EQ(tool.Text(tool.Log()), "Package com.example.app new state: enabled\n");
    EXPECT_EQ(tool.AdbLog().size(), 2u);
    EXPECT_TRUE(Answers(tool.Window()));
    ASSERT_LT(GetTickCount() - started, kDelay) << "the machine is too slow for this test";
    EXPECT_FALSE(IsWindowEnabled(tool.Button(kListDevices))) << "the hung command is still running";

    tool.Close();
    DWORD code = tool.WaitExit(kDelay + 20000);
    DWORD ended = GetTickCount() - started;
    EXPECT_EQ(code, 0u);
    EXPECT_LT(ended, kDelay + 5000) << "closing took longer than the command";
}

TEST(Reliability, CrashingOrFailingAdbStillShowsItsOutput) {
    ToolUnderTest tool("failing", std::string(kDevice) + "crash\n");
    ASSERT_TRUE(tool.Start());

    ASSERT_TRUE(ClickForLog(tool, kListDevices));
    EXPECT_EQ(tool.Text(tool.Log()), "List of devices attached\nemulator-5554\tdevice\n\n");
    tool.SetText(tool.Edit(), "");
    ASSERT_TRUE(ClickForLog(tool, kForeground));
    EXPECT_EQ(tool.Text(tool.Edit()), "com.example.app");
    EXPECT_TRUE(tool.Running());

    struct Case {
        const char* state;
        const char* action;
        const char* shown;
    } cases[] = {
        {"exit 3\n", kDisable, "Package com.example.app new state: disabled-user\n"},
        {"exit 3\n", kListDisabled, "package:com.example.old\n"},
        // The code a running process reports: the end must still be seen.
        {"exit 259\n", kEnable, "Package com.example.app new state: enabled\n"},
        {"exit 0xC0000005\n", kListDevices, "List of devices attached\nemulator-5554\tdevice\n\n"},
        {"crash\ninterleave 2\n", kDelete, "out 1\nerr 1\nout 2\nerr 2\nSuccess\n"},
    };
    for (const Case& c : cases) {
        WriteState(tool, std::string(kDevice) + c.state);
        tool.SetText(tool.Edit(), "com.example.app");
        ASSERT_TRUE(ClickForLog(tool, c.action)) << c.state;
        EXPECT_EQ(tool.Text(tool.Log()), c.shown) << c.state;
        EXPECT_TRUE(IsWindowEnabled(tool.Button(c.action)));
        EXPECT_TRUE(tool.Running());
        EXPECT_TRUE(Answers(tool.Window()));
    }
    tool.Close();
    EXPECT_EQ(tool.WaitExit(), 0u);
}

// --- odd output -----------------------------------------------------------------

TEST(Reliability, ZeroBytesAndInvalidGbkPassThrough) {
    ToolUnderTest tool("oddbytes", std::string(kDevice) + "raw 61 00 62 0d 0a\n");
    ASSERT_TRUE(tool.Start());
    ASSERT_TRUE(ClickForLog(tool, kListDisabled));
    EXPECT_EQ(tool.Text(tool.Log()), "ab\npackage:com.example.old\n");

    WriteState(tool, std::string(kDevice) + "raw 00 00 61 00 00 62 00 0d 0a 00\n");
    ASSERT_TRUE(ClickForLog(tool, kListDisabled));
    EXPECT_EQ(tool.Text(tool.Log()), "ab\npackage:com.example.old\n");

    // Bytes that form no GBK character: the lines around them survive.
    WriteState(tool, std::string(kDevice) + "raw 81 0d 0a ff fe 0d 0a 41\n");
    ASSERT_TRUE(ClickForLog(tool, kListDisabled));
    std::string log = tool.Text(tool.Log());
    EXPECT_TRUE(EndsWith(log, "\nApackage:com.example.old\n")) << Shown(log);
    EXPECT_GE(std::count(log.begin(), log.end(), '\n'), 3) << Shown(log);
    EXPECT_TRUE(tool.Running());

    // A valid double-byte character split by a zero byte keeps both halves.
    WriteState(tool, std::string(kDevice) + "raw b0 00 a1 0d 0a\n");
    ASSERT_TRUE(ClickForLog(tool, kListDisabled));
    EXPECT_EQ(tool.Text(tool.Log()), "啊\npackage:com.example.old\n");

    tool.Close();
    EXPECT_EQ(tool.WaitExit(), 0u);
}

TEST(Reliability, TwoMegabyteOutputIsShownWhole) {
    const unsigned kBytes = 2000000;
    ToolUnderTest tool("bigoutput", std::string(kDevice) + "pad " + std::to_string(kBytes) + "\n");
    ASSERT_TRUE(tool.Start());
    SIZE_T before = Measure(tool.ProcessId()).privateBytes;
    ASSERT_TRUE(ClickForLog(tool, kListDisabled, 120000));
    // The log holds the output now, which the memory probe of the long run
    // must be able to see.
    SIZE_T after = Measure(tool.ProcessId()).privateBytes;
    EXPECT_GT(after, before + 1024 * 1024) << "before " << before << ", after " << after;

    std::string padding;
    sim::AppendPadding(&padding, 0, kBytes);
    std::string expected = "package:com.example.old\n";
    for (size_t i = 0; i < padding.size(); i++)
        if (padding[i] != '\r') expected += padding[i];
    std::string log = tool.Text(tool.Log());
    size_t diff = 0;
    while (diff < log.size() && diff < expected.size() && log[diff] == expected[diff]) diff++;
    EXPECT_TRUE(log == expected) << "got " << log.size() << " bytes, want " << expected.size()
                                 << "; first difference at " << diff;
    EXPECT_TRUE(tool.Running());
    EXPECT_TRUE(Answers(tool.Window()));
    EXPECT_TRUE(IsWindowEnabled(tool.Button(kListDisabled)));
}

// The log's own line ends (LF) for a text as written (CR LF).
std::string AsShown(const std::string& written) {
    std::string out;
    out.reserve(written.size());
    for (char c : written)
        if (c != '\r') out += c;
    return out;
}

// 50 MB of short lines is more than Wine's rich edit control can lay out in a
// 32-bit process (kilobytes per line): the log keeps what the address space
// allows and says how much was left out, the program goes on working, and the
// next output replaces it whole. Where the control can take it all, the log
// holds it all.
TEST(Reliability, FiftyMegabyteOutputLeavesTheToolWorking) {
    const unsigned kBytes = 50u << 20;
    ToolUnderTest tool("hugeoutput", std::string(kDevice) + "pad " + std::to_string(kBytes) + "\n");
    ASSERT_TRUE(tool.Start());
    const SIZE_T before = Measure(tool.ProcessId()).privateBytes;
    ASSERT_TRUE(ClickForLog(tool, kListDisabled, 300000))
        << "button enabled " << IsWindowEnabled(tool.Button(kListDisabled)) << ", log of "
        << tool.Text(tool.Log()).size() << " bytes, tool running " << tool.Running();
    ASSERT_TRUE(tool.Running());
    EXPECT_TRUE(Answers(tool.Window()));

    std::string written = "package:com.example.old\n";   // as adb prints it
    sim::AppendPadding(&written, 0, kBytes);
    std::string log = tool.Text(tool.Log());
    const char kNote[] = "（可用内存不足：内容共 ";
    size_t note = log.find(kNote);
    if (note == std::string::npos) {
        EXPECT_TRUE(log == AsShown(written)) << "got " << log.size() << " bytes";
    } else {
        // The two figures, in the order the note gives them.
        unsigned long figures[2] = {0, 0};
        const char* at = log.c_str() + note;
        for (unsigned long& figure : figures) {
            at += std::strcspn(at, "0123456789");
            char* end = nullptr;
            figure = std::strtoul(at, &end, 10);
            at = end;
        }
        const unsigned long whole = figures[0], shown = figures[1];
        EXPECT_EQ(whole, written.size());
        ASSERT_LT(shown, written.size());
        EXPECT_GT(shown, 1ul << 20) << "less than a megabyte shown";
        EXPECT_EQ(written[shown - 1], '\n') << "cut inside a line";
        EXPECT_TRUE(log.compare(0, note, AsShown(written.substr(0, shown))) == 0) << "the part shown differs";
        EXPECT_EQ(log.substr(note), "（可用内存不足：内容共 " + std::to_string(whole) + " 字节，只放入了前 " +
                                        std::to_string(shown) + " 字节。）");
    }
    std::string().swap(log);
    std::string().swap(written);

    // Not emptied by the test first: emptying a log this long in place is
    // what the program itself avoids.
    WriteState(tool, kDevice);
    ASSERT_TRUE(tool.ClickAndWait(kListDisabled, true, 60000));
    EXPECT_EQ(tool.Text(tool.Log()), "package:com.example.old\n");
    ASSERT_TRUE(ClickForLog(tool, kListDevices));
    EXPECT_TRUE(Contains(tool.Text(tool.Log()), "emulator-5554"));
    // The memory the long log took is the system's again.
    const SIZE_T after = Measure(tool.ProcessId()).privateBytes;
    EXPECT_LT(after, before + (8u << 20)) << "before " << before << ", after " << after;
    tool.Close();
    EXPECT_EQ(tool.WaitExit(60000), 0u);
}

// --- clicks inside clicks -------------------------------------------------------

TEST(Reliability, AllSixButtonsNestInsideASlowCommand) {
    ToolUnderTest tool("nestedsix", std::string(kDevice) + "delay 3000\n");
    ASSERT_TRUE(tool.Start());
    tool.SetText(tool.Edit(), "com.example.app");
    for (const char* caption : kAllButtons) {
        HWND b = tool.Button(caption);
        tool.Click(b);
        ASSERT_TRUE(tool.WaitFor([&] { return !IsWindowEnabled(b); }, 5000)) << caption;
    }
    // All six commands are running at once, each with its own button disabled.
    ASSERT_TRUE(tool.WaitFor([&] { return tool.AdbLog().size() == 6; }, 10000)) << tool.AdbLog().size();
    for (const char* caption : kAllButtons) EXPECT_FALSE(IsWindowEnabled(tool.Button(caption))) << caption;
    EXPECT_TRUE(Answers(tool.Window()));

    ASSERT_TRUE(tool.WaitFor([&] {
        for (const char* caption : kAllButtons)
            if (!IsWindowEnabled(tool.Button(caption))) return false;
        return true;
    }, 60000));

    std::vector<std::string> log = tool.AdbLog();
    const char* expected[] = {
        "adb_1.0.40\\adb\" devices",
        "adb_1.0.40\\adb\" shell dumpsys window ",
        "adb_1.0.40\\adb\" shell pm disable-user com.example.app",
        "adb_1.0.40\\adb\" shell pm uninstall -k --user 0 com.example.app",
        "adb_1.0.40\\adb\" shell pm list packages -d",
        "adb_1.0.40\\adb\" shell pm enable com.example.app",
    };
    ASSERT_EQ(log.size(), 6u);
    for (const char* tail : expected) {
        int seen = 0;
        for (const std::string& line : log) seen += EndsWith(line, tail);
        EXPECT_EQ(seen, 1) << tail;
    }
    // The first click's handler is the outermost and writes the log last.
    EXPECT_EQ(tool.Text(tool.Log()), "List of devices attached\nemulator-5554\tdevice\n\n");
    EXPECT_EQ(tool.Text(tool.Edit()), "com.example.app");
    EXPECT_TRUE(tool.Running());
    tool.Close();
    EXPECT_EQ(tool.WaitExit(), 0u);
}

} // namespace

namespace {

BOOL CALLBACK CollectTexts(HWND h, LPARAM lp) {
    char text[1024];
    GetWindowTextA(h, text, sizeof text);
    *reinterpret_cast<std::string*>(lp) += text;
    return TRUE;
}

} // namespace

// The real program built with a damaged template: the error box names the
// damage, and the process ends with 0xFFFFFFFF once the box is closed.
TEST(Reliability, DamagedTemplateEndsInTheErrorBox) {
    std::string exeDir = test::ExeDir();
    std::string exe = exeDir + "\\adbtool_damaged.exe";
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(test::StartProgram(exe, exeDir, &pi));
    HWND box = nullptr;
    for (int i = 0; i < 2000 && !box; i++) {
        box = test::FindProcessWindow(pi.dwProcessId, nullptr, "错误");
        if (!box) Sleep(10);
    }
    ASSERT_NE(box, nullptr);
    std::string texts;
    EnumChildWindows(box, CollectTexts, reinterpret_cast<LPARAM>(&texts));
    EXPECT_NE(texts.find("载入窗口模板数据段出错!"), std::string::npos) << texts;
    EXPECT_NE(texts.find("运行时出错!"), std::string::npos) << texts;
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    ASSERT_EQ(WaitForSingleObject(pi.hProcess, 20000), WAIT_OBJECT_0);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    EXPECT_EQ(code, 0xFFFFFFFFu);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
}
