// Files between the computer and the phone, as the adb client does them:
// `adb pull` (the sync service, reading as the shell user) and `adb install`
// / `adb install-multiple` (a package installer session: the APKs written,
// then committed), with the client's texts (packages/modules/adb client/
// file_sync_client.cpp and adb_install.cpp: "adb: error: failed to stat
// remote object", "adb: failed to finalize session" and the installer's
// "Failure [...]" line, "Success" on standard output).
#include <cstdio>
#include <cstdlib>
#include "sim.h"

namespace sim {

namespace {

std::string Base(const std::string& path) { return path.substr(path.find_last_of("/\\") + 1); }

bool IsFolder(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

// Lines of the client end in CR LF (the CRT's text mode on Windows).
std::string Crlf(const std::string& s) {
    std::string out;
    for (char c : s) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return out;
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD put = 0;
    bool ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) && put == bytes.size();
    CloseHandle(h);
    return ok;
}

// `adb pull [-a] REMOTE... LOCAL`: LOCAL a folder takes each file by its name.
int Pull(const Device& d, const std::vector<std::string>& args) {
    std::vector<std::string> paths;
    for (size_t k = 1; k < args.size(); k++)
        if (args[k] != "-a" && args[k] != "-z" && args[k] != "-Z") paths.push_back(args[k]);
    if (paths.size() < 2) {
        Err("adb: usage: adb pull [-a] REMOTE... LOCAL\r\n");
        return 1;
    }
    std::string local = paths.back();
    paths.pop_back();
    bool folder = IsFolder(local);
    if (paths.size() > 1 && !folder) {
        Err("adb: error: target '" + local + "' is not a directory\r\n");
        return 1;
    }
    Sleep(d.connectMs);
    int status = 0;
    for (const std::string& remote : paths) {
        std::string bytes;
        if (!ReadPhoneFile(d, remote, &bytes)) {
            Err("adb: error: failed to stat remote object '" + remote + "': No such file or directory\r\n");
            status = 1;
            continue;
        }
        Transfer(d, bytes.size());
        std::string target = folder ? local + "\\" + Base(remote) : local;
        if (!WriteFileBytes(target, bytes)) {
            Err("adb: error: cannot create '" + target + "': Permission denied\r\n");
            status = 1;
            continue;
        }
        char line[512];
        std::snprintf(line, sizeof line, "%s: 1 file pulled, 0 skipped. %.1f MB/s (%lu bytes in 0.010s)\r\n",
                      remote.c_str(), bytes.size() / 10000.0, static_cast<unsigned long>(bytes.size()));
        Out(line);
    }
    return status;
}

struct InstallArgs {
    bool replace = false;        // -r
    int user = -1;               // --user N; -1: every user (pm's USER_ALL)
    std::vector<std::string> files;
};

// The options pass through to pm; the APKs are the arguments from the end
// that end in .apk (adb_install.cpp's install_multiple_app_streamed).
InstallArgs ReadInstallArgs(const std::vector<std::string>& args) {
    InstallArgs in;
    size_t first = args.size();
    while (first > 1 && args[first - 1].size() > 4 &&
           _stricmp(args[first - 1].c_str() + args[first - 1].size() - 4, ".apk") == 0)
        first--;
    for (size_t k = 1; k < first; k++) {
        if (args[k] == "-r") in.replace = true;
        else if (args[k] == "--user" && k + 1 < first) in.user = std::atoi(args[++k].c_str());
    }
    in.files.assign(args.begin() + static_cast<long>(first), args.end());
    return in;
}

bool ReadLocal(const std::string& path, std::string* bytes) { return ReadWhole(path, bytes); }

// The installer's verdict on the files: empty when they make a whole,
// installable app, else the "Failure [...]" text; `package` names it.
std::string Verify(const Device& d, const InstallArgs& in, std::string* package) {
    bool base = false;
    static unsigned session = 1075000000;
    std::string tmp = "/data/app/vmdl" + std::to_string(++session) + ".tmp/";
    for (size_t k = 0; k < in.files.size(); k++) {
        std::string bytes, name, file;
        std::string staged = tmp + std::to_string(k) + "_" + Base(in.files[k]);
        if (!ReadLocal(in.files[k], &bytes) || !IdentifyApk(d, bytes, &name, &file))
            return "INSTALL_PARSE_FAILED_NOT_APK: Failed to parse " + staged + ": Failed to load asset path " + staged;
        if (!package->empty() && *package != name)
            return "INSTALL_FAILED_INVALID_APK: Inconsistent package " + name + " in " + staged + "; expected " + *package;
        *package = name;
        base = base || file.compare(0, 6, "split_") != 0;
    }
    if (!base) return "INSTALL_FAILED_INVALID_APK: Full install must include a base package";
    return std::string();
}

// `adb install` and `adb install-multiple`: the APKs go to the phone, the
// session commits; a phone whose owner has not allowed installs from the
// computer refuses at the commit (Xiaomi's USB安装, ColorOS's 禁用权限监控).
// Without --user the app is installed for every user, as pm's USER_ALL does
// (InstallPackageHelper: installed and enabled for each user the policy
// allows); an install resets the enabled state of the users it is for.
int Install(Store& store, Device& phone, const std::vector<std::string>& args) {
    bool multiple = args[0] == "install-multiple";
    InstallArgs in = ReadInstallArgs(args);
    if (in.files.empty()) {
        Err(multiple ? "adb: need APK file on command line\r\n" : "adb: install requires an apk argument\r\n");
        return 1;
    }
    if (!multiple && in.files.size() > 1) in.files.erase(in.files.begin(), in.files.end() - 1);
    size_t bytes = 0;
    for (const std::string& f : in.files) {
        std::string b;
        if (!ReadLocal(f, &b)) {
            Err("adb: failed to stat \"" + f + "\": No such file or directory\r\n");
            return 1;
        }
        bytes += b.size();
    }
    Sleep(phone.connectMs);
    Transfer(phone, bytes);
    Sleep(phone.installMs);
    std::string failure;
    bool present = store.Change(phone.serial, [&](Device& d) {
        std::string package;
        failure = !d.usbInstall ? "INSTALL_FAILED_USER_RESTRICTED: Install canceled by user" : Verify(d, in, &package);
        if (!failure.empty()) return;
        Package* p = d.FindPackage(package);
        if (!p) {
            failure = "INSTALL_FAILED_INVALID_APK: " + package + " is not on this phone";
            return;
        }
        bool installed = false;
        for (const User& u : d.users) installed = installed || d.StateFor(*p, u.id) != "uninstalled";
        if (installed && !p->apkGone && !in.replace) {
            failure = "INSTALL_FAILED_ALREADY_EXISTS: Attempt to re-install " + package + " without first uninstalling.";
            return;
        }
        p->apkGone = false;
        p->dirty = true;
        for (const User& u : d.users)
            if ((in.user < 0 && !d.Denied(u.id)) || u.id == in.user) d.SetState(*p, u.id, "enabled");
    });
    if (!present) failure = "INSTALL_FAILED_INTERNAL_ERROR: the phone went away";
    if (failure.empty()) {
        Out("Success\r\n");
        return 0;
    }
    Err(multiple ? Crlf("adb: failed to finalize session\nFailure [" + failure + "]\n")
                 : Crlf("adb: failed to install " + in.files[0] + ": Failure [" + failure + "]\n"));
    return 1;
}

} // namespace

int TransferCommand(Store& store, Device& device, const std::vector<std::string>& args) {
    if (args[0] == "pull") return Pull(device, args);
    return Install(store, device, args);
}

} // namespace sim
