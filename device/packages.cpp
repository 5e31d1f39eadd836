#include "packages.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include "names.h"
#include "text.h"

namespace dev {

const char kMarker[] = ":adbtool:";

namespace {

// Sections of the read script, in the order it prints them.
struct Section {
    const char* name;
    const char* command;   // "%u" stands for the user
};

const Section kSections[] = {
    {"api", "getprop ro.build.version.sdk"},
    {"release", "getprop ro.build.version.release"},
    {"model", "getprop ro.product.model"},
    // -f: the APK path; -u: also the packages uninstalled for the user.
    {"all", "pm list packages -f -u --user %u"},
    // Without -u: what is installed, so the rest of "all" is deleted.
    {"installed", "pm list packages --user %u"},
    {"disabled", "pm list packages -d --user %u"},
    {"system", "pm list packages -s -u --user %u"},
};

std::string SectionLine(const char* name) { return std::string("echo ") + kMarker + "section " + name; }

// "package:/data/app/~~a==/com.x-b==/base.apk=com.x" or "package:com.x";
// the path ends at the last "=", as paths may hold "=" themselves.
bool ReadPackageLine(const std::string& line, std::string* name, std::string* path) {
    if (!StartsWith(line, "package:")) return false;
    std::string rest = Trim(line.substr(8));
    size_t uid = rest.find(" uid:");
    if (uid != std::string::npos) rest.erase(uid);
    size_t eq = rest.rfind('=');
    if (eq != std::string::npos && !rest.empty() && rest[0] == '/') {
        *path = rest.substr(0, eq);
        *name = rest.substr(eq + 1);
    } else {
        path->clear();
        *name = rest;
    }
    return true;
}

// "\tUserInfo{0:Owner:c13} running"
bool ReadUserLine(const std::string& line, PhoneUser* user) {
    size_t open = line.find("UserInfo{");
    if (open == std::string::npos) return false;
    size_t idStart = open + 9;
    size_t colon = line.find(':', idStart);
    size_t close = line.find('}', idStart);
    if (colon == std::string::npos || close == std::string::npos || colon > close) return false;
    user->id = std::atoi(line.substr(idStart, colon - idStart).c_str());
    size_t nameEnd = line.rfind(':', close);
    user->name = nameEnd > colon ? line.substr(colon + 1, nameEnd - colon - 1) : line.substr(colon + 1, close - colon - 1);
    user->running = Contains(line.substr(close), "running");
    return true;
}

} // namespace

std::string BuildReadScript(int user, Users users) {
    std::string script;
    // The users cost one more pm start: read with the first list of a device only.
    if (users == Users::List) script += SectionLine("users") + ";pm list users;";
    std::string u = std::to_string(user);
    for (const Section& s : kSections) {
        std::string command = s.command;
        size_t at = command.find("%u");
        if (at != std::string::npos) command.replace(at, 2, u);
        script += SectionLine(s.name) + ";" + command + ";";
    }
    return script + SectionLine("end");
}

PackageSnapshot ParseReadOutput(const std::string& out) {
    PackageSnapshot snap;
    std::map<std::string, Package> all;
    std::map<std::string, bool> installed, disabled, system;
    std::string section;
    const std::string sectionMarker = std::string(kMarker) + "section ";
    for (const std::string& raw : SplitLines(out)) {
        std::string line = Trim(raw);
        if (StartsWith(line, sectionMarker.c_str())) {
            section = line.substr(sectionMarker.size());
            if (section == "end") snap.complete = true;
            continue;
        }
        if (section == "api" && !line.empty() && snap.api == 0) snap.api = std::atoi(line.c_str());
        else if (section == "release" && !line.empty() && snap.release.empty()) snap.release = OneLine(line, 40);
        else if (section == "model" && !line.empty() && snap.model.empty()) snap.model = OneLine(line, 80);
        else if (section == "users") {
            PhoneUser user;
            if (ReadUserLine(line, &user)) snap.users.push_back(user);
        } else {
            std::string name, path;
            if (!ReadPackageLine(line, &name, &path)) continue;
            if (!IsPackageName(name)) {
                if (std::find(snap.rejected.begin(), snap.rejected.end(), name) == snap.rejected.end())
                    snap.rejected.push_back(name);
                continue;
            }
            if (section == "all") {
                Package& p = all[name];
                p.name = name;
                if (!path.empty()) p.path = path;
            } else if (section == "installed") installed[name] = true;
            else if (section == "disabled") disabled[name] = true;
            else if (section == "system") system[name] = true;
        }
    }
    snap.packages.reserve(all.size());
    for (auto& entry : all) {
        Package p = entry.second;
        p.kind = system.count(p.name) ? PackageKind::System : PackageKind::User;
        p.state = !installed.count(p.name) ? PackageState::Deleted
                  : disabled.count(p.name) ? PackageState::Disabled
                                           : PackageState::Enabled;
        snap.packages.push_back(p);
    }
    return snap;
}

const Package* FindPackage(const PackageSnapshot& s, const std::string& name) {
    auto it = std::lower_bound(s.packages.begin(), s.packages.end(), name,
                               [](const Package& p, const std::string& n) { return p.name < n; });
    return it != s.packages.end() && it->name == name ? &*it : nullptr;
}

} // namespace dev
