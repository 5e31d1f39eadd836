#include "program.h"

#include "commands/commands.h"
#include "constants.h"
#include "regex/regex.h"
#include "template.h"
#include "units/extlib.h"
#include "units/types.h"

namespace data {

namespace {

const char* const kDllLibraries[kDllCount] = {"", "", "", "", "", "", ""};
const char* const kDllFunctions[kDllCount] = {"CreatePipe",         "CreateProcessA", "CloseHandle",
                                              "PeekNamedPipe",      "ReadFile",       "GetExitCodeProcess",
                                              "MsgWaitForMultipleObjects"};

const rt::LibraryRecord* const kLibraries[3] = {&kCoreLibrary, &kExtLibrary, &kRegexLibrary};

} // namespace

const rt::LibraryRecord kCoreLibrary = {
    rt::kLibraryMarker, "5c1e7a90b3d24f6e8a0c9d17e2f4b638", {5, 7, 64}, {3, 7}, {3, 7}, "Keel", 1, nullptr,
    0xC0000001, {}, units::kCoreTypeCount, units::kCoreTypes, {}, commands::kCoreCommandCount, nullptr, commands::kCoreCommands, {},
    commands::CoreNotify, {},
};

const rt::LibraryRecord kExtLibrary = {
    rt::kLibraryMarker, "7B2E91C04D6A4F38B5E0A9C3D81F2E67", {2, 0, 2}, {3, 4}, {3, 3}, "Facet", 1, nullptr,
    0, {}, units::kExtTypeCount, units::kExtTypes, {}, units::kExtCommandCount, nullptr, units::kExtCommands, {},
    units::ExtNotify, {},
};

const rt::LibraryRecord kRegexLibrary = {
    rt::kLibraryMarker, "3E8D07A1B94C4d2fA61B58C0E7D39F12", {2, 0, 0}, {3, 8}, {3, 7}, "Rexon", 1, nullptr,
    0xE0000000, {}, 2, rx::kRegexTypes, {}, 7, nullptr, rx::kRegexMethods, {},
    rx::RegexNotify, {},
};

rt::ProgramHeader MakeHeader(const rt::HandlerMapEntry* codeBase) {
    const std::vector<uint8_t>& form = FormTemplate();
    rt::ProgramHeader h = {};
    h.buildKind = 3;
    h.value2 = 0;
    h.value3 = 0x00010118;
    h.codeBase = codeBase;
    h.constants = &kConstants;
    h.constantsSize = sizeof kConstants;
    h.formTemplate = form.data();
    h.formTemplateSize = static_cast<uint32_t>(form.size());
    h.libraryCount = 3;
    h.libraries = kLibraries;
    h.dllCount = kDllCount;
    h.dllLibraryNames = kDllLibraries;
    h.dllFunctionNames = kDllFunctions;
    return h;
}

} // namespace data
