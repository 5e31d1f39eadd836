// App names for the package list, read on a thread of their own beside the
// list: the list is usable while they come, the names the cache knows show
// with the list at once, and the read confirms them and brings the rest
// (device/appnames.h). Names arrive in the window through its posted event
// (kPostedNames), a burst at a time. UI thread only, but for the worker.
#pragma once

#include <cstdint>
#include <atomic>
#include <map>
#include <string>
#include <utility>
#include <vector>
#include "device/adb.h"
#include "appnames/appnames.h"
#include "appnames/namecache.h"
#include "device/thread.h"

namespace app::mgr {

// What the window has not seen yet of a name read.
struct NamesArrived {
    std::vector<std::pair<std::string, appnames::AppLabel>> labels;   // package, label
    size_t done = 0, total = 0;
    bool ended = false;        // the read is over (labels holds its last ones)
    bool cancelled = false;
    std::string error;         // why adb gave no answer, when it did not
};

class NameJobs {
public:
    explicit NameJobs(uint32_t postTarget) : target_(postTarget) {}
    // A read in progress stops with its adb run, at once.
    ~NameJobs() { worker_.RequestCancel(); worker_.Wait(); }

    // Reads the cache file on the worker while the window opens.
    void LoadCache();
    // The newest names the cache holds for the packages (at their APK paths),
    // to show before a read confirms them; stops a read in progress first.
    std::map<std::string, appnames::AppLabel> Cached(const dev::PackageSnapshot& s);
    // Reads every package's name; a read in progress is stopped first.
    bool Start(const dev::Adb& adb, const std::string& serial, const dev::PackageSnapshot& s);
    bool Running() const { return worker_.Running(); }
    void Cancel() { worker_.RequestCancel(); }
    // Stops a read at once; what it had not told is dropped.
    void Stop();
    NamesArrived Take();

private:
    void Post();

    uint32_t target_;
    appnames::NameCache cache_;     // the worker's while it runs, else the UI thread's
    bool loaded_ = false;
    dev::Worker worker_;
    dev::Lock lock_;
    NamesArrived arrived_;     // under lock_
    bool posted_ = false;      // under lock_: one message in the queue at a time
};

} // namespace app::mgr
