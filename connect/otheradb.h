// Another program's adb server on adb's port. Phone-assistant software ships
// its own, older adb and starts its server on 5037; a newer client then says
// "adb server version (31) doesn't match this client (41); killing...", and
// the two programs keep ending each other's server while phones come and
// go. The owner of the port is found through the IP helper API and named;
// it is ended only when the owner of the computer agrees.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

namespace conn {

// What a client printed about a server of another version; found false when it did not.
struct VersionClash {
    bool found = false;
    int serverVersion = 0;   // the other adb's
    int clientVersion = 0;   // ours
};
// Looks for the client's line (packages/modules/adb client/adb_client.cpp
// __adb_check_server_version) anywhere in `adbText`.
VersionClash FindVersionClash(const std::string& adbText);

// A listening TCP port and the process that owns it.
struct Listener {
    unsigned short port = 0;
    DWORD pid = 0;
};
// The IPv4 listeners with their owning processes (GetExtendedTcpTable,
// TCP_TABLE_OWNER_PID_LISTENER). Wine 8 gives every socket owner 0.
std::vector<Listener> ListenersOfThisComputer();

struct PortOwner {
    unsigned short port = 0;
    DWORD pid = 0;           // 0: nobody listens, or the system does not say who
    std::string name;        // the program's file name ("suite_adb.exe"), GBK
    std::string path;        // its full path where the system tells it
    bool Known() const { return pid != 0 && !name.empty(); }
};
// The owner of `port` among `listeners` (by default this computer's).
PortOwner FindPortOwner(unsigned short port, const std::vector<Listener>& listeners);
PortOwner FindPortOwner(unsigned short port);

// Whether the port's owner is the adb.exe at `ourAdb` (the tool's own server).
bool IsOurs(const PortOwner& owner, const std::string& ourAdb);

// "端口 5037 被 suite_adb.exe 占用，它自带的 adb 与本工具的版本不同" and what
// follows from it; without a known owner the program is described, not named.
std::string ClashMessage(const VersionClash& clash, const PortOwner& owner);
// The question put to the owner before the process is ended.
std::string EndQuestion(const PortOwner& owner);

// Ends the port's owner (its adb server) the owner of the computer agreed
// to end, and waits for it to be gone; first it checks that the process
// still is that program (its number may have gone to another since it was
// looked up). False with the reason in Chinese.
bool EndProcess(const PortOwner& owner, std::string* why);

} // namespace conn
