#include "batch.h"

#include "names.h"
#include "text.h"

namespace dev {

namespace {

// A batch's process may run long: a real phone takes up to seconds per
// uninstall. The time-out only ends a batch whose device stopped answering.
constexpr DWORD kReadTimeoutMs = 120000;
constexpr DWORD kBatchBaseMs = 60000;
constexpr DWORD kBatchPerPackageMs = 30000;
// After a cancel the package in progress may finish this long before its process is ended.
constexpr DWORD kCancelGraceMs = 30000;

std::string AdbError(const AdbResult& r) {
    std::string failure = RunFailure(r);
    if (!failure.empty()) return failure;
    std::string said = OneLine(r.err, 300);
    return said.empty() ? "adb 出错（退出码 " + std::to_string(r.exitCode) + "）" : "adb：" + said;
}

// Tracks the end markers as output arrives, reporting each package once.
// A chunk's markers count from 0; `first` places them in the batch.
class Reporter {
public:
    Reporter(const std::string& serial, Action a, size_t sent, size_t total, const BatchProgress& progress)
        : serial_(serial), action_(a), total_(total), progress_(progress), done_(sent) {}

    void Report(const PackageResult& r) {
        reported_++;
        if (progress_) progress_(serial_, r, reported_, total_);
    }

    // Reports the packages whose end arrived; true while the batch may go on.
    bool OnOutput(const std::string& out, const std::vector<std::string>& chunk, size_t first, const Cancel* cancel) {
        std::vector<PackageResult> now = ParseActionOutput(out, chunk);
        for (size_t i = 0; i < now.size(); i++) {
            if (done_[first + i] || now[i].status < 0) continue;
            done_[first + i] = true;
            now[i].outcome = Classify(action_, now[i].text, now[i].status);
            Report(now[i]);
        }
        return !(cancel && cancel->Requested());
    }

    bool Reported(size_t i) const { return done_[i]; }

private:
    const std::string& serial_;
    Action action_;
    size_t total_;
    const BatchProgress& progress_;
    std::vector<bool> done_;
    size_t reported_ = 0;
};

void WriteRecord(const BatchResult& b, const BatchOptions& o) {
    if (!o.record) return;
    std::string time = RecordTime();
    std::string model = !b.after.model.empty() ? b.after.model : o.model;
    std::vector<RecordEntry> entries;
    for (const PackageResult& r : b.results) {
        // A refused name was never sent; a package the cancel came before was never touched.
        if (r.outcome == Outcome::BadName || (r.outcome == Outcome::Cancelled && !r.begun)) continue;
        entries.push_back(RecordEntry{time, b.serial, model, o.user, r.name, b.action, r.outcome});
    }
    o.record->Append(entries);
}

} // namespace

DeviceList ListDevices(const Adb& adb, const Cancel* cancel) {
    DeviceList list;
    AdbRun how;
    how.cancel = cancel;
    how.timeoutMs = kReadTimeoutMs;
    AdbResult r = adb.Run({"devices", "-l"}, how);
    list.devices = ParseDevices(r.out);
    if (!RunFailure(r).empty() || (r.exitCode != 0 && list.devices.empty())) list.error = AdbError(r);
    return list;
}

PackageRead ReadPackages(const Adb& adb, const std::string& serial, int user, const Cancel* cancel, Users users) {
    PackageRead read;
    AdbRun how;
    how.cancel = cancel;
    how.timeoutMs = kReadTimeoutMs;
    AdbResult r = adb.Shell(serial, BuildReadScript(user, users), how);
    read.snapshot = ParseReadOutput(r.out);
    if (!read.snapshot.complete) read.error = AdbError(r);
    return read;
}

BatchResult RunBatch(const Adb& adb, const std::string& serial, Action action, const std::vector<std::string>& names,
                     const BatchOptions& o) {
    BatchResult b;
    b.serial = serial;
    b.action = action;
    b.results.resize(names.size());
    // Names that fail the check are answered here and never sent.
    std::vector<std::string> sent;
    std::vector<size_t> where, refused;
    bool tooOld = action == Action::Restore && o.knownApi > 0 && o.knownApi < kRestoreApi;
    for (size_t i = 0; i < names.size(); i++) {
        PackageResult& r = b.results[i];
        r.name = names[i];
        if (!IsPackageName(names[i]) || tooOld) {
            r.outcome = IsPackageName(names[i]) ? Outcome::NeedsAndroid8 : Outcome::BadName;
            refused.push_back(i);
            continue;
        }
        sent.push_back(names[i]);
        where.push_back(i);
    }
    Reporter ends(serial, action, sent.size(), names.size(), o.progress);
    for (size_t i : refused) ends.Report(b.results[i]);
    if (sent.empty()) {
        WriteRecord(b, o);
        return b;
    }

    // One adb process for the whole list when the script fits what adb can
    // carry; else one per chunk, the last one reading the states back.
    std::vector<PackageResult> got(sent.size());
    for (size_t k = 0; k < sent.size(); k++) got[k].name = sent[k];
    size_t limit = ScriptLimit(o.knownApi);
    bool stopped = false;
    AdbResult run;
    for (size_t first = 0; first < sent.size() && !stopped;) {
        size_t count = NamesThatFit(action, o.user, sent, first, limit, ReadBack::Yes);
        bool last = first + count == sent.size();
        if (!last) count = NamesThatFit(action, o.user, sent, first, limit, ReadBack::No);
        std::vector<std::string> chunk(sent.begin() + first, sent.begin() + first + count);
        AdbRun how;
        how.cancel = o.cancel;
        how.cancelGraceMs = kCancelGraceMs;
        how.timeoutMs = kBatchBaseMs + kBatchPerPackageMs * static_cast<DWORD>(count);
        how.onOutput = [&](const std::string& out) { return ends.OnOutput(out, chunk, first, o.cancel); };
        run = adb.Shell(serial, BuildActionScript(action, o.user, chunk, last ? ReadBack::Yes : ReadBack::No), how);
        std::vector<PackageResult> part = ParseActionOutput(run.out, chunk);
        for (size_t k = 0; k < count; k++) got[first + k] = part[k];
        if (last) b.after = ParseReadOutput(run.out);
        stopped = run.cancelled || (o.cancel && o.cancel->Requested());
        if (!stopped && (!RunFailure(run).empty() || part.empty() || part.back().status < 0)) break;   // device gone
        first += count;
    }
    if (!b.after.complete) {
        if (!stopped) b.error = AdbError(run);
        // Cut off before its read-back: read the phone's states on their own,
        // unless adb refused the device outright and nothing reached the phone.
        bool deviceRefused = run.started && run.out.empty() && run.exitCode != 0 && !run.timedOut;
        if (!deviceRefused) {
            PackageRead again = ReadPackages(adb, serial, o.user);
            b.after = again.snapshot;
            if (b.error.empty() && !again.error.empty()) b.error = again.error;
        }
    }
    for (size_t k = 0; k < sent.size(); k++) {
        PackageResult r = got[k];
        if (r.status >= 0) r.outcome = Classify(action, r.text, r.status);
        else r.outcome = stopped ? Outcome::Cancelled : Outcome::DeviceGone;
        if (r.status < 0 && r.text.empty() && !stopped) r.text = b.error;
        Reconcile(action, b.after, &r);
        b.results[where[k]] = r;
        if (!ends.Reported(k)) ends.Report(r);
    }
    WriteRecord(b, o);
    return b;
}

std::vector<BatchResult> RunOnDevices(const Adb& adb, const std::vector<std::string>& serials, Action action,
                                      const std::vector<std::string>& names, const BatchOptions& options) {
    std::vector<BatchResult> results(serials.size());
    Lock progressLock;
    BatchOptions each = options;
    if (options.progress) {
        each.progress = [&](const std::string& serial, const PackageResult& r, size_t reported, size_t total) {
            Hold hold(progressLock);
            options.progress(serial, r, reported, total);
        };
    }
    RunEach(serials.size(), [&](size_t i) { results[i] = RunBatch(adb, serials[i], action, names, each); });
    return results;
}

} // namespace dev
