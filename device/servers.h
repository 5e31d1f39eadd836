// adb servers on other computers: `adb -H host -P port` reaches the phones
// attached there. The list the user added is kept in a small text file
// beside the record of actions, one "host:port" a line.
#pragma once

#include <string>
#include <vector>

namespace dev {

constexpr int kDefaultServerPort = 5037;

// An adb server; an empty host is the one on this computer.
struct Server {
    std::string host;
    int port = 0;
    bool Local() const { return host.empty(); }
    std::string Label() const;   // "192.168.1.20:5037", empty for this computer's
    bool operator==(const Server& o) const { return host == o.host && port == o.port; }
    bool operator!=(const Server& o) const { return !(*this == o); }
};

// Reads "host", "host:port" or "host port" as the user types them; an IPv6
// address goes in brackets when it has a port ("[fe80::1]:5037"). False, with
// the reason in Chinese, for anything else.
bool ParseServer(const std::string& text, Server* server, std::string* why);
// The same for the host and the port typed apart; an empty port is 5037.
bool ParseServer(const std::string& host, const std::string& port, Server* server, std::string* why);

// Whether the server is this computer's own adb server: its port is the
// local server's (ANDROID_ADB_SERVER_PORT, else 5037) and its host is a
// loopback address, an address of this computer or its name. Its phones are
// listed already; listed again, every phone would show twice and an action
// on all phones would reach each one twice at once.
bool IsThisComputersServer(const Server& server);

// %LOCALAPPDATA%\adbtool\servers.txt
std::string DefaultServersPath();
// The servers of the file; lines that are no server are skipped. None when there is no file.
std::vector<Server> ReadServers(const std::string& path);
bool WriteServers(const std::string& path, const std::vector<Server>& servers, std::string* why);

} // namespace dev
