// Package actions: the script that runs one action on a list of packages in
// one adb process, the reading of its output into one outcome per package,
// and the words the user sees for each outcome.
#pragma once

#include <string>
#include <vector>
#include "packages.h"

namespace dev {

enum class Action { Disable, Enable, Delete, Restore };

enum class Outcome {
    Done,
    NotInstalled,     // not installed for this user
    Protected,        // the system protects it
    RefusedByPolicy,  // device policy, user restriction, or the shell may not change it
    UnknownPackage,   // the phone has no such package
    NeedsAndroid8,    // restore before Android 8
    DeviceGone,       // the device went away or refused adb
    Cancelled,        // not run, or cut off, and the phone shows no change
    BadName,          // failed the name check; never sent
    Other,            // anything else; `text` holds what adb said
    // Added later: the record's words of the values above stay as they were.
    Already,          // the package was in that state before: nothing was changed
    NotSent,          // never reached the phone (the device went away first)
    // The phones' own answers (knowledge/answers.h), each a word of its own.
    SystemDisabled,   // the system or maker set it disabled (state 2): adb may not change it
    DisableRefused,   // the phone refuses to disable system apps, but deletes them (HyperOS)
    CorePackage,      // Xiaomi refuses to disable its core apps
    NoRootPermission, // vivo refuses to disable its own apps
    DeviceAdmin,      // an active device administrator: turn it off on the phone first
    Restricted,       // a user restriction forbids deleting it
    InternalError,    // the phone refuses to delete it (DELETE_FAILED_INTERNAL_ERROR); disabling works
    NotAllowed,       // the maker forbids deleting it (Honor)
    MakerCode,        // Failure [-1000] (Xiaomi); disabling works
    RootOnly,         // Android 17 deletes system apps per user only for root; disabling works
    ApkGone,          // restore: no APK of it is left on the phone
    UserDenied,       // the shell may not reach this user (a Secure Folder)
    InstallRefused,   // the phone refuses installs from the computer
    SharedLibrary,    // other apps use the library it holds
    // Record lines only: written before a batch is sent, settled by the
    // package's outcome line of the same batch or by the next complete read.
    Intent,
    OtherPhone,       // not sent: the phone answering is not the one the list was read from
    NotCopied,        // a user app's APKs could not be copied to the computer: not deleted
};

struct PackageResult {
    std::string name;
    Outcome outcome = Outcome::Other;
    std::string text;     // what the command printed (both streams), trimmed
    int status = -1;      // its exit status as the script saw it, -1 when it did not end
    bool begun = false;   // the phone started the command
    bool unchanged = false;   // reported success, yet the phone shows no change
    bool beforeKnown = false; // the phone's state of it was read just before the batch
    PackageState before = PackageState::Enabled;
    bool afterKnown = false;  // the phone's state of it was read back after the batch
    PackageState after = PackageState::Enabled;
    std::string copy;         // a delete: the folder its APKs were copied to; a restore: the copy installed
    std::string maker;        // the phone's maker, for the way out of a refused install
};

// The word a record line and the tests use: "disable", "enable", "delete", "restore".
const char* ActionWord(Action a);
bool ActionFromWord(const std::string& word, Action* a);
const char* OutcomeWord(Outcome o);
bool OutcomeFromWord(const std::string& word, Outcome* o);

// The Chinese verb: 禁用, 启用, 删除, 恢复.
const char* ActionVerb(Action a);

// What the user reads, e.g. "已禁用", "失败，系统不允许禁用受保护的应用".
std::string OutcomeMessage(Action a, const PackageResult& r);

// The action that works where the phone refused this one (a phone that will
// not disable a system app deletes it; Android 17 disables what it will not
// delete); false when there is none.
bool InsteadAction(Action a, Outcome o, Action* instead);

// The command one package runs on a phone of API level `api` (0: not
// known), e.g. "cmd package disable-user --user 0 com.x" from Android 8,
// "pm disable-user --user 0 com.x" before or when not known.
std::string ActionCommand(Action a, int user, const std::string& name, int api = 0);

enum class ReadBack { No, Yes };
enum class ReadBefore { No, Yes };

// One script for the list: when asked, first the read script of `user` (the
// states just before the batch) and a line ":adbtool:actions"; then per
// package a begin marker, the command with its error stream joined to its
// output, and an end marker with its exit status; then, when asked, the read
// script again (the states after). Empty when a name fails the name check:
// such a list is never sent. `api` as for ActionCommand.
std::string BuildActionScript(Action a, int user, const std::vector<std::string>& names,
                              ReadBack readBack = ReadBack::Yes, ReadBefore readBefore = ReadBefore::No, int api = 0);

// The parts of an action script's output: the read before the actions, the
// actions, and the read after them (each empty when the script had none or
// it has not arrived).
struct ActionOutput {
    std::string before, actions, after;
    bool begun = false;   // the actions began: the read before is whole
};
ActionOutput SplitActionOutput(const std::string& out, ReadBefore readBefore);

// How the names of a batch go into scripts of at most `limit` bytes each:
// the sizes of consecutive pieces (each at least one name), the first one
// carrying the read before when asked and the last one the read back.
// adb hands a phone before Android 7 at most 4 KB of command, and Windows a
// command line of at most 32 KB.
std::vector<size_t> SplitIntoScripts(Action a, int user, const std::vector<std::string>& names, size_t limit,
                                     ReadBefore readBefore, int api = 0);
size_t ScriptLimit(int api);

// Reads an action script's output so far: one result per name, in order.
// Names whose end marker has not arrived stay with begun/status as seen.
std::vector<PackageResult> ParseActionOutput(const std::string& out, const std::vector<std::string>& names);

// The outcome of one package from what its command printed.
Outcome Classify(Action a, const std::string& text, int status);

// Settles a result against the state the phone showed afterwards: a command
// that began and whose end is uncertain (cut off, device gone, unreadable
// answer) counts as done when the phone shows the action's state; a reported
// success that the phone does not show is not one. Named refusals stay. A
// package that was in the action's state before the batch and still is
// becomes Already: nothing changed. A read back that failed settles nothing.
void Reconcile(Action a, const PackageSnapshot& after, PackageResult* r);

// Notes the state of each result's package in the read before the batch.
void NoteBefore(const PackageSnapshot& before, PackageResult* r);
void NoteBefore(const PackageSnapshot& before, std::vector<PackageResult>* results);

// An ended command on a package that was in the action's state before the
// batch changed nothing, whatever it said (pm refuses a second delete as
// "not installed"): it becomes Already. The read back may still settle it.
// A refusal to change the state of a package that was enabled before names
// no system-set state: the system protects it.
void SettleAlready(Action a, PackageResult* r);

// The state an action leaves a package in.
bool ShowsDone(Action a, PackageState s);

} // namespace dev
