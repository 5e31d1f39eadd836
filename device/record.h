// The record of actions: an append-only text file, one line per package
// action, by default %LOCALAPPDATA%\adbtool\actions.log. A line is
//   time<TAB>serial<TAB>model<TAB>user<TAB>package<TAB>action<TAB>outcome
//   <TAB>before<TAB>phone<TAB>batch<LF>
// with the time in UTC as 2026-12-08T04:10:00Z, the action and outcome as
// words ("disable", "done"), `serial` the transport serial adb used, `before`
// the package's state just before ("enabled", "disabled", "deleted", "-" when
// not read), `phone` the phone's own identity (PhoneKey) and `batch` the run
// that wrote it: a later line of the same batch and package settles the
// earlier one (the read back after the batch). The first seven fields are
// those of the first builds, which wrote nothing more. Every append takes a
// lock on the file, so several processes may append at once; a last line
// without its end (power lost, process killed) is skipped on reading, and the
// next append starts on a fresh line.
#pragma once

#include <map>
#include <string>
#include <vector>
#include "actions.h"

namespace dev {

struct RecordEntry {
    RecordEntry() = default;
    RecordEntry(std::string t, std::string s, std::string m, int u, std::string p, Action a, Outcome o)
        : time(std::move(t)), serial(std::move(s)), model(std::move(m)), user(u), package(std::move(p)), action(a),
          outcome(o) {}
    std::string time, serial, model;
    int user = 0;
    std::string package;
    Action action = Action::Disable;
    Outcome outcome = Outcome::Other;
    bool beforeKnown = false;   // false on the lines of the first builds
    PackageState before = PackageState::Enabled;
    std::string phone;          // PhoneKey; empty on the first builds' lines
    std::string batch;
};

// Which phone a record line belongs to: its own identity when the read found
// one, with the model as a check; lines written before phones had one are
// matched by the serial, which then was the USB serial (ro.serialno).
struct PhoneId {
    std::string key;        // PhoneKey of the phone's read
    std::string serialNo;   // ro.serialno
    std::string serial;     // the transport serial adb reaches it by now
    std::string model;
};
PhoneId IdentifyPhone(const std::string& transportSerial, const PackageSnapshot& read);
bool SamePhone(const RecordEntry& e, const PhoneId& phone);

// What "undo all" does for one package to bring it back to the state it had
// before this tool first changed it.
struct UndoItem {
    std::string package;
    bool restore = false;   // deleted by this tool: restore first
    bool enable = false;    // then enable (it was enabled)
    bool disable = false;   // or disable (it was disabled before the tool enabled it)
    bool remove = false;    // it was deleted before the tool restored it
    PackageState target = PackageState::Enabled;
};

class ActionRecord {
public:
    explicit ActionRecord(std::string path = DefaultPath()) : path_(std::move(path)) {}
    // %LOCALAPPDATA%\adbtool\actions.log (the per-user local application data folder).
    static std::string DefaultPath();
    const std::string& Path() const { return path_; }

    // Appends the lines in one write; false, with the reason in the user's
    // words, when the file cannot be written.
    bool Append(const std::vector<RecordEntry>& entries, std::string* error = nullptr) const;
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

// A batch's name for its lines: unique per run.
std::string NewBatchId();

// The words of a state in a record line.
const char* StateWord(PackageState s);

// The entries of one phone and user, oldest first, each batch's later line
// of a package standing in for its earlier one.
std::vector<RecordEntry> PhoneHistory(const std::vector<RecordEntry>& all, const PhoneId& phone, int user);

// The last entry per package of one phone and user.
std::map<std::string, RecordEntry> LastActions(const std::vector<RecordEntry>& all, const PhoneId& phone, int user);

// Lines that settle the uncertain last entries of a phone (the phone went
// away while the command ran) by what the phone shows now that it is back:
// each keeps its batch, so it stands in for the uncertain one. `now` must be
// a complete read of the same phone and user.
std::vector<RecordEntry> SettleUncertain(const std::vector<RecordEntry>& all, const PhoneId& phone, int user,
                                         const PackageSnapshot& now);

// What this tool changed on the phone and has not been changed back since,
// each package to go back to the state it had before the tool first changed
// it, never further: a package the tool found already so, or that was
// changed some other way after the tool (the phone's state `now` differs
// from what the tool left), is left alone. Without `now` the record's own
// last states stand in for the phone's.
std::vector<UndoItem> UndoSet(const std::vector<RecordEntry>& all, const PhoneId& phone, int user,
                              const PackageSnapshot* now);

} // namespace dev
