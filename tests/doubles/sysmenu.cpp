// Chooses an item of the tool's system menu by its mnemonic, the way a
// person does with the keyboard (Alt+Space, then the letter): a menu of
// another process cannot be read under Wine, but its keys can be sent.
// Used by tools/screenshot.sh to open further windows.
// Usage: sysmenu <letter>; exit code 0 when the keys were sent.
#include <windows.h>

int main(int argc, char** argv) {
    if (argc < 2 || !argv[1][0]) return 2;
    HWND tool = nullptr;
    for (int i = 0; i < 200 && !tool; i++) {
        tool = FindWindowA("RVWindow", "");
        if (!tool || !IsWindowVisible(tool)) {
            tool = nullptr;
            Sleep(50);
        }
    }
    if (!tool) return 3;
    // The letter goes once the menu is open: a popup-menu window of the tool's.
    DWORD pid = 0;
    GetWindowThreadProcessId(tool, &pid);
    PostMessageA(tool, WM_SYSCOMMAND, SC_KEYMENU, ' ');
    bool open = false;
    for (int i = 0; i < 200 && !open; i++) {
        for (HWND h = FindWindowA("#32768", nullptr); h && !open; h = FindWindowExA(nullptr, h, "#32768", nullptr)) {
            DWORD owner = 0;
            GetWindowThreadProcessId(h, &owner);
            open = owner == pid && IsWindowVisible(h);
        }
        if (!open) Sleep(50);
    }
    if (!open) return 4;
    PostMessageA(tool, WM_CHAR, static_cast<WPARAM>(static_cast<unsigned char>(argv[1][0])), 0);
    return 0;
}
