// Copies of user apps' APK files on this computer. Deleting an app its owner
// installed (`pm uninstall -k --user N`) removes its APK when no other user
// has it: only its data stays, and install-existing then finds nothing. So
// before such a delete every APK file of the app (`pm path`: the base and
// its splits) is pulled into
//   %LOCALAPPDATA%\adbtool\apks\<phone>\<package>\<versionCode>
// and checked against the sizes the phone gives; restore reinstalls from
// there (`adb install-multiple -r --user N`) when install-existing finds no
// APK on the phone. Each folder holds the files and copy.txt, which names
// the package, its version, the phone and the files with their sizes.
#pragma once

#include <functional>
#include <string>
#include <vector>
#include "adb.h"
#include "thread.h"

namespace dev {

struct ApkCopy {
    std::string folder;                 // the copy's folder, full path
    std::string phone;                  // the phone's identity (PhoneKey)
    std::string package;
    std::string version;                // versionCode, "unknown" when the phone did not say
    std::string time;                   // when it was made, as the record writes times
    std::vector<std::string> files;     // file names in the folder, the base first
    unsigned long long bytes = 0;       // all files together
};

// %LOCALAPPDATA%\adbtool\apks
std::string ApkCopiesRoot();

// Called as each package's copy moves on: the bytes copied so far of
// `total` for every package together, and the package in progress.
using CopyProgress = std::function<void(unsigned long long done, unsigned long long total, const std::string& package)>;

struct CopyRequest {
    std::string serial;
    int user = 0;
    int api = 0;                        // the phone's API level (what its tools can do)
    std::string phone;                  // its identity (PhoneKey), where the copies go
    std::vector<std::string> packages;
    std::string root = ApkCopiesRoot();
    const Cancel* cancel = nullptr;     // stops before the next package; a package cut off keeps no copy
    CopyProgress progress;
};

struct CopyOutcome {
    std::string package;
    bool ok = false;
    ApkCopy copy;                       // when ok
    std::string why;                    // when not, in the owner's words
};

// Copies every APK file of each package, one package at a time; a copy of
// the same phone, package and version already there and whole is kept as
// it is. Results in the order of the packages.
std::vector<CopyOutcome> CopyApks(const Adb& adb, const CopyRequest& request);

// Every copy under `root`, newest first.
std::vector<ApkCopy> ListApkCopies(const std::string& root = ApkCopiesRoot());

// The newest copy of `package` from the phone `phone` (SameIdentity), or null.
const ApkCopy* NewestCopy(const std::vector<ApkCopy>& copies, const std::string& phone, const std::string& package);

// Removes a copy's folder (its files and copy.txt, nothing else); false with
// the reason when something stayed.
bool RemoveApkCopy(const ApkCopy& copy, std::string* why);

// Installs the copy for `user` (`adb install-multiple -r --user N`, every
// file of it), replacing what may be left. The run's result; its output
// holds "Success" or adb's "Failure [...]".
AdbResult InstallApkCopy(const Adb& adb, const std::string& serial, int user, const ApkCopy& copy, const Cancel* cancel);

} // namespace dev
