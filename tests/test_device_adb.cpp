// Running adb as the device layer does, with this test executable standing in
// for adb.exe (its child scenarios): arguments, the two streams, cancel and
// time-out ending the whole process tree, several runs at once, and the
// record appended to by several processes at once.
#include <winsock2.h>
#include <gtest/gtest.h>
#include <windows.h>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include "device/adb.h"
#include "device/record.h"
#include "device/servers.h"
#include "device/thread.h"
#include "tests/support/child.h"

namespace {

using namespace dev;

std::string SelfExe() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return std::string(path, n);
}

TEST_CHILD(print_args) {
    for (const std::string& a : test::ChildArgs()) std::printf("[%s]\n", a.c_str());
    std::fprintf(stderr, "to stderr\n");
    return 7;
}

// Starts a grandchild that sleeps, prints its process id, then sleeps itself.
TEST_CHILD(tree) {
    std::string line = "\"" + SelfExe() + "\" --child=sleep";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return 2;
    std::printf("grandchild %lu\n", pi.dwProcessId);
    std::fflush(stdout);
    Sleep(120000);
    return 0;
}

TEST_CHILD(sleep) {
    Sleep(120000);
    return 0;
}

TEST_CHILD(append_record) {
    const std::vector<std::string>& a = test::ChildArgs();
    ActionRecord record(a[0]);
    for (int i = 0; i < 50; i++) {
        RecordEntry e{RecordTime(), a[1], "m", 0, "com.p" + std::to_string(i), Action::Disable, Outcome::Done};
        if (!record.Append({e})) return 3;
    }
    return 0;
}

TEST(AdbRun, ArgumentsArriveAsGivenAndTheStreamsApart) {
    Adb adb(SelfExe());
    std::vector<std::string> args = {"--child=print_args", "plain", "two words", "", "say \"hi\"", "back\\slash\\",
                                     "end\\\\\"q", "echo :m: 0;pm list packages $? 'x'"};
    AdbResult r = adb.Run(args);
    ASSERT_TRUE(r.started) << r.startError;
    std::string want;
    for (size_t i = 1; i < args.size(); i++) want += "[" + args[i] + "]\n";
    EXPECT_EQ(r.out, want);
    EXPECT_EQ(r.err, "to stderr\n");
    EXPECT_EQ(r.exitCode, 7u);
    EXPECT_EQ(QuoteArgument("a\\b"), "a\\b") << "backslashes alone stay as they are";

    AdbResult missing = Adb(test::ExeDir() + "\\no_such_folder\\adb.exe").Run({"devices"});
    EXPECT_FALSE(missing.started);
    EXPECT_FALSE(RunFailure(missing).empty());
}

// A cancel, a time-out and onOutput's stop each end adb at once, but not the
// server it started in the background (the grandchild here).
TEST(AdbRun, CancelTimeOutAndStopEndAdbButNotItsServer) {
    Adb adb(SelfExe());
    for (int way = 0; way < 3; way++) {
        Cancel cancel;
        HANDLE grandchild = nullptr;
        AdbRun how;
        how.cancel = way == 0 ? &cancel : nullptr;
        how.timeoutMs = way == 1 ? 3000 : 0;
        how.onOutput = [&](const std::string& out) {
            size_t at = out.find("grandchild ");
            if (at != std::string::npos && !grandchild && out.find('\n', at) != std::string::npos)
                grandchild = OpenProcess(SYNCHRONIZE, FALSE, std::strtoul(out.c_str() + at + 11, nullptr, 10));
            if (grandchild && way == 0) cancel.Request();
            return !(grandchild && way == 2);
        };
        AdbResult r = adb.Run({"--child=tree"}, how);
        ASSERT_NE(grandchild, nullptr) << "way " << way << ": " << r.out;
        EXPECT_EQ(r.cancelled, way != 1);
        EXPECT_EQ(r.timedOut, way == 1);
        EXPECT_EQ(WaitForSingleObject(grandchild, 0), WAIT_TIMEOUT) << "way " << way << ": the server was ended";
        HANDLE end = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, GetProcessId(grandchild));
        if (end) TerminateProcess(end, 0), WaitForSingleObject(end, 5000), CloseHandle(end);
        CloseHandle(grandchild);
    }
}

// A running adb server is found as adb's own clients find it: its port
// (ANDROID_ADB_SERVER_PORT, else 5037) takes a connection.
TEST(AdbServer, FoundWhileItsPortListensAndNotAfter) {
    WSADATA data;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    ASSERT_NE(s, INVALID_SOCKET);
    sockaddr_in at = {};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof at;
    ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
    ASSERT_EQ(listen(s, 4), 0);
    ASSERT_EQ(getsockname(s, reinterpret_cast<sockaddr*>(&at), &size), 0);
    SetEnvironmentVariableA("ANDROID_ADB_SERVER_PORT", std::to_string(ntohs(at.sin_port)).c_str());
    EXPECT_TRUE(AdbServerListening(5000));
    closesocket(s);
    EXPECT_FALSE(AdbServerListening(5000));
    SetEnvironmentVariableA("ANDROID_ADB_SERVER_PORT", nullptr);
    WSACleanup();
}

// A child that writes without end, as a broken phone or a hostile server can.
TEST_CHILD(flood) {
    std::string block(65536, 'x');
    for (;;) std::fwrite(block.data(), 1, block.size(), stdout);
}

TEST(AdbRun, OutputWithoutEndIsCutAtItsCapAndTheRunEnded) {
    AdbRun how;
    how.maxBytes = 4u << 20;
    how.timeoutMs = 60000;
    DWORD start = GetTickCount();
    AdbResult r = Adb(SelfExe()).Run({"--child=flood"}, how);
    EXPECT_TRUE(r.tooLong);
    EXPECT_LE(r.out.size() + r.err.size(), how.maxBytes);
    EXPECT_FALSE(r.timedOut) << "ended at the cap, not by the time-out";
    EXPECT_LT(GetTickCount() - start, 30000u);
    EXPECT_FALSE(RunFailure(r).empty());
}

// This computer's own adb server added as a remote one would list every
// phone twice; it is known by a loopback address, an address this computer
// has, or its name, on the local server's port.
TEST(AdbServer, ThisComputersOwnServerIsKnownByAddressNameAndPort) {
    EXPECT_TRUE(IsThisComputersServer(Server{"127.0.0.1", 5037}));
    EXPECT_TRUE(IsThisComputersServer(Server{"LOCALHOST", 5037}));
    EXPECT_TRUE(IsThisComputersServer(Server{"[::1]", 5037}));
    EXPECT_FALSE(IsThisComputersServer(Server{"127.0.0.1", 5038})) << "another server on this computer";
    EXPECT_FALSE(IsThisComputersServer(Server{"192.0.2.1", 5037})) << "an address of the documentation net";
    EXPECT_FALSE(IsThisComputersServer(Server{"bench-pc-far-away", 5037}));
    char name[256];
    DWORD size = sizeof name;
    ASSERT_TRUE(GetComputerNameA(name, &size));
    EXPECT_TRUE(IsThisComputersServer(Server{name, 5037}));
    SetEnvironmentVariableA("ANDROID_ADB_SERVER_PORT", "5040");
    EXPECT_TRUE(IsThisComputersServer(Server{"127.0.0.1", 5040}));
    EXPECT_FALSE(IsThisComputersServer(Server{"127.0.0.1", 5037}));
    SetEnvironmentVariableA("ANDROID_ADB_SERVER_PORT", nullptr);
}

TEST(AdbRun, SeveralAtOnceFromSeveralThreads) {
    Adb adb(SelfExe());
    std::vector<AdbResult> results(6);
    RunEach(results.size(), [&](size_t i) {
        results[i] = adb.Run({"--child=print_args", "run " + std::to_string(i)});
    });
    for (size_t i = 0; i < results.size(); i++) {
        EXPECT_EQ(results[i].out, "[run " + std::to_string(i) + "]\n");
        EXPECT_EQ(results[i].exitCode, 7u);
    }
}

TEST(ActionRecordFile, SeveralProcessesAppendingAtOnceLoseAndGarbleNothing) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string path = std::string(temp) + "adbtool_record_shared.log";
    DeleteFileA(path.c_str());
    Adb self(SelfExe());
    const size_t kWriters = 4;
    std::vector<AdbResult> results(kWriters);
    RunEach(kWriters, [&](size_t i) {
        results[i] = self.Run({"--child=append_record", path, "W" + std::to_string(i)});
    });
    for (const AdbResult& r : results) EXPECT_EQ(r.exitCode, 0u) << r.err;
    std::vector<RecordEntry> all = ActionRecord(path).ReadAll();
    EXPECT_EQ(all.size(), kWriters * 50);
    for (size_t i = 0; i < kWriters; i++)
        EXPECT_EQ(LastActions(all, PhoneId{"", "", "W" + std::to_string(i), ""}, 0).size(), 50u) << i;
}

} // namespace

namespace {

// The worker a window runs its reads and batches on: one job at a time, the
// cancel reaching the job, `done` after the job.
TEST(DeviceWorker, OneJobAtATimeCancelReachesItAndDoneFollows) {
    dev::Worker worker;
    HANDLE started = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::atomic<int> order{0};
    int jobEnded = 0, doneRan = 0;
    bool sawCancel = false;
    ASSERT_TRUE(worker.Start(
        [&](const dev::Cancel& cancel) {
            SetEvent(started);
            sawCancel = WaitForSingleObject(cancel.Event(), 60000) == WAIT_OBJECT_0 && cancel.Requested();
            jobEnded = ++order;
        },
        [&] { doneRan = ++order; }));
    WaitForSingleObject(started, INFINITE);
    EXPECT_TRUE(worker.Running());
    EXPECT_FALSE(worker.Start([](const dev::Cancel&) {})) << "a second job while the first runs";
    worker.RequestCancel();
    worker.Wait();
    EXPECT_TRUE(sawCancel);
    EXPECT_EQ(jobEnded, 1);
    EXPECT_EQ(doneRan, 2);
    EXPECT_FALSE(worker.Running());

    bool secondRan = false;
    ASSERT_TRUE(worker.Start([&](const dev::Cancel& cancel) { secondRan = !cancel.Requested(); }));
    worker.Wait();
    EXPECT_TRUE(secondRan) << "the cancel of the first job does not reach the next";
    CloseHandle(started);
}

} // namespace
