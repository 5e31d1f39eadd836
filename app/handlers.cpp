// The button handlers: each runs one adb command line through the console
// command runner and shows what it printed in the log box. They reach the
// runtime only through the service table and argument records.
#include "handlers.h"

#include <cstring>

#include "calls.h"
#include "commands/commands.h"
#include "data/constants.h"
#include "data/program.h"
#include "data/template.h"
#include "device/names.h"
#include "manager.h"
#include "regex/regex.h"
#include "manager.h"
#include "runner.h"
#include "startargs.h"
#include "support.h"
#include "units/extlib.h"

namespace app {

namespace {

using rt::kServices;
using data::kConstants;

constexpr uint32_t kWindow = data::kStartupWindow;

// Properties the handlers use.
constexpr int32_t kPropDisable = 6;
constexpr int32_t kPropEditText = 8;
constexpr int32_t kPropLogContent = 9;

void SetDisabled(uint32_t button, bool disabled) {
    kServices.writeProperty(kWindow, button, kPropDisable, -1, disabled ? 1 : 0, 0);
}

void WriteText(uint32_t unit, int32_t property, const char* text) {
    kServices.writeProperty(kWindow, unit, property, -1, Word(text ? text : kConstants.emptyText), 0);
}

char* ReadText(uint32_t unit, int32_t property) {
    return PointerAt<char>(static_cast<uint32_t>(kServices.readProperty(kWindow, unit, property, -1)));
}

char* RunDirectory() {
    rt::ArgRecord r = CallCore(kGetRunDirectory, {});
    return PointerAt<char>(r.lo);
}

rt::ArgRecord LogUnit() { return rt::ArgRecord{kWindow, data::kUnitLog, rt::kTypeRichEdit}; }

// Scrolls the log so that its last six lines are in view.
void ScrollLogToEnd() {
    rt::ArgRecord unit = LogUnit();
    rt::ArgRecord count = kServices.callLibraryCommand(units::kExtCommands[0], 1, &unit);
    int32_t lines = static_cast<int32_t>(DecimalToInteger(static_cast<double>(static_cast<int32_t>(count.lo)) - 6.0));
    rt::ArgRecord args[2] = {LogUnit(), IntArg(lines)};
    kServices.callLibraryCommand(units::kExtCommands[1], 2, args);
}

// "包名含有不允许的字符“x”,..." on one line; control bytes and bytes that form
// no character are shown by their code.
char* RefusalMessage(const char* where, uint32_t length) {
    char shown[8];
    dev::ShowCharacter(where, length, shown);
    return Concat(3, kConstants.badNamePrefix, shown, kConstants.badNameSuffix);
}

// Whether the command interpreter may change `dir` although it stands in
// quotes: it replaces %NAME% by a variable's value before it looks at quotes
// (and !NAME! too when delayed expansion is switched on in the registry),
// and inside quotes neither can be escaped. A value is the user's own but
// may hold anything, quotes included, so such a folder is never written
// into a command line. '%' and '!' lie below the trail bytes of double-byte
// characters, so a byte of either is the character itself.
bool InterpreterMayExpand(const char* dir) {
    for (const char* p = dir ? dir : ""; *p; p++)
        if (*p == '%' || *p == '!') return true;
    return false;
}

// An adb command line: the program's path in quotes, then the command
// text's arguments and the package name as they are. Within quotes the
// interpreter takes blanks, "&|<>()^;,=" and double-byte characters of the
// run directory literally; Windows paths cannot hold a quote. A directory
// the interpreter may expand is named by the relative path "." instead and
// becomes the command's current directory, returned in *workDir (else null)
// for the caller to free.
char* AdbCommandLine(const char* commandText, const char* package, char** workDir) {
    char* dir = RunDirectory();
    const char* arguments = commandText;
    while (*arguments && *arguments != ' ') arguments++;
    uint32_t programLength = static_cast<uint32_t>(arguments - commandText);
    char* program = static_cast<char*>(kServices.alloc(programLength + 1));
    std::memcpy(program, commandText, programLength);
    program[programLength] = 0;

    *workDir = nullptr;
    const char* shownDir = dir;
    if (InterpreterMayExpand(dir)) {
        *workDir = dir;
        shownDir = ".";
    }
    char* line = Concat(6, "\"", shownDir, program, "\"", arguments, package);
    kServices.free(program);
    if (!*workDir) kServices.free(dir);
    return line;
}

enum class Package { None, Appended };

// The common pattern of the device actions.
void RunAction(uint32_t button, const char* commandText, Package package, bool scroll) {
    SetDisabled(button, true);
    char* name = package == Package::Appended ? ReadText(data::kUnitPackageEdit, kPropEditText) : nullptr;

    // The name goes into a command line for the command interpreter: only the
    // characters package names are made of pass, blanks still separating words.
    const char* bad = nullptr;
    if (uint32_t length = package == Package::Appended ? dev::FindBadCharacter(name, dev::Blank::Separates, &bad) : 0) {
        char* message = RefusalMessage(bad, length);
        WriteText(data::kUnitLog, kPropLogContent, message);
        kServices.free(message);
        kServices.free(name);
        SetDisabled(button, false);
        return;
    }

    char* workDir = nullptr;
    char* command = AdbCommandLine(commandText, name, &workDir);
    kServices.free(name);
    char* output = RunConsoleCommand(&command, workDir);
    kServices.free(command);
    kServices.free(workDir);

    if (WindowLoaded()) {
        WriteText(data::kUnitLog, kPropLogContent, output);
        if (scroll) ScrollLogToEnd();
        SetDisabled(button, false);
    }
    kServices.free(output);
}

// --- the foreground package lookup ----------------------------------------------

rt::ArgRecord ObjectArg(uint32_t type, void* block) { return rt::ArgRecord{Word(block), 0, type}; }

void* NewObject(uint32_t size, int32_t constructor, uint32_t type) {
    void* block = kServices.alloc(size);
    static_cast<uint32_t*>(block)[0] = 0;
    if (size > 4) static_cast<uint32_t*>(block)[1] = 0;
    rt::ArgRecord self = ObjectArg(type, block);
    kServices.callLibraryCommand(rx::kRegexMethods[constructor], 1, &self);
    return block;
}

void DeleteObject(void* block, int32_t destructor, uint32_t type) {
    rt::ArgRecord self = ObjectArg(type, block);
    kServices.callLibraryCommand(rx::kRegexMethods[destructor], 1, &self);
    kServices.free(block);
}

enum RegexMethod : int32_t {
    kCreate = 0, kSearch = 1, kDestroyResult = 2, kSubMatchText = 3, kConstructRegex = 4, kConstructResult = 5,
    kDestroyRegex = 6,
};

} // namespace

// The start-up window's system menu opens the package manager window; so
// does `--manager` on the command line, at once, with the phone `--device`
// names chosen there and acted on by the start-up window's buttons too.
bool OnWindowCreated(int32_t, const int64_t*, int64_t*) {
    kServices.auxiliary(rt::kAuxAddSystemMenuItem, kWindow, kConstants.openManagerItem, &OnOpenManager);
    StartArguments start = ReadStartArguments();
    if (!start.device.empty()) {
        SetEnvironmentVariableA("ANDROID_SERIAL", start.device.c_str());
        PreferDevice(start.device);
    }
    if (start.manager) OpenManagerAtStart();
    return false;
}

// Owned by the start-up window: it stays above it and closes with it. A
// second choice finds it loaded and brings it to the front.
bool OnOpenManager(int32_t, const int64_t*, int64_t*) {
    PrepareManager();
    CallCore(kLoadWindow, {rt::ArgRecord{data::kManagerWindow, 0, rt::kTypeWindow}, rt::ArgRecord{0, 0, rt::kTypeBool},
                           rt::ArgRecord{kWindow, 0, rt::kTypeWindow}});
    return false;
}

bool OnListDevices(int32_t, const int64_t*, int64_t*) {
    RunAction(data::kUnitListDevices, kConstants.cmdListDevices, Package::None, true);
    return false;
}

bool OnDisablePackage(int32_t, const int64_t*, int64_t*) {
    RunAction(data::kUnitDisable, kConstants.cmdDisable, Package::Appended, false);
    return false;
}

bool OnDeletePackage(int32_t, const int64_t*, int64_t*) {
    RunAction(data::kUnitDelete, kConstants.cmdDelete, Package::Appended, false);
    return false;
}

bool OnListDisabled(int32_t, const int64_t*, int64_t*) {
    RunAction(data::kUnitListDisabled, kConstants.cmdListDisabled, Package::None, false);
    return false;
}

bool OnEnablePackage(int32_t, const int64_t*, int64_t*) {
    RunAction(data::kUnitEnable, kConstants.cmdEnable, Package::Appended, false);
    return false;
}

bool OnForegroundPackage(int32_t, const int64_t*, int64_t*) {
    const uint32_t button = data::kUnitForeground;
    void* regex = NewObject(8, kConstructRegex, rt::kTypeRegex);
    void* result = NewObject(4, kConstructResult, rt::kTypeSearchResult);
    SetDisabled(button, true);

    char* workDir = nullptr;
    char* command = AdbCommandLine(kConstants.cmdForeground, nullptr, &workDir);
    char* output = RunConsoleCommand(&command, workDir);
    kServices.free(command);
    kServices.free(workDir);
    char* package = nullptr;

    if (WindowLoaded()) {
        WriteText(data::kUnitLog, kPropLogContent, output);
        ScrollLogToEnd();

        rt::ArgRecord create[3] = {ObjectArg(rt::kTypeRegex, regex), TextArg(kConstants.foregroundPattern),
                                   rt::ArgRecord{0, 0, rt::kTypeBool}};
        if (kServices.callLibraryCommand(rx::kRegexMethods[kCreate], 3, create).lo == 0) {
            CallCore(kShowMessageBox, {TextArg(kConstants.regexFailed), IntArg(0), OmittedArg(), OmittedArg()});
        } else {
            rt::ArgRecord search[4] = {ObjectArg(rt::kTypeRegex, regex), TextArg(output), IntArg(1), OmittedArg()};
            void* found = PointerAt<void>(kServices.callLibraryCommand(rx::kRegexMethods[kSearch], 4, search).lo);
            DeleteObject(result, kDestroyResult, rt::kTypeSearchResult);
            result = found;
            rt::ArgRecord sub[4] = {ObjectArg(rt::kTypeSearchResult, result), TextArg(output), IntArg(1), OmittedArg()};
            package = PointerAt<char>(kServices.callLibraryCommand(rx::kRegexMethods[kSubMatchText], 4, sub).lo);
            if (WindowLoaded()) WriteText(data::kUnitPackageEdit, kPropEditText, package);
        }
        // A pattern that cannot be created must not leave the button dead.
        if (WindowLoaded()) SetDisabled(button, false);
    }

    kServices.free(output);
    DeleteObject(regex, kDestroyRegex, rt::kTypeRegex);
    DeleteObject(result, kDestroyResult, rt::kTypeSearchResult);
    kServices.free(package);
    return false;
}

} // namespace app
