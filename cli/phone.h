// Every call adbctl makes into the device layer, in one place: the device
// list, the packages of a user, the apps' names, one action on several
// phones at once, the record and what undo brings back.
#pragma once

#include <functional>
#include <string>
#include <vector>
#include "appnames/appnames.h"
#include "device/batch.h"

namespace cli::phone {

dev::DeviceList Devices(const dev::Adb& adb, const dev::Cancel* cancel);

// The packages of `user` on each phone, read at once; in the order of `serials`.
std::vector<dev::PackageRead> Packages(const dev::Adb& adb, const std::vector<std::string>& serials, int user,
                                       const dev::Cancel* cancel);

// Each phone's users, read at once: the read of the owner's packages with
// the users listed, and which of its users the shell may not reach.
struct PhoneUsers {
    dev::PackageRead read;          // its snapshot holds the users
    std::vector<int> unreachable;
};
std::vector<PhoneUsers> Users(const dev::Adb& adb, const std::vector<std::string>& serials);

// The names of each phone's apps as its launcher shows them, one read per
// phone, all at once, through copies of the loaded `cache` (each appends
// what it reads to the same file); in the order of `serials`. A phone whose
// packages were not all read gets none. `progress` gets the packages done
// and their count over every phone, never two calls at once.
std::vector<appnames::NameRead> AppNames(const dev::Adb& adb, const std::vector<std::string>& serials,
                                    const std::vector<dev::PackageRead>& reads, const appnames::NameCache& cache,
                                    const dev::Cancel* cancel, const std::function<void(size_t, size_t)>& progress);

// The name the cache last read for a package (at this APK path when it has
// one there, else wherever it was); empty when it knows none. No adb run.
std::u16string KnownName(const appnames::NameCache& cache, const std::string& package, const std::string& path);

struct Job {
    std::string serial;
    std::vector<std::string> names;
    int knownApi = 0;   // from an earlier read, 0 when unknown
    std::string phone;  // the phone's identity as read before (PhoneKey); empty: any
};

struct RunSettings {
    int user = 0;
    const dev::Cancel* cancel = nullptr;
    const dev::ActionRecord* record = nullptr;
    // Per package as it ends (never two calls at once).
    std::function<void(const std::string& serial, const dev::PackageResult& r)> progress;
};

// One action on every job's phone at once, each in one adb process;
// results in the order of `jobs`.
std::vector<dev::BatchResult> Run(const dev::Adb& adb, const std::vector<Job>& jobs, dev::Action action,
                                  const RunSettings& settings);

// The phone as the record knows it: by its own identity when it was read,
// else (`now` null) by the serial adb reaches it by.
dev::PhoneId Identify(const std::string& serial, const dev::PackageSnapshot* now);

// One phone's record for one user, oldest first.
std::vector<dev::RecordEntry> History(const dev::ActionRecord& record, const dev::PhoneId& phone, int user);

// What undo does on the phone read as `now`: each package back to its state
// before this tool first changed it.
std::vector<dev::UndoItem> UndoItems(const dev::ActionRecord& record, const std::string& serial, int user,
                                     const dev::PackageSnapshot& now);

// Settles the record's open lines of the phone read as `now` (a complete
// read): intents whose batch never told, and commands cut off. False, with
// the reason, when the record could not be written.
bool Settle(const dev::ActionRecord& record, const std::string& serial, int user, const dev::PackageSnapshot& now,
            std::string* why);

} // namespace cli::phone
