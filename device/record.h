// The record of actions: an append-only text file, one line per package
// action, by default %LOCALAPPDATA%\adbtool\actions.log. A line is
//   time<TAB>serial<TAB>model<TAB>user<TAB>package<TAB>action<TAB>outcome
//   <TAB>before<TAB>phone<TAB>batch<TAB>after<TAB>copy<LF>
// with the time in UTC as 2026-12-08T04:10:00Z, the action and outcome as
// words ("disable", "done"), `serial` the transport serial adb used, `before`
// the package's state just before ("enabled", "disabled", "deleted", "-" when
// not read), `phone` the phone's own identity (PhoneKey), `batch` the run
// that wrote it: a later line of the same batch and package settles the
// earlier one, `after` the state the phone showed afterwards when it
// was read, and `copy` the folder holding the APKs copied before a delete
// (apkcopies.h), or the copy a restore installed. Before a batch is sent, each of its packages gets a line with
// the outcome "intent"; its outcome line settles it, or, when the tool ended
// first, the next complete read of the phone. The first seven fields are
// those of the first builds, which wrote nothing more and skip lines with
// outcome words they do not know, such as "intent". Every append takes a
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
    bool firstBuild = false;    // a line of the first builds: seven fields
    bool beforeKnown = false;   // false on the lines of the first builds
    PackageState before = PackageState::Enabled;
    std::string phone;          // PhoneKey; empty on the first builds' lines
    std::string batch;
    bool afterKnown = false;    // the state the phone showed after, when read
    PackageState after = PackageState::Enabled;
    std::string copy;           // the folder of the APKs' copy, empty for none
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

// Whether two identities (PhoneKey: "serial number/Android ID") are one
// phone. The Android IDs decide when both are known. An Android ID may be
// missing (read early after boot, or its read failed): then the serial
// numbers decide, unless the serial is one that many boards share
// ("0123456789ABCDEF" and the like), which proves nothing, so no match.
bool SameIdentity(const std::string& a, const std::string& b);

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
    // Every whole, well-formed line, oldest first. A record grown past
    // kRecordCompactBytes is compacted first (CompactRecord).
    std::vector<RecordEntry> ReadAll() const;
    // The archive beside the record: actions-archive.log.gz.
    std::string ArchivePath() const;
    // Compacts the record when it has grown past `limit` bytes: the lines
    // CompactRecord sets aside go to the archive (a gzip member appended),
    // the rest stay, all under the record's lock. False, with the reason,
    // when either file could not be written; the record is then unchanged.
    bool CompactIfLarge(unsigned long long limit, std::string* error = nullptr) const;

private:
    std::string path_;
};

// Past this size a record is compacted: about 50,000 lines, five days of a
// bench of sixteen phones.
constexpr unsigned long long kRecordCompactBytes = 8ull << 20;
// The newest lines a compaction always keeps, for the history the window shows.
constexpr size_t kRecordKeepNewest = 5000;

// Which lines of `all` undo may still read, for any phone the record names
// (a line's own identity, serial and model) and user: per package, the lines
// from the start of its latest chain on (UndoSet). Lines `alsoKept` marks
// are kept too, with whatever undo then needs beside them.
std::vector<bool> LinesUndoReads(const std::vector<RecordEntry>& all, const std::vector<bool>& alsoKept);

// Splits a record's bytes into what stays and what goes to the archive. Undo
// reads, per phone, user and package, the chain of the tool's actions since
// the package was last where the tool found it (UndoSet): every line before
// the start of the latest chain is history undo never reads again, and is
// set aside, unless it is among the newest `keepNewest` lines. Lines keep
// their order and their bytes (a first build's line stays one), and a
// batch's lines of a package go together. Damaged lines are set aside.
void CompactRecord(const std::string& bytes, size_t keepNewest, std::string* kept, std::string* archived);

// The text of one line, with its end.
std::string FormatEntry(const RecordEntry& e);
// False for a line that is not a whole entry.
bool ParseEntry(const std::string& line, RecordEntry* e);
bool ParseEntry(const char* line, size_t size, RecordEntry* e);
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

// Each batch's latest line of a package in place of its earlier ones (an
// intent, an outcome the read back settled otherwise), oldest first.
std::vector<RecordEntry> LatestLines(const std::vector<RecordEntry>& all);

// The entries of one phone and user, oldest first, each batch's later line
// of a package standing in for its earlier one.
std::vector<RecordEntry> PhoneHistory(const std::vector<RecordEntry>& all, const PhoneId& phone, int user);

// The last entry per package of one phone and user.
std::map<std::string, RecordEntry> LastActions(const std::vector<RecordEntry>& all, const PhoneId& phone, int user);

// Lines that settle the uncertain last entries of a phone (an intent whose
// batch never told its outcome because the tool ended, or the phone went
// away while the command ran) by what the phone shows now: the action's
// state is done by this tool (or already so), the state before means not
// sent, anything else is someone else's change ("other", with the state
// seen). A package a cut-off batch never began ("cancelled", "not-sent")
// that the phone now shows done was done by the script the phone had. Each
// keeps its batch, so it stands in for the uncertain one. `now` must be a
// complete read of the same phone and user.
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
