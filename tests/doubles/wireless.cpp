// Wireless debugging as the adb client meets it, and another program's adb
// server on adb's port.
//
// A phone on the network is a device block whose serial is its connect
// address and whose state is `wifi` while no computer is connected to it
// (`adb devices` leaves it out, `-s` does not find it), with one line
//
//   wireless guid=<name> [pair-port=<port> code=<six digits>] [paired]
//
// guid: the name of its connect service ("adb-SERIAL-xxxxxx"); pair-port and
// code: the 使用配对码配对设备 dialog is open (a test removes them when the
// owner leaves the page); paired: this computer's key is on the phone.
// `adb mdns services` lists its connect service and, while the dialog is
// open, its pairing service. `adb pair` with the right code marks it paired
// and closes the dialog, as a phone does; a wrong code, or a dialog that is
// gone, is "Failed: Wrong password or connection was dropped." (on standard
// output with exit 0 up to platform-tools 34, then "error: ..." on standard
// error with exit 1: packages/modules/adb services.cpp pair_service). `adb
// connect` (client/transport_emulator.cpp connect_device, every answer on
// standard output with exit 0): "connected to" a paired phone, "already
// connected to", "failed to authenticate to" one not paired, "failed to
// connect to" a pairing port (no adb handshake there), and Windows' refusal
// (10061) where nothing listens.
//
// The other program's server: `adb.exe __rival PORT VERSION` (a copy of
// this program under another name, as phone-assistant software ships its
// own adb) listens on 127.0.0.1:PORT and answers `host:version` as an adb
// server does. While it runs, every client whose port it holds says
// "adb server version (V) doesn't match this client (C); killing...", fails
// to start its own server and gives up (client/adb_client.cpp
// __adb_check_server_version): the other program's server is back at once.
#include <winsock2.h>
#include <cstdio>
#include <cstdlib>
#include "sim.h"

namespace sim {

namespace {

constexpr DWORD kRivalLifeMs = 10 * 60 * 1000;   // a test's rival never outlives it by much
constexpr int kNoPairingYet = 30;                // platform-tools before pairing

// A network phone's block, as lines of the state text.
struct NetPhone {
    size_t deviceLine = 0, wirelessLine = 0;
    std::string serial, state, guid, pairPort, code;
    bool paired = false;
    std::string Host() const { return serial.substr(0, serial.rfind(':')); }
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t i = 0;
    while (i < text.size()) {
        size_t e = text.find('\n', i);
        if (e == std::string::npos) e = text.size();
        lines.push_back(text.substr(i, e - i));
        i = e + 1;
    }
    return lines;
}

std::string Join(const std::vector<std::string>& lines) {
    std::string s;
    for (const std::string& l : lines) s += l + "\n";
    return s;
}

std::string Value(const std::string& word, const char* key) {
    size_t n = std::char_traits<char>::length(key);
    return word.compare(0, n, key) == 0 ? word.substr(n) : std::string();
}

std::vector<NetPhone> NetPhones(const std::vector<std::string>& lines) {
    std::vector<NetPhone> phones;
    NetPhone current;
    bool inDevice = false;
    for (size_t n = 0; n < lines.size(); n++) {
        std::vector<std::string> w = Words(lines[n]);
        if (w.size() > 2 && w[0] == "device") {
            current = NetPhone();
            current.deviceLine = n;
            current.serial = w[1];
            current.state = w[2];
            inDevice = true;
        } else if (inDevice && !w.empty() && w[0] == "wireless") {
            current.wirelessLine = n;
            for (size_t k = 1; k < w.size(); k++) {
                if (!Value(w[k], "guid=").empty()) current.guid = Value(w[k], "guid=");
                else if (!Value(w[k], "pair-port=").empty()) current.pairPort = Value(w[k], "pair-port=");
                else if (!Value(w[k], "code=").empty()) current.code = Value(w[k], "code=");
                else if (w[k] == "paired") current.paired = true;
            }
            phones.push_back(current);
        }
    }
    return phones;
}

std::string WirelessLine(const NetPhone& p) {
    std::string s = "wireless guid=" + p.guid;
    if (!p.pairPort.empty()) s += " pair-port=" + p.pairPort + " code=" + p.code;
    if (p.paired) s += " paired";
    return s;
}

// The device line with another state word, the rest as it was.
std::string WithState(const std::string& line, const std::string& state) {
    std::vector<std::string> w = Words(line);
    std::string s = w[0] + " " + w[1] + " " + state;
    for (size_t k = 3; k < w.size(); k++) s += " " + w[k];
    return s;
}

// Errors of a host query: "error: " whatever the release (client/commandline.cpp adb_query_command).
int QueryError(const std::string& message) {
    Err("error: " + message + "\r\n");
    return 1;
}

int MdnsServices(const Profile& p) {
    std::string out = "List of discovered mdns services\r\n";
    for (const NetPhone& n : NetPhones(p.lines)) {
        if (!n.pairPort.empty()) out += n.guid + "\t_adb-tls-pairing._tcp\t" + n.Host() + ":" + n.pairPort + "\r\n";
        out += n.guid + "\t_adb-tls-connect._tcp\t" + n.serial + "\r\n";
    }
    Out(out + "\r\n");
    return 0;
}

int PairPhone(Store& store, const Profile& p, const std::vector<std::string>& a) {
    if (a.size() < 3) return QueryError("No pairing code provided");
    std::string address = a[1], code = a[2];
    size_t colon = address.rfind(':');
    if (colon == std::string::npos) {
        Out("Failed to parse address for pairing: no port in '" + address + "'\r\n");
        return 0;
    }
    std::string host = address.substr(0, colon), port = address.substr(colon + 1);
    std::string guid;
    store.Edit([&](std::string& text) {
        std::vector<std::string> lines = Lines(text);
        for (NetPhone& n : NetPhones(lines)) {
            if (n.Host() != host || n.pairPort != port || n.code != code) continue;
            // The phone keeps the key and closes its dialog.
            n.paired = true;
            n.pairPort.clear();
            n.code.clear();
            lines[n.wirelessLine] = WirelessLine(n);
            guid = n.guid;
            text = Join(lines);
            return true;
        }
        return false;
    });
    if (!guid.empty()) {
        Out("Successfully paired to " + address + " [guid=" + guid + "]\r\n");
        return 0;
    }
    const char kFailed[] = "Failed: Wrong password or connection was dropped.";
    if (std::atoi(p.toolsVersion.c_str()) >= 35) return QueryError(kFailed);
    Out(std::string(kFailed) + "\r\n");
    return 0;
}

int ConnectPhone(Store& store, const std::vector<std::string>& a) {
    if (a.size() != 2) return QueryError("usage: adb connect HOST[:PORT]");
    std::string address = a[1];
    if (address.rfind(':') == std::string::npos) address += ":5555";
    std::string answer;
    store.Edit([&](std::string& text) {
        std::vector<std::string> lines = Lines(text);
        for (const NetPhone& n : NetPhones(lines)) {
            if (n.serial == address) {
                if (!n.paired) answer = "failed to authenticate to " + address;
                else if (n.state == "device") answer = "already connected to " + address;
                else {
                    lines[n.deviceLine] = WithState(lines[n.deviceLine], "device");
                    text = Join(lines);
                    answer = "connected to " + address;
                    return true;
                }
                return false;
            }
            // The pairing server takes the connection but never says CNXN.
            if (!n.pairPort.empty() && n.Host() + ":" + n.pairPort == address) {
                answer = "failed to connect to " + address;
                return false;
            }
        }
        return false;
    });
    if (answer.empty())
        answer = "cannot connect to " + address +
                 ": No connection could be made because the target machine actively refused it. (10061)";
    Out(answer + "\r\n");
    return 0;
}

int DisconnectPhone(Store& store, const std::vector<std::string>& a) {
    std::string address = a.size() > 1 ? a[1] : std::string();
    bool done = false;
    store.Edit([&](std::string& text) {
        std::vector<std::string> lines = Lines(text);
        for (const NetPhone& n : NetPhones(lines))
            if (n.state == "device" && (address.empty() || n.serial == address)) {
                lines[n.deviceLine] = WithState(lines[n.deviceLine], "wifi");
                done = true;
            }
        if (done) text = Join(lines);
        return done;
    });
    if (address.empty()) {
        Out("disconnected everything\r\n");
        return 0;
    }
    if (!done) return QueryError("no such device '" + address + "'");
    Out("disconnected " + address + "\r\n");
    return 0;
}

std::string LocalPort() {
    char value[16];
    DWORD n = GetEnvironmentVariableA("ANDROID_ADB_SERVER_PORT", value, sizeof value);
    return n > 0 && n < sizeof value ? std::string(value, n) : std::string("5037");
}

std::string RivalName(const std::string& port) { return "adbsim-rival-" + port; }

bool StartSockets() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

// The server's version as a client asks it: "host:version" in adb's framing,
// "OKAY" and four hex digits of length, then the version in four hex digits.
int AskVersion(const std::string& port) {
    if (!StartSockets()) return 0;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<u_short>(std::atoi(port.c_str())));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int version = 0;
    if (connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) {
        const char ask[] = "000chost:version";
        send(s, ask, sizeof ask - 1, 0);
        char reply[16] = {};
        int got = 0, n;
        while (got < 12 && (n = recv(s, reply + got, 12 - got, 0)) > 0) got += n;
        if (got == 12 && std::string(reply, 4) == "OKAY") version = static_cast<int>(std::strtol(reply + 8, nullptr, 16));
    }
    closesocket(s);
    return version;
}

} // namespace

bool Wireless(Store& store, const Profile& p, const std::vector<std::string>& a, int* status) {
    const std::string& command = a.empty() ? std::string() : a[0];
    bool wireless = command == "pair" || command == "connect" || command == "disconnect" || command == "mdns";
    if (!wireless) return false;
    if (std::atoi(p.toolsVersion.c_str()) < kNoPairingYet && command != "connect" && command != "disconnect") {
        *status = QueryError("unknown command " + command);
        return true;
    }
    if (command == "pair") *status = PairPhone(store, p, a);
    else if (command == "connect") *status = ConnectPhone(store, a);
    else if (command == "disconnect") *status = DisconnectPhone(store, a);
    else if (a.size() > 1 && a[1] == "check") {
        Out("mdns daemon version [Openscreen discovery 0.0.0]\r\n");
        *status = 0;
    } else if (a.size() > 1 && a[1] == "services") *status = MdnsServices(p);
    else *status = QueryError("unknown mdns command [" + (a.size() > 1 ? a[1] : std::string()) + "]");
    return true;
}

bool RivalClash(const Profile& p) {
    std::string port = LocalPort();
    HANDLE held = OpenEventA(SYNCHRONIZE, FALSE, RivalName(port).c_str());
    if (!held) return false;
    CloseHandle(held);
    int theirs = AskVersion(port);
    int ours = std::atoi(p.toolsVersion.c_str()) >= 29 ? 41 : std::atoi(p.toolsVersion.c_str()) == 28 ? 40 : 39;
    Err("adb server version (" + std::to_string(theirs) + ") doesn't match this client (" + std::to_string(ours) +
        "); killing...\r\n");
    Err("could not read ok from ADB Server\r\n* failed to start daemon\r\n");
    std::string exe = ExePath();
    std::string prefix = p.NewMessageStyle() ? exe.substr(exe.find_last_of('\\') + 1) + ": " : "error: ";
    Err(prefix + "cannot connect to daemon\r\n");
    return true;
}

int ServeAsRival(const std::string& port, const std::string& version) {
    if (!StartSockets()) return 1;
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in at = {};
    at.sin_family = AF_INET;
    at.sin_port = htons(static_cast<u_short>(std::atoi(port.c_str())));
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listener, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 || listen(listener, 8) != 0) return 1;
    // Named only once it listens: a client that sees the name can ask.
    HANDLE held = CreateEventA(nullptr, TRUE, FALSE, RivalName(port).c_str());
    DWORD began = GetTickCount();
    char answer[16];
    std::snprintf(answer, sizeof answer, "OKAY0004%04x", std::atoi(version.c_str()));
    while (GetTickCount() - began < kRivalLifeMs) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(listener, &readable);
        timeval wait = {1, 0};
        if (select(0, &readable, nullptr, nullptr, &wait) <= 0) continue;
        SOCKET c = accept(listener, nullptr, nullptr);
        if (c == INVALID_SOCKET) continue;
        char request[64];
        recv(c, request, sizeof request, 0);
        send(c, answer, 12, 0);
        closesocket(c);
    }
    if (held) CloseHandle(held);
    closesocket(listener);
    return 0;
}

} // namespace sim
