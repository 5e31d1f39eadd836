#include "record.h"

#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include "lockedfile.h"
#include "names.h"
#include "text/text.h"

namespace dev {

namespace {

// The first builds' lines have seven fields; later ones add at the end.
constexpr size_t kFirstFields = 7;
constexpr size_t kFields = 10;

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
           (e.beforeKnown ? StateWord(e.before) : "-") + "\t" + Field(e.phone) + "\t" + Field(e.batch) + "\n";
}

bool ParseEntry(const std::string& line, RecordEntry* e) {
    std::vector<std::string> f = text::SplitTabs(line);
    if ((f.size() != kFirstFields && f.size() < kFields) || f[1].empty() || f[3].empty() || !IsPackageName(f[4]))
        return false;
    char* end = nullptr;
    long user = std::strtol(f[3].c_str(), &end, 10);
    if (*end || user < 0) return false;
    if (!ActionFromWord(f[5], &e->action) || !OutcomeFromWord(f[6], &e->outcome)) return false;
    e->time = f[0];
    e->serial = f[1];
    e->model = f[2] == "-" ? std::string() : f[2];
    e->user = static_cast<int>(user);
    e->package = f[4];
    e->beforeKnown = false;
    e->phone.clear();
    e->batch.clear();
    if (f.size() >= kFields) {
        for (PackageState s : {PackageState::Enabled, PackageState::Disabled, PackageState::Deleted})
            if (f[7] == StateWord(s)) e->beforeKnown = true, e->before = s;
        if (f[8] != "-") e->phone = f[8];
        if (f[9] != "-") e->batch = f[9];
    }
    return true;
}

std::vector<RecordEntry> ParseRecord(const std::string& bytes) {
    std::vector<RecordEntry> entries;
    ForEachWholeLine(bytes, [&](const std::string& line) {
        RecordEntry e;
        if (ParseEntry(line, &e)) entries.push_back(e);
    });
    return entries;
}

bool ActionRecord::Append(const std::vector<RecordEntry>& entries, std::string* error) const {
    std::string text;
    for (const RecordEntry& e : entries) text += FormatEntry(e);
    return AppendLocked(path_, text, error);
}

std::vector<RecordEntry> ActionRecord::ReadAll() const { return ParseRecord(ReadShared(path_)); }

PhoneId IdentifyPhone(const std::string& transportSerial, const PackageSnapshot& read) {
    PhoneId id;
    id.key = PhoneKey(read);
    id.serialNo = read.serialNo;
    id.serial = transportSerial;
    id.model = read.model;
    return id;
}

bool SamePhone(const RecordEntry& e, const PhoneId& phone) {
    // The model as a check: a serial shared by two boards rarely comes with the same model.
    if (!e.model.empty() && !phone.model.empty() && text::OneLine(phone.model, 120) != e.model) return false;
    if (!e.phone.empty()) return !phone.key.empty() ? e.phone == phone.key : e.serial == phone.serial;
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
        if (e.outcome != Outcome::DeviceGone || e.batch.empty()) continue;
        const Package* p = FindPackage(now, e.package);
        if (!p) continue;
        RecordEntry s = e;
        s.time = RecordTime();
        bool wasSo = e.beforeKnown && ShowsDone(e.action, e.before);
        s.outcome = !ShowsDone(e.action, p->state) ? Outcome::Other : wasSo ? Outcome::Already : Outcome::Done;
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
    case Outcome::DeviceGone:
    case Outcome::Other: return false;   // uncertain: the phone will tell
    default:
        *after = before;   // refused, found so already, never sent: unchanged
        return haveBefore;
    }
}

// The state a line of the first builds found: they wrote none, and undid
// only their disables and deletes.
bool GuessBefore(const RecordEntry& e, PackageState* before) {
    if (e.action == Action::Disable || e.action == Action::Delete) {
        *before = PackageState::Enabled;
        return true;
    }
    return false;
}

bool MayHaveChanged(Outcome o) { return o == Outcome::Done || o == Outcome::DeviceGone || o == Outcome::Other; }

} // namespace

std::vector<UndoItem> UndoSet(const std::vector<RecordEntry>& all, const PhoneId& phone, int user,
                              const PackageSnapshot* now) {
    struct Chain {
        bool originKnown = false;
        PackageState origin = PackageState::Enabled;   // before the tool first changed it
        bool lastKnown = false;
        PackageState last = PackageState::Enabled;     // what the tool left
        bool changed = false;
    };
    std::map<std::string, Chain> chains;
    for (const RecordEntry& e : PhoneHistory(all, phone, user)) {
        Chain& c = chains[e.package];
        bool haveBefore = e.beforeKnown;
        PackageState before = e.before;
        if (!haveBefore) haveBefore = GuessBefore(e, &before);
        // Changed some other way since the tool's last action: what came
        // before is no longer the tool's to undo.
        if (e.beforeKnown && c.lastKnown && before != c.last) c = Chain();
        if (!c.changed && !c.originKnown && haveBefore) {
            c.originKnown = true;
            c.origin = before;
        }
        if (!e.beforeKnown && e.outcome != Outcome::Done) continue;   // an old line that changed nothing, or may not have
        if (!e.beforeKnown && (e.action == Action::Enable || e.action == Action::Restore)) {
            // The first builds' undo of their own disable or delete.
            c = Chain();
            continue;
        }
        c.changed = c.changed || MayHaveChanged(e.outcome);
        c.lastKnown = StateAfter(e, haveBefore, before, &c.last);
    }
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

} // namespace dev
