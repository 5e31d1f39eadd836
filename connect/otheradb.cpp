#include "otheradb.h"

#include <winsock2.h>
#include <iphlpapi.h>
#include <tlhelp32.h>
#include <cstdlib>
#include <cstring>
#include "text/text.h"

namespace conn {

namespace {

constexpr DWORD kEndWaitMs = 5000;

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// The process's file name from the process list (every Windows since XP).
std::string ExeName(DWORD pid) {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return std::string();
    PROCESSENTRY32 e = {};
    e.dwSize = sizeof e;
    std::string name;
    for (BOOL ok = Process32First(snap, &e); ok; ok = Process32Next(snap, &e))
        if (e.th32ProcessID == pid) name = e.szExeFile;
    CloseHandle(snap);
    return name;
}

// Its full path: QueryFullProcessImageName from Vista on, bound at the call
// as the program still starts on XP; the limited right suffices for it.
std::string ExePath(DWORD pid) {
    typedef BOOL(WINAPI * QueryPath)(HANDLE, DWORD, LPSTR, PDWORD);
    static const QueryPath query = reinterpret_cast<QueryPath>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "QueryFullProcessImageNameA")));
    if (!query) return std::string();
    HANDLE h = OpenProcess(0x1000 /* PROCESS_QUERY_LIMITED_INFORMATION */, FALSE, pid);
    if (!h) return std::string();
    char path[MAX_PATH * 2];
    DWORD n = sizeof path;
    std::string s = query(h, 0, path, &n) ? std::string(path, n) : std::string();
    CloseHandle(h);
    return s;
}

} // namespace

VersionClash FindVersionClash(const std::string& adbText) {
    VersionClash c;
    const char kServer[] = "adb server version (", kClient[] = ") doesn't match this client (";
    size_t at = adbText.find(kServer);
    if (at == std::string::npos) return c;
    const char* s = adbText.c_str() + at + sizeof kServer - 1;
    char* end = nullptr;
    long server = std::strtol(s, &end, 10);
    if (end == s || std::strncmp(end, kClient, sizeof kClient - 1) != 0) return c;
    s = end + sizeof kClient - 1;
    long client = std::strtol(s, &end, 10);
    if (end == s || *end != ')') return c;
    c.found = true;
    c.serverVersion = static_cast<int>(server);
    c.clientVersion = static_cast<int>(client);
    return c;
}

std::vector<Listener> ListenersOfThisComputer() {
    std::vector<Listener> listeners;
    ULONG size = 0;
    if (GetExtendedTcpTable(nullptr, &size, FALSE, AF_INET, TCP_TABLE_OWNER_PID_LISTENER, 0) != ERROR_INSUFFICIENT_BUFFER)
        return listeners;
    // The table may grow between the two calls.
    std::vector<char> buffer(size + 16 * sizeof(MIB_TCPROW_OWNER_PID));
    size = static_cast<ULONG>(buffer.size());
    if (GetExtendedTcpTable(buffer.data(), &size, FALSE, AF_INET, TCP_TABLE_OWNER_PID_LISTENER, 0) != NO_ERROR)
        return listeners;
    const MIB_TCPTABLE_OWNER_PID* table = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(buffer.data());
    for (DWORD i = 0; i < table->dwNumEntries; i++)
        listeners.push_back(Listener{ntohs(static_cast<u_short>(table->table[i].dwLocalPort)), table->table[i].dwOwningPid});
    return listeners;
}

PortOwner FindPortOwner(unsigned short port) { return FindPortOwner(port, ListenersOfThisComputer()); }

PortOwner FindPortOwner(unsigned short port, const std::vector<Listener>& listeners) {
    PortOwner o;
    o.port = port;
    for (const Listener& l : listeners)
        if (l.port == port && l.pid != 0) o.pid = l.pid;
    if (o.pid == 0) return o;
    o.path = ExePath(o.pid);
    o.name = ExeName(o.pid);
    if (o.name.empty() && !o.path.empty()) o.name = o.path.substr(o.path.find_last_of("\\/") + 1);
    return o;
}

bool IsOurs(const PortOwner& owner, const std::string& ourAdb) {
    if (!owner.path.empty()) return Lower(owner.path) == Lower(ourAdb);
    return false;
}

std::string ClashMessage(const VersionClash& clash, const PortOwner& owner) {
    std::string port = std::to_string(owner.port);
    std::string versions = clash.found ? "（它的是 " + std::to_string(clash.serverVersion) + " 版，本工具的是 " +
                                             std::to_string(clash.clientVersion) + " 版）"
                                       : std::string();
    if (owner.Known())
        return "端口 " + port + " 被 " + owner.name + " 占用，它自带的 adb 与本工具的版本不同" + versions +
               "：两边会不停结束对方的 adb 服务，手机时有时无。请退出它所属的程序（常见的是手机助手类软件），或让本工具结束它的 adb 服务";
    return "端口 " + port + " 被另一个程序的 adb 服务占用，它与本工具的 adb 版本不同" + versions +
           "：两边会不停结束对方的 adb 服务，手机时有时无。请退出手机助手类的软件后按 刷新（本工具看不出是哪个程序）";
}

std::string EndQuestion(const PortOwner& owner) {
    return "端口 " + std::to_string(owner.port) + " 被 " + owner.name + "（进程 " + std::to_string(owner.pid) + "）占用" +
           (owner.path.empty() ? std::string() : "：\r\n" + owner.path) +
           "\r\n\r\n它自带的 adb 与本工具的版本不同，两边会不停结束对方的服务。要结束这个程序吗？\r\n"
           "它所属的软件（手机助手等）可能会再启动它，最好也把那个软件退出。";
}

bool EndProcess(const PortOwner& owner, std::string* why) {
    if (owner.pid == 0 || Lower(ExeName(owner.pid)) != Lower(owner.name)) {
        *why = owner.name + " 已经不在运行";
        return false;
    }
    HANDLE h = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, owner.pid);
    if (!h) {
        DWORD e = GetLastError();
        *why = e == ERROR_ACCESS_DENIED ? "没有权限结束它（它以管理员身份运行）：请退出它所属的程序，或以管理员身份运行本工具"
                                        : "找不到这个进程（错误 " + std::to_string(e) + "）：它可能已经结束";
        return false;
    }
    bool ok = TerminateProcess(h, 1) && WaitForSingleObject(h, kEndWaitMs) == WAIT_OBJECT_0;
    if (!ok) *why = "无法结束它（错误 " + std::to_string(GetLastError()) + "）";
    CloseHandle(h);
    return ok;
}

} // namespace conn
