// Every package of one user with its state, kind and APK path, read in one
// adb process: one shell script whose sections are told apart by marker
// lines, built here and read back here.
#pragma once

#include <string>
#include <vector>

namespace dev {

enum class PackageState { Enabled, Disabled, Deleted };   // Deleted: uninstalled for this user, data kept
enum class PackageKind { System, User };

struct Package {
    std::string name;
    std::string path;   // the APK, empty when the phone did not say
    PackageState state = PackageState::Enabled;
    PackageKind kind = PackageKind::User;
};

struct PhoneUser {
    int id = 0;
    std::string name;
    unsigned flags = 0;      // UserInfo's flags, e.g. 0x20 a managed (work) profile
    bool running = false;
    bool WorkProfile() const { return (flags & 0x20) != 0; }   // UserInfo.FLAG_MANAGED_PROFILE
};

struct PackageSnapshot {
    int api = 0;                           // ro.build.version.sdk, 0 when unknown
    std::string release;                   // ro.build.version.release
    std::string model;                     // ro.product.model
    std::string maker;                     // ro.product.manufacturer ("Xiaomi", "OPPO" ...)
    std::string serialNo;                  // ro.serialno, empty when unreadable
    std::string androidId;                 // Settings.Secure android_id, empty when unreadable
    std::vector<PhoneUser> users;          // read only when asked for
    std::vector<Package> packages;         // sorted by name
    std::vector<std::string> rejected;     // names from the phone that failed the name check
    bool complete = false;                 // every section arrived, answered and agreed
    // Set when a section arrived but the package service failed it (an error
    // in place of a list, a failing status) or the lists disagree: the states
    // are then not to be trusted, and `complete` is false.
    bool serviceFailed = false;
    std::string failure;                   // what the phone said, one line
    // The shell may not reach this user at all (Samsung's Secure Folder):
    // the read failed, and so would every change.
    bool userDenied = false;
};

// The user's words for a read the package service failed, and for a user
// the shell may not reach.
extern const char kServiceNotAnswering[];
extern const char kUserDenied[];

// The marker every line the scripts print for themselves begins with.
extern const char kMarker[];

enum class Users { Skip, List };

// From Android 8 (API 26) the scripts reach the package service through
// `cmd package` alone: pm there is either a Java program (up to 8.1) or a
// script around cmd (from 9), and Android 8's shell command has every
// command the scripts use. Android 7 has `cmd package` too, but its shell
// command lacks install-existing (and there is no record of which change
// commands it had), so there its lists try cmd and fall back on pm, and its
// changes go through pm.
constexpr int kCmdPackageApi = 26;

// The script that reads API level, model, every package of `user`, and the
// phone's users when asked for. `api` is the phone's API level when known
// (0 when not): it chooses how the script reaches the package service.
std::string BuildReadScript(int user, Users users = Users::Skip, int api = 0);

// Reads that script's output (from one adb process, or the tail of an action
// script that ends with it). Names failing the name check are not taken.
PackageSnapshot ParseReadOutput(const std::string& out);

// The phone's own identity for the record: "serialno/androidId" from what
// the read found, independent of how the phone is connected (USB serial,
// IP:port, mDNS name). Empty when the phone told neither.
std::string PhoneKey(const PackageSnapshot& s);

// The words the user reads: 已启用 / 已禁用 / 已删除, 系统 / 用户.
const char* StateText(PackageState s);
const char* KindText(PackageKind k);

// The package of that name, or null.
const Package* FindPackage(const PackageSnapshot& s, const std::string& name);

// Restore (install-existing) needs Android 8, API level 26.
constexpr int kRestoreApi = 26;

// From Android 17 (API 37) only root deletes a system app for one user
// ("only root can delete system app for a particular user"); disabling works.
constexpr int kRootOnlyDeleteApi = 37;

} // namespace dev
