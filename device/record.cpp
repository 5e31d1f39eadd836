#include "record.h"

#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include "lockedfile.h"
#include "names.h"
#include "text.h"

namespace dev {

namespace {

constexpr int kFields = 7;

std::string Field(const std::string& s) {
    std::string f = OneLine(s, 120);
    return f.empty() ? "-" : f;
}

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find('\t', start);
        parts.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos) return parts;
        start = tab + 1;
    }
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

std::string LocalTimeText(const std::string& recordTime) {
    unsigned year, month, day, hour, minute, second;
    char zone = 0, extra = 0;
    if (std::sscanf(recordTime.c_str(), "%4u-%2u-%2uT%2u:%2u:%2u%c%c", &year, &month, &day, &hour, &minute, &second,
                    &zone, &extra) != 7 || zone != 'Z')
        return recordTime;
    SYSTEMTIME utc = {}, local = {};
    utc.wYear = static_cast<WORD>(year);
    utc.wMonth = static_cast<WORD>(month);
    utc.wDay = static_cast<WORD>(day);
    utc.wHour = static_cast<WORD>(hour);
    utc.wMinute = static_cast<WORD>(minute);
    utc.wSecond = static_cast<WORD>(second);
    FILETIME check;
    if (!SystemTimeToFileTime(&utc, &check) || !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local))
        return recordTime;
    char s[32];
    std::snprintf(s, sizeof s, "%04u-%02u-%02u %02u:%02u:%02u", local.wYear, local.wMonth, local.wDay, local.wHour,
                  local.wMinute, local.wSecond);
    return s;
}

std::string FormatEntry(const RecordEntry& e) {
    return Field(e.time) + "\t" + Field(e.serial) + "\t" + Field(e.model) + "\t" + std::to_string(e.user) + "\t" +
           Field(e.package) + "\t" + ActionWord(e.action) + "\t" + OutcomeWord(e.outcome) + "\n";
}

bool ParseEntry(const std::string& line, RecordEntry* e) {
    std::vector<std::string> f = SplitTabs(line);
    if (f.size() != kFields || f[1].empty() || f[3].empty() || !IsPackageName(f[4])) return false;
    char* end = nullptr;
    long user = std::strtol(f[3].c_str(), &end, 10);
    if (*end || user < 0) return false;
    if (!ActionFromWord(f[5], &e->action) || !OutcomeFromWord(f[6], &e->outcome)) return false;
    e->time = f[0];
    e->serial = f[1];
    e->model = f[2];
    e->user = static_cast<int>(user);
    e->package = f[4];
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

bool ActionRecord::Append(const std::vector<RecordEntry>& entries) const {
    std::string text;
    for (const RecordEntry& e : entries) text += FormatEntry(e);
    return AppendLocked(path_, text);
}

std::vector<RecordEntry> ActionRecord::ReadAll() const { return ParseRecord(ReadShared(path_)); }

std::map<std::string, RecordEntry> LastActions(const std::vector<RecordEntry>& all, const std::string& serial,
                                               int user) {
    std::map<std::string, RecordEntry> last;
    for (const RecordEntry& e : all)
        if (e.serial == serial && e.user == user) last[e.package] = e;
    return last;
}

std::vector<UndoItem> UndoSet(const std::vector<RecordEntry>& all, const std::string& serial, int user,
                              const PackageSnapshot* now) {
    std::map<std::string, UndoItem> items;
    for (const RecordEntry& e : all) {
        if (e.serial != serial || e.user != user || e.outcome != Outcome::Done) continue;
        UndoItem& u = items[e.package];
        u.package = e.package;
        switch (e.action) {
        case Action::Disable: u.enable = true; break;
        case Action::Enable: u.enable = false; break;
        case Action::Delete: u.restore = true; break;
        case Action::Restore: u.restore = false; break;
        }
    }
    std::vector<UndoItem> result;
    for (auto& entry : items) {
        UndoItem u = entry.second;
        if (now) {
            const Package* p = FindPackage(*now, u.package);
            if (!p) continue;
            bool deleted = p->state == PackageState::Deleted;
            u.restore = u.restore && deleted;
            // A deleted package shows no enabled state; after its restore it may still be disabled.
            u.enable = u.enable && (p->state == PackageState::Disabled || u.restore);
        }
        if (u.restore || u.enable) result.push_back(u);
    }
    return result;
}

} // namespace dev
