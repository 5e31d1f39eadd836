// Test support: scenarios that must end the process (run-time errors, exit
// codes) run in a child copy of the test executable; modal boxes are captured
// instead of shown.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

namespace test {

typedef int (*ChildFn)();

struct ChildRegistrar {
    ChildRegistrar(const char* name, ChildFn fn);
};

// Defines a scenario that RunChild can start in a fresh process. Its return
// value becomes the process's exit code when it returns at all.
#define TEST_CHILD(name)                                                      \
    static int TestChild_##name();                                            \
    static ::test::ChildRegistrar gTestChildReg_##name(#name, TestChild_##name); \
    static int TestChild_##name()

struct CapturedBox {
    std::string title;
    std::string text;
    UINT style;
    HWND owner;
};

struct ChildResult {
    DWORD exitCode = 0;
    std::string output;               // stdout and stderr, boxes removed
    std::vector<CapturedBox> boxes;   // boxes the child showed, in order
};

// Starts this executable with --child=name (plus extra arguments) and waits
// for it; the exit code is the full 32-bit value from GetExitCodeProcess.
ChildResult RunChild(const char* name, const std::string& extraArgs = "", DWORD timeoutMs = 120000);

// Redirects message boxes: each is recorded (and, in a child, written to
// stdout for the parent) and answered with `answer`.
void CaptureBoxes(int answer = IDOK);
const std::vector<CapturedBox>& CapturedBoxes();
void ClearCapturedBoxes();

// Arguments after --child=name, for scenarios that take some.
const std::vector<std::string>& ChildArgs();

// The directory of the test executable (defined with the UI driver).
std::string ExeDir();

} // namespace test
