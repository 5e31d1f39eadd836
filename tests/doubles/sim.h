// The simulated device bridge's model: the adb client's settings, the phones
// it sees, and the pieces that read, change and answer from them. The profile
// format is described at the top of adbsim.cpp.
#pragma once

#include <windows.h>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace sim {

struct Package {
    std::string name;
    bool system = false;
    std::string path;                      // APK path as `pm list packages -f` shows it
    int appId = 0;                         // uid for user 0; user N sees N*100000 + appId
    bool isProtected = false;              // disable-user refused
    std::string deleteFailure;             // e.g. DELETE_FAILED_DEVICE_POLICY_MANAGER
    std::string disableFailure;            // a maker's refusal of disable-user (DisableRefusal)
    std::vector<std::string> splits;       // split APKs beside the base: "config.arm64_v8a" is split_config.arm64_v8a.apk
    unsigned apkKb = 0;                    // size of the base APK the phone makes; 0: a few KB
    long long version = 0;                 // versionCode; 0: made from the name
    bool apkGone = false;                  // its APK was deleted with its last user; data and record stay
    bool dataLost = false;                 // an uninstall without -k deleted its data
    std::map<int, std::string> states;     // per user, as given; see StateFor
    int line = -1;                         // its line in the profile, -1 for none
    bool dirty = false;                    // changed since read
    bool removed = false;                  // uninstalled for every user
};

struct User {
    int id = 0;
    std::string name;
    std::string flags;
};

struct Focus {
    int display = 0;
    int user = 0;
    std::string title;                     // window title; "none" for no focus
};

// A cost left to the Android version (see Complete in profile.cpp).
constexpr DWORD kByApi = 0xFFFFFFFF;

struct Device {
    std::string serial;
    std::string state;                     // as `adb devices` prints it
    std::string usb;
    int transportId = 0;
    int api = 28;
    std::vector<std::pair<std::string, std::string>> props;
    std::vector<User> users;
    std::vector<Package> packages;
    std::vector<Focus> focus;
    int displays = 1;
    int dumpsysKb = 0;                     // 0: the short answer
    DWORD connectMs = 0;                   // per adb invocation that reaches the phone
    DWORD commandMs = 0;                   // per native program started (cmd, getprop, dumpsys)
    DWORD vmMs = 0;                        // per Java program started (pm before Android 9, settings before 8)
    DWORD scriptMs = 0;                    // per wrapper script's own sh (pm from Android 9, settings from 8)
    // What the package service takes for one change, per kind of change.
    DWORD disableMs = 0, enableMs = 0, uninstallMs = 0, installExistingMs = 0;
    DWORD execMs = 0;                      // per file tool started (dd, stat, gzip ...)
    DWORD usbBytesPerMs = 0;               // transfer rate of what the phone sends; 0: no limit
    std::string apkDir;                    // folder of APK files served at the packages' paths
    std::string disableRule;               // a maker's refusal of disable-user for every system app
    bool usbInstall = true;                // installs from the computer allowed (Xiaomi's USB安装)
    std::vector<int> deniedUsers;          // users the shell may not reach (a Secure Folder)
    DWORD installMs = 0;                   // what the package service takes to install one app
    int serviceFailsAfter = -1;            // package service calls answered per adb process; -1: all
    int hangAfter = -1;                    // package changes made per adb process before the phone hangs; -1: never
    bool keepsGoing = false;               // a shell script runs to its end even when its client is gone

    std::string Prop(const std::string& key) const;
    void SetProp(const std::string& key, const std::string& value);
    const User* FindUser(int id) const;
    bool Denied(int user) const;           // the shell may not reach this user
    Package* FindPackage(const std::string& name);
    // The package's state for a user: enabled, disabled, disabled-user,
    // disabled-until-used or uninstalled.
    std::string StateFor(const Package& p, int user) const;
    void SetState(Package& p, int user, const std::string& value);
    // The package service's time for one change command (disable-user,
    // uninstall, ...), 0 for anything else.
    DWORD ChangeMs(const std::string& command) const;
    // What starting the program `name` costs the phone before it does
    // anything: a Java VM, a native client, a wrapper script.
    DWORD StartMs(const std::string& name) const;
};

struct Profile {
    std::vector<std::string> lines;        // the file as read; rewritten with changes
    std::string toolsVersion = "28.0.1";   // platform-tools release of the client
    std::vector<Device> devices;
    // Output directives of the older single-device state files.
    DWORD delayMs = 0;
    unsigned long long pad = 0;
    std::string raw;
    int interleave = 0;
    bool hasExit = false;
    DWORD exitCode = 0;
    bool crash = false;
    DWORD daemonMs = 0;
    int serverStartMs = -1;                // -1: a server runs from the start

    Device* FindDevice(const std::string& serial);
    // Client messages start "adb.exe: " from platform-tools 30 on, "error: " before.
    bool NewMessageStyle() const;
};

// profile.cpp
Profile ParseProfile(const std::string& text);
std::string FormatProfile(Profile& p);
std::vector<std::string> Words(const std::string& line);
// A system app's APK is in a folder named after the last `parts` parts of its name.
std::string ApkPath(const std::string& name, bool system, int api, int parts = 1);
std::string ReleaseFor(int api);

// store.cpp: files, the cross-process lock, output.
std::string PathFrom(const char* variable, const char* fallback);
std::string ExePath();
bool ReadWhole(const std::string& path, std::string* out);
void WriteWhole(const std::string& path, const std::string& text);
void Out(const std::string& s);
void Err(const std::string& s);
// A kernel object's name of this `kind` for the state file at `path`: the
// same for every process of one state file, apart for two state files.
std::string ObjectName(const std::string& path, const char* kind);

// server.cpp: the adb server of profiles with server-start-ms.
// Before a command that needs the server: true when one runs, started now if
// need be, false after the texts of a failed start.
bool EnsureServer(const std::string& statePath, DWORD startMs);
// `adb kill-server`: ends the server and waits for its end.
void KillServer(const std::string& statePath);
// The server process itself (`adb.exe __server NAME START-MS`).
int ServeAsServer(const std::string& name, DWORD startMs);

class Store {
public:
    Store(const std::string& statePath, const std::string& logPath);
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    void AppendLog(const std::string& line);
    // Reads the state (writing the default one when there is none). With a
    // serial the profile holds that phone alone when the file has it; without
    // `packages` no phone has packages (what `adb devices` needs).
    Profile Load(const std::string& serial = std::string(), bool packages = true);
    // Under the lock: reads the state afresh, lets `change` work on the
    // device `serial`, and writes the state back when a package changed.
    // False when the device is gone from the state file.
    bool Change(const std::string& serial, const std::function<void(Device&)>& change);
    // Under the lock: `edit` works on the whole state text, written back when it returns true.
    void Edit(const std::function<bool(std::string& text)>& edit);

private:
    void Lock();
    void Unlock();
    std::string ReadLocked();
    void Save(const std::string& text);
    std::string statePath_;
    std::string logPath_;
    HANDLE mutex_ = nullptr;
};

// What one device command writes: the device's stdout and stderr.
struct Io {
    std::string out;
    std::string err;
};

// pm.cpp: pm, cmd package, getprop. `viaPm` tells `pm` from `cmd package`.
int PackageCommand(Store& store, Device& device, const std::vector<std::string>& args, bool viaPm, Io& io);
int GetProp(const Device& device, const std::vector<std::string>& args, Io& io);
// `settings get secure android_id`: the phone's own, from the prop
// "android_id" or made from its serial.
int Settings(const Device& device, const std::vector<std::string>& args, Io& io);

// dumpsys.cpp
int Dumpsys(const Device& device, const std::vector<std::string>& args, Io& io);

// files.cpp: the file tools the phone's Android version has; false for a
// command it does not know. `in` is standard input (null: none).
bool FileCommand(const Device& device, const std::string& name, const std::vector<std::string>& args,
                 const std::string* in, Io& io, int* status);
// The phone paths of a package's APKs that are there, base first, then its splits.
std::vector<std::string> ApkFiles(const Device& device, const Package& p);
// A whole file of the phone; false when there is none at that path.
bool ReadPhoneFile(const Device& device, const std::string& phonePath, std::string* bytes);
// The package and file name an APK's bytes are of, as this phone would
// serve them; false for bytes that are no APK of its packages (a cut copy).
bool IdentifyApk(const Device& device, const std::string& bytes, std::string* package, std::string* file);

// install.cpp: `adb pull`, `adb install` and `adb install-multiple`, as the
// client prints them; the exit status.
int TransferCommand(Store& store, Device& device, const std::vector<std::string>& args);
// What the phone's output takes over the cable (adbsim.cpp).
void Transfer(const Device& device, size_t bytes);

// wireless.cpp: wireless debugging (pair, connect, disconnect, mdns) and
// another program's adb server on the port. `Wireless` answers the
// wireless commands (true when `command` was one, its status in `status`);
// `RivalClash` prints what a client says to a server of another version
// holding the port, true when one does.
bool Wireless(Store& store, const Profile& p, const std::vector<std::string>& args, int* status);
bool RivalClash(const Profile& p);
int ServeAsRival(const std::string& port, const std::string& version);

// shell.cpp: runs a script as the phone's sh would; returns its status.
// `emit` receives output as it is produced (stream 1 or 2).
int RunScript(Store& store, Device& device, const std::string& script,
              const std::function<void(int stream, const std::string&)>& emit);

} // namespace sim
