#include "packages.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include "knowledge/answers.h"
#include "names.h"
#include "text/text.h"

namespace dev {

const char kMarker[] = ":adbtool:";
const char kServiceNotAnswering[] = "手机上的软件包服务没有响应，请稍后按 刷新";
const char kUserDenied[] = "手机不允许 adb 访问这个用户（安全文件夹等受保护的空间）：其中的应用只能在手机上管理";

namespace {

// Sections of the read script, in the order it prints them.
struct Section {
    const char* name;
    const char* query;     // the package service's arguments, "%u" for the user; null for the rest
};

const Section kSections[] = {
    // Every build property in one getprop ("[key]: [value]" lines): the API
    // level, release, model and ro.serialno cost one program start, not four.
    {"props", nullptr},
    // The phone's own identity, whatever transport it is reached by. The
    // shell may read both: ro.serialno is what adb itself reports over USB,
    // and android_id is in Settings.Secure, which `settings` reads for the
    // shell user. Phones that share a serial (0123456789ABCDEF on cheap
    // boards) still differ in android_id.
    {"androidid", nullptr},
    // -f: the APK path; -u: also the packages uninstalled for the user.
    // No fewer lists tell all three: each list is one filter (installed or
    // with -u all; enabled, disabled or both; system, third-party or both),
    // and three filters cannot tell apart the six states and kinds and the
    // packages the phone does not have.
    {"all", "list packages -f -u --user %u"},
    // Without -u: what is installed, so the rest of "all" is deleted.
    {"installed", "list packages --user %u"},
    {"disabled", "list packages -d --user %u"},
    {"system", "list packages -s -u --user %u"},
};

std::string SectionLine(const char* name) { return std::string("echo ") + kMarker + "section " + name; }

// A list's errors go to its output and its status follows it: pm before
// Android 9 exits 0 after a failure, so the words decide as well. Where the
// phone may lack `cmd package` (before Android 7, or a phone not read yet)
// pm follows when cmd fails: a missing cmd costs the shell a failed look-up,
// and on a phone that has it pm never starts unless the service failed, when
// pm's own error is the one kept.
std::string ListCommand(int api, const std::string& args) {
    std::string command = api >= kCmdPackageApi ? "cmd package " + args
                          : api > 0 && api < 24  ? "pm " + args
                                                 : "cmd package " + args + " 2>/dev/null||pm " + args;
    return command + " 2>&1;echo " + kMarker + "status $?";
}

// `settings` is a Java program before Android 8 and `cmd settings` after
// (frameworks/base cmds/settings); cmd's own settings service stands in
// only where the phone is known to have it, else settings follows.
std::string AndroidIdCommand(int api) {
    const std::string viaCmd = "cmd settings get secure android_id 2>/dev/null";
    const std::string viaJava = "settings get secure android_id 2>/dev/null";
    if (api >= kCmdPackageApi) return viaCmd;
    return api > 0 && api < 24 ? viaJava : viaCmd + "||" + viaJava;
}

// What pm prints when the package service is not there (booting, or
// system_server restarting): Android 7+ `cmd: Can't find service: package`,
// the old pm "Error: Could not access the Package Manager.  Is the system
// running?", and exceptions from a service that died under the call.
bool IsServiceError(const std::string& line) {
    return text::Contains(line, "Can't find service") || text::Contains(line, "Could not access the Package Manager") ||
           text::Contains(line, "Exception") || text::StartsWith(line, "Error:") || text::StartsWith(line, "Failure") ||
           text::Contains(line, "inaccessible or not found") || text::Contains(line, ": not found");
}

// "package:/data/app/~~a==/com.x-b==/base.apk=com.x" or "package:com.x";
// the path ends at the last "=", as paths may hold "=" themselves.
bool ReadPackageLine(const std::string& line, std::string* name, std::string* path) {
    if (!text::StartsWith(line, "package:")) return false;
    std::string rest = text::Trim(line.substr(8));
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
    if (nameEnd > colon) user->flags = static_cast<unsigned>(std::strtoul(line.substr(nameEnd + 1, close - nameEnd - 1).c_str(), nullptr, 16));
    user->running = text::Contains(line.substr(close), "running");
    return true;
}

// A value as getprop or settings prints it: one line; "unknown" and blanks are no value.
std::string PropValue(const std::string& line, size_t limit) {
    std::string v = text::OneLine(line, limit);
    return v == "unknown" || v == "null" ? std::string() : v;
}

// "[ro.build.version.sdk]: [34]"; a value may hold "]" itself.
bool ReadPropLine(const std::string& line, std::string* key, std::string* value) {
    size_t split = line.find("]: [");
    if (line.empty() || line[0] != '[' || split == std::string::npos || line.back() != ']') return false;
    *key = line.substr(1, split - 1);
    *value = line.substr(split + 4, line.size() - split - 5);
    return true;
}

void TakeProp(const std::string& key, const std::string& value, PackageSnapshot* snap) {
    if (key == "ro.build.version.sdk") snap->api = std::atoi(value.c_str());
    else if (key == "ro.build.version.release") snap->release = text::OneLine(value, 40);
    else if (key == "ro.product.model") snap->model = text::OneLine(value, 80);
    else if (key == "ro.product.manufacturer") snap->maker = text::OneLine(value, 40);
    else if (key == "ro.serialno") snap->serialNo = PropValue(value, 80);
}

} // namespace

std::string BuildReadScript(int user, Users users, int api) {
    std::string script;
    // The users cost one more start of the package tool: read with the first list of a device only.
    if (users == Users::List) script += SectionLine("users") + ";" + ListCommand(api, "list users") + ";";
    std::string u = std::to_string(user);
    for (const Section& s : kSections) {
        std::string command;
        if (s.query) {
            std::string query = s.query;
            query.replace(query.find("%u"), 2, u);
            command = ListCommand(api, query);
        } else {
            command = std::string(s.name) == "props" ? "getprop" : AndroidIdCommand(api);
        }
        script += SectionLine(s.name) + ";" + command + ";";
    }
    return script + SectionLine("end");
}

PackageSnapshot ParseReadOutput(const std::string& out) {
    PackageSnapshot snap;
    std::map<std::string, Package> all;
    std::map<std::string, bool> installed, disabled, system;
    std::map<std::string, bool> seen;   // the list sections that arrived with their status
    std::string section;
    bool ended = false;
    auto fail = [&snap](const std::string& why) {
        if (!snap.serviceFailed) snap.failure = text::OneLine(why, 200);
        snap.serviceFailed = true;
        // Not the service: the shell may not reach the user at all.
        if (knowledge::ReadAnswer(why) == knowledge::Answer::UserDenied) snap.userDenied = true;
    };
    const std::string sectionMarker = std::string(kMarker) + "section ";
    const std::string statusMarker = std::string(kMarker) + "status ";
    for (const std::string& raw : text::WholeLines(out)) {
        std::string line = text::Trim(raw);
        if (text::StartsWith(line, sectionMarker.c_str())) {
            section = line.substr(sectionMarker.size());
            if (section == "end") ended = true;
            continue;
        }
        if (text::StartsWith(line, statusMarker.c_str())) {
            int status = std::atoi(line.c_str() + statusMarker.size());
            seen[section] = true;
            if (status != 0) fail("pm 退出码 " + std::to_string(status));
            continue;
        }
        if (section == "props") {
            std::string key, value;
            if (ReadPropLine(line, &key, &value)) TakeProp(key, value, &snap);
        } else if (section == "androidid" && !line.empty() && snap.androidId.empty()) {
            if (!IsServiceError(line)) snap.androidId = PropValue(line, 80);
        } else if (section == "users") {
            PhoneUser user;
            if (ReadUserLine(line, &user)) snap.users.push_back(user);
            else if (IsServiceError(line)) fail(line);
        } else {
            std::string name, path;
            if (!ReadPackageLine(line, &name, &path)) {
                // Lines pm adds that are no error (a linker's warning on some
                // old builds) are passed over; an error fails the read.
                if (IsServiceError(line)) fail(line);
                continue;
            }
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
    // A phone always has packages, and some of them are installed for every
    // user (the framework itself): an empty list is a service that did not answer.
    if (ended) {
        for (const Section& s : kSections)
            if (s.query && !seen.count(s.name)) fail(std::string("没有读到 ") + s.name);
        if (all.empty()) fail("手机没有列出任何应用");
        else if (installed.empty()) fail("手机没有列出已安装的应用");
    }
    if (snap.userDenied) snap.failure = kUserDenied;
    else if (snap.serviceFailed) snap.failure = std::string(kServiceNotAnswering) + "（" + snap.failure + "）";
    snap.complete = ended && !snap.serviceFailed;
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

std::string PhoneKey(const PackageSnapshot& s) {
    if (s.serialNo.empty() && s.androidId.empty()) return std::string();
    return s.serialNo + "/" + s.androidId;
}

const char* StateText(PackageState s) {
    switch (s) {
    case PackageState::Enabled: return "已启用";
    case PackageState::Disabled: return "已禁用";
    case PackageState::Deleted: return "已删除";
    }
    return "";
}

const char* KindText(PackageKind k) { return k == PackageKind::System ? "系统" : "用户"; }

const Package* FindPackage(const PackageSnapshot& s, const std::string& name) {
    auto it = std::lower_bound(s.packages.begin(), s.packages.end(), name,
                               [](const Package& p, const std::string& n) { return p.name < n; });
    return it != s.packages.end() && it->name == name ? &*it : nullptr;
}

} // namespace dev
