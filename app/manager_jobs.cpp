#include "manager_jobs.h"

#include <map>
#include <memory>

#include "connect/known.h"
#include "text/text.h"
#include "runtime/services.h"

namespace app::mgr {

namespace {

// Set when the program ends: every adb run of every job ends at once.
dev::Cancel gAbort;

// Jobs whose window closed while they ran, until they have finished.
dev::Lock gOrphansLock;
std::vector<std::unique_ptr<Jobs>>* gOrphans = nullptr;   // under gOrphansLock

// The adb server is started once, alone, before the first calls that run
// side by side: two clients that both find no server both try to start one,
// and the one that loses the race fails ("cannot connect to daemon").
std::atomic<bool> gServerStarted{false};

void StartServerOnce(const dev::Adb& adb, const dev::Cancel& cancel) {
    // A server that answers already (adb was used since the computer
    // started, as usual) needs no start: the window's first list then costs
    // one adb run less.
    if (gServerStarted.exchange(true) || dev::AdbServerListening()) return;
    dev::AdbRun how;
    how.cancel = &cancel;
    how.abort = &gAbort;
    how.timeoutMs = 30000;
    adb.Run({"start-server"}, how);
}

bool DaemonFailed(const std::string& error) {
    return text::Contains(error, "daemon") || text::Contains(error, "ADB Server");
}

} // namespace

void Jobs::Post(int32_t what) const {
    uint32_t target = target_.load();
    if (target) rt::kServices.auxiliary(rt::kAuxPostEvent, target, what);
}

void Jobs::Orphan(std::unique_ptr<Jobs> jobs) {
    jobs->target_ = 0;
    jobs->worker_.RequestCancel();
    dev::Hold hold(gOrphansLock);
    if (!gOrphans) gOrphans = new std::vector<std::unique_ptr<Jobs>>();
    // Finished ones go now; the program's end takes the rest.
    for (auto it = gOrphans->begin(); it != gOrphans->end();)
        it = (*it)->Running() ? it + 1 : gOrphans->erase(it);
    gOrphans->push_back(std::move(jobs));
}

void Jobs::EndOrphans() {
    gAbort.Request();
    std::vector<std::unique_ptr<Jobs>>* orphans;
    {
        dev::Hold hold(gOrphansLock);
        orphans = gOrphans;
        gOrphans = nullptr;
    }
    delete orphans;   // each waits for its worker, whose adb runs have ended
}

bool Jobs::Start(const JobRequest& request) {
    {
        dev::Hold hold(lock_);
        result_ = JobResult();
        progress_ = Progress();
        progressPosted_ = false;
    }
    return worker_.Start([this, request](const dev::Cancel& cancel) { Run(request, cancel); },
                         [this] { PostDone(); });
}

void Jobs::PostDone() {
    dev::Hold hold(lock_);
    if (target_.load() == 0) donePending_ = true;
    else Post(kPostedDone);
}

void Jobs::Adopt(uint32_t postTarget) {
    dev::Hold hold(lock_);
    target_ = postTarget;
    if (donePending_) Post(kPostedDone);
    donePending_ = false;
}

JobResult Jobs::TakeResult() {
    dev::Hold hold(lock_);
    JobResult r = std::move(result_);
    result_ = JobResult();
    return r;
}

Progress Jobs::CurrentProgress() {
    dev::Hold hold(lock_);
    progressPosted_ = false;
    Progress p = progress_;
    progress_.finished.clear();
    return p;
}

void Jobs::Run(const JobRequest& request, const dev::Cancel& cancel) {
    JobResult r;
    r.user = request.user;
    r.forUndo = request.forUndo;
    std::string serial = request.preferred;
    dev::Server server = request.preferredServer;
    if (request.listDevices) {
        r.listed = true;
        StartServerOnce(adb_, cancel);
        // The package read runs beside the device list instead of after it,
        // and the window shows the list in about the time of one adb call:
        // on the phone shown before (a refresh, with one phone or sixteen),
        // else without a serial, which reaches the one phone usually attached.
        // Other computers' servers are listed at the same time.
        // Phones paired over the network are brought back at the same time
        // (no adb run when there are none); the list is asked again when one came.
        dev::PackageRead guess;
        // A line of servers.txt naming this computer's own server would list
        // every phone twice (and an all-phones action would reach each twice).
        std::vector<dev::Server> servers;
        for (const dev::Server& s : request.servers)
            if (!dev::IsThisComputersServer(s)) servers.push_back(s);
        std::vector<dev::DeviceList> remote(servers.size());
        conn::Reconnection back;
        dev::RunEach(3 + remote.size(), [&](size_t i) {
            if (i == 0) r.devices = dev::ListDevices(adb_, &cancel);
            else if (i == 1) guess = dev::ReadPackages(adb_.Through(server), serial, request.user, &cancel, dev::Users::List);
            else if (i == 2) back = conn::ReconnectKnown(adb_, conn::KnownPhones(), &cancel);
            else remote[i - 3] = dev::ListDevices(adb_.Through(servers[i - 3]), &cancel);
        });
        r.reconnectFailures = back.failures;
        // A server someone else's adb was starting at the same moment.
        if ((!r.devices.error.empty() && DaemonFailed(r.devices.error)) || !back.connected.empty())
            r.devices = dev::ListDevices(adb_, &cancel);
        bool localOnly = r.devices.devices.size() == 1;
        for (size_t k = 0; k < remote.size(); k++) {
            if (!remote[k].error.empty())
                r.serverErrors.push_back("远程 adb 服务器 " + servers[k].Label() + "：" + remote[k].error);
            localOnly = localOnly && remote[k].devices.empty();
            r.devices.devices.insert(r.devices.devices.end(), remote[k].devices.begin(), remote[k].devices.end());
        }
        // The device read keeps the earlier choice when it is still ready,
        // else takes the only ready device; with several the user picks.
        const dev::Device* kept = nullptr;
        std::vector<const dev::Device*> ready;
        for (const dev::Device& d : r.devices.devices) {
            if (d.state != dev::DeviceState::Ready) continue;
            ready.push_back(&d);
            if (d.serial == serial && d.server == server) kept = &d;
        }
        const dev::Device* chosen = kept ? kept : ready.size() == 1 ? ready[0] : nullptr;
        // Only a lone local device is certain to be the one the unqualified read reached.
        bool guessed = kept ? !request.preferred.empty()
                            : request.preferred.empty() && localOnly && chosen && chosen->server.Local();
        serial = chosen ? chosen->serial : std::string();
        server = chosen ? chosen->server : dev::Server();
        if (guessed && guess.snapshot.complete) r.read = std::move(guess);
    }

    auto targetsOf = [&](const Step& s) -> const std::vector<dev::Target>& {
        return s.targets.empty() ? request.targets : s.targets;
    };
    size_t total = 0;
    for (const Step& s : request.steps) total += s.names.size() * targetsOf(s).size();
    {
        dev::Hold hold(lock_);
        progress_.total = total;
    }
    for (const Step& step : request.steps) {
        if (cancel.Requested() || step.names.empty()) continue;
        const std::vector<dev::Target>& targets = targetsOf(step);
        dev::BatchOptions o;
        o.cancel = &cancel;
        o.abort = &gAbort;
        o.record = &record_;
        o.user = request.user;
        // What the window read of the phone shown holds for that phone alone.
        bool onShown = targets.size() == 1 && targets[0].serial == request.preferred &&
                       targets[0].server == request.preferredServer;
        o.knownApi = onShown ? request.knownApi : 0;
        o.phone = onShown ? request.phone : std::string();
        o.model = onShown ? request.model : std::string();
        // Each phone's copies count into the job's bytes; a phone's figures come from its own thread.
        auto phoneCopies = std::make_shared<std::map<DWORD, std::pair<unsigned long long, unsigned long long>>>();
        o.copyProgress = [this, phoneCopies](unsigned long long done, unsigned long long all, const std::string& package) {
            bool post;
            {
                dev::Hold hold(lock_);
                (*phoneCopies)[GetCurrentThreadId()] = {done, all};
                progress_.copied = progress_.toCopy = 0;
                for (const auto& c : *phoneCopies) progress_.copied += c.second.first, progress_.toCopy += c.second.second;
                progress_.copying = package;
                post = !progressPosted_;
                progressPosted_ = true;
            }
            if (post) Post(kPostedProgress);
        };
        o.progress = [this](const std::string&, const dev::PackageResult& p, size_t, size_t) {
            bool post;
            {
                dev::Hold hold(lock_);
                progress_.reported++;
                progress_.current = p.name;
                post = !progressPosted_;
                progressPosted_ = true;
            }
            if (post) Post(kPostedProgress);
        };
        o.finished = [this](const dev::BatchResult& b) {
            dev::BatchResult shown;
            shown.serial = b.serial;
            shown.server = b.server;
            shown.action = b.action;
            shown.results = b.results;
            shown.error = b.error;
            bool post;
            {
                dev::Hold hold(lock_);
                progress_.finished.push_back(std::move(shown));
                post = !progressPosted_;
                progressPosted_ = true;
            }
            if (post) Post(kPostedProgress);
        };
        std::vector<dev::BatchResult> done = targets.size() == 1
            ? std::vector<dev::BatchResult>{dev::RunBatch(adb_.Through(targets[0].server),
                                                          targets[0].serial, step.action, step.names, o)}
            : dev::RunOnDevices(adb_, targets, step.action, step.names, o);
        for (dev::BatchResult& b : done) {
            if (r.recordError.empty()) r.recordError = b.recordError;
            r.batches.push_back(std::move(b));
        }
    }
    if (gAbort.Requested()) return;

    // A batch reads its device back in the same adb process; a read of its
    // own is needed only when no batch ran on the device shown.
    bool readBack = false;
    for (const dev::BatchResult& b : r.batches)
        if (b.serial == serial && b.server == server && b.after.complete) {
            r.read.snapshot = b.after;
            readBack = true;
        }
    // The users come with a read of the phone's own; a batch's read back has none.
    std::vector<dev::PhoneUser> users = r.read.snapshot.users;
    if (!serial.empty() && (request.readPackages || request.listDevices) && !readBack && !r.read.snapshot.complete &&
        !cancel.Requested())
        r.read = dev::ReadPackages(adb_.Through(server), serial, request.user, &cancel, dev::Users::List);
    if (r.read.snapshot.users.empty()) r.read.snapshot.users = users;
    if (!serial.empty() && (readBack || r.read.snapshot.complete || !r.read.error.empty())) {
        r.readSerial = serial;
        r.readServer = server;
    }
    if (!r.readSerial.empty()) {
        r.phone = dev::IdentifyPhone(serial, r.read.snapshot);
        std::vector<dev::RecordEntry> all = record_.ReadAll();
        // Packages whose phone went away mid-command are settled now that it answers.
        std::vector<dev::RecordEntry> settled = dev::SettleUncertain(all, r.phone, request.user, r.read.snapshot);
        std::string why;
        if (!settled.empty()) {
            if (record_.Append(settled, &why)) all.insert(all.end(), settled.begin(), settled.end());
            else if (r.recordError.empty()) r.recordError = "操作记录无法写入：" + why;
        }
        // The record is read here, off the window's thread: a bench's record
        // may hold tens of thousands of lines.
        r.history = dev::PhoneHistory(all, r.phone, request.user);
        for (const dev::RecordEntry& e : r.history) r.lastActions[e.package] = e;
        if (request.forUndo && r.read.snapshot.complete)
            r.undo = dev::UndoSet(all, r.phone, request.user, &r.read.snapshot);
    }
    r.cancelled = cancel.Requested();

    dev::Hold hold(lock_);
    result_ = std::move(r);
}

} // namespace app::mgr
