// Whether an adb server already listens on this computer, asked the way adb's
// own clients find it: a TCP connection to 127.0.0.1 on ANDROID_ADB_SERVER_PORT,
// else 5037.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <cstdlib>
#include "adb.h"

namespace dev {

unsigned short AdbServerPort() {
    char value[16];
    DWORD n = GetEnvironmentVariableA("ANDROID_ADB_SERVER_PORT", value, sizeof value);
    int port = n > 0 && n < sizeof value ? std::atoi(value) : 0;
    return static_cast<unsigned short>(port > 0 && port < 65536 ? port : 5037);
}

bool AdbServerListening(DWORD waitMs) {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    if (!started) return false;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return false;
    // Without waiting: Windows answers a refused connection to a local port
    // only after retrying it for about a second.
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_port = htons(AdbServerPort());
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool listening = false;
    if (connect(s, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0) {
        listening = true;
    } else if (WSAGetLastError() == WSAEWOULDBLOCK) {
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(s, &writable);
        FD_SET(s, &failed);
        timeval wait = {static_cast<long>(waitMs / 1000), static_cast<long>(waitMs % 1000) * 1000};
        listening = select(0, nullptr, &writable, &failed, &wait) > 0 && FD_ISSET(s, &writable) && !FD_ISSET(s, &failed);
    }
    closesocket(s);
    return listening;
}

} // namespace dev
