// Menu bars from menu-item units. Items are listed in menu order; each one's
// level word nests it under the nearest earlier item of a lower level, so
// that an item followed by deeper ones opens a drop-down.
#include "menubar.h"

#include <vector>
#include "runtime/app.h"
#include "windowunit.h"

namespace forms {

using rt::gApp;

namespace {

struct Run {
    int32_t first = -1;
    int32_t end = -1;   // one past the last item
};

Run FirstMenuRun(WindowEntry* e) {
    Run run;
    for (int32_t i = 1; i < e->units.Count(); i++) {
        if (!e->units.IsMenuItemAt(i)) {
            if (run.first >= 0) break;
            continue;
        }
        if (run.first < 0) run.first = i;
        run.end = i + 1;
    }
    return run;
}

std::string KeyName(uint32_t vk) {
    if ((vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z')) return std::string(1, static_cast<char>(vk));
    if (vk >= VK_F1 && vk <= VK_F24) return "F" + std::to_string(vk - VK_F1 + 1);
    switch (vk) {
    case VK_DELETE: return "Del";
    case VK_INSERT: return "Ins";
    case VK_RETURN: return "Enter";
    case VK_ESCAPE: return "Esc";
    case VK_SPACE: return "Space";
    case VK_BACK: return "Backspace";
    case VK_TAB: return "Tab";
    case VK_HOME: return "Home";
    case VK_END: return "End";
    case VK_PRIOR: return "PgUp";
    case VK_NEXT: return "PgDn";
    default: return std::string();
    }
}

// Items hidden themselves or below a hidden item are left out.
std::vector<bool> ShownItems(WindowEntry* e, const Run& run) {
    std::vector<bool> shown(static_cast<size_t>(run.end - run.first), false);
    uint32_t hiddenLevel = UINT32_MAX;   // level of the hidden item whose subtree is being skipped
    for (int32_t i = run.first; i < run.end; i++) {
        UnitRecord r = e->units.At(i);
        uint32_t level = r.MenuLevel();
        if (hiddenLevel != UINT32_MAX && level > hiddenLevel) continue;
        hiddenLevel = (r.MenuFlags() & kMenuHidden) ? level : UINT32_MAX;
        shown[static_cast<size_t>(i - run.first)] = hiddenLevel == UINT32_MAX;
    }
    return shown;
}

} // namespace

void MenuBar::Destroy() {
    if (accel) DestroyAcceleratorTable(accel);
    if (menu) DestroyMenu(menu);
    accel = nullptr;
    menu = nullptr;
}

std::string AcceleratorText(uint32_t accel) {
    std::string key = KeyName(accel & 0xFFFF);
    if (key.empty()) return key;
    uint32_t mods = accel >> 16;
    std::string text;
    if (mods & kAccelCtrl) text += "Ctrl+";
    if (mods & kAccelShift) text += "Shift+";
    if (mods & kAccelAlt) text += "Alt+";
    return text + key;
}

MenuBar BuildMenuBar(WindowEntry* e) {
    MenuBar bar;
    Run run = FirstMenuRun(e);
    if (run.first < 0) return bar;
    std::vector<bool> shown = ShownItems(e, run);
    std::vector<ACCEL> keys;
    std::vector<HMENU> open;   // open[level]: the menu items of that level go into
    bool any = false;
    bar.menu = CreateMenu();
    open.push_back(bar.menu);
    for (int32_t i = run.first; i < run.end; i++) {
        if (!shown[static_cast<size_t>(i - run.first)]) continue;
        UnitRecord r = e->units.At(i);
        size_t level = r.MenuLevel() < open.size() ? r.MenuLevel() : open.size() - 1;
        open.resize(level + 1);
        // An item is a drop-down when the next shown item lies deeper.
        bool popup = false;
        for (int32_t j = i + 1; j < run.end; j++) {
            if (!shown[static_cast<size_t>(j - run.first)]) continue;
            popup = e->units.At(j).MenuLevel() > r.MenuLevel();
            break;
        }
        uint32_t flags = r.MenuFlags();
        UINT state = ((flags & kMenuDisabled) ? MF_GRAYED : 0) | ((flags & kMenuChecked) ? MF_CHECKED : 0);
        std::string caption = r.MenuCaption();
        const uint32_t accel = r.MenuAccelerator();
        if (popup) {
            HMENU sub = CreatePopupMenu();
            AppendMenuA(open.back(), MF_POPUP | state, reinterpret_cast<UINT_PTR>(sub), caption.c_str());
            open.push_back(sub);
        } else if (caption == "-" && level > 0) {
            AppendMenuA(open.back(), MF_SEPARATOR, 0, nullptr);
        } else {
            const UINT command = kFirstMenuCommand + static_cast<UINT>(i);
            std::string keyText = AcceleratorText(accel);
            if (!keyText.empty() && caption.find('\t') == std::string::npos) caption += "\t" + keyText;
            AppendMenuA(open.back(), MF_STRING | state, command, caption.c_str());
            if ((accel & 0xFFFF) && !(flags & kMenuDisabled)) {
                BYTE virt = FVIRTKEY;
                if ((accel >> 16) & kAccelCtrl) virt |= FCONTROL;
                if ((accel >> 16) & kAccelShift) virt |= FSHIFT;
                if ((accel >> 16) & kAccelAlt) virt |= FALT;
                keys.push_back(ACCEL{virt, static_cast<WORD>(accel & 0xFFFF), static_cast<WORD>(command)});
            }
        }
        if (level == 0) any = true;
    }
    if (!any) {
        bar.Destroy();
        return bar;
    }
    if (!keys.empty()) bar.accel = CreateAcceleratorTableA(keys.data(), static_cast<int>(keys.size()));
    return bar;
}

void RebuildMenuBar(uint32_t windowId) {
    WindowObject* w = LoadedWindow(windowId);
    WindowEntry* e = gApp.windows.Find(windowId);
    if (!w || !e) return;
    MenuBar bar = BuildMenuBar(e);
    if (w->accel) DestroyAcceleratorTable(w->accel);
    w->accel = bar.accel;
    HMENU old = GetMenu(w->hwnd);
    SetMenu(w->hwnd, bar.menu);
    if (old) DestroyMenu(old);
    DrawMenuBar(w->hwnd);
}

int32_t MenuItemOfCommand(WindowEntry* e, UINT command) {
    if (!e || command < kFirstMenuCommand) return -1;
    int32_t index = static_cast<int32_t>(command - kFirstMenuCommand);
    if (index >= e->units.Count() || !e->units.IsMenuItemAt(index)) return -1;
    Run run = FirstMenuRun(e);
    if (index < run.first || index >= run.end || !ShownItems(e, run)[static_cast<size_t>(index - run.first)])
        return -1;
    if (e->units.At(index).MenuFlags() & kMenuDisabled) return -1;
    return index;
}

} // namespace forms
