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
};

struct PackageResult {
    std::string name;
    Outcome outcome = Outcome::Other;
    std::string text;     // what the command printed (both streams), trimmed
    int status = -1;      // its exit status as the script saw it, -1 when it did not end
    bool begun = false;   // the phone started the command
    bool unchanged = false;   // reported success, yet the phone shows no change
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

// The command one package runs, e.g. "pm disable-user --user 0 com.x".
std::string ActionCommand(Action a, int user, const std::string& name);

enum class ReadBack { No, Yes };

// One script for the list: per package a begin marker, the command with its
// error stream joined to its output, and an end marker with its exit status;
// then, when asked, the read script of `user`. Empty when a name fails the
// name check: such a list is never sent.
std::string BuildActionScript(Action a, int user, const std::vector<std::string>& names,
                              ReadBack readBack = ReadBack::Yes);

// How many of names[first...] fit into one script of at most `limit` bytes
// (at least one). adb hands a phone before Android 7 at most 4 KB of command,
// and Windows a command line of at most 32 KB.
size_t NamesThatFit(Action a, int user, const std::vector<std::string>& names, size_t first, size_t limit,
                    ReadBack readBack);
size_t ScriptLimit(int api);

// Reads an action script's output so far: one result per name, in order.
// Names whose end marker has not arrived stay with begun/status as seen.
std::vector<PackageResult> ParseActionOutput(const std::string& out, const std::vector<std::string>& names);

// The outcome of one package from what its command printed.
Outcome Classify(Action a, const std::string& text, int status);

// Settles a result against the state the phone showed afterwards: a command
// that began and whose end is uncertain (cut off, device gone, unreadable
// answer) counts as done when the phone shows the action's state; a reported
// success that the phone does not show is not one. Named refusals stay.
void Reconcile(Action a, const PackageSnapshot& after, PackageResult* r);

// The state an action leaves a package in.
bool ShowsDone(Action a, PackageState s);

} // namespace dev
