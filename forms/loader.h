// Internals of form loading shared by the window unit, property access and
// the keyboard handling.
#pragma once

#include <windows.h>
#include <cstdint>
#include "template.h"

namespace forms {

class WindowObject;

// The unit-list index of the unit whose control is `hwnd`, or -1.
int32_t UnitIndexOfControl(WindowEntry* e, HWND hwnd);
// The control of entry `index` when it is a live, visible, enabled tab stop
// that can take the focus, else null.
HWND TabStopAt(WindowEntry* e, int32_t index);
// The control the focus-order rule picks in a window, or null.
HWND ChooseFocusControl(WindowEntry* e);
// The live control handle of the unit at `index`, or null.
HWND ControlAt(WindowEntry* e, int32_t index);
const rt::UnitTypeRecord* TypeAt(WindowEntry* e, int32_t index);

// A window's final release: the stored values come back and, when no
// window is left after the loop started, the loop is told to end.
void WindowReleased(uint32_t windowId);
void DestroyUnitCursors(uint32_t windowId);

// Custom cursors from mouse-pointer bytes; the handle is owned by the caller.
HCURSOR BuildCursor(const uint8_t* bytes, uint32_t n);
// The stock-cursor table: index 0..14 <-> stock identifier.
uint32_t CursorIndexToStock(uint32_t v);
uint32_t CursorStockToIndex(uint32_t v);

// Raised while a unit is being re-created: code 2000 is ignored then.
extern bool gRecreating;

} // namespace forms
