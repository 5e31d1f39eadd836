#include "actions.h"

#include <cstdlib>
#include "knowledge/answers.h"
#include "names.h"
#include "text/text.h"

namespace dev {

namespace {

struct ActionInfo {
    Action action;
    const char* word;
    const char* verb;
    const char* command;   // the package service's arguments; the package follows
    const char* done;
};

const ActionInfo kActions[] = {
    {Action::Disable, "disable", "禁用", "disable-user --user ", "已禁用"},
    {Action::Enable, "enable", "启用", "enable --user ", "已启用"},
    {Action::Delete, "delete", "删除", "uninstall -k --user ", "已删除"},
    {Action::Restore, "restore", "恢复", "install-existing --user ", "已恢复"},
};

// The record's words, in the order of Outcome; new ones only at the end.
const char* const kOutcomeWords[] = {"done",         "not-installed", "protected", "policy",   "unknown",
                                     "needs-android-8", "device-gone", "cancelled", "bad-name", "other",
                                     "already",      "not-sent",
                                     "system-disabled", "disable-refused", "core-package", "no-root-permission",
                                     "device-admin", "restricted", "internal-error", "not-allowed", "refused-1000",
                                     "root-only", "apk-gone", "user-denied", "install-refused",
                                     "shared-library", "intent", "other-phone", "not-copied"};
constexpr int kOutcomes = static_cast<int>(Outcome::NotCopied) + 1;
static_assert(sizeof kOutcomeWords / sizeof kOutcomeWords[0] == kOutcomes, "a word for every outcome");

// The phone's answers that are outcomes of their own.
struct AnswerOutcome {
    knowledge::Answer answer;
    Outcome outcome;
};
const AnswerOutcome kAnswerOutcomes[] = {
    {knowledge::Answer::NotInstalled, Outcome::NotInstalled},
    {knowledge::Answer::UnknownPackage, Outcome::UnknownPackage},
    {knowledge::Answer::ShellCannotChange, Outcome::SystemDisabled},
    {knowledge::Answer::ProtectedPackage, Outcome::Protected},
    {knowledge::Answer::SystemPackages, Outcome::DisableRefused},
    {knowledge::Answer::CorePackage, Outcome::CorePackage},
    {knowledge::Answer::NoRootPermission, Outcome::NoRootPermission},
    {knowledge::Answer::DeviceAdmin, Outcome::DeviceAdmin},
    {knowledge::Answer::UserRestricted, Outcome::Restricted},
    {knowledge::Answer::OwnerBlocked, Outcome::RefusedByPolicy},
    {knowledge::Answer::SharedLibrary, Outcome::SharedLibrary},
    {knowledge::Answer::InternalError, Outcome::InternalError},
    {knowledge::Answer::UninstallNotAllowed, Outcome::NotAllowed},
    {knowledge::Answer::MakerCode, Outcome::MakerCode},
    {knowledge::Answer::RootOnly, Outcome::RootOnly},
    {knowledge::Answer::NoApk, Outcome::ApkGone},
    {knowledge::Answer::NoInstallExisting, Outcome::NeedsAndroid8},
    {knowledge::Answer::UserDenied, Outcome::UserDenied},
    {knowledge::Answer::InstallRestricted, Outcome::InstallRefused},
    {knowledge::Answer::OtherSecurity, Outcome::RefusedByPolicy},
};

// The answer whose words an outcome of its own is told in; None for the rest.
knowledge::Answer AnswerOf(Outcome o) {
    if (o < Outcome::SystemDisabled || o > Outcome::SharedLibrary) return knowledge::Answer::None;
    for (const AnswerOutcome& ao : kAnswerOutcomes)
        if (ao.outcome == o) return ao.answer;
    return knowledge::Answer::None;
}

const ActionInfo& Info(Action a) { return kActions[static_cast<int>(a)]; }

// The state an action leaves a package in, as a word of the message.
const char* AlreadyState(Action a) {
    switch (a) {
    case Action::Disable: return "禁用状态";
    case Action::Enable: return "启用状态";
    case Action::Delete: return "删除状态";
    case Action::Restore: return "已安装状态";
    }
    return "";
}

bool ContainsAny(const std::string& s, std::initializer_list<const char*> parts) {
    for (const char* p : parts)
        if (text::Contains(s, p)) return true;
    return false;
}

} // namespace

const char* ActionWord(Action a) { return Info(a).word; }
const char* ActionVerb(Action a) { return Info(a).verb; }

bool ActionFromWord(const std::string& word, Action* a) {
    for (const ActionInfo& i : kActions)
        if (word == i.word) return *a = i.action, true;
    return false;
}

const char* OutcomeWord(Outcome o) { return kOutcomeWords[static_cast<int>(o)]; }

bool OutcomeFromWord(const std::string& word, Outcome* o) {
    for (int i = 0; i < kOutcomes; i++)
        if (word == kOutcomeWords[i]) return *o = static_cast<Outcome>(i), true;
    return false;
}

std::string OutcomeMessage(Action a, const PackageResult& r) {
    std::string verb = ActionVerb(a);
    switch (r.outcome) {
    case Outcome::Done: return Info(a).done;
    case Outcome::NotInstalled: return "失败，此用户没有安装这个应用";
    case Outcome::Protected: return "失败，系统不允许" + verb + "受保护的应用";
    case Outcome::RefusedByPolicy: return "失败，设备策略或用户限制不允许" + verb + "这个应用";
    case Outcome::UnknownPackage: return "失败，手机上没有这个应用";
    case Outcome::NeedsAndroid8: return "失败，恢复需要 Android 8 或更高版本";
    case Outcome::DeviceGone: return "失败，设备已断开或不可用";
    case Outcome::Cancelled: return "已取消，没有" + verb;
    case Outcome::BadName: return "失败，" + RefusalText(r.name);
    case Outcome::Already: return std::string("本来就是") + AlreadyState(a) + "，没有改动";
    case Outcome::NotSent: return "未执行：设备已断开或不可用，没有发送";
    case Outcome::Intent: return "已发出，结果未知，下次读取这台手机时确认";
    case Outcome::OtherPhone: return "未执行：连接的手机不是读取列表时的那一台，请按 刷新 后再试";
    case Outcome::NotCopied:
        return "没有删除：它是用户自己安装的应用，删除会连安装包一起删掉，可是安装包没能复制到电脑上（" +
               text::OneLine(r.text, 200) + "）";
    case Outcome::InstallRefused: return "失败，手机不允许从电脑安装应用：" + knowledge::InstallRemedy(r.maker);
    case Outcome::Other: break;
    default: return knowledge::Explain(AnswerOf(r.outcome), verb);
    }
    std::string said = text::OneLine(r.text, 200);
    if (r.unchanged || said.empty()) return "失败，手机上的状态没有改变" + (said.empty() ? "" : "（" + said + "）");
    return "失败：" + said;
}

std::string ActionCommand(Action a, int user, const std::string& name, int api) {
    // Restore exists only in `cmd package` (Android 8); the old pm says it
    // has no such command, which is the answer wanted there. Elsewhere pm
    // is the tool every release has, and the Java VM it starts up to
    // Android 8.1 is what `cmd package` saves.
    bool viaCmd = a == Action::Restore || api >= kCmdPackageApi;
    return std::string(viaCmd ? "cmd package " : "pm ") + Info(a).command + std::to_string(user) + " " + name;
}

namespace {

std::string PackageStep(Action a, int user, const std::string& name, size_t i, int api) {
    std::string n = std::to_string(i);
    return std::string("echo ") + kMarker + "begin " + n + ";" + ActionCommand(a, user, name, api) + " 2>&1;echo " +
           kMarker + "end " + n + " $?;";
}

std::string ActionsLine() { return std::string("echo ") + kMarker + "actions;"; }

// What adb itself adds to the command it hands the phone ("shell,v2,raw:").
constexpr size_t kServiceOverhead = 64;

// The offset just past the first whole line that reads `marker`, or npos.
size_t PastMarkerLine(const std::string& out, const std::string& marker) {
    size_t start = 0;
    while (start < out.size()) {
        size_t end = out.find('\n', start);
        if (end == std::string::npos) return std::string::npos;   // not whole yet
        if (text::Trim(out.substr(start, end - start)) == marker) return end + 1;
        start = end + 1;
    }
    return std::string::npos;
}

} // namespace

std::string BuildActionScript(Action a, int user, const std::vector<std::string>& names, ReadBack readBack,
                              ReadBefore readBefore, int api) {
    std::string script;
    if (readBefore == ReadBefore::Yes) script += BuildReadScript(user, Users::Skip, api) + ";" + ActionsLine();
    for (size_t i = 0; i < names.size(); i++) {
        if (!IsPackageName(names[i])) return std::string();
        script += PackageStep(a, user, names[i], i, api);
    }
    if (readBack == ReadBack::Yes) return script + BuildReadScript(user, Users::Skip, api);
    script.pop_back();   // the last ";"
    return script;
}

ActionOutput SplitActionOutput(const std::string& out, ReadBefore readBefore) {
    ActionOutput parts;
    size_t actions = 0;
    if (readBefore == ReadBefore::Yes) {
        actions = PastMarkerLine(out, std::string(kMarker) + "actions");
        if (actions == std::string::npos) {
            parts.before = out;
            return parts;
        }
        parts.before = out.substr(0, actions);
    }
    parts.begun = true;
    // The read after begins with its first section line; the actions print none.
    size_t after = out.find(std::string(kMarker) + "section ", actions);
    while (after != std::string::npos && after > 0 && out[after - 1] != '\n') after = out.find(kMarker, after + 1);
    parts.actions = out.substr(actions, after == std::string::npos ? std::string::npos : after - actions);
    if (after != std::string::npos) parts.after = out.substr(after);
    return parts;
}

size_t ScriptLimit(int api) { return api >= 24 ? 30000 : 4096 - kServiceOverhead; }

std::vector<size_t> SplitIntoScripts(Action a, int user, const std::vector<std::string>& names, size_t limit,
                                     ReadBefore readBefore, int api) {
    const size_t read = BuildReadScript(user, Users::Skip, api).size() + 1;
    std::vector<size_t> pieces;
    size_t first = 0;
    while (first < names.size()) {
        size_t fixed = pieces.empty() && readBefore == ReadBefore::Yes ? read + ActionsLine().size() : 0;
        // Names that fit beside the read back, and beside nothing more.
        size_t withRead = 0, alone = 0, size = fixed + read;
        for (size_t i = first; i < names.size(); i++) {
            size += PackageStep(a, user, names[i], i - first, api).size();
            if (size > limit && withRead > 0) break;
            withRead++;
        }
        size = fixed;
        for (size_t i = first; i < names.size(); i++) {
            size += PackageStep(a, user, names[i], i - first, api).size();
            if (size > limit && alone > 0) break;
            alone++;
        }
        size_t count;
        if (first + withRead == names.size()) count = withRead;    // the last piece, read back included
        else if (first + alone < names.size()) count = alone;      // a middle piece, as full as it can be
        else count = alone - 1 > 0 ? alone - 1 : 1;                // leave a name for the last piece and its read
        pieces.push_back(count);
        first += count;
    }
    return pieces;
}

std::vector<PackageResult> ParseActionOutput(const std::string& out, const std::vector<std::string>& names) {
    std::vector<PackageResult> results(names.size());
    for (size_t i = 0; i < names.size(); i++) results[i].name = names[i];
    const std::string begin = std::string(kMarker) + "begin ";
    const std::string end = std::string(kMarker) + "end ";
    const std::string section = std::string(kMarker) + "section ";
    PackageResult* current = nullptr;
    for (const std::string& raw : text::WholeLines(out)) {
        std::string line = text::Trim(raw);
        if (text::StartsWith(line, begin.c_str())) {
            size_t i = static_cast<size_t>(std::strtoul(line.c_str() + begin.size(), nullptr, 10));
            current = i < results.size() ? &results[i] : nullptr;
            if (current) current->begun = true;
        } else if (text::StartsWith(line, end.c_str())) {
            char* after = nullptr;
            size_t i = static_cast<size_t>(std::strtoul(line.c_str() + end.size(), &after, 10));
            // "end N S": an end without its status is no end.
            while (*after == ' ') after++;
            bool hasStatus = (*after >= '0' && *after <= '9') || (*after == '-' && after[1] >= '0' && after[1] <= '9');
            if (i < results.size() && hasStatus) results[i].status = std::atoi(after);
            current = nullptr;
        } else if (text::StartsWith(line, section.c_str())) {
            break;
        } else if (current) {
            if (!line.empty()) current->text += (current->text.empty() ? "" : "\n") + line;
        }
    }
    return results;
}

Outcome Classify(Action a, const std::string& t, int status) {
    knowledge::Answer answer = knowledge::ReadAnswer(t);
    // install-existing names a package it does not know as one without its
    // APK; the read back tells the two apart (Reconcile).
    if (answer == knowledge::Answer::NoApk && a != Action::Restore) return Outcome::UnknownPackage;
    for (const AnswerOutcome& ao : kAnswerOutcomes)
        if (ao.answer == answer) return ao.outcome;
    if (a == Action::Restore && ContainsAny(t, {"cmd: not found", "cmd: inaccessible"})) return Outcome::NeedsAndroid8;
    bool said = false;
    switch (a) {
    case Action::Disable: said = text::Contains(t, "new state: disabled"); break;
    case Action::Enable: said = text::Contains(t, "new state: enabled") || text::Contains(t, "new state: default"); break;
    case Action::Delete: said = text::StartsWith(t, "Success"); break;
    case Action::Restore: said = text::Contains(t, "installed for user"); break;
    }
    // Android 7-8 exit 0 after a failure, so the text decides; Android 9+
    // agree with it through the status.
    return said && status <= 0 ? Outcome::Done : Outcome::Other;
}

bool InsteadAction(Action a, Outcome o, Action* instead) {
    switch (knowledge::InsteadOf(AnswerOf(o))) {
    case knowledge::Instead::Delete:
        if (a != Action::Disable) return false;
        *instead = Action::Delete;
        return true;
    case knowledge::Instead::Disable:
        if (a != Action::Delete) return false;
        *instead = Action::Disable;
        return true;
    case knowledge::Instead::Nothing: break;
    }
    return false;
}

bool ShowsDone(Action a, PackageState s) {
    switch (a) {
    case Action::Disable: return s == PackageState::Disabled;
    case Action::Enable: return s == PackageState::Enabled;
    case Action::Delete: return s == PackageState::Deleted;
    case Action::Restore: return s != PackageState::Deleted;
    }
    return false;
}

void Reconcile(Action a, const PackageSnapshot& after, PackageResult* r) {
    if (!after.complete) return;
    const Package* p = FindPackage(after, r->name);
    if (p) {
        r->afterKnown = true;
        r->after = p->state;
    }
    if (!r->begun) return;
    bool uncertain = r->outcome == Outcome::Done || r->outcome == Outcome::Other ||
                     r->outcome == Outcome::Cancelled || r->outcome == Outcome::DeviceGone;
    // Deleting what was deleted already is refused as "not installed".
    bool refusedAsSo = r->outcome == Outcome::NotInstalled;
    if (!p) {
        // pm says "not installed" and install-existing "no APK" of a package
        // the phone does not have at all.
        if (uncertain || refusedAsSo || r->outcome == Outcome::ApkGone) r->outcome = Outcome::UnknownPackage;
        return;
    }
    // pm knows no package a user has deleted: the phone has it, not for this user.
    if (r->outcome == Outcome::UnknownPackage && p->state == PackageState::Deleted) r->outcome = Outcome::NotInstalled;
    if (!uncertain && !refusedAsSo) return;   // a refusal the phone named changed nothing
    bool wasSo = r->beforeKnown && ShowsDone(a, r->before);
    if (wasSo && ShowsDone(a, p->state)) {
        r->outcome = Outcome::Already;
    } else if (!uncertain) {
        return;
    } else if (ShowsDone(a, p->state)) {
        r->outcome = Outcome::Done;
    } else if (r->outcome == Outcome::Done) {
        r->outcome = Outcome::Other;
        r->unchanged = true;
    }
}

void NoteBefore(const PackageSnapshot& before, PackageResult* r) {
    if (!before.complete) return;
    if (const Package* p = FindPackage(before, r->name)) {
        r->beforeKnown = true;
        r->before = p->state;
    }
}

void NoteBefore(const PackageSnapshot& before, std::vector<PackageResult>* results) {
    for (PackageResult& r : *results) NoteBefore(before, &r);
}

void SettleAlready(Action a, PackageResult* r) {
    if (r->status >= 0 && r->beforeKnown && ShowsDone(a, r->before) &&
        (r->outcome == Outcome::Done || r->outcome == Outcome::NotInstalled))
        r->outcome = Outcome::Already;
    // The shell may change a whole package from default, enabled and
    // disabled-user only (PackageManagerService.setEnabledSettings), so its
    // refusal means a system-set state; a package the read found enabled is
    // one the phone protects in that way instead (some older builds).
    if (r->outcome == Outcome::SystemDisabled && r->beforeKnown && r->before == PackageState::Enabled)
        r->outcome = Outcome::Protected;
    // A maker that refuses to disable what is disabled already changed
    // nothing the user asked for (HyperOS asks before it looks).
    bool makerRefusal = r->outcome == Outcome::DisableRefused || r->outcome == Outcome::CorePackage ||
                        r->outcome == Outcome::NoRootPermission;
    if (a == Action::Disable && makerRefusal && r->beforeKnown && r->before == PackageState::Disabled)
        r->outcome = Outcome::Already;
}

} // namespace dev
