#include "record.h"

#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <tuple>
#include <unordered_map>
#include "lockedfile.h"
#include "names.h"
#include "text/text.h"

namespace dev {

namespace {

// The first builds' lines have seven fields; later ones add at the end.
constexpr size_t kFirstFields = 7;
constexpr size_t kFields = 10;
constexpr size_t kFieldsWithAfter = 11;
constexpr size_t kFieldsWithCopy = 12;

std::string Field(const std::string& s) {
    std::string f = text::OneLine(s, 120);
    return f.empty() ? "-" : f;
}

} // namespace

std::string ActionRecord::DefaultPath() { return ToolDataFile("actions.log"); }

std::string RecordTime() {
    SYSTEMTIME t;
    GetSystemTime(&t);
    char s[32];
    std::snprintf(s, sizeof s, "%04u-%02u-%02uT%02u:%02u:%02uZ", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                  t.wSecond);
    return s;
}

namespace {

// Reads the layout RecordTime writes, "YYYY-MM-DDTHH:MM:SSZ", and nothing
// else; the numbers' ranges are left to SystemTimeToFileTime.
bool ReadRecordTime(const std::string& text, SYSTEMTIME* t) {
    static const char kLayout[] = "dddd-dd-ddTdd:dd:ddZ";
    if (text.size() != sizeof kLayout - 1) return false;
    WORD* fields[] = {&t->wYear, &t->wMonth, &t->wDay, &t->wHour, &t->wMinute, &t->wSecond};
    size_t field = 0;
    unsigned value = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (kLayout[i] == 'd') {
            if (text[i] < '0' || text[i] > '9') return false;
            value = value * 10 + static_cast<unsigned>(text[i] - '0');
            continue;
        }
        if (text[i] != kLayout[i]) return false;
        *fields[field++] = static_cast<WORD>(value);   // each separator ends a number
        value = 0;
    }
    return true;
}

} // namespace

std::string LocalTimeText(const std::string& recordTime) {
    SYSTEMTIME utc = {}, local = {};
    if (!ReadRecordTime(recordTime, &utc)) return recordTime;
    FILETIME check;
    if (!SystemTimeToFileTime(&utc, &check) || !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local))
        return recordTime;
    char s[32];
    std::snprintf(s, sizeof s, "%04u-%02u-%02u %02u:%02u:%02u", local.wYear, local.wMonth, local.wDay, local.wHour,
                  local.wMinute, local.wSecond);
    return s;
}

const char* StateWord(PackageState s) {
    switch (s) {
    case PackageState::Enabled: return "enabled";
    case PackageState::Disabled: return "disabled";
    case PackageState::Deleted: return "deleted";
    }
    return "-";
}

std::string FormatEntry(const RecordEntry& e) {
    return Field(e.time) + "\t" + Field(e.serial) + "\t" + Field(e.model) + "\t" + std::to_string(e.user) + "\t" +
           Field(e.package) + "\t" + ActionWord(e.action) + "\t" + OutcomeWord(e.outcome) + "\t" +
           (e.beforeKnown ? StateWord(e.before) : "-") + "\t" + Field(e.phone) + "\t" + Field(e.batch) + "\t" +
           (e.afterKnown ? StateWord(e.after) : "-") + "\t" + (e.copy.empty() ? "-" : e.copy) + "\n";
}

namespace {

// A field of a line: where it starts and how long it is (a line of the
// record is split without copying: a bench's record holds a million).
struct FieldView {
    const char* p;
    size_t n;
    bool Is(const char* word) const { return std::strlen(word) == n && std::memcmp(p, word, n) == 0; }
    std::string Text() const { return std::string(p, n); }
};

bool ReadStateView(const FieldView& f, PackageState* s) {
    for (PackageState x : {PackageState::Enabled, PackageState::Disabled, PackageState::Deleted})
        if (f.Is(StateWord(x))) return *s = x, true;
    return false;
}

} // namespace

bool ParseEntry(const char* line, size_t size, RecordEntry* e) {
    constexpr size_t kMost = 32;   // fields beyond are passed over
    FieldView f[kMost];
    size_t count = 0;
    for (const char* p = line, *end = line + size;;) {
        const char* tab = static_cast<const char*>(std::memchr(p, '\t', static_cast<size_t>(end - p)));
        if (count < kMost) f[count] = FieldView{p, static_cast<size_t>((tab ? tab : end) - p)};
        count++;
        if (!tab) break;
        p = tab + 1;
    }
    if ((count != kFirstFields && count < kFields) || f[1].n == 0 || f[3].n == 0) return false;
    long user = 0;
    for (size_t k = 0; k < f[3].n; k++) {
        if (f[3].p[k] < '0' || f[3].p[k] > '9' || user > 100000000) return false;
        user = user * 10 + (f[3].p[k] - '0');
    }
    std::string package = f[4].Text();
    if (!IsPackageName(package)) return false;
    if (!ActionFromWord(f[5].Text(), &e->action) || !OutcomeFromWord(f[6].Text(), &e->outcome)) return false;
    e->time = f[0].Text();
    e->serial = f[1].Text();
    e->model = f[2].Is("-") ? std::string() : f[2].Text();
    e->user = static_cast<int>(user);
    e->package = std::move(package);
    e->firstBuild = count == kFirstFields;
    e->beforeKnown = false;
    e->afterKnown = false;
    e->phone.clear();
    e->batch.clear();
    if (count >= kFields) {
        e->beforeKnown = ReadStateView(f[7], &e->before);
        if (!f[8].Is("-")) e->phone = f[8].Text();
        if (!f[9].Is("-")) e->batch = f[9].Text();
    }
    if (count >= kFieldsWithAfter) e->afterKnown = ReadStateView(f[10], &e->after);
    e->copy.clear();
    if (count >= kFieldsWithCopy && !f[11].Is("-")) e->copy = f[11].Text();
    return true;
}

bool ParseEntry(const std::string& line, RecordEntry* e) { return ParseEntry(line.data(), line.size(), e); }

std::vector<RecordEntry> ParseRecord(const std::string& bytes) {
    std::vector<RecordEntry> entries;
    for (size_t start = 0;;) {
        RecordEntry e;
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos) break;   // a torn last line
        size_t stop = end > start && bytes[end - 1] == '\r' ? end - 1 : end;
        if (ParseEntry(bytes.data() + start, stop - start, &e)) entries.push_back(e);
        start = end + 1;
    }
    return entries;
}

bool ActionRecord::Append(const std::vector<RecordEntry>& entries, std::string* error) const {
    std::string text;
    for (const RecordEntry& e : entries) text += FormatEntry(e);
    return AppendLocked(path_, text, error);
}

std::vector<RecordEntry> ActionRecord::ReadAll() const {
    CompactIfLarge(kRecordCompactBytes);   // a record that cannot be compacted is still read whole
    return ParseRecord(ReadShared(path_));
}

PhoneId IdentifyPhone(const std::string& transportSerial, const PackageSnapshot& read) {
    PhoneId id;
    id.key = PhoneKey(read);
    id.serialNo = read.serialNo;
    id.serial = transportSerial;
    id.model = read.model;
    return id;
}

namespace {

// Serial numbers that cheap boards and some emulators share: they tell
// nothing about which phone it is.
bool SharedSerial(const std::string& s) {
    static const char* const kShared[] = {"0123456789ABCDEF", "0123456789abcdef", "0123456789", "1234567890ABCDEF",
                                          "unknown", "UNKNOWN"};
    for (const char* k : kShared)
        if (s == k) return true;
    return s.empty();
}

void SplitKey(const std::string& key, std::string* serialNo, std::string* androidId) {
    size_t slash = key.rfind('/');
    *serialNo = slash == std::string::npos ? key : key.substr(0, slash);
    *androidId = slash == std::string::npos ? std::string() : key.substr(slash + 1);
}

} // namespace

bool SameIdentity(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) return false;
    std::string sa, aa, sb, ab;
    SplitKey(a, &sa, &aa);
    SplitKey(b, &sb, &ab);
    if (!aa.empty() && !ab.empty()) return aa == ab && (sa.empty() || sb.empty() || sa == sb);
    return sa == sb && !SharedSerial(sa);
}

bool SamePhone(const RecordEntry& e, const PhoneId& phone) {
    // The model as a check: a serial shared by two boards rarely comes with the same model.
    if (!e.model.empty() && !phone.model.empty() && text::OneLine(phone.model, 120) != e.model) return false;
    if (!e.phone.empty()) return !phone.key.empty() ? SameIdentity(e.phone, phone.key) : e.serial == phone.serial;
    // The first builds keyed by the serial adb showed, then a USB serial.
    return e.serial == phone.serial || (!phone.serialNo.empty() && e.serial == phone.serialNo);
}

std::string NewBatchId() {
    static LONG counter = 0;
    SYSTEMTIME t;
    GetSystemTime(&t);
    char s[64];
    std::snprintf(s, sizeof s, "%04u%02u%02u%02u%02u%02u-%lx-%lx", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                  t.wSecond, GetCurrentProcessId(), static_cast<unsigned long>(InterlockedIncrement(&counter)));
    return s;
}

std::vector<RecordEntry> LatestLines(const std::vector<RecordEntry>& all) {
    std::vector<RecordEntry> latest;
    std::map<std::tuple<std::string, std::string, int>, size_t> atOf;   // (batch, package, user) -> index
    for (const RecordEntry& e : all) {
        if (!e.batch.empty()) {
            auto key = std::make_tuple(e.batch, e.package, e.user);
            auto it = atOf.find(key);
            if (it != atOf.end()) {
                latest[it->second] = e;
                continue;
            }
            atOf[key] = latest.size();
        }
        latest.push_back(e);
    }
    return latest;
}

std::vector<RecordEntry> PhoneHistory(const std::vector<RecordEntry>& all, const PhoneId& phone, int user) {
    std::vector<RecordEntry> history;
    std::map<std::pair<std::string, std::string>, size_t> atOf;   // (batch, package) -> index
    for (const RecordEntry& e : all) {
        if (e.user != user || !SamePhone(e, phone)) continue;
        if (!e.batch.empty()) {
            auto key = std::make_pair(e.batch, e.package);
            auto it = atOf.find(key);
            if (it != atOf.end()) {
                history[it->second] = e;
                continue;
            }
            atOf[key] = history.size();
        }
        history.push_back(e);
    }
    return history;
}

std::map<std::string, RecordEntry> LastActions(const std::vector<RecordEntry>& all, const PhoneId& phone, int user) {
    std::map<std::string, RecordEntry> last;
    for (const RecordEntry& e : PhoneHistory(all, phone, user)) last[e.package] = e;
    return last;
}

std::vector<RecordEntry> SettleUncertain(const std::vector<RecordEntry>& all, const PhoneId& phone, int user,
                                         const PackageSnapshot& now) {
    std::vector<RecordEntry> settled;
    if (!now.complete) return settled;
    for (const auto& entry : LastActions(all, phone, user)) {
        const RecordEntry& e = entry.second;
        if (e.batch.empty()) continue;
        const Package* p = FindPackage(now, e.package);
        if (!p) continue;
        // A package a cut-off batch never began, that the phone shows done
        // now: it was in the script the phone had, and a phone may finish
        // what it began after its client is gone.
        bool cutOff = (e.outcome == Outcome::Cancelled || e.outcome == Outcome::NotSent) && e.beforeKnown &&
                      !ShowsDone(e.action, e.before) && ShowsDone(e.action, p->state);
        if (e.outcome != Outcome::DeviceGone && e.outcome != Outcome::Intent && !cutOff) continue;
        RecordEntry s = e;
        s.time = RecordTime();
        s.afterKnown = true;
        s.after = p->state;
        bool wasSo = e.beforeKnown && ShowsDone(e.action, e.before);
        if (ShowsDone(e.action, p->state)) s.outcome = wasSo ? Outcome::Already : Outcome::Done;
        else if (e.outcome == Outcome::Intent && e.beforeKnown && p->state == e.before) s.outcome = Outcome::NotSent;
        else s.outcome = Outcome::Other;
        settled.push_back(s);
    }
    return settled;
}

namespace {

// What the tool's action left, when the line tells.
bool StateAfter(const RecordEntry& e, bool haveBefore, PackageState before, PackageState* after) {
    switch (e.outcome) {
    case Outcome::Done:
        switch (e.action) {
        case Action::Disable: *after = PackageState::Disabled; return true;
        case Action::Enable: *after = PackageState::Enabled; return true;
        case Action::Delete: *after = PackageState::Deleted; return true;
        case Action::Restore:
            // Restored with whatever enabled state it kept.
            if (haveBefore && before != PackageState::Deleted) *after = before;
            return haveBefore && before != PackageState::Deleted;
        }
        return false;
    case Outcome::Other:
        // Refused or ignored: what the phone showed afterwards, when it was read.
        if (e.afterKnown) *after = e.after;
        return e.afterKnown;
    case Outcome::DeviceGone:
    case Outcome::Intent: return false;   // uncertain: the phone will tell
    default:
        *after = before;   // refused, found so already, never sent: unchanged
        return haveBefore;
    }
}

// The state a line of the first builds found: they wrote none, and undid
// only their disables and deletes. A later line whose read failed is not
// guessed: what it found is not known.
bool GuessBefore(const RecordEntry& e, PackageState* before) {
    if (e.firstBuild && (e.action == Action::Disable || e.action == Action::Delete)) {
        *before = PackageState::Enabled;
        return true;
    }
    return false;
}

bool MayHaveChanged(const RecordEntry& e) {
    switch (e.outcome) {
    case Outcome::Done:
    case Outcome::DeviceGone:
    case Outcome::Intent: return true;
    // "Other" seen after: changed only when the phone showed another state.
    case Outcome::Other: return !e.afterKnown || !e.beforeKnown || e.after != e.before;
    default: return false;
    }
}

} // namespace

namespace {

// One package's chain of the tool's actions, as undo reads it.
struct Chain {
    bool originKnown = false;
    PackageState origin = PackageState::Enabled;   // before the tool first changed it
    bool lastKnown = false;
    PackageState last = PackageState::Enabled;     // what the tool left
    bool changed = false;

    // Takes the package's next line. Returns where a new chain began: 0 none,
    // 1 at this line, 2 after it.
    int Take(const RecordEntry& e) {
        int began = 0;
        bool haveBefore = e.beforeKnown;
        PackageState before = e.before;
        if (!haveBefore) haveBefore = GuessBefore(e, &before);
        // Changed some other way since the tool's last action: what came
        // before is no longer the tool's to undo. (What the tool left is
        // told by its last line alone, so the chain's start does not
        // depend on anything before that line.)
        if (e.beforeKnown && lastKnown && before != last) {
            *this = Chain();
            began = 1;
        }
        if (!changed && !originKnown && haveBefore) {
            originKnown = true;
            origin = before;
        }
        if (!e.beforeKnown && e.outcome != Outcome::Done) return began;   // a line that changed nothing, or may not have
        if (e.firstBuild && (e.action == Action::Enable || e.action == Action::Restore)) {
            // The first builds' undo of their own disable or delete.
            *this = Chain();
            return 2;
        }
        changed = changed || MayHaveChanged(e);
        lastKnown = StateAfter(e, haveBefore, before, &last);
        return began;
    }

    // Back where the tool first found it: a next line that tells what it
    // found starts what reads as a chain of its own.
    bool Closed() const { return originKnown && lastKnown && last == origin; }
};



} // namespace

std::vector<UndoItem> UndoSet(const std::vector<RecordEntry>& all, const PhoneId& phone, int user,
                              const PackageSnapshot* now) {
    std::map<std::string, Chain> chains;
    for (const RecordEntry& e : PhoneHistory(all, phone, user)) chains[e.package].Take(e);
    std::vector<UndoItem> result;
    for (auto& entry : chains) {
        const Chain& c = entry.second;
        if (!c.changed || !c.originKnown) continue;
        PackageState current;
        if (now) {
            const Package* p = FindPackage(*now, entry.first);
            if (!p) continue;
            current = p->state;
            if (c.lastKnown && current != c.last) continue;   // changed after the tool: the user's choice stands
        } else {
            if (!c.lastKnown) continue;
            current = c.last;
        }
        if (current == c.origin) continue;
        UndoItem u;
        u.package = entry.first;
        u.target = c.origin;
        u.restore = current == PackageState::Deleted;
        u.remove = c.origin == PackageState::Deleted;
        u.enable = c.origin == PackageState::Enabled && (current == PackageState::Disabled || u.restore);
        u.disable = c.origin == PackageState::Disabled && (current == PackageState::Enabled || u.restore);
        result.push_back(u);
    }
    return result;
}

std::vector<bool> LinesUndoReads(const std::vector<RecordEntry>& all, const std::vector<bool>& alsoKept) {
    // Every phone the record names, as a read of it would name it: each
    // line's own identity, serial and model. Lines are sorted by the name
    // they carry; which names each phone takes is asked once per name.
    std::map<std::tuple<std::string, std::string, std::string>, size_t> nameOf;
    std::vector<size_t> lineName(all.size());
    std::vector<const RecordEntry*> names;
    for (size_t i = 0; i < all.size(); i++) {
        const RecordEntry& e = all[i];
        auto it = nameOf.emplace(std::make_tuple(e.phone, e.serial, e.model), names.size()).first;
        if (it->second == names.size()) names.push_back(&e);
        lineName[i] = it->second;
    }
    std::vector<PhoneId> phones;
    for (const RecordEntry* e : names) {
        PhoneId id;
        size_t slash = e->phone.rfind('/');
        id.key = e->phone;
        id.serialNo = slash == std::string::npos ? std::string() : e->phone.substr(0, slash);
        id.serial = e->serial;
        id.model = e->model;
        phones.push_back(id);
    }
    std::vector<std::vector<size_t>> phonesOfName(names.size());
    for (size_t n = 0; n < names.size(); n++)
        for (size_t p = 0; p < phones.size(); p++)
            if (SamePhone(*names[n], phones[p])) phonesOfName[n].push_back(p);
    // Each phone's lines, folded as PhoneHistory folds them: a batch's
    // lines of a package into its first, each slot's lines a chain through
    // `next`; then its slots per user and package, in order.
    std::unordered_map<std::string, uint32_t> packageOf;   // "user\tpackage" -> a number
    std::vector<uint32_t> package(all.size());
    std::vector<std::string> userPackage(all.size());
    for (size_t i = 0; i < all.size(); i++) {
        userPackage[i] = std::to_string(all[i].user) + "\t" + all[i].package;
        package[i] = packageOf.emplace(userPackage[i], static_cast<uint32_t>(packageOf.size())).first->second;
    }
    std::vector<std::vector<size_t>> linesOf(phones.size());
    for (size_t i = 0; i < all.size(); i++)
        for (size_t p : phonesOfName[lineName[i]]) linesOf[p].push_back(i);
    const size_t kNone = static_cast<size_t>(-1);
    struct Phone {
        std::vector<size_t> lines, next, last;   // its lines; per line the next of its slot; per slot head its last
        std::unordered_map<uint32_t, std::vector<size_t>> sequences;   // package -> slot heads (local), in order
    };
    std::vector<Phone> view(phones.size());
    for (size_t p = 0; p < phones.size(); p++) {
        Phone& ph = view[p];
        ph.lines.swap(linesOf[p]);
        ph.next.assign(ph.lines.size(), kNone);
        ph.last.assign(ph.lines.size(), kNone);
        std::unordered_map<std::string, size_t> slotOf;
        for (size_t k = 0; k < ph.lines.size(); k++) {
            const RecordEntry& e = all[ph.lines[k]];
            size_t head = e.batch.empty() ? k : slotOf.emplace(e.batch + "\t" + userPackage[ph.lines[k]], k).first->second;
            if (head == k) {
                ph.last[k] = k;
                ph.sequences[package[ph.lines[k]]].push_back(k);
            } else {
                ph.next[ph.last[head]] = k;
                ph.last[head] = k;
            }
        }
    }
    // Each sequence from the start of its latest chain; then, as long as a
    // kept line lies earlier in a sequence, that sequence from there on: a
    // chain read from any point up to its start gives the same undo.
    std::vector<bool> keep = alsoKept;
    keep.resize(all.size(), false);
    struct Sequence {
        const Phone* phone;
        const std::vector<size_t>* slots;
        size_t from;
    };
    std::vector<Sequence> sequences;
    for (const Phone& ph : view)
        for (const auto& sq : ph.sequences) {
            const std::vector<size_t>& slots = sq.second;
            auto entryAt = [&](size_t head) -> const RecordEntry& { return all[ph.lines[ph.last[head]]]; };
            Chain c;
            size_t start = 0;
            for (size_t k = 0; k < slots.size(); k++) {
                int began = c.Take(entryAt(slots[k]));
                if (began) start = began == 1 ? k : k + 1;
                // (A guess of the first builds is no telling: the chain would take it as its origin.)
                if (c.Closed() && (k + 1 == slots.size() || entryAt(slots[k + 1]).beforeKnown)) start = k + 1;
            }
            sequences.push_back(Sequence{&ph, &slots, start});
        }
    for (bool grew = true; grew;) {
        grew = false;
        for (Sequence& q : sequences) {
            const Phone& ph = *q.phone;
            const std::vector<size_t>& slots = *q.slots;
            for (size_t k = 0; k < q.from; k++) {
                bool any = false;
                for (size_t m = slots[k]; m != kNone; m = ph.next[m]) any = any || keep[ph.lines[m]];
                if (any) {
                    q.from = k;
                    break;
                }
            }
            for (size_t k = q.from; k < slots.size(); k++)
                for (size_t m = slots[k]; m != kNone; m = ph.next[m])
                    if (!keep[ph.lines[m]]) keep[ph.lines[m]] = grew = true;
        }
    }
    return keep;
}

} // namespace dev
