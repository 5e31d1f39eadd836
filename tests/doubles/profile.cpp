// Reading a profile (or an older single-device state file) into the model,
// and writing the changed package states back into the same lines.
#include <algorithm>
#include <cstdlib>
#include <set>
#include "sim.h"

namespace sim {

namespace {

const char kNoPermissions[] = "no permissions; see [http://developer.android.com/tools/device.html]";

unsigned Hash(const std::string& s, unsigned seed) {
    unsigned h = 2166136261u ^ seed;
    for (unsigned char c : s) h = (h ^ c) * 16777619u;
    return h;
}

// 22 characters of URL-safe base64 made from the name, as the installer's
// random folder names look.
std::string RandomPart(const std::string& name, unsigned seed) {
    static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    std::string s;
    unsigned h = Hash(name, seed);
    for (int i = 0; i < 22; i++) {
        if (i % 5 == 0) h = Hash(name, h + static_cast<unsigned>(i));
        s += kDigits[h & 63];
        h >>= 6;
    }
    return s;
}

// The folder name a system app's APK sits in: the last `parts` parts of the
// package name, each with a capital letter.
std::string SystemFolder(const std::string& name, int parts) {
    size_t from = name.size();
    while (parts-- > 0 && from != std::string::npos && from > 0) from = name.find_last_of('.', from - 1);
    std::string folder;
    bool start = true;
    for (size_t i = from == std::string::npos ? 0 : from + 1; i < name.size(); i++) {
        char c = name[i];
        if (c == '.') {
            start = true;
            continue;
        }
        folder += start && c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
        start = false;
    }
    return folder;
}

std::string FolderOf(const std::string& path) { return path.substr(0, path.find_last_of('/')); }

bool IsUserStateToken(const std::string& w) {
    size_t eq = w.find('=');
    if (w.size() < 3 || w[0] != 'u' || eq == std::string::npos || eq < 2) return false;
    for (size_t i = 1; i < eq; i++)
        if (w[i] < '0' || w[i] > '9') return false;
    return true;
}

std::string After(const std::string& w, const char* prefix) {
    size_t n = std::char_traits<char>::length(prefix);
    return w.compare(0, n, prefix) == 0 ? w.substr(n) : std::string();
}

// The rest of a line after its first `skip` words, as written.
std::string Rest(const std::string& line, size_t skip) {
    size_t i = 0;
    for (size_t k = 0; k <= skip; k++) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) i++;
        if (k == skip) break;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') i++;
    }
    std::string s = line.substr(i);
    while (!s.empty() && (s.back() == '\r' || s.back() == ' ')) s.pop_back();
    return s;
}

void ReadDeviceLine(Device& d, const std::vector<std::string>& w) {
    d.serial = w[1];
    d.state = w[2] == "no-permissions" ? kNoPermissions : w[2];
    for (size_t k = 3; k < w.size(); k++) {
        const std::string& t = w[k];
        if (!After(t, "product:").empty()) d.SetProp("ro.product.name", After(t, "product:"));
        else if (!After(t, "model:").empty()) d.SetProp("ro.product.model", After(t, "model:"));
        else if (!After(t, "device:").empty()) d.SetProp("ro.product.device", After(t, "device:"));
        else if (!After(t, "usb:").empty()) d.usb = After(t, "usb:");
        else if (!After(t, "transport_id:").empty()) d.transportId = std::atoi(After(t, "transport_id:").c_str());
    }
}

Package ReadPackageLine(const std::vector<std::string>& w, int line) {
    Package p;
    p.name = w[1];
    p.states[0] = w[2];
    p.line = line;
    for (size_t k = 3; k < w.size(); k++) {
        const std::string& t = w[k];
        if (t == "system") p.system = true;
        else if (t == "third-party") p.system = false;
        else if (t == "protected") p.isProtected = true;
        else if (!After(t, "path=").empty()) p.path = After(t, "path=");
        else if (!After(t, "uid=").empty()) p.appId = std::atoi(After(t, "uid=").c_str());
        else if (!After(t, "delete-fails=").empty()) p.deleteFailure = After(t, "delete-fails=");
        else if (!After(t, "disable-fails=").empty()) p.disableFailure = After(t, "disable-fails=");
        else if (!After(t, "apk-kb=").empty()) p.apkKb = static_cast<unsigned>(std::atoi(After(t, "apk-kb=").c_str()));
        else if (!After(t, "version=").empty()) p.version = std::atoll(After(t, "version=").c_str());
        else if (!After(t, "splits=").empty()) {
            std::string list = After(t, "splits=");
            for (size_t at = 0; at <= list.size();) {
                size_t comma = list.find(',', at);
                if (comma == std::string::npos) comma = list.size();
                if (comma > at) p.splits.push_back(list.substr(at, comma - at));
                at = comma + 1;
            }
        } else if (t == "apk-gone") p.apkGone = true;
        else if (t == "data-lost") p.dataLost = true;
        else if (IsUserStateToken(t)) p.states[std::atoi(t.c_str() + 1)] = t.substr(t.find('=') + 1);
    }
    return p;
}

// Fills in what the profile left out, from what it gave.
void Complete(Device& d, int index) {
    if (d.transportId == 0) d.transportId = index + 1;
    // Starting a Java program (app_process, then the framework's classes)
    // before it reaches the service: some hundreds of milliseconds, more on
    // the slower phones and runtimes of older releases.
    if (d.vmMs == kByApi) d.vmMs = d.api <= 23 ? 600 : d.api <= 27 ? 350 : 250;
    if (d.users.empty()) d.users.push_back({0, "Owner", "c13"});
    if (d.Prop("ro.build.version.sdk").empty()) d.SetProp("ro.build.version.sdk", std::to_string(d.api));
    if (d.Prop("ro.build.version.release").empty()) d.SetProp("ro.build.version.release", ReleaseFor(d.api));
    if (d.Prop("ro.product.model").empty()) d.SetProp("ro.product.model", "Android SDK built for x86");
    if (d.Prop("ro.product.name").empty()) d.SetProp("ro.product.name", "sdk_gphone_x86");
    if (d.Prop("ro.product.device").empty()) d.SetProp("ro.product.device", "generic_x86");
    if (d.Prop("ro.product.manufacturer").empty()) d.SetProp("ro.product.manufacturer", "Google");
    // Over USB adb's serial is the phone's own; over the network it is the
    // address, and a profile gives ro.serialno itself.
    if (d.Prop("ro.serialno").empty() && d.serial.find(':') == std::string::npos) d.SetProp("ro.serialno", d.serial);
    if (d.focus.empty()) d.focus.push_back({0, 0, "com.example.app/com.example.app.MainActivity"});
    // Every app has a folder of its own on a phone: a system app whose folder
    // name another has already taken (com.android.calendar after
    // com.android.providers.calendar) is named after more parts of its name.
    std::set<std::string> taken;
    for (const Package& p : d.packages)
        if (!p.path.empty()) taken.insert(FolderOf(p.path));
    int next = 10000;
    for (Package& p : d.packages) {
        int whole = 1 + static_cast<int>(std::count(p.name.begin(), p.name.end(), '.'));
        for (int parts = 1; p.path.empty(); parts++) {
            std::string path = ApkPath(p.name, p.system, d.api, parts);
            if (taken.insert(FolderOf(path)).second || parts >= whole) p.path = path;
        }
        if (p.appId == 0) p.appId = next;
        next = p.appId + 1;
    }
}

} // namespace

std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> w;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) i++;
        size_t j = i;
        while (j < line.size() && line[j] != ' ' && line[j] != '\t' && line[j] != '\r') j++;
        if (j > i) w.push_back(line.substr(i, j - i));
        i = j;
    }
    return w;
}

std::string ReleaseFor(int api) {
    static const struct { int api; const char* release; } kReleases[] = {
        {21, "5.0.2"}, {22, "5.1.1"}, {23, "6.0.1"}, {24, "7.0"}, {25, "7.1.2"}, {26, "8.0.0"}, {27, "8.1.0"},
        {28, "9"}, {29, "10"}, {30, "11"}, {31, "12"}, {32, "12"}, {33, "13"}, {34, "14"}, {35, "15"},
        {36, "16"}, {37, "17"},
    };
    for (const auto& r : kReleases)
        if (r.api == api) return r.release;
    return std::to_string(api);
}

std::string ApkPath(const std::string& name, bool system, int api, int parts) {
    if (system) return "/system/app/" + SystemFolder(name, parts) + "/" + SystemFolder(name, parts) + ".apk";
    if (api >= 30) return "/data/app/~~" + RandomPart(name, 1) + "==/" + name + "-" + RandomPart(name, 2) + "==/base.apk";
    if (api >= 26) return "/data/app/" + name + "-" + RandomPart(name, 2) + "==/base.apk";
    return "/data/app/" + name + "-1/base.apk";
}

Profile ParseProfile(const std::string& text) {
    Profile s;
    size_t i = 0;
    while (i < text.size()) {
        size_t e = text.find('\n', i);
        if (e == std::string::npos) e = text.size();
        s.lines.push_back(text.substr(i, e - i));
        i = e + 1;
    }
    // A profile names its client's release; without one the file is an older
    // state file: one quick phone, short answers.
    Device base;
    for (const std::string& line : s.lines) {
        std::vector<std::string> w = Words(line);
        if (!w.empty() && w[0] == "platform-tools") {
            base.api = 34;
            base.dumpsysKb = 300;
            base.connectMs = 40;
            base.commandMs = 15;
            base.vmMs = kByApi;
            base.scriptMs = 5;
            // The package service's own work per change (services/core/java/
            // com/android/server/pm): setEnabledSetting changes the user's
            // state under the package lock and only schedules the settings
            // write and the PACKAGE_CHANGED broadcast; installExistingPackageAsUser
            // prepares the app's data for the user and broadcasts
            // PACKAGE_ADDED; deletePackageVersioned freezes and kills the app,
            // removes it for the user on the package handler's thread and
            // waits for PACKAGE_REMOVED to go out: the slowest.
            base.disableMs = base.enableMs = 60;
            base.installExistingMs = 150;
            base.uninstallMs = 250;
            // An install from the computer: the session's commit, the APKs
            // verified and optimised, a second or more on a real phone.
            base.installMs = 800;
            base.execMs = 3;
            base.usbBytesPerMs = 30000;
        }
    }
    Device* d = &base;   // directives before the first device line apply to every device
    for (size_t n = 0; n < s.lines.size(); n++) {
        const std::string& line = s.lines[n];
        std::vector<std::string> w = Words(line);
        if (w.empty() || w[0][0] == '#') continue;
        const std::string& key = w[0];
        std::string arg = w.size() > 1 ? w[1] : "";
        unsigned long value = std::strtoul(arg.c_str(), nullptr, 0);
        if (key == "device" && w.size() > 2) {
            s.devices.push_back(base);
            d = &s.devices.back();
            ReadDeviceLine(*d, w);
        } else if (key == "package" && w.size() > 2) d->packages.push_back(ReadPackageLine(w, static_cast<int>(n)));
        else if (key == "focus" && w.size() > 1) {
            Focus f;
            size_t k = 1;
            for (; k < w.size(); k++) {
                if (!After(w[k], "display=").empty()) f.display = std::atoi(After(w[k], "display=").c_str());
                else if (!After(w[k], "user=").empty()) f.user = std::atoi(After(w[k], "user=").c_str());
                else break;
            }
            f.title = Rest(line, k);
            d->focus.push_back(f);
        } else if (key == "user" && w.size() > 3) d->users.push_back({std::atoi(arg.c_str()), Rest(line, 3), w[2]});
        else if (key == "prop" && w.size() > 2) d->SetProp(arg, Rest(line, 2));
        else if (key == "api") d->api = static_cast<int>(value);
        else if (key == "displays") d->displays = static_cast<int>(value);
        else if (key == "dumpsys-kb") d->dumpsysKb = static_cast<int>(value);
        else if (key == "connect-ms") d->connectMs = value;
        else if (key == "command-ms") d->commandMs = value;
        else if (key == "vm-ms") d->vmMs = value;
        else if (key == "script-ms") d->scriptMs = value;
        else if (key == "change-ms") d->disableMs = d->enableMs = d->uninstallMs = d->installExistingMs = d->installMs = value;
        else if (key == "install-ms") d->installMs = value;
        else if (key == "disable-fails" && w.size() > 1) d->disableRule = arg;
        else if (key == "usb-install" && w.size() > 1) d->usbInstall = arg != "off";
        else if (key == "shell-denied-user" && w.size() > 1) d->deniedUsers.push_back(std::atoi(arg.c_str()));
        else if (key == "disable-ms") d->disableMs = value;
        else if (key == "enable-ms") d->enableMs = value;
        else if (key == "uninstall-ms") d->uninstallMs = value;
        else if (key == "install-existing-ms") d->installExistingMs = value;
        else if (key == "exec-ms") d->execMs = value;
        else if (key == "usb-kbps") d->usbBytesPerMs = value * 1024 / 1000;
        else if (key == "apk-dir") d->apkDir = Rest(line, 1);
        else if (key == "package-service" && arg == "down") d->serviceFailsAfter = 0;
        else if (key == "package-service" && arg == "fails-after" && w.size() > 2) d->serviceFailsAfter = std::atoi(w[2].c_str());
        else if (key == "hang-after") d->hangAfter = static_cast<int>(value);
        else if (key == "keeps-going") d->keepsGoing = true;
        else if (key == "platform-tools") s.toolsVersion = arg;
        else if (key == "delay") s.delayMs = value;
        else if (key == "pad") s.pad = std::strtoull(arg.c_str(), nullptr, 10);
        else if (key == "interleave") s.interleave = std::atoi(arg.c_str());
        else if (key == "crash") s.crash = true;
        else if (key == "daemon") s.daemonMs = value;
        else if (key == "server-start-ms") s.serverStartMs = static_cast<int>(value);
        else if (key == "exit") {
            s.hasExit = true;
            s.exitCode = value;
        } else if (key == "raw") {
            for (size_t k = 1; k < w.size(); k++) s.raw.push_back(static_cast<char>(std::strtoul(w[k].c_str(), nullptr, 16)));
        }
    }
    for (size_t k = 0; k < s.devices.size(); k++) Complete(s.devices[k], static_cast<int>(k));
    return s;
}

// The file with the lines of changed packages rewritten in `p.lines`: the
// state words change, everything else on the line stays. A package removed
// for every user loses its line in the text.
std::string FormatProfile(Profile& p) {
    std::vector<bool> drop(p.lines.size(), false);
    for (Device& d : p.devices)
        for (Package& pkg : d.packages) {
            if (!pkg.dirty || pkg.line < 0 || pkg.line >= static_cast<int>(p.lines.size())) continue;
            pkg.dirty = false;
            if (pkg.removed) {
                drop[pkg.line] = true;
                continue;
            }
            std::vector<std::string> w = Words(p.lines[pkg.line]);
            std::string out = w[0] + " " + w[1] + " " + d.StateFor(pkg, 0);
            for (size_t k = 3; k < w.size(); k++)
                if (!IsUserStateToken(w[k]) && w[k] != "apk-gone" && w[k] != "data-lost") out += " " + w[k];
            for (const auto& us : pkg.states)
                if (us.first != 0) out += " u" + std::to_string(us.first) + "=" + us.second;
            if (pkg.apkGone) out += " apk-gone";
            if (pkg.dataLost) out += " data-lost";
            p.lines[pkg.line] = out;
        }
    std::string text;
    for (size_t k = 0; k < p.lines.size(); k++)
        if (!drop[k]) text += p.lines[k] + "\n";
    return text;
}

std::string Device::Prop(const std::string& key) const {
    for (const auto& kv : props)
        if (kv.first == key) return kv.second;
    return std::string();
}

void Device::SetProp(const std::string& key, const std::string& value) {
    for (auto& kv : props)
        if (kv.first == key) {
            kv.second = value;
            return;
        }
    props.push_back({key, value});
}

const User* Device::FindUser(int id) const {
    for (const User& u : users)
        if (u.id == id) return &u;
    return nullptr;
}

Package* Device::FindPackage(const std::string& name) {
    for (Package& p : packages)
        if (p.name == name && !p.removed) return &p;
    return nullptr;
}

// A user the profile does not mention for a package has the system apps
// (the owner has every package).
std::string Device::StateFor(const Package& p, int user) const {
    if (p.removed || !FindUser(user)) return "uninstalled";
    auto it = p.states.find(user);
    if (it != p.states.end()) return it->second;
    return user == 0 || p.system ? "enabled" : "uninstalled";
}

void Device::SetState(Package& p, int user, const std::string& value) {
    p.states[user] = value;
    p.dirty = true;
}

bool Device::Denied(int user) const {
    for (int u : deniedUsers)
        if (u == user) return true;
    return false;
}

Device* Profile::FindDevice(const std::string& serial) {
    for (Device& d : devices)
        if (d.serial == serial) return &d;
    return nullptr;
}

bool Profile::NewMessageStyle() const { return std::atoi(toolsVersion.c_str()) >= 30; }

} // namespace sim
