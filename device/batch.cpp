#include "batch.h"

#include <cstdlib>
#include <map>

#include "names.h"
#include "knowledge/answers.h"
#include "text/text.h"

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
    std::string said = text::OneLine(r.err, 300);
    return said.empty() ? "adb 出错（退出码 " + std::to_string(r.exitCode) + "）" : "adb：" + said;
}

// The record lines of one batch: each package's line goes out as its end
// arrives, and again when the read back settles it otherwise.
class RecordWriter {
public:
    RecordWriter(const std::string& serial, Action a, const BatchOptions& o)
        : serial_(serial), action_(a), o_(o), batch_(NewBatchId()) {}

    void SetPhone(const PackageSnapshot& before) {
        phone_ = PhoneKey(before);
        if (!before.model.empty()) model_ = before.model;
    }

    // One intent line per package, in one append, before the batch is sent.
    void WriteIntents(const std::vector<PackageResult>& intents) {
        if (!o_.record) return;
        std::vector<RecordEntry> lines;
        for (const PackageResult& r : intents) lines.push_back(Entry(r, Outcome::Intent));
        std::string why;
        if (!o_.record->Append(lines, &why)) return Failed(why);
        for (const PackageResult& r : intents) written_[r.name] = Written{Outcome::Intent, false};
    }

    void Write(const PackageResult& r) {
        if (!o_.record) return;
        auto it = written_.find(r.name);
        // A line again only when it tells more: another outcome, or the
        // state the phone showed after a refusal or an ignored command.
        if (it != written_.end() && it->second.outcome == r.outcome &&
            (r.outcome != Outcome::Other || it->second.afterKnown || !r.afterKnown))
            return;
        std::string why;
        if (o_.record->Append({Entry(r, r.outcome)}, &why)) written_[r.name] = Written{r.outcome, r.afterKnown};
        else Failed(why);
    }

    const std::string& Error() const { return error_; }

private:
    struct Written {
        Outcome outcome;
        bool afterKnown;
    };

    RecordEntry Entry(const PackageResult& r, Outcome o) const {
        RecordEntry e{RecordTime(), serial_, model_.empty() ? o_.model : model_, o_.user, r.name, action_, o};
        e.beforeKnown = r.beforeKnown;
        e.before = r.before;
        e.afterKnown = o != Outcome::Intent && r.afterKnown;
        e.after = r.after;
        e.copy = r.copy;
        e.phone = phone_;
        e.batch = batch_;
        return e;
    }

    void Failed(const std::string& why) {
        if (error_.empty()) error_ = "操作记录无法写入：" + why;
    }


    const std::string& serial_;
    Action action_;
    const BatchOptions& o_;
    std::string batch_, phone_, model_;
    std::map<std::string, Written> written_;
    std::string error_;
};

// An action script's output read as it grows: each whole line once, so a
// long batch costs its output once, not once per chunk (ParseActionOutput
// reads the whole output, which the end of the run does once).
class ActionStream {
public:
    ActionStream(ReadBefore readBefore, const std::vector<std::string>& names)
        : inActions_(readBefore == ReadBefore::No), results_(names.size()) {
        for (size_t i = 0; i < names.size(); i++) results_[i].name = names[i];
    }

    // Reads the lines that have arrived whole since the last call.
    void Feed(const std::string& out) {
        static const std::string actions = std::string(kMarker) + "actions";
        static const std::string begin = std::string(kMarker) + "begin ";
        static const std::string end = std::string(kMarker) + "end ";
        static const std::string section = std::string(kMarker) + "section ";
        while (!done_) {
            size_t eol = out.find('\n', at_);
            if (eol == std::string::npos) return;   // a line still arriving
            std::string line = text::Trim(out.substr(at_, eol - at_));
            at_ = eol + 1;
            if (!inActions_) {
                if (line == actions) {
                    inActions_ = true;
                    actionsAt_ = at_;
                }
                continue;
            }
            if (text::StartsWith(line, begin.c_str())) {
                size_t i = static_cast<size_t>(std::strtoul(line.c_str() + begin.size(), nullptr, 10));
                current_ = i < results_.size() ? &results_[i] : nullptr;
                if (current_) current_->begun = true;
            } else if (text::StartsWith(line, end.c_str())) {
                char* after = nullptr;
                size_t i = static_cast<size_t>(std::strtoul(line.c_str() + end.size(), &after, 10));
                while (*after == ' ') after++;
                // "end N S": an end without its status is no end.
                bool hasStatus = (*after >= '0' && *after <= '9') || (*after == '-' && after[1] >= '0' && after[1] <= '9');
                if (i < results_.size() && hasStatus && results_[i].status < 0) {
                    results_[i].status = std::atoi(after);
                    ended_.push_back(i);
                }
                current_ = nullptr;
            } else if (text::StartsWith(line, section.c_str())) {
                done_ = true;   // the read back
            } else if (current_ && !line.empty()) {
                current_->text += (current_->text.empty() ? "" : "\n") + line;
            }
        }
    }

    bool Begun() const { return inActions_; }
    size_t ActionsAt() const { return actionsAt_; }   // where the read before ends
    const PackageResult& Result(size_t i) const { return results_[i]; }
    // The packages whose end arrived since the last call.
    std::vector<size_t> TakeEnded() {
        std::vector<size_t> e;
        e.swap(ended_);
        return e;
    }

private:
    bool inActions_;
    bool done_ = false;
    size_t at_ = 0, actionsAt_ = 0;
    std::vector<PackageResult> results_;
    PackageResult* current_ = nullptr;
    std::vector<size_t> ended_;
};

// Tracks the end markers as output arrives, reporting and recording each
// package once. A piece's markers count from 0; `first` places them in the batch.
class Reporter {
public:
    Reporter(const std::string& serial, Action a, size_t sent, size_t total, const BatchOptions& o,
             RecordWriter& record)
        : serial_(serial), action_(a), total_(total), progress_(o.progress), record_(record), done_(sent) {}

    void Report(const PackageResult& r) {
        reported_++;
        if (progress_) progress_(serial_, r, reported_, total_);
    }

    // The read before the first piece, once its end has arrived.
    void SetBefore(const PackageSnapshot& before) {
        before_ = before;
        haveBefore_ = true;
        record_.SetPhone(before);
    }
    bool HasBefore() const { return haveBefore_; }

    // Reports the packages whose end arrived; true while the batch may go on.
    bool OnOutput(ActionStream& stream, size_t first, const Cancel* cancel) {
        for (size_t i : stream.TakeEnded()) {
            if (done_[first + i]) continue;
            done_[first + i] = true;
            PackageResult r = stream.Result(i);
            NoteBefore(before_, &r);
            r.outcome = Classify(action_, r.text, r.status);
            SettleAlready(action_, &r);
            record_.Write(r);
            Report(r);
        }
        return !(cancel && cancel->Requested());
    }

    bool Reported(size_t i) const { return done_[i]; }

private:
    const std::string& serial_;
    Action action_;
    size_t total_;
    const BatchProgress& progress_;
    RecordWriter& record_;
    std::vector<bool> done_;
    size_t reported_ = 0;
    PackageSnapshot before_;
    bool haveBefore_ = false;
};

// A restore that found no APK left on the phone (an app its owner
// installed, deleted by this tool): the copy made before the delete is
// installed for the user, and the phone read back to tell what it shows.
void RestoreFromCopies(const Adb& adb, const std::string& serial, const BatchOptions& o, const PackageSnapshot& pre,
                       const std::string& copiesRoot, const std::vector<size_t>& where,
                       const std::vector<std::string>& sent, BatchResult* b, Reporter& ends, RecordWriter& record) {
    std::vector<size_t> gone;
    for (size_t k = 0; k < sent.size(); k++)
        if (b->results[where[k]].outcome == Outcome::ApkGone) gone.push_back(where[k]);
    if (gone.empty()) return;
    std::vector<ApkCopy> copies = ListApkCopies(copiesRoot);
    std::string phone = PhoneKey(pre);
    bool installed = false;
    for (size_t i : gone) {
        PackageResult& r = b->results[i];
        const ApkCopy* copy = NewestCopy(copies, phone, r.name);
        if (!copy || (o.cancel && o.cancel->Requested())) continue;   // said as it is: no APK, here or there
        AdbResult run = InstallApkCopy(adb, serial, o.user, *copy, o.cancel);
        std::string said = text::Trim(run.out + "\n" + run.err);
        r.copy = copy->folder.substr(copiesRoot.size() + 1);
        if (RunFailure(run).empty() && text::Contains(run.out, "Success")) {
            installed = true;
            r.outcome = Outcome::Done;
            r.text = said;
        } else {
            knowledge::Answer a = knowledge::ReadAnswer(said);
            r.outcome = a == knowledge::Answer::InstallRestricted ? Outcome::InstallRefused : Outcome::Other;
            r.text = RunFailure(run).empty() ? said : RunFailure(run);
        }
    }
    if (installed) {
        // What the phone shows now decides, as after every batch.
        PackageRead again = ReadPackages(adb, serial, o.user, o.abort, Users::Skip, o.knownApi);
        if (again.snapshot.complete) b->after = again.snapshot;
        for (size_t i : gone) {
            PackageResult& r = b->results[i];
            if (r.outcome != Outcome::Done || !again.snapshot.complete) continue;
            const Package* p = FindPackage(again.snapshot, r.name);
            r.afterKnown = p != nullptr;
            if (p) r.after = p->state;
            if (!p || !ShowsDone(Action::Restore, p->state)) {
                r.outcome = Outcome::Other;
                r.unchanged = true;
            }
        }
    }
    for (size_t i : gone) {
        ends.Report(b->results[i]);
        record.Write(b->results[i]);
    }
}

} // namespace

DeviceList ListDevices(const Adb& adb, const Cancel* cancel) {
    DeviceList list;
    AdbRun how;
    how.cancel = cancel;
    how.timeoutMs = kReadTimeoutMs;
    AdbResult r = adb.Run({"devices", "-l"}, how);
    list.devices = ParseDevices(r.out);
    for (Device& d : list.devices) d.server = adb.Server();
    if (!RunFailure(r).empty() || (r.exitCode != 0 && list.devices.empty())) list.error = AdbError(r);
    return list;
}

PackageRead ReadPackages(const Adb& adb, const std::string& serial, int user, const Cancel* cancel, Users users,
                         int api) {
    PackageRead read;
    AdbRun how;
    how.cancel = cancel;
    how.timeoutMs = kReadTimeoutMs;
    AdbResult r = adb.Shell(serial, BuildReadScript(user, users, api), how);
    read.snapshot = ParseReadOutput(r.out);
    if (!read.snapshot.complete)
        read.error = read.snapshot.serviceFailed && RunFailure(r).empty() ? read.snapshot.failure : AdbError(r);
    return read;
}

BatchResult RunBatch(const Adb& adb, const std::string& serial, Action action, const std::vector<std::string>& names,
                     const BatchOptions& o) {
    BatchResult b;
    b.serial = serial;
    b.server = adb.Server();
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
    RecordWriter record(serial, action, o);
    Reporter ends(serial, action, sent.size(), names.size(), o, record);
    for (size_t i : refused) ends.Report(b.results[i]);
    if (sent.empty()) return b;

    // Write ahead: the phone's states and identity, then the intents, and
    // only then the script.
    PackageRead pre = ReadPackages(adb, serial, o.user, o.cancel, Users::Skip, o.knownApi);
    std::string refusal;
    Outcome refusedAs = Outcome::NotSent;
    if ((o.cancel && o.cancel->Requested()) || (o.abort && o.abort->Requested())) {
        refusedAs = Outcome::Cancelled;
    } else if (!pre.snapshot.complete && !pre.snapshot.serviceFailed) {
        refusal = pre.error;   // adb could not reach the phone: nothing is sent
    } else if (!o.phone.empty() && !SameIdentity(o.phone, PhoneKey(pre.snapshot))) {
        refusedAs = Outcome::OtherPhone;
        refusal = "连接在 " + serial + " 上的手机（" + PhoneKey(pre.snapshot) + "）不是读取列表时的那一台（" + o.phone + "）";
    }
    if (refusedAs != Outcome::NotSent || !refusal.empty()) {
        b.error = refusal;
        for (size_t k = 0; k < sent.size(); k++) {
            PackageResult& r = b.results[where[k]];
            r.outcome = refusedAs;
            r.text = refusal;
            ends.Report(r);
        }
        return b;
    }
    record.SetPhone(pre.snapshot);
    const std::string copiesRoot = o.copiesRoot.empty() ? ApkCopiesRoot() : o.copiesRoot;
    std::map<std::string, std::string> copyOf;   // package -> its copy's folder, relative to the root
    if (action == Action::Delete && o.keepApks) {
        // The user apps the delete would take: each one's APKs copied first.
        CopyRequest c;
        c.serial = serial;
        c.user = o.user;
        c.api = pre.snapshot.api;
        c.phone = PhoneKey(pre.snapshot);
        c.root = copiesRoot;
        c.cancel = o.cancel;
        c.progress = o.copyProgress;
        for (const std::string& n : sent) {
            const Package* p = FindPackage(pre.snapshot, n);
            if (p && p->kind == PackageKind::User && p->state != PackageState::Deleted) c.packages.push_back(n);
        }
        std::map<std::string, const CopyOutcome*> failed;
        std::vector<CopyOutcome> copies = CopyApks(adb, c);
        for (const CopyOutcome& co : copies) {
            if (co.ok) copyOf[co.package] = co.copy.folder.substr(copiesRoot.size() + 1);
            else failed[co.package] = &co;
        }
        // What was not copied is not deleted; a cancel during the copies
        // sends nothing.
        bool cancelled = o.cancel && o.cancel->Requested();
        std::vector<std::string> keptSent;
        std::vector<size_t> keptWhere;
        for (size_t k = 0; k < sent.size(); k++) {
            PackageResult& r = b.results[where[k]];
            if (cancelled || failed.count(sent[k])) {
                r.outcome = cancelled ? Outcome::Cancelled : Outcome::NotCopied;
                if (!cancelled) r.text = failed[sent[k]]->why;
                NoteBefore(pre.snapshot, &r);
                ends.Report(r);
                continue;
            }
            keptSent.push_back(sent[k]);
            keptWhere.push_back(where[k]);
        }
        sent.swap(keptSent);
        where.swap(keptWhere);
        if (sent.empty()) return b;
    }
    std::vector<PackageResult> intents(sent.size());
    for (size_t k = 0; k < sent.size(); k++) {
        intents[k].name = sent[k];
        NoteBefore(pre.snapshot, &intents[k]);
    }
    record.WriteIntents(intents);

    // One adb process for the whole list when the script fits what adb can
    // carry; else one per piece, the first reading the states before, the
    // last reading them back.
    std::vector<PackageResult> got(sent.size());
    for (size_t k = 0; k < sent.size(); k++) got[k].name = sent[k];
    std::vector<size_t> pieces = SplitIntoScripts(action, o.user, sent, ScriptLimit(o.knownApi), ReadBefore::Yes, o.knownApi);
    bool stopped = false, lastSent = false;
    AdbResult run;
    size_t first = 0;
    for (size_t p = 0; p < pieces.size() && !stopped; p++) {
        size_t count = pieces[p];
        bool last = p + 1 == pieces.size();
        ReadBefore readBefore = p == 0 ? ReadBefore::Yes : ReadBefore::No;
        std::vector<std::string> piece(sent.begin() + first, sent.begin() + first + count);
        AdbRun how;
        how.cancel = o.cancel;
        how.abort = o.abort;
        how.cancelGraceMs = kCancelGraceMs;
        how.timeoutMs = kBatchBaseMs + kBatchPerPackageMs * static_cast<DWORD>(count);
        ActionStream stream(readBefore, piece);
        how.onOutput = [&](const std::string& out) {
            stream.Feed(out);
            if (!stream.Begun()) return !(o.cancel && o.cancel->Requested());
            if (readBefore == ReadBefore::Yes && !ends.HasBefore()) {
                b.before = ParseReadOutput(out.substr(0, stream.ActionsAt()));
                ends.SetBefore(b.before);
            }
            return ends.OnOutput(stream, first, o.cancel);
        };
        run = adb.Shell(serial, BuildActionScript(action, o.user, piece, last ? ReadBack::Yes : ReadBack::No,
                                                  readBefore, o.knownApi),
                        how);
        ActionOutput parts = SplitActionOutput(run.out, readBefore);
        if (readBefore == ReadBefore::Yes && !ends.HasBefore()) {
            b.before = ParseReadOutput(parts.before);
            ends.SetBefore(b.before);
        }
        std::vector<PackageResult> part = ParseActionOutput(parts.actions, piece);
        for (size_t k = 0; k < count; k++) got[first + k] = part[k];
        if (last) {
            b.after = ParseReadOutput(parts.after);
            lastSent = true;
        }
        stopped = run.cancelled || (o.cancel && o.cancel->Requested()) || (o.abort && o.abort->Requested());
        first += count;
        if (!stopped && (!RunFailure(run).empty() || part.empty() || part.back().status < 0)) break;   // device gone
    }
    bool aborted = o.abort && o.abort->Requested();
    if (!b.after.complete) {
        if (!stopped) b.error = lastSent && b.after.serviceFailed ? b.after.failure : AdbError(run);
        // Cut off before its read-back: read the phone's states on their own,
        // unless adb refused the device outright and nothing reached the phone.
        bool deviceRefused = run.started && run.out.empty() && run.exitCode != 0 && !run.timedOut;
        if (!deviceRefused && !aborted) {
            PackageRead again = ReadPackages(adb, serial, o.user, o.abort, Users::Skip, o.knownApi);
            b.after = again.snapshot;
            if (b.error.empty() && !again.error.empty()) b.error = again.error;
        }
    }
    // The read in the script is the one just before; when it never arrived,
    // the read before the intents stands in.
    const PackageSnapshot& before = b.before.complete ? b.before : pre.snapshot;
    for (size_t k = 0; k < sent.size(); k++) {
        PackageResult r = got[k];
        if (r.status >= 0) r.outcome = Classify(action, r.text, r.status);
        else if (!r.begun) r.outcome = stopped ? Outcome::Cancelled : Outcome::NotSent;
        else r.outcome = stopped ? Outcome::Cancelled : Outcome::DeviceGone;
        if (r.status < 0 && r.begun && r.text.empty() && !stopped) r.text = b.error;
        NoteBefore(before, &r);
        SettleAlready(action, &r);
        Reconcile(action, b.after, &r);
        // Never begun as far as the output tells, yet in the script the
        // phone had: a phone goes on after its client is cut off.
        if (!r.begun && r.afterKnown && ShowsDone(action, r.after))
            r.outcome = r.beforeKnown && ShowsDone(action, r.before) ? Outcome::Already : Outcome::Done;
        // Begun, then cut off by a cancel or the program's end with no read
        // back to tell: what it did is not known, and its intent says just
        // that until the next read (a phone gone midway is DeviceGone).
        if (stopped && r.begun && r.status < 0 && !b.after.complete) r.outcome = Outcome::Intent;
        r.maker = pre.snapshot.maker;
        if (copyOf.count(r.name)) r.copy = copyOf[r.name];
        b.results[where[k]] = r;
        // A restore that found no APK left waits for its copy to be installed.
        bool fromCopy = action == Action::Restore && r.outcome == Outcome::ApkGone && o.keepApks && !stopped;
        if (!ends.Reported(k) && !fromCopy) ends.Report(r);
        // Settles the intent; one the read back did not settle waits for the
        // next complete read of the phone.
        if (r.begun || b.after.complete) record.Write(r);
    }
    if (action == Action::Restore && o.keepApks && !stopped) RestoreFromCopies(adb, serial, o, pre.snapshot, copiesRoot, where, sent, &b, ends, record);
    b.recordError = record.Error();
    return b;
}

std::vector<BatchResult> RunOnDevices(const Adb& adb, const std::vector<std::string>& serials, Action action,
                                      const std::vector<std::string>& names, const BatchOptions& options) {
    std::vector<Target> targets;
    for (const std::string& serial : serials) targets.push_back(Target{adb.Server(), serial});
    return RunOnDevices(adb, targets, action, names, options);
}

std::vector<BatchResult> RunOnDevices(const Adb& adb, const std::vector<Target>& targets, Action action,
                                      const std::vector<std::string>& names, const BatchOptions& options) {
    std::vector<BatchResult> results(targets.size());
    Lock progressLock;
    BatchOptions each = options;
    if (options.progress) {
        each.progress = [&](const std::string& serial, const PackageResult& r, size_t reported, size_t total) {
            Hold hold(progressLock);
            options.progress(serial, r, reported, total);
        };
    }
    RunEach(targets.size(), [&](size_t i) {
        BatchOptions mine = each;
        if (targets[i].user >= 0) mine.user = targets[i].user;
        if (!targets[i].phone.empty()) mine.phone = targets[i].phone;
        results[i] = RunBatch(adb.Through(targets[i].server), targets[i].serial, action, names, mine);
        if (!options.finished) return;
        Hold hold(progressLock);
        options.finished(results[i]);
    });
    return results;
}

} // namespace dev
