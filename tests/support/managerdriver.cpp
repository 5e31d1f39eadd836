#include "managerdriver.h"

#include <commctrl.h>
#include <algorithm>
#include <cstdio>
#include <cstring>

namespace test {

namespace {

struct Collect {
    const char* cls;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectChild(HWND h, LPARAM lp) {
    Collect* c = reinterpret_cast<Collect*>(lp);
    char cls[64];
    GetClassNameA(h, cls, sizeof cls);
    if (lstrcmpiA(cls, c->cls) == 0 && IsWindowVisible(h)) c->found.push_back(h);
    return TRUE;
}

RECT RectOf(HWND h) {
    RECT r;
    GetWindowRect(h, &r);
    return r;
}

std::string WindowText(HWND h) {
    char text[4096] = "";
    SendMessageA(h, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    std::string s = text;
    s.erase(std::remove(s.begin(), s.end(), '\r'), s.end());
    return s;
}

struct BoxSearch {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK FindBox(HWND h, LPARAM lp) {
    BoxSearch* s = reinterpret_cast<BoxSearch*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    char cls[64];
    GetClassNameA(h, cls, sizeof cls);
    if (pid == s->pid && std::strcmp(cls, "#32770") == 0 && IsWindowVisible(h)) {
        s->found = h;
        return FALSE;
    }
    return TRUE;
}

} // namespace

bool ManagerUnderTest::Open() {
    PostMessageA(tool_.Window(), WM_SYSCOMMAND, SC_KEYMENU, ' ');
    if (!tool_.WaitFor([&] { return FindProcessWindow(tool_.ProcessId(), "#32768") != nullptr; })) return false;
    PostMessageA(tool_.Window(), WM_CHAR, 'p', 0);
    return tool_.WaitFor([&] { return (window_ = FindProcessWindow(tool_.ProcessId(), "RVWindow", "应用管理")) != nullptr; });
}

bool ManagerUnderTest::Find() {
    return tool_.WaitFor([&] { return (window_ = FindProcessWindow(tool_.ProcessId(), "RVWindow", "应用管理")) != nullptr; });
}

std::vector<HWND> ManagerUnderTest::Children(const char* cls) const {
    Collect c{cls, {}};
    EnumChildWindows(window_, CollectChild, reinterpret_cast<LPARAM>(&c));
    std::sort(c.found.begin(), c.found.end(), [](HWND a, HWND b) {
        RECT ra = RectOf(a), rb = RectOf(b);
        return ra.top != rb.top ? ra.top < rb.top : ra.left < rb.left;
    });
    return c.found;
}

HWND ManagerUnderTest::Button(const char* caption) const {
    for (HWND h : Children("Button"))
        if (WindowText(h) == caption) return h;
    return nullptr;
}

HWND ManagerUnderTest::List() const {
    std::vector<HWND> l = Children(WC_LISTVIEWA);
    return l.empty() ? nullptr : l[0];
}

HWND ManagerUnderTest::Filter() const {
    std::vector<HWND> e = Children("Edit");
    for (HWND h : e)
        if (GetParent(h) == window_) return h;
    return nullptr;
}

HWND ManagerUnderTest::Combo(int which) const {
    std::vector<HWND> c = Children("ComboBox");
    return which < static_cast<int>(c.size()) ? c[static_cast<size_t>(which)] : nullptr;
}

std::string ManagerUnderTest::ComboText(HWND combo) const { return WindowText(combo); }

HWND ManagerUnderTest::Progress() const {
    std::vector<HWND> bars = Children("msctls_progress32");
    return bars.empty() ? nullptr : bars[0];
}

void ManagerUnderTest::ChooseComboItem(HWND combo, int index) const {
    SendMessageA(combo, CB_SETCURSEL, index, 0);
    SendMessageA(GetParent(combo), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo));
}

// The labels the window draws itself: the count on the filter row, the
// status line below the progress bar.
HWND ManagerUnderTest::Label(bool status) const {
    HWND list = List();
    RECT lr = RectOf(list);
    HWND best = nullptr;
    for (HWND h = GetWindow(window_, GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT)) {
        char cls[64];
        GetClassNameA(h, cls, sizeof cls);
        RECT r = RectOf(h);
        bool control = false;
        for (const char* c : {"Button", "ComboBox", "Edit", "msctls_progress32", "RichEdit20A", WC_LISTVIEWA})
            control = control || lstrcmpiA(cls, c) == 0;
        if (control || !IsWindowVisible(h)) continue;
        if (status ? (r.top > lr.bottom && r.bottom - r.top <= 24 && r.right - r.left > 400)
                   : (r.bottom <= lr.top && r.top > RectOf(Combo(0)).bottom && r.left > RectOf(Combo(3)).right))
            best = h;
    }
    return best;
}

std::string ManagerUnderTest::Status() const { return WindowText(Label(true)); }
std::string ManagerUnderTest::Count() const { return WindowText(Label(false)); }

std::string ManagerUnderTest::Log() const {
    std::vector<HWND> r = Children("RichEdit20A");
    return r.empty() ? std::string() : tool_.Text(r[0]);
}

int ManagerUnderTest::RowCount() const { return static_cast<int>(SendMessageA(List(), LVM_GETITEMCOUNT, 0, 0)); }

std::string ManagerUnderTest::Cell(int position, int column) const {
    RemoteMemory mem(tool_.ProcessId(), sizeof(LVITEMA) + 1024);
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = mem.At(sizeof item);
    item.cchTextMax = 1024;
    mem.Write(0, &item, sizeof item);
    SendMessageA(List(), LVM_GETITEMTEXTA, position, reinterpret_cast<LPARAM>(mem.At(0)));
    char text[1024] = "";
    mem.Read(sizeof item, text, sizeof text - 1);
    return text;
}

int ManagerUnderTest::PositionOf(const std::string& package) const {
    for (int i = 0, n = RowCount(); i < n; i++)
        if (Cell(i, 1) == package) return i;
    return -1;
}

bool ManagerUnderTest::Select(const std::vector<std::string>& packages) const {
    RemoteMemory mem(tool_.ProcessId(), sizeof(LVITEMA));
    auto setState = [&](int position, UINT state) {
        LVITEMA item = {};
        item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        item.state = state;
        mem.Write(0, &item, sizeof item);
        SendMessageA(List(), LVM_SETITEMSTATE, static_cast<WPARAM>(position), reinterpret_cast<LPARAM>(mem.At(0)));
    };
    setState(-1, 0);
    for (const std::string& p : packages) {
        int position = PositionOf(p);
        if (position < 0) return false;
        setState(position, LVIS_SELECTED | LVIS_FOCUSED);
    }
    return true;
}

HWND ManagerUnderTest::Focus() const {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(GetWindowThreadProcessId(window_, nullptr), &info) ? info.hwndFocus : nullptr;
}

void ManagerUnderTest::Press(WORD key, bool ctrl) const {
    INPUT in[4] = {};
    UINT n = 0;
    auto add = [&](WORD vk, bool up) {
        in[n].type = INPUT_KEYBOARD;
        in[n].ki.wVk = vk;
        in[n].ki.wScan = static_cast<WORD>(MapVirtualKeyA(vk, MAPVK_VK_TO_VSC));
        in[n].ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        n++;
    };
    if (ctrl) add(VK_CONTROL, false);
    add(key, false);
    add(key, true);
    if (ctrl) add(VK_CONTROL, true);
    SendInput(n, in, sizeof(INPUT));
}

bool ManagerUnderTest::WaitIdle(DWORD timeoutMs) const {
    HWND cancel = Button("取消");
    HWND refresh = Button("刷新");
    return tool_.WaitFor([&] { return !IsWindowEnabled(cancel) && IsWindowEnabled(refresh); }, timeoutMs);
}

bool ManagerUnderTest::Click(const char* caption) const {
    HWND b = Button(caption);
    if (!b || !IsWindowEnabled(b)) return false;
    PostMessageA(b, BM_CLICK, 0, 0);
    return true;
}

bool ManagerUnderTest::BoxShown() const {
    BoxSearch s{tool_.ProcessId(), nullptr};
    EnumWindows(FindBox, reinterpret_cast<LPARAM>(&s));
    return s.found != nullptr;
}

bool ManagerUnderTest::WaitBox(std::string* text, DWORD timeoutMs) const {
    BoxSearch s{tool_.ProcessId(), nullptr};
    bool found = tool_.WaitFor([&] {
        s.found = nullptr;
        EnumWindows(FindBox, reinterpret_cast<LPARAM>(&s));
        return s.found != nullptr;
    }, timeoutMs);
    if (found && text) text->assign(WindowText(GetDlgItem(s.found, 0xFFFF)));
    return found;
}

void ManagerUnderTest::AnswerBox(int id) const {
    BoxSearch s{tool_.ProcessId(), nullptr};
    EnumWindows(FindBox, reinterpret_cast<LPARAM>(&s));
    if (s.found) PostMessageA(s.found, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
    tool_.WaitFor([&] { return !IsWindow(s.found); });
}

bool ManagerUnderTest::AnswerFileDialog(const std::string& path, DWORD timeoutMs) const {
    BoxSearch s{tool_.ProcessId(), nullptr};
    HWND name = nullptr;
    bool found = tool_.WaitFor([&] {
        s.found = nullptr;
        EnumWindows(FindBox, reinterpret_cast<LPARAM>(&s));
        // The file name field: cmb13 in the explorer-style dialog, else edt1.
        name = s.found ? GetDlgItem(s.found, 0x47C) : nullptr;
        if (s.found && !name) name = GetDlgItem(s.found, 0x480);
        return name != nullptr;
    }, timeoutMs);
    if (!found) return false;
    SendMessageA(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    PostMessageA(s.found, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(s.found, IDOK)));
    return tool_.WaitFor([&] { return !IsWindow(s.found); }, timeoutMs);
}

std::string PhoneState(const ToolUnderTest& tool) { return ReadFileBytes(tool.Folder() + "\\adb_1.0.40\\adb_state.txt"); }

std::string PackageLine(const ToolUnderTest& tool, const std::string& package) {
    std::string state = PhoneState(tool);
    std::string key = "package " + package + " ";
    size_t at = state.find(key);
    if (at == std::string::npos) return std::string();
    return state.substr(at, state.find('\n', at) - at);
}

} // namespace test
