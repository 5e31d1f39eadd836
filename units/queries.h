// The interface query functions of the unit types (the window's and the
// menu item's are the window unit's, forms/windowunit.h): an interface number in,
// the interface's function (or null when the type does not offer it) out.
#pragma once

#include <cstdint>

namespace units {

void* EditBoxQuery(int32_t number);
void* LabelQuery(int32_t number);
void* ButtonQuery(int32_t number);
void* RichEditQuery(int32_t number);
void* CheckBoxQuery(int32_t number);
void* ComboBoxQuery(int32_t number);
void* ProgressBarQuery(int32_t number);
void* ListViewQuery(int32_t number);

} // namespace units
