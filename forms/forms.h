// What the runtime core asks of the forms layer: loading and showing
// windows, the live controls of units, event raising and property access.
#pragma once

#include <windows.h>
#include <cstdint>
#include <vector>
#include "template.h"

namespace forms {

// Loads a window entry; 1 when the window exists afterwards, else 0.
int LoadWindow(WindowEntry* entry, bool reload, bool modal, HWND owner);
void ShowLoadedWindow(uint32_t windowId, bool plainShow);
void DestroyAllWindows();
bool AnyWindowAlive();

// The unit's control object when its window is loaded and the control exists.
void* UnitObject(uint32_t windowId, uint32_t unitId);
HWND WindowHandle(uint32_t windowId);
bool IsUnitControl(HWND hwnd);
void UnitDestroyed(uint32_t windowId, uint32_t unitId);

// The handler bound to (window, unit, event), or null; records the current
// event source when there is one.
rt::EventHandler FindHandler(uint32_t windowId, uint32_t unitId, int32_t eventIndex);

// Raises an event from a 32-bit (wide = false) or 64-bit event record.
intptr_t RaiseEvent(void* record, bool wide);

int64_t ReadProperty(uint32_t windowId, uint32_t unitId, int32_t index, int32_t sub);
void WriteProperty(uint32_t windowId, uint32_t unitId, int32_t index, int32_t sub, uint32_t lo, uint32_t hi);
int64_t ReadUnitObjectProperty(uint32_t type, void* object, int32_t index, int32_t sub);
void WriteUnitObjectProperty(uint32_t type, void* object, int32_t index, int32_t sub, uint32_t lo, uint32_t hi);

// Adds an item that calls `handler` to a loaded window's system menu.
bool AddSystemMenuItem(uint32_t windowId, const char* caption, rt::EventHandler handler);

// The window objects' pre-translation of a message; true when it was taken.
bool PreTranslate(MSG* msg);
// Identifiers of the loaded windows whose window control is live.
std::vector<uint32_t> LiveWindows();

} // namespace forms
