#include "servers.h"

#include <windows.h>
#include <cstdlib>
#include "record.h"
#include "text/text.h"

namespace dev {

namespace {

constexpr int kHighestPort = 65535;
constexpr size_t kLongestHost = 253;   // a DNS name's limit

bool HostCharacter(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.' || c == '-' ||
           c == '_' || c == ':' || c == '%';
}

bool ParsePort(const std::string& text, int* port) {
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    *port = std::atoi(text.c_str());
    return *port > 0 && *port <= kHighestPort;
}

std::string Folder(const std::string& path) {
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

} // namespace

std::string Server::Label() const { return Local() ? std::string() : host + ":" + std::to_string(port); }

bool ParseServer(const std::string& hostText, const std::string& portText, Server* server, std::string* why) {
    std::string host = text::Trim(hostText), port = text::Trim(portText);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    if (host.empty()) return *why = "请填写另一台电脑的地址（IP 地址或计算机名）", false;
    if (host.size() > kLongestHost) return *why = "地址太长", false;
    for (char c : host)
        if (!HostCharacter(c)) return *why = "地址里有不能用的字符：" + text::OneLine(hostText, 60), false;
    int number = kDefaultServerPort;
    if (!port.empty() && !ParsePort(port, &number)) return *why = "端口应是 1 到 65535 之间的数字", false;
    server->host = host;
    server->port = number;
    return true;
}

bool ParseServer(const std::string& text, Server* server, std::string* why) {
    std::string s = text::Trim(text);
    size_t blank = s.find_first_of(" \t");
    if (blank != std::string::npos) return ParseServer(s.substr(0, blank), s.substr(blank + 1), server, why);
    if (!s.empty() && s[0] == '[') {
        size_t close = s.find(']');
        if (close == std::string::npos) return *why = "地址的方括号没有配对", false;
        std::string rest = s.substr(close + 1);
        if (!rest.empty() && rest[0] != ':') return *why = "方括号后应是“:端口”", false;
        return ParseServer(s.substr(1, close - 1), rest.empty() ? rest : rest.substr(1), server, why);
    }
    // One colon: host and port; more: an IPv6 address without a port.
    size_t colon = s.find(':');
    if (colon != std::string::npos && s.find(':', colon + 1) == std::string::npos)
        return ParseServer(s.substr(0, colon), s.substr(colon + 1), server, why);
    return ParseServer(s, std::string(), server, why);
}

std::string DefaultServersPath() { return Folder(ActionRecord::DefaultPath()) + "\\servers.txt"; }

std::vector<Server> ReadServers(const std::string& path) {
    std::vector<Server> servers;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) return servers;
    std::string bytes;
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0) bytes.append(buf, got);
    CloseHandle(h);
    for (const std::string& line : text::SplitLines(bytes)) {
        Server s;
        std::string why;
        if (text::Trim(line).empty() || text::Trim(line)[0] == '#' || !ParseServer(line, &s, &why)) continue;
        bool seen = false;
        for (const Server& o : servers) seen = seen || o == s;
        if (!seen) servers.push_back(s);
    }
    return servers;
}

// The new list replaces the old in one step: a program ended while writing
// leaves the old list, never half of one.
bool WriteServers(const std::string& path, const std::vector<Server>& servers, std::string* why) {
    std::string text = "# adb servers on other computers (adb -H host -P port), one a line\r\n";
    for (const Server& s : servers) {
        bool ipv6 = s.host.find(':') != std::string::npos;
        text += (ipv6 ? "[" + s.host + "]" : s.host) + ":" + std::to_string(s.port) + "\r\n";
    }
    CreateDirectoryA(Folder(path).c_str(), nullptr);
    std::string temp = path + ".new";
    HANDLE h = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD put = 0;
    bool ok = h != INVALID_HANDLE_VALUE && WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &put, nullptr) &&
              put == text.size();
    DWORD error = GetLastError();
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    if (ok && !MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        ok = false;
        error = GetLastError();
    }
    if (!ok) {
        DeleteFileA(temp.c_str());
        if (why) *why = "无法写入 " + path + "（错误 " + std::to_string(error) + "）";
    }
    return ok;
}

} // namespace dev
