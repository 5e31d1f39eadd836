// The phone's package manager as the shell reaches it: `pm ...` and
// `cmd package ...`, with each Android version's texts, streams and results.
//   Android 6 and older: the old pm program, "Error: ..." texts.
//   Android 7-8: pm hands the command to the package service and exits 0
//                even after a failure (`cmd package` keeps the result).
//   Android 9 on: pm is `cmd package`; a failure is -1 (status 255) with the
//                exception's stack trace on stderr.
// What each costs to start is Device::StartMs (shell.cpp); the service's own
// time for a change is Device::ChangeMs below.
#include <cstdio>
#include <cstdlib>
#include "sim.h"

namespace sim {

namespace {

const char kEnableTrace[] =
    "\tat com.android.server.pm.PackageManagerService.setEnabledSettings(PackageManagerService.java:3921)\n"
    "\tat com.android.server.pm.PackageManagerService$IPackageManagerImpl.setApplicationEnabledSetting("
    "PackageManagerService.java:6274)\n"
    "\tat com.android.server.pm.PackageManagerShellCommand.runSetEnabledSetting(PackageManagerShellCommand.java:2583)\n"
    "\tat com.android.server.pm.PackageManagerShellCommand.onCommand(PackageManagerShellCommand.java:266)\n"
    "\tat com.android.modules.utils.BasicShellCommandHandler.exec(BasicShellCommandHandler.java:97)\n"
    "\tat android.os.ShellCommand.exec(ShellCommand.java:38)\n"
    "\tat com.android.server.pm.PackageManagerService$IPackageManagerImpl.onShellCommand("
    "PackageManagerService.java:6833)\n"
    "\tat android.os.Binder.shellCommand(Binder.java:1107)\n"
    "\tat android.os.Binder.onTransact(Binder.java:921)\n"
    "\tat android.content.pm.IPackageManager$Stub.onTransact(IPackageManager.java:4360)\n"
    "\tat android.os.Binder.execTransactInternal(Binder.java:1344)\n"
    "\tat android.os.Binder.execTransact(Binder.java:1275)\n";

const char kOldUsage[] =
    "usage: pm list packages [-f] [-d] [-e] [-s] [-3] [-i] [-u] [--user USER_ID] [FILTER]\n"
    "       pm list users\n"
    "       pm path [--user USER_ID] PACKAGE\n"
    "       pm uninstall [-k] [--user USER_ID] PACKAGE\n"
    "       pm enable [--user USER_ID] PACKAGE_OR_COMPONENT\n"
    "       pm disable-user [--user USER_ID] PACKAGE_OR_COMPONENT\n";

struct Call {
    Device& device;
    bool viaPm;
    Io& io;
    bool oldPm() const { return device.api <= 23; }

    // The status the shell sees for the command's own result.
    int Result(int code) const {
        if (viaPm && device.api >= 24 && device.api <= 27) return 0;
        return code & 0xFF;
    }
    int Exception(const std::string& command, const std::string& exception) {
        if (oldPm()) {
            io.err += "Error: " + exception + "\n";
            return Result(1);
        }
        io.err += device.api >= 28 ? "\nException occurred while executing '" + command + "':\n"
                                   : "\nException occurred while executing:\n";
        io.err += exception + "\n" + kEnableTrace;
        return Result(-1);
    }
    // A user the shell may not reach: ActivityManagerService.handleIncomingUser
    // refuses the shell before the package service looks at anything
    // (mozilla/web-ext#2904: Samsung's Secure Folder, user 150).
    int DeniedUser(const std::string& command, int user) {
        return Exception(command, "java.lang.SecurityException: Shell does not have permission to access user " +
                                      std::to_string(user));
    }
    int UnknownCommand(const std::string& command) {
        if (oldPm()) {
            io.err += "Error: unknown command '" + command + "'\n" + kOldUsage;
            return Result(1);
        }
        io.err += "Unknown command: " + command + "\n";
        return Result(-1);
    }
};

// Reads "--user N" at args[*i]; "current" is the owner, "all" is -1.
bool TakeUser(const std::vector<std::string>& args, size_t* i, int* user) {
    if (args[*i] != "--user" || *i + 1 >= args.size()) return false;
    const std::string& v = args[*i + 1];
    *user = v == "all" ? -1 : v == "current" || v == "cur" ? 0 : std::atoi(v.c_str());
    *i += 1;
    return true;
}

long long VersionOf(const Package& p) {
    if (p.version) return p.version;
    unsigned h = 2166136261u;
    for (unsigned char ch : p.name) h = (h ^ ch) * 16777619u;
    return 100 + h % 900000;
}

// A maker's refusal of disable-user, by the profile's code (the texts of
// knowledge/answers.cpp's threads).
std::string DisableRefusal(const std::string& code, const std::string& name) {
    if (code == "system-packages") return "java.lang.SecurityException: Cannot disable system packages.";
    if (code == "miui-core") return "java.lang.SecurityException: Cannot disable miui core packages.";
    if (code == "no-root") return "java.lang.SecurityException: Cannot disable " + name + " no root permission";
    return std::string();
}

bool Disabled(const std::string& state) {
    return state == "disabled" || state == "disabled-user" || state == "disabled-until-used";
}

int ListPackages(Call& c, const std::vector<std::string>& args) {
    bool disabledOnly = false, enabledOnly = false, systemOnly = false, thirdOnly = false;
    bool withUninstalled = false, withPath = false, withUid = false, withInstaller = false, withVersion = false;
    int user = 0;
    bool userGiven = false;
    std::string filter;
    for (size_t i = 2; i < args.size(); i++) {
        const std::string& a = args[i];
        if (TakeUser(args, &i, &user)) {
            userGiven = true;
            continue;
        }
        if (a == "--show-versioncode") {
            withVersion = true;
            continue;
        }
        if (a.size() > 1 && a[0] == '-' && a[1] != '-') {
            for (size_t k = 1; k < a.size(); k++) {
                switch (a[k]) {
                case 'd': disabledOnly = true; break;
                case 'e': enabledOnly = true; break;
                case 's': systemOnly = true; break;
                case '3': thirdOnly = true; break;
                case 'u': withUninstalled = true; break;
                case 'f': withPath = true; break;
                case 'U': withUid = true; break;
                case 'i': withInstaller = true; break;
                case 'l': break;
                default:
                    c.io.err += "Error: Unknown option: " + a + "\n";
                    return c.Result(c.oldPm() ? 1 : -1);
                }
            }
        } else if (a.size() > 1 && a[0] == '-') {
            c.io.err += "Error: Unknown option: " + a + "\n";
            return c.Result(c.oldPm() ? 1 : -1);
        } else {
            filter = a;
        }
    }
    // Without --user the list is every user's, and a user the shell may not
    // reach fails it whole.
    for (int denied : c.device.deniedUsers)
        if (userGiven ? denied == user : true) return c.DeniedUser("list", denied);
    for (const Package& p : c.device.packages) {
        if (p.removed) continue;
        std::string state = c.device.StateFor(p, user < 0 ? 0 : user);
        if (state == "uninstalled" && !withUninstalled) continue;
        if ((disabledOnly && !Disabled(state)) || (enabledOnly && Disabled(state))) continue;
        if ((systemOnly && !p.system) || (thirdOnly && p.system)) continue;
        if (!filter.empty() && p.name.find(filter) == std::string::npos) continue;
        std::string line = "package:";
        if (withPath) line += p.path + "=";
        line += p.name;
        if (withVersion) line += " versionCode:" + std::to_string(VersionOf(p));
        if (withUid) line += " uid:" + std::to_string((user < 0 ? 0 : user) * 100000 + p.appId);
        if (withInstaller) line += p.system ? "  installer=null" : "  installer=com.android.vending";
        c.io.out += line + "\n";
    }
    return 0;
}

int ListUsers(Call& c) {
    c.io.out += "Users:\n";
    for (const User& u : c.device.users)
        c.io.out += "\tUserInfo{" + std::to_string(u.id) + ":" + u.name + ":" + u.flags + "} running\n";
    return 0;
}

int SetEnabled(Call& c, const std::vector<std::string>& args) {
    const std::string& command = args[0];
    int user = 0;
    std::string name;
    for (size_t i = 1; i < args.size(); i++)
        if (!TakeUser(args, &i, &user)) name = args[i];
    if (name.empty()) {
        c.io.err += "Error: no package or component specified\n";
        return c.Result(1);
    }
    if (c.device.Denied(user)) return c.DeniedUser(command, user);
    std::string state = command == "enable" ? "enabled" : command == "disable-user" ? "disabled-user" : command;
    Package* p = c.device.FindPackage(name);
    if (!p || c.device.StateFor(*p, user) == "uninstalled")
        return c.Exception(command, "java.lang.IllegalArgumentException: Unknown package: " + name);
    // The maker's hook runs first (Xiaomi: PackageManagerServiceImpl.
    // shouldRestrictEnabledSettingsChange, at the top of setEnabledSettings).
    if (state == "disabled-user" && c.device.api >= 28) {
        std::string refusal = DisableRefusal(p->disableFailure, name);
        if (refusal.empty() && p->system && !p->isProtected) refusal = DisableRefusal(c.device.disableRule, name);
        if (!refusal.empty()) return c.Exception(command, refusal);
    }
    if (state != "enabled" && p->isProtected && c.device.api >= 28)
        return c.Exception(command, "java.lang.SecurityException: Cannot disable a protected package: " + name);
    // The shell may move a whole package only between default, enabled and
    // disabled-user (PackageManagerService.setEnabledSettings): a package the
    // system set to disabled or disabled-until-used stays so.
    std::string now = c.device.StateFor(*p, user);
    bool systemSet = now == "disabled" || now == "disabled-until-used";
    if ((state == "disabled" && c.device.api >= 24) || (state != "enabled" && p->isProtected) ||
        (systemSet && c.device.api >= 24)) {
        std::string target = c.device.api >= 33 ? "null" : name + "/null";
        int value = state == "disabled" ? 2 : state == "enabled" ? 1 : 3;
        return c.Exception(command, "java.lang.SecurityException: Shell cannot change component state for " + target +
                                        " to " + std::to_string(value));
    }
    c.device.SetState(*p, user, state);
    c.io.out += "Package " + name + " new state: " + state + "\n";
    return 0;
}

// Whether a user other than `user` still has the package installed.
bool OthersHaveIt(const Device& d, const Package& p, int user) {
    for (const User& u : d.users)
        if (u.id != user && d.StateFor(p, u.id) != "uninstalled") return true;
    return false;
}

// The failure text of a profile's code: Honor words DELETE_FAILED_ABORTED
// as "PKG is not allowed the uninstall." (0x192/universal-android-debloater#1044).
std::string DeleteFailureText(const std::string& code, const std::string& name) {
    if (code == "DELETE_FAILED_ABORTED") return code + ": " + name + " is not allowed the uninstall.";
    return code;
}

int Uninstall(Call& c, const std::vector<std::string>& args) {
    int user = -1;
    bool keepData = false;
    std::string name;
    for (size_t i = 1; i < args.size(); i++) {
        if (TakeUser(args, &i, &user)) continue;
        if (args[i] == "-k") keepData = true;
        else name = args[i];
    }
    if (name.empty()) {
        c.io.err += "Error: package name not specified\n";
        return c.Result(1);
    }
    if (user >= 0 && c.device.Denied(user)) return c.DeniedUser("uninstall", user);
    Package* p = c.device.FindPackage(name);
    // runUninstall asks for the user's package first: none is "not installed for N".
    if (user >= 0 && (!p || c.device.StateFor(*p, user) == "uninstalled")) {
        if (c.oldPm()) c.io.err += "Failure - not installed for " + std::to_string(user) + "\n";
        else c.io.out += "Failure [not installed for " + std::to_string(user) + "]\n";
        return c.Result(1);
    }
    std::string failure = !p ? "DELETE_FAILED_INTERNAL_ERROR" : DeleteFailureText(p->deleteFailure, name);
    if (failure.empty() && user < 0 && p->system) failure = "DELETE_FAILED_INTERNAL_ERROR";
    // Android 17: --user on a system app only for root (trinadhthatakula/Thor#314, API 37).
    if (failure.empty() && user >= 0 && p->system && c.device.api >= 37)
        failure = "only root can delete system app for a particular user";
    if (!failure.empty()) {
        c.io.out += "Failure [" + failure + "]\n";
        return c.Result(1);
    }
    if (user >= 0) {
        c.device.SetState(*p, user, "uninstalled");
        // A user app no other user has is deleted whole, its APK with it;
        // -k keeps only its data (DeletePackageHelper.executeDeletePackageLIF:
        // "Not installed by other users, full delete").
        if (!p->system && !OthersHaveIt(c.device, *p, user)) p->apkGone = true;
    } else {
        p->removed = true;
    }
    if (!keepData && !p->system) p->dataLost = true;
    p->dirty = true;
    c.io.out += "Success\n";
    return 0;
}

int InstallExisting(Call& c, const std::vector<std::string>& args) {
    if (c.device.api < 26) return c.UnknownCommand(args[0]);
    int user = 0;
    std::string name;
    for (size_t i = 1; i < args.size(); i++)
        if (!TakeUser(args, &i, &user) && args[i].compare(0, 2, "--") != 0) name = args[i];
    if (c.device.Denied(user)) return c.DeniedUser(args[0], user);
    Package* p = c.device.FindPackage(name);
    // No APK left to install for the user: installExistingPackageAsUser
    // answers INSTALL_FAILED_INVALID_URI, which the command words so.
    if (!p || !c.device.FindUser(user) || p->apkGone) {
        c.io.out += "android.content.pm.PackageManager$NameNotFoundException: Package " + name + " doesn't exist\n";
        return c.Result(1);
    }
    if (c.device.StateFor(*p, user) == "uninstalled") c.device.SetState(*p, user, "enabled");
    c.io.out += "Package " + name + " installed for user: " + std::to_string(user) + "\n";
    return 0;
}

int Path(Call& c, const std::vector<std::string>& args) {
    int user = 0;
    std::string name;
    for (size_t i = 1; i < args.size(); i++)
        if (!TakeUser(args, &i, &user)) name = args[i];
    if (c.device.Denied(user)) return c.DeniedUser(args[0], user);
    Package* p = c.device.FindPackage(name);
    if (!p || p->apkGone || c.device.StateFor(*p, user) == "uninstalled") return c.Result(1);
    // The base, then each split (PackageManagerShellCommand.displayPackageFilePath).
    std::vector<std::string> files = ApkFiles(c.device, *p);
    if (files.empty()) files.push_back(p->path);
    for (const std::string& f : files) c.io.out += "package:" + f + "\n";
    return 0;
}

bool IsChange(const std::string& command) {
    return command == "disable-user" || command == "enable" || command == "disable" ||
           command == "disable-until-used" || command == "uninstall" || command == "install-existing";
}

int Dispatch(Call& c, const std::vector<std::string>& args) {
    const std::string& command = args[0];
    if (command == "list" && args.size() > 1 && args[1] == "packages") return ListPackages(c, args);
    if (command == "list" && args.size() > 1 && args[1] == "users") return ListUsers(c);
    if (command == "list") {
        c.io.err += "Error: unknown list type '" + (args.size() > 1 ? args[1] : std::string()) + "'\n";
        return c.Result(c.oldPm() ? 1 : -1);
    }
    if (command == "uninstall") return Uninstall(c, args);
    if (command == "install-existing") return InstallExisting(c, args);
    if (IsChange(command)) return SetEnabled(c, args);
    if (command == "path") return Path(c, args);
    return c.UnknownCommand(command);
}

} // namespace

DWORD Device::ChangeMs(const std::string& command) const {
    if (command == "uninstall") return uninstallMs;
    if (command == "install-existing") return installExistingMs;
    if (command == "enable") return enableMs;
    return IsChange(command) ? disableMs : 0;
}

int PackageCommand(Store& store, Device& device, const std::vector<std::string>& args, bool viaPm, Io& io) {
    // The package service gone (booting, or system_server restarting): the
    // client finds no service to call. Android 9's pm is `cmd package`;
    // before, pm was a Java program (frameworks/base cmds/pm Pm.java:
    // PM_NOT_RUNNING_ERR, exit 1).
    static int calls = 0;
    if (device.serviceFailsAfter >= 0 && calls++ >= device.serviceFailsAfter) {
        if (!viaPm || device.api >= 28) {
            io.err += "cmd: Can't find service: package\n";
            return 20;
        }
        io.err += "Error: Could not access the Package Manager.  Is the system running?\n";
        return 1;
    }
    // A phone that stops answering in the middle of a batch.
    static int changes = 0;
    if (device.hangAfter >= 0 && IsChange(args.empty() ? std::string() : args[0]) && changes++ >= device.hangAfter)
        Sleep(600000);
    if (args.empty()) {
        io.err += kOldUsage;
        return device.api <= 23 || (viaPm && device.api <= 27) ? 1 : 255;
    }
    // A change takes the phone its time before the lock, not under it.
    if (args.size() > 1) Sleep(device.ChangeMs(args[0]));
    int code = 0;
    // The phone as the state file has it now, so that a parallel adb
    // process's change is seen and kept.
    bool present = store.Change(device.serial, [&](Device& fresh) {
        Call c{fresh, viaPm, io};
        code = Dispatch(c, args);
    });
    if (!present) {
        Call c{device, viaPm, io};
        code = Dispatch(c, args);
    }
    return code;
}

int Settings(const Device& device, const std::vector<std::string>& args, Io& io) {
    if (args.size() < 3 || args[0] != "get") {
        io.err += "usage:  settings [--user <USER_ID> | current] get namespace key\n";
        return 1;
    }
    if (args[1] == "secure" && args[2] == "android_id") {
        std::string id = device.Prop("android_id");
        if (id.empty()) {
            unsigned long long h = 1469598103934665603ull;
            // The phone's own, whatever it is connected by.
            std::string seed = device.Prop("ro.serialno").empty() ? device.serial : device.Prop("ro.serialno");
            for (char ch : seed) h = (h ^ static_cast<unsigned char>(ch)) * 1099511628211ull;
            char hex[17];
            std::snprintf(hex, sizeof hex, "%016llx", h);
            id = hex;
        }
        io.out += id + "\n";
    } else {
        io.out += "null\n";
    }
    return 0;
}

int GetProp(const Device& device, const std::vector<std::string>& args, Io& io) {
    if (args.empty()) {
        for (const auto& kv : device.props) io.out += "[" + kv.first + "]: [" + kv.second + "]\n";
        return 0;
    }
    std::string value = device.Prop(args[0]);
    if (value.empty() && args.size() > 1) value = args[1];
    io.out += value + "\n";
    return 0;
}

} // namespace sim
