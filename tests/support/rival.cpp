#include "rival.h"

#include <winsock2.h>
#include "device/adb.h"

namespace test {

namespace {

constexpr DWORD kStartMs = 20000;
constexpr DWORD kEndMs = 10000;

} // namespace

unsigned short FreePort() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in at = {};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&at), sizeof at);
    int n = sizeof at;
    getsockname(s, reinterpret_cast<sockaddr*>(&at), &n);
    closesocket(s);
    return ntohs(at.sin_port);
}

Rival::Rival(const std::string& adb, const std::string& copy) : port_(FreePort()) {
    if (!CopyFileA(adb.c_str(), copy.c_str(), FALSE)) return;
    SetEnvironmentVariableA("ANDROID_ADB_SERVER_PORT", std::to_string(port_).c_str());
    std::string line = "\"" + copy + "\" __rival " + std::to_string(port_) + " 31";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr, &si, &pi_))
        return;
    CloseHandle(pi_.hThread);
    pi_.hThread = nullptr;
    DWORD began = GetTickCount();
    while (!dev::AdbServerListening() && GetTickCount() - began < kStartMs) Sleep(20);
}

Rival::~Rival() {
    End();
    if (pi_.hProcess) CloseHandle(pi_.hProcess);
    SetEnvironmentVariableA("ANDROID_ADB_SERVER_PORT", nullptr);
}

bool Rival::Serving() const { return pi_.hProcess && !Ended() && dev::AdbServerListening(); }

bool Rival::Ended() const { return !pi_.hProcess || WaitForSingleObject(pi_.hProcess, 0) == WAIT_OBJECT_0; }

void Rival::End() {
    if (!pi_.hProcess || Ended()) return;
    TerminateProcess(pi_.hProcess, 1);
    WaitForSingleObject(pi_.hProcess, kEndMs);
}

} // namespace test
