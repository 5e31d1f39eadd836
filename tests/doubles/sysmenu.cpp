// Chooses an item of the tool's system menu by its mnemonic, the way a
// person does with the keyboard (Alt+Space, then the letter): a menu of
// another process cannot be read under Wine, but its keys can be sent.
// Used by tools/screenshot.sh to open further windows.
// Usage: sysmenu <letter>; exit code 0 when the keys were sent. When the item
// opens a window of the tool's, its rectangle on the screen is printed as
// "x y w h".
#include <windows.h>
#include <cstdio>

namespace {

struct Search {
    DWORD pid;
    HWND except;
    HWND found;
};

// A visible top-level window of the tool's other than its start-up window
// and its menus.
BOOL CALLBACK FindOpened(HWND h, LPARAM lp) {
    Search* s = reinterpret_cast<Search*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    char cls[16] = {};
    GetClassNameA(h, cls, sizeof cls);
    if (pid != s->pid || h == s->except || !IsWindowVisible(h) || lstrcmpA(cls, "#32768") == 0) return TRUE;
    s->found = h;
    return FALSE;
}

} // namespace

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
    Search opened = {pid, tool, nullptr};
    for (int i = 0; i < 200 && !opened.found; i++) {
        EnumWindows(FindOpened, reinterpret_cast<LPARAM>(&opened));
        if (!opened.found) Sleep(50);
    }
    RECT r;
    if (opened.found && GetWindowRect(opened.found, &r))
        std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
    return 0;
}
