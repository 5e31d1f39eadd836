// The record of actions: an append-only text file, one line per package
// action, by default %LOCALAPPDATA%\adbtool\actions.log. A line is
//   time<TAB>serial<TAB>model<TAB>user<TAB>package<TAB>action<TAB>outcome<LF>
// with the time in UTC as 2026-12-08T04:10:00Z and the action and outcome as
// words ("disable", "done"). Every append takes a lock on the file, so
// several processes may append at once; a last line without its end (power
// lost, process killed) is skipped on reading, and the next append starts on
// a fresh line.
#pragma once

#include <map>
#include <string>
#include <vector>
#include "actions.h"

namespace dev {

struct RecordEntry {
    std::string time, serial, model;
    int user = 0;
    std::string package;
    Action action = Action::Disable;
    Outcome outcome = Outcome::Other;
};

// What "undo all" brings back for one package.
struct UndoItem {
    std::string package;
    bool restore = false;   // deleted by this tool: restore first
    bool enable = false;    // disabled by this tool: then enable
};

class ActionRecord {
public:
    explicit ActionRecord(std::string path = DefaultPath()) : path_(std::move(path)) {}
    // %LOCALAPPDATA%\adbtool\actions.log (the per-user local application data folder).
    static std::string DefaultPath();
    const std::string& Path() const { return path_; }

    // Appends the lines in one write; false when the file cannot be written.
    bool Append(const std::vector<RecordEntry>& entries) const;
    // Every whole, well-formed line, oldest first.
    std::vector<RecordEntry> ReadAll() const;

private:
    std::string path_;
};

// The text of one line, with its end.
std::string FormatEntry(const RecordEntry& e);
// False for a line that is not a whole entry.
bool ParseEntry(const std::string& line, RecordEntry* e);
// Entries of a file's bytes; a last line without its end is left out.
std::vector<RecordEntry> ParseRecord(const std::string& bytes);

// The current time as a record writes it.
std::string RecordTime();
// A record's time in the computer's local time as people read it,
// "2026-12-08 12:10:00"; a text that is not a record's time comes back as it is.
std::string LocalTimeText(const std::string& recordTime);

// The last entry per package of one device and user.
std::map<std::string, RecordEntry> LastActions(const std::vector<RecordEntry>& all, const std::string& serial,
                                               int user);

// What this tool disabled or deleted on the device and has not undone since,
// checked against the phone's states when `now` is given (a package the user
// enabled or restored some other way needs nothing).
std::vector<UndoItem> UndoSet(const std::vector<RecordEntry>& all, const std::string& serial, int user,
                              const PackageSnapshot* now);

} // namespace dev
