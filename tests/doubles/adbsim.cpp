// A simulated device bridge: a Windows console program named adb.exe that
// acts as the adb client with the phones of a profile attached. It answers
// `devices`, `shell` and a few more the way the real client and the phones'
// Android versions do, applies the package changes it is asked for to the
// profile, and logs every raw command line it received.
//
// Profile (the state file: ADBSIM_STATE, else adb_state.txt beside adb.exe;
// one directive a line, "#" starts a comment). Changes are written back into
// the same file, each package line rewritten in place.
//
//   platform-tools <release>     e.g. 34.0.5. Marks the file as a profile
//                                (phone-like defaults below); from 30 on the
//                                client's messages start "adb.exe:", before
//                                "error:". Without it the file is an older
//                                state file: one quick Android 9 phone.
//   device <serial> <state> [product:X] [model:Y] [device:Z] [usb:1-4] [transport_id:N]
//                                starts a phone; <state> as `adb devices`
//                                prints it (device, offline, unauthorized,
//                                authorizing, connecting, ...), or
//                                no-permissions. The lines below it, up to the
//                                next device line, describe that phone;
//                                lines before the first device line apply to
//                                every phone.
//   api <level>                  Android API level (profile default 34); from
//                                37 (Android 17) uninstall --user of a system
//                                app is for root only
//   prop <key> <value...>        a build property for getprop
//   user <id> <flags> <name...>  e.g. "user 10 1030 Work profile"; default
//                                user 0 only
//   package <name> <state> [system|third-party] [path=P] [uid=N] [protected]
//           [delete-fails=CODE] [disable-fails=CODE] [splits=A,B] [apk-kb=N]
//           [version=N] [apk-gone] [data-lost] [u<id>=<state>]...
//                                <state> is user 0's: enabled, disabled,
//                                disabled-user, disabled-until-used or
//                                uninstalled; u10=... another user's (default:
//                                system apps enabled, others uninstalled).
//                                disabled and disabled-until-used are the
//                                system's: the shell may not change them.
//                                protected: disable refused; delete-fails: a
//                                code for uninstall (DELETE_FAILED_*, -1000,
//                                DELETE_FAILED_ABORTED as Honor words it);
//                                disable-fails: a maker's refusal of
//                                disable-user (system-packages, miui-core,
//                                no-root). A user app's APKs: base.apk and
//                                split_A.apk ... (made here, apk-kb KB for the
//                                base, unless apk-dir has them); apk-gone: its
//                                APK went with its last user (pm path fails,
//                                install-existing finds none); data-lost: an
//                                uninstall without -k took its data. The
//                                simulator writes both as they happen.
//   disable-fails <code>         every system app's disable-user refused so
//                                (Xiaomi HyperOS: system-packages)
//   usb-install off              installs from the computer refused
//                                (INSTALL_FAILED_USER_RESTRICTED)
//   shell-denied-user <id>       a user the shell may not reach (Samsung's
//                                Secure Folder): every pm command for it, and
//                                a list without --user, fails
//   install-ms <ms>              an install's commit (800)
//   focus [display=N] [user=N] <window title|none>
//                                the focused window of a display; the last
//                                focus line names the top focused display
//   displays <n>                 displays in dumpsys window (default 1)
//   dumpsys-kb <n>               size of dumpsys window (profile default 300;
//                                0 gives the short answer of state files)
//   connect-ms <ms>              per adb invocation reaching the phone (40)
//   command-ms <ms>              per native program started: cmd, getprop,
//                                dumpsys (15)
//   vm-ms <ms>                   per Java program started: pm up to
//                                Android 8.1, settings up to 7.1 (600 up to
//                                Android 6, 350 up to 8.1, 250 after)
//   script-ms <ms>               per wrapper script's own shell: pm from
//                                Android 9 and settings from 8 are
//                                `cmd ...` scripts, costing this plus
//                                command-ms (5)
//   disable-ms / enable-ms / uninstall-ms / install-existing-ms <ms>
//                                the package service's time for one change
//                                of that kind (60 / 60 / 250 / 150)
//   change-ms <ms>               sets all four and install-ms at once
//   exec-ms <ms>                 per file tool started: dd, stat, tail ... (3)
//   usb-kbps <KB/s>              how fast the phone's output arrives (30000,
//                                USB 2 in practice; 0: at once)
//   apk-dir <folder>             APK files served at the packages' paths:
//                                <folder>\<package>.apk at the APK path and
//                                <folder>\<package>@<file> beside it (splits)
//   keeps-going                  a shell script goes on to its end when its
//                                client is gone (killed, or ended by a cancel):
//                                it runs in a process of its own, the phone,
//                                that the client waits for. A real phone's adbd
//                                sends SIGHUP to the shell when the client goes
//                                (packages/modules/adb daemon/shell_service.cpp),
//                                but the command in progress finishes, and a
//                                client left running feeds it all: the worst case.
//   server-start-ms <ms>         no adb server runs at first: the first client
//                                that needs one starts it (a detached process
//                                that stays a minute or until kill-server) and
//                                waits this long for it; a client that arrives
//                                while it starts fails with "cannot connect to
//                                daemon", as two real clients racing to start
//                                one do (server.cpp)
// Output directives (both kinds of file):
//   delay <ms>                   wait before answering anything
//   pad <bytes>                  numbered 64-byte lines after the answer
//   raw <hex bytes>              bytes written before the answer, e.g. 61 00 62
//   interleave <n>               n lines "out i" on stdout and "err i" on stderr, alternating
//   exit <code>                  the exit code instead of the usual one
//   crash                        end abnormally (status 0xC0000005) after answering
//   daemon <ms>                  first start a "server" that inherits the output
//                                handles and lives <ms> after this one has ended
// Log: ADBSIM_LOG, else adb_log.txt beside adb.exe; one command line a line.
//
// Servers: `-H host` and `-P port` (or ADB_SERVER_SOCKET=tcp:host:port, which
// they override, as in adb's client) choose the adb server; either left out
// is localhost and 5037. The server on localhost:5037 serves the phones of
// the state file above; any other serves those of a state file named after
// it beside that one: adb_state.txt gives adb_state-192.168.1.20-5038.txt
// (a ':' of an IPv6 address written '_'). A server without its file is not
// there: the client fails as adb does when nothing listens on that port
// (packages/modules/adb client/adb_client.cpp: _adb_connect's "cannot connect
// to daemon at tcp:HOST:PORT: REASON", and adb_connect's "* cannot start
// server on remote host" before it for a host that is not this computer).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include "pattern.h"
#include "sim.h"

namespace {

using sim::Device;
using sim::Profile;

struct Options {
    std::string host, port;        // -H, -P: empty when not given
    std::string serial;
    bool usb = false;              // -d
    bool emulator = false;         // -e
    int transportId = 0;           // -t
    std::vector<std::string> args; // the command and its arguments
};

Options ReadOptions(int argc, char** argv) {
    Options o;
    int i = 1;
    for (; i < argc; i++) {
        std::string a = argv[i];
        if (a == "-s" && i + 1 < argc) o.serial = argv[++i];
        else if (a == "-t" && i + 1 < argc) o.transportId = std::atoi(argv[++i]);
        else if (a == "-H" && i + 1 < argc) o.host = argv[++i];
        else if (a == "-P" && i + 1 < argc) o.port = argv[++i];
        else if (a == "-L" && i + 1 < argc) i++;
        else if (a == "-d") o.usb = true;
        else if (a == "-e") o.emulator = true;
        else if (a == "-a") continue;
        else break;
    }
    if (o.serial.empty() && !o.usb && !o.emulator && o.transportId == 0) {
        char value[256];
        DWORD n = GetEnvironmentVariableA("ANDROID_SERIAL", value, sizeof value);
        if (n > 0 && n < sizeof value) o.serial.assign(value, n);
    }
    o.args.assign(argv + i, argv + argc);
    return o;
}

// Where the server lives: -H and -P first, then ADB_SERVER_SOCKET.
void ServerAddress(const Options& o, std::string* host, std::string* port) {
    *host = "localhost";
    *port = "5037";
    char value[256];
    DWORD n = GetEnvironmentVariableA("ADB_SERVER_SOCKET", value, sizeof value);
    std::string spec = n > 0 && n < sizeof value ? std::string(value, n) : std::string();
    if (spec.compare(0, 4, "tcp:") == 0) {
        std::string rest = spec.substr(4);
        size_t colon = rest.find_last_of(':');
        if (colon == std::string::npos) *port = rest;
        else *host = rest.substr(0, colon), *port = rest.substr(colon + 1);
    }
    if (!o.host.empty()) *host = o.host;
    if (!o.port.empty()) *port = o.port;
}

bool LocalHost(const std::string& host) { return host == "localhost" || host == "127.0.0.1" || host == "::1"; }

// The state file of the server the options name (the rule in the header comment).
std::string ServerStatePath(const std::string& base, const std::string& host, const std::string& port) {
    if (LocalHost(host) && port == "5037") return base;
    size_t slash = base.find_last_of("\\/");
    size_t dot = base.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) dot = base.size();
    std::string name = host;
    for (char& c : name)
        if (c == ':') c = '_';
    return base.substr(0, dot) + "-" + name + "-" + port + base.substr(dot);
}

// A client message on stderr in the release's style, lines in CRT text mode.
void Fail(const Profile& p, const std::string& message) {
    std::string prefix = "error: ";
    if (p.NewMessageStyle()) {
        std::string exe = sim::ExePath();
        prefix = exe.substr(exe.find_last_of('\\') + 1) + ": ";
    }
    std::string text = prefix;
    for (char c : message) text += c == '\n' ? std::string("\r\n") : std::string(1, c);
    sim::Err(text + "\r\n");
}

bool IsEmulator(const Device& d) { return d.serial.compare(0, 9, "emulator-") == 0; }

// The phone the options choose, or null after the client's message.
Device* Choose(Profile& p, const Options& o) {
    Device* found = nullptr;
    if (!o.serial.empty()) {
        found = p.FindDevice(o.serial);
        if (!found || found->state == "wifi") return Fail(p, "device '" + o.serial + "' not found"), nullptr;
    } else if (o.transportId) {
        for (Device& d : p.devices)
            if (d.transportId == o.transportId) found = &d;
        if (!found) return Fail(p, "no device with transport id '" + std::to_string(o.transportId) + "'"), nullptr;
    } else {
        int count = 0;
        for (Device& d : p.devices)
            if (d.state != "wifi" && (!o.usb || !IsEmulator(d)) && (!o.emulator || IsEmulator(d))) {
                found = &d;
                count++;
            }
        const char* some = o.usb ? "devices" : o.emulator ? "emulators" : "devices/emulators";
        const char* one = o.usb ? "device" : o.emulator ? "emulator" : "device/emulator";
        if (count == 0) return Fail(p, std::string("no ") + some + " found"), nullptr;
        if (count > 1) return Fail(p, std::string("more than one ") + one), nullptr;
    }
    const std::string& state = found->state;
    if (state == "device") return found;
    if (state == "unauthorized")
        Fail(p, "device unauthorized.\nThis adb server's $ADB_VENDOR_KEYS is not set\n"
                "Try 'adb kill-server' if that seems wrong.\nOtherwise check for a confirmation dialog on your device.");
    else if (state == "authorizing" || state == "connecting") Fail(p, "device still " + state);
    else if (state.compare(0, 14, "no permissions") == 0)
        Fail(p, "insufficient permissions for device\n"
                "See [http://developer.android.com/tools/device.html] for more information");
    else Fail(p, "device offline");
    return nullptr;
}

std::string ModelField(const std::string& model) {
    std::string s = model;
    for (char& c : s)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) c = '_';
    return s;
}

void ListDevices(const Profile& p, bool longForm) {
    std::string out = "List of devices attached\r\n";
    for (const Device& d : p.devices) {
        if (d.state == "wifi") continue;   // on the network, not connected (wireless.cpp)
        if (!longForm) {
            out += d.serial + "\t" + d.state + "\r\n";
            continue;
        }
        char head[512];
        std::snprintf(head, sizeof head, "%-22s %s", d.serial.c_str(), d.state.c_str());
        out += head;
        if (!d.usb.empty()) out += " usb:" + d.usb;
        if (d.state == "device") {
            out += " product:" + d.Prop("ro.product.name");
            out += " model:" + ModelField(d.Prop("ro.product.model"));
            out += " device:" + d.Prop("ro.product.device");
        }
        out += " transport_id:" + std::to_string(d.transportId) + "\r\n";
    }
    sim::Out(out + "\r\n");
}

bool gIsPhone = false;   // this process is a phone running a script for its client (keeps-going)
std::string gStatePath;  // the state file of the server this client talks to

// keeps-going: the script runs in a process of its own that writes straight
// into the client's output and outlives the client; the client waits for it.
int RunOnPhone(const Device& d, const std::string& script) {
    char dir[MAX_PATH], file[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    if (!GetTempFileNameA(dir, "sim", 0, file)) return 1;
    sim::WriteWhole(file, script);
    std::string line = "\"" + sim::ExePath() + "\" __phone \"" + gStatePath + "\" \"" + d.serial + "\" \"" + file + "\"";
    std::vector<char> buf(line.begin(), line.end());
    buf.push_back(0);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, buf.data(), nullptr, nullptr, TRUE, DETACHED_PROCESS, nullptr, nullptr, &si, &pi)) {
        DeleteFileA(file);
        return 1;
    }
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return static_cast<int>(code);
}

// `adb shell ARGS`: the arguments joined with blanks, run by the phone's sh.
// Before Android 7 there is no shell protocol: one PTY stream whose lines end
// in CR LF, and the exit status is lost.
int Shell(sim::Store& store, Device& d, const std::vector<std::string>& args) {
    size_t first = 1;
    while (first < args.size() && (args[first] == "-T" || args[first] == "-t" || args[first] == "-x" ||
                                   args[first] == "-n"))
        first++;
    std::string script;
    for (size_t k = first; k < args.size(); k++) script += (k > first ? " " : "") + args[k];
    Sleep(d.connectMs);
    if (d.keepsGoing && !gIsPhone) return RunOnPhone(d, script);
    bool pty = d.api <= 23;
    int status = sim::RunScript(store, d, script, [pty, &d](int stream, const std::string& text) {
        Transfer(d, text.size());
        if (!pty) return stream == 2 ? sim::Err(text) : sim::Out(text);
        std::string crlf;
        for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
        sim::Out(crlf);
    });
    return pty ? 0 : status & 0xFF;
}

// `adb exec-out ARGS` (Android 5 on): no terminal, the bytes unchanged, the
// phone's standard error mixed into the same stream and no exit status. The
// client quotes every argument after the first, so only a command given as
// one argument reaches the phone's sh as a script.
int ExecOut(sim::Store& store, Device& d, const std::vector<std::string>& args) {
    if (d.api < 21) {
        sim::Out("error: closed\r\n");
        return 1;
    }
    std::string script = args.size() > 1 ? args[1] : std::string();
    for (size_t k = 2; k < args.size(); k++) {
        std::string quoted = "'";
        for (char c : args[k]) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
        script += " " + quoted + "'";
    }
    Sleep(d.connectMs);
    sim::RunScript(store, d, script, [&d](int, const std::string& text) {
        Transfer(d, text.size());
        sim::Out(text);
    });
    return 0;
}

std::string ClientVersion(const Profile& p) {
    int major = std::atoi(p.toolsVersion.c_str());
    return major >= 29 ? "1.0.41" : major == 28 ? "1.0.40" : "1.0.39";
}

// The commands that talk to the server; `version` and the unknown ones do not.
bool NeedsServer(const std::string& command) {
    return command == "devices" || command == "shell" || command == "get-state" || command == "get-serialno" ||
           command == "start-server" || command == "pull" || command == "install" || command == "install-multiple" ||
           command == "pair" || command == "connect" || command == "disconnect" || command == "mdns";
}

int Command(sim::Store& store, Profile& p, const Options& o, const std::string& statePath) {
    const std::vector<std::string>& a = o.args;
    std::string command = a.empty() ? std::string() : a[0];
    if (NeedsServer(command) && sim::RivalClash(p)) return 1;
    if (p.serverStartMs >= 0) {
        if (command == "kill-server") {
            sim::KillServer(statePath);
            return 0;
        }
        if (NeedsServer(command) && !sim::EnsureServer(statePath, static_cast<DWORD>(p.serverStartMs))) {
            Fail(p, "cannot connect to daemon");
            return 1;
        }
    }
    if (command == "devices") {
        ListDevices(p, a.size() > 1 && a[1] == "-l");
        return 0;
    }
    if (command == "version") {
        sim::Out("Android Debug Bridge version " + ClientVersion(p) + "\r\nVersion " + p.toolsVersion +
                 "\r\nInstalled as " + sim::ExePath() + "\r\n");
        return 0;
    }
    if (command == "start-server" || command == "kill-server") return 0;
    if (command == "pull" || command == "install" || command == "install-multiple") {
        Device* d = Choose(p, o);
        return d ? sim::TransferCommand(store, *d, a) : 1;
    }
    int status = 0;
    if (sim::Wireless(store, p, a, &status)) return status;
    if (command == "shell" || command == "exec-out" || command == "get-state" || command == "get-serialno") {
        Device* d = Choose(p, o);
        if (!d) return 1;
        if (command == "get-state") sim::Out(d->state + "\r\n");
        if (command == "get-serialno") sim::Out(d->serial + "\r\n");
        if (command == "exec-out") return ExecOut(store, *d, a);
        return command == "shell" ? Shell(store, *d, a) : 0;
    }
    Fail(p, "unknown command " + command);
    return 1;
}

// Like adb's own server: a process that holds the output pipe open long
// after the command that started it has ended, started without a console as
// adb starts its server.
void StartDaemon(DWORD lifeMs) {
    std::string line = "\"" + sim::ExePath() + "\" __daemon " + std::to_string(lifeMs);
    std::vector<char> buf(line.begin(), line.end());
    buf.push_back(0);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (CreateProcessA(nullptr, buf.data(), nullptr, nullptr, TRUE, DETACHED_PROCESS, nullptr, nullptr, &si, &pi)) {
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
    sim::Err("* daemon not running; starting now at tcp:5037\r\n* daemon started successfully\r\n");
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "__daemon") == 0) {
        Sleep(std::strtoul(argv[2], nullptr, 10));
        return 0;
    }
    if (argc == 4 && std::strcmp(argv[1], "__rival") == 0) return sim::ServeAsRival(argv[2], argv[3]);
    if (argc == 4 && std::strcmp(argv[1], "__server") == 0)
        return sim::ServeAsServer(argv[2], std::strtoul(argv[3], nullptr, 10));
    if (argc == 5 && std::strcmp(argv[1], "__phone") == 0) {
        // The phone of a keeps-going profile, running its client's script.
        gIsPhone = true;
        std::string script;
        sim::ReadWhole(argv[4], &script);
        DeleteFileA(argv[4]);
        sim::Store store(argv[2], sim::PathFrom("ADBSIM_LOG", "adb_log.txt"));
        Profile p = store.Load(argv[3]);
        Device* d = p.FindDevice(argv[3]);
        if (!d) return 1;
        d->connectMs = 0;   // the client paid for the connection
        return Shell(store, *d, {"shell", script});
    }
    Options options = ReadOptions(argc, argv);
    std::string baseState = sim::PathFrom("ADBSIM_STATE", "adb_state.txt");
    std::string host, port;
    ServerAddress(options, &host, &port);
    std::string statePath = ServerStatePath(baseState, host, port);
    gStatePath = statePath;
    if (statePath != baseState && GetFileAttributesA(statePath.c_str()) == INVALID_FILE_ATTRIBUTES) {
        std::string text;
        sim::ReadWhole(baseState, &text);
        sim::Store(baseState, sim::PathFrom("ADBSIM_LOG", "adb_log.txt")).AppendLog(GetCommandLineA());
        if (!LocalHost(host)) sim::Err("* cannot start server on remote host\r\n");
        // Windows' text for WSAECONNREFUSED, as adb prints the socket error.
        Fail(sim::ParseProfile(text), "cannot connect to daemon at tcp:" + host + ":" + port + ": cannot connect to " +
                                          host + ":" + port +
                                          ": No connection could be made because the target machine actively "
                                          "refused it. (10061)");
        return 1;
    }
    sim::Store store(statePath, sim::PathFrom("ADBSIM_LOG", "adb_log.txt"));
    // The line is logged once the state is read: a test that sees it may
    // rewrite the state for the next command without a pause.
    // `devices` lists every phone whatever ANDROID_SERIAL says.
    // So do the host commands of wireless debugging.
    std::string first = options.args.empty() ? std::string() : options.args[0];
    bool listing = first == "devices" || first == "mdns" || first == "pair" || first == "connect" || first == "disconnect";
    Profile p = store.Load(listing ? std::string() : options.serial, !listing);
    store.AppendLog(GetCommandLineA());
    if (p.daemonMs) StartDaemon(p.daemonMs);
    if (p.delayMs) Sleep(p.delayMs);

    sim::Out(p.raw);
    for (int i = 1; i <= p.interleave; i++) {
        sim::Out("out " + std::to_string(i) + "\r\n");
        sim::Err("err " + std::to_string(i) + "\r\n");
    }
    int code = Command(store, p, options, statePath);

    if (p.pad) {
        // In pieces, so a reader sees the pipe fill and drain many times.
        const unsigned long long kPiece = 65536;
        for (unsigned long long at = 0; at < p.pad; at += kPiece) {
            std::string piece;
            sim::AppendPadding(&piece, at, at + kPiece < p.pad ? at + kPiece : p.pad);
            sim::Out(piece);
        }
    }
    if (p.crash) TerminateProcess(GetCurrentProcess(), 0xC0000005);
    return p.hasExit ? static_cast<int>(p.exitCode) : code;
}
