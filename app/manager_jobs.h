// The package manager's long work: reading devices and packages, and
// running batches, each a job on one dev::Worker thread. What a job finds
// goes into a JobResult under a lock; the UI thread learns of it through
// the window's "posted" event (window event 13), which the runtime raises
// on the window's own thread when a message posted from the worker arrives
// (auxiliary service 10). Posting never waits, so neither thread can block
// the other, and every property write stays on the UI thread.
#pragma once

#include <cstdint>
#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <vector>
#include "device/batch.h"
#include "device/thread.h"

namespace app::mgr {

// The argument of the posted event.
enum Posted : int32_t { kPostedProgress = 1, kPostedDone = 2, kPostedOpened = 3, kPostedNames = 4 };

struct Step {                          // one batch of a job
    dev::Action action = dev::Action::Disable;
    std::vector<std::string> names;
    std::vector<dev::Target> targets;  // the devices of this step alone; empty: the request's
};

struct JobRequest {
    bool listDevices = false;
    std::vector<dev::Server> servers;  // other computers' adb servers listed beside this one's
    std::string preferred;             // the device to read: kept from before, else the one ready device
    dev::Server preferredServer;       // the adb server of `preferred`
    bool readPackages = false;
    std::vector<dev::Target> targets;  // devices a batch runs on
    std::vector<Step> steps;           // run one after the other
    int knownApi = 0;
    std::string model;
    int user = 0;                      // the phone's user the read and the batches are for
    std::string phone;                 // the identity of the phone a one-phone batch is meant for
    bool forUndo = false;              // a read whose result the window turns into an undo
};

struct JobResult {
    bool listed = false;
    dev::DeviceList devices;
    std::vector<std::string> serverErrors;   // one line per listed server that did not answer
    std::vector<std::string> reconnectFailures;   // phones paired over the network that would not connect
    std::string readSerial;            // empty when no package read was made
    dev::Server readServer;            // the adb server of readSerial
    dev::PackageRead read;
    std::vector<dev::BatchResult> batches;   // step by step, device by device
    std::map<std::string, dev::RecordEntry> lastActions;   // of readSerial
    std::vector<dev::RecordEntry> history;   // readSerial's record for the user, oldest first
    std::vector<dev::UndoItem> undo;         // what undo would do now (when asked for)
    dev::PhoneId phone;                // of readSerial, as its read told
    int user = 0;
    std::string recordError;           // the first record write that failed, empty when all went in
    bool cancelled = false;
    bool forUndo = false;              // as asked
};

// Progress the UI shows while a job runs.
struct Progress {
    size_t reported = 0, total = 0;
    std::string current;               // the package last reported
    // While user apps' APKs are copied before a delete: bytes so far and in
    // all (every phone of the job together), the package being copied.
    unsigned long long copied = 0, toCopy = 0;
    std::string copying;
    // Batches of an all-devices run that have ended since the last look,
    // without their read states: the log shows each phone's as it ends.
    std::vector<dev::BatchResult> finished;
};

class Jobs {
public:
    explicit Jobs(uint32_t postTarget) : target_(postTarget) {}
    // Waits for the job: a window that closes while one runs hands its Jobs
    // to Orphan() instead of destroying it.
    ~Jobs() { worker_.RequestCancel(); worker_.Wait(); }

    // The window has gone: the job stops after the package in progress and
    // finishes its record in the background; nothing is posted any more.
    // The program's end calls EndOrphans(), which ends their adb runs at once.
    static void Orphan(std::unique_ptr<Jobs> jobs);
    static void EndOrphans();

    bool Start(const JobRequest& request);
    // A job started before its window existed (postTarget 0) is handed to
    // the window: its end is posted there, at once when it has ended already.
    void Adopt(uint32_t postTarget);
    bool Running() const { return worker_.Running(); }
    void Cancel() { worker_.RequestCancel(); }
    void Wait() { worker_.Wait(); }
    JobResult TakeResult();
    Progress CurrentProgress();

    const dev::Adb& Adb() const { return adb_; }
    const dev::ActionRecord& Record() const { return record_; }

private:
    void Run(const JobRequest& request, const dev::Cancel& cancel);
    void Post(int32_t what) const;
    void PostDone();

    std::atomic<uint32_t> target_;
    dev::Adb adb_;
    dev::ActionRecord record_;
    dev::Worker worker_;
    dev::Lock lock_;
    JobResult result_;       // under lock_
    Progress progress_;      // under lock_
    bool progressPosted_ = false;   // under lock_: one progress message in the queue at a time
    bool donePending_ = false;      // under lock_: the job ended with no window to tell
};

} // namespace app::mgr
