// The adb server as clients meet it, for profiles that say no server runs at
// first (server-start-ms). Real adb: a client that finds no server on its
// port prints "* daemon not running; starting now at tcp:5037", starts
// `adb fork-server server` detached and waits for its "OK"; two clients that
// do this at once both start one, the server that cannot take the port ends
// without answering, and its client prints "could not read ok from ADB
// Server", "* failed to start daemon" and fails with "cannot connect to
// daemon" (packages/modules/adb adb.cpp launch_server, client/adb_client.cpp
// adb_connect).
//
// Here the port is a named event, created by the first client and set by its
// server once started; the server holds it (and a kill event and a mutex
// that kill-server waits on) for its life. The names come from the state
// file's path, so tests with their own state files never meet.
#include "sim.h"

namespace sim {

namespace {

// How long a started server stays when nobody kills it.
constexpr DWORD kServerLifeMs = 60000;
// How long kill-server waits for the server's end.
constexpr DWORD kKillWaitMs = 10000;

std::string ServerName(const std::string& statePath) { return ObjectName(statePath, "server"); }

// Detached, without a console and without any of the client's handles: a
// server that kept the client's output pipes would keep its reader waiting.
HANDLE LaunchServer(const std::string& name, DWORD startMs) {
    std::string line = "\"" + ExePath() + "\" __server " + name + " " + std::to_string(startMs);
    std::vector<char> buf(line.begin(), line.end());
    buf.push_back(0);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, buf.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr, &si, &pi))
        return nullptr;
    CloseHandle(pi.hThread);
    return pi.hProcess;
}

} // namespace

bool EnsureServer(const std::string& statePath, DWORD startMs) {
    std::string name = ServerName(statePath);
    HANDLE port = CreateEventA(nullptr, TRUE, FALSE, name.c_str());
    if (!port) return true;
    bool taken = GetLastError() == ERROR_ALREADY_EXISTS;
    if (taken && WaitForSingleObject(port, 0) == WAIT_OBJECT_0) {
        CloseHandle(port);
        return true;
    }
    Err("* daemon not running; starting now at tcp:5037\r\n");
    // A port already taken is another client's server still starting: the
    // server this client would start cannot listen and ends at once.
    bool started = false;
    if (!taken) {
        HANDLE server = LaunchServer(name, startMs);
        if (server) {
            HANDLE either[] = {port, server};
            started = WaitForMultipleObjects(2, either, FALSE, INFINITE) == WAIT_OBJECT_0;
            CloseHandle(server);
        }
    }
    CloseHandle(port);
    Err(started ? "* daemon started successfully\r\n" : "could not read ok from ADB Server\r\n* failed to start daemon\r\n");
    return started;
}

void KillServer(const std::string& statePath) {
    std::string name = ServerName(statePath);
    HANDLE kill = OpenEventA(EVENT_MODIFY_STATE, FALSE, (name + "-kill").c_str());
    if (!kill) return;
    HANDLE alive = OpenMutexA(SYNCHRONIZE, FALSE, (name + "-alive").c_str());
    SetEvent(kill);
    CloseHandle(kill);
    if (alive) {
        // Abandoned when the server has ended: the next client finds no server.
        WaitForSingleObject(alive, kKillWaitMs);
        CloseHandle(alive);
    }
}

int ServeAsServer(const std::string& name, DWORD startMs) {
    HANDLE port = OpenEventA(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, name.c_str());
    HANDLE alive = CreateMutexA(nullptr, TRUE, (name + "-alive").c_str());
    HANDLE kill = CreateEventA(nullptr, TRUE, FALSE, (name + "-kill").c_str());
    // Left set by a kill-server that ended the server before this one.
    if (kill && GetLastError() == ERROR_ALREADY_EXISTS) ResetEvent(kill);
    if (port && alive && kill && WaitForSingleObject(kill, startMs) == WAIT_TIMEOUT) {
        SetEvent(port);
        WaitForSingleObject(kill, kServerLifeMs);
    }
    // The port goes before kill-server hears of the end.
    if (port) CloseHandle(port);
    if (kill) CloseHandle(kill);
    if (alive) {
        ReleaseMutex(alive);
        CloseHandle(alive);
    }
    return 0;
}

} // namespace sim
