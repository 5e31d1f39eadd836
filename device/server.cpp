// Whether an adb server already listens on this computer, asked the way adb's
// own clients find it: a TCP connection to 127.0.0.1 on ANDROID_ADB_SERVER_PORT,
// else 5037.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <string>
#include <vector>
#include <cstdlib>
#include "adb.h"
#include "servers.h"

namespace dev {

unsigned short AdbServerPort() {
    char value[16];
    DWORD n = GetEnvironmentVariableA("ANDROID_ADB_SERVER_PORT", value, sizeof value);
    int port = n > 0 && n < sizeof value ? std::atoi(value) : 0;
    return static_cast<unsigned short>(port > 0 && port < 65536 ? port : 5037);
}

namespace {

bool SocketsReady() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

bool SameText(const std::string& a, const std::string& b) { return _stricmp(a.c_str(), b.c_str()) == 0; }

// An address this computer has, as its network adapters list them
// (loopback included). Numbers only: no name is looked up (a slow DNS would
// hold the dialog).
bool LocalAddress(const std::string& host) {
    if (!SocketsReady()) return false;
    addrinfo hints = {}, *found = nullptr;
    hints.ai_flags = AI_NUMERICHOST;
    std::string h = host.size() > 2 && host.front() == '[' && host.back() == ']' ? host.substr(1, host.size() - 2) : host;
    if (getaddrinfo(h.c_str(), nullptr, &hints, &found) != 0) return false;
    std::vector<std::string> wanted;
    for (addrinfo* a = found; a; a = a->ai_next) {
        if (a->ai_family == AF_INET) {
            const in_addr& v4 = reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr;
            if ((ntohl(v4.s_addr) >> 24) == 127) wanted.push_back("loopback");
            wanted.emplace_back(reinterpret_cast<const char*>(&v4), sizeof v4);
        } else if (a->ai_family == AF_INET6) {
            const in6_addr& v6 = reinterpret_cast<const sockaddr_in6*>(a->ai_addr)->sin6_addr;
            if (IN6_IS_ADDR_LOOPBACK(&v6)) wanted.push_back("loopback");
            wanted.emplace_back(reinterpret_cast<const char*>(&v6), sizeof v6);
        }
    }
    freeaddrinfo(found);
    for (const std::string& w : wanted)
        if (w == "loopback") return true;
    ULONG size = 16384;
    std::vector<char> buffer;
    ULONG got = ERROR_BUFFER_OVERFLOW;
    for (int tries = 0; tries < 3 && got == ERROR_BUFFER_OVERFLOW; tries++) {
        buffer.resize(size);
        got = GetAdaptersAddresses(AF_UNSPEC, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER,
                                   nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
    }
    if (got != NO_ERROR) return false;
    for (auto* a = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); a; a = a->Next)
        for (IP_ADAPTER_UNICAST_ADDRESS* u = a->FirstUnicastAddress; u; u = u->Next) {
            const sockaddr* sa = u->Address.lpSockaddr;
            std::string have;
            if (sa->sa_family == AF_INET)
                have.assign(reinterpret_cast<const char*>(&reinterpret_cast<const sockaddr_in*>(sa)->sin_addr), sizeof(in_addr));
            else if (sa->sa_family == AF_INET6)
                have.assign(reinterpret_cast<const char*>(&reinterpret_cast<const sockaddr_in6*>(sa)->sin6_addr), sizeof(in6_addr));
            for (const std::string& w : wanted)
                if (w == have) return true;
        }
    return false;
}

} // namespace

bool IsThisComputersServer(const Server& server) {
    if (server.Local()) return true;
    if (server.port != AdbServerPort()) return false;
    const std::string& h = server.host;
    if (SameText(h, "localhost") || LocalAddress(h)) return true;
    char name[256];
    DWORD size = sizeof name;
    if (GetComputerNameExA(ComputerNameDnsHostname, name, &size) && SameText(h, name)) return true;
    size = sizeof name;
    if (GetComputerNameExA(ComputerNameDnsFullyQualified, name, &size) && SameText(h, name)) return true;
    size = sizeof name;
    return GetComputerNameA(name, &size) && SameText(h, name);
}

bool AdbServerListening(DWORD waitMs) {
    if (!SocketsReady()) return false;
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
