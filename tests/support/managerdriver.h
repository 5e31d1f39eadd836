// Driving the package manager window of a running tool from outside: its
// controls by class and place, the rows of its list view (read and selected
// through memory of the tool's process, as another program would), its
// combo boxes, and the message boxes it shows, captured and answered.
#pragma once

#include <windows.h>
#include <string>
#include <vector>
#include "uidriver.h"

namespace test {

class ManagerUnderTest {
public:
    explicit ManagerUnderTest(ToolUnderTest& tool) : tool_(tool) {}

    // Chooses "应用管理(&P)..." on the start-up window's system menu and waits for the window.
    bool Open();
    // Waits for the window a start with `--manager` opens by itself.
    bool Find();
    HWND Window() const { return window_; }

    HWND Button(const char* caption) const;
    HWND List() const;
    HWND Filter() const;
    // Combo boxes top to bottom, left to right: devices, users, states, kinds.
    HWND Combo(int which) const;
    std::string ComboText(HWND combo) const;   // the current choice as the field shows it
    HWND Progress() const;                    // the busy bar
    void ChooseComboItem(HWND combo, int index) const;   // as the user's choice: the window hears of it
    // The status line (the long label under the progress bar) and the count label.
    std::string Status() const;
    std::string Count() const;
    std::string Log() const;

    int RowCount() const;                     // rows shown
    std::string Cell(int position, int column) const;
    int PositionOf(const std::string& package) const;   // -1 when not shown
    // Selects only the rows of these packages (every one must be shown).
    bool Select(const std::vector<std::string>& packages) const;

    // The control with the keyboard focus in the tool's window thread.
    HWND Focus() const;
    // Presses and releases a key as the keyboard does: the input goes to the
    // window in the foreground, with Ctrl held down around it when asked.
    void Press(WORD key, bool ctrl = false) const;

    // Waits until the job in progress is over (取消 disabled again).
    bool WaitIdle(DWORD timeoutMs = 30000) const;
    bool Click(const char* caption) const;   // false when the button is missing or disabled

    // A message box of the tool, waited for: its text; then answered.
    bool WaitBox(std::string* text, DWORD timeoutMs = 20000) const;
    void AnswerBox(int id) const;             // IDYES, IDNO, IDOK
    bool BoxShown() const;
    // An open or save dialog of the tool, answered with this file name.
    bool AnswerFileDialog(const std::string& path, DWORD timeoutMs = 20000) const;

private:
    std::vector<HWND> Children(const char* cls) const;
    HWND Label(bool status) const;

    ToolUnderTest& tool_;
    HWND window_ = nullptr;
};

// The simulated phone's state file of a tool under test, and its package line.
std::string PhoneState(const ToolUnderTest& tool);
std::string PackageLine(const ToolUnderTest& tool, const std::string& package);

} // namespace test
