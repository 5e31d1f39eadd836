// A window's menu bar and accelerator table, built from the first run of
// consecutive menu-item units of its unit list.
#pragma once

#include <windows.h>
#include <cstdint>
#include <string>
#include "template.h"

namespace forms {

// Accelerator word of a menu item: the virtual key in the low 16 bits and
// these modifiers above it (the same bits the common key events report).
constexpr uint32_t kAccelCtrl = 1;
constexpr uint32_t kAccelShift = 2;
constexpr uint32_t kAccelAlt = 4;
constexpr uint32_t MakeAccelerator(uint32_t key, uint32_t modifiers) { return (modifiers << 16) | (key & 0xFFFF); }

// A chosen menu item reaches the window as this command plus its list index.
constexpr UINT kFirstMenuCommand = 0x4000;

struct MenuBar {
    HMENU menu = nullptr;    // null when the window has no menu item to show
    HACCEL accel = nullptr;  // null when no shown, enabled item has a key
    void Destroy();
};

MenuBar BuildMenuBar(WindowEntry* e);

// Builds the bar anew after a menu item changed and puts it on the live
// window, destroying the previous menu and accelerator table.
void RebuildMenuBar(uint32_t windowId);

// The unit-list index of the menu item a command names, when that item is
// shown and enabled; else -1.
int32_t MenuItemOfCommand(WindowEntry* e, UINT command);

// "Ctrl+Shift+F5" for an accelerator word; empty for a key without a name.
std::string AcceleratorText(uint32_t accel);

} // namespace forms
