// The extended interface library's list view commands. Each takes the list
// view unit first (window identifier low, unit identifier high); a window
// that is not loaded or a unit without a control ends the program (code
// 2007). Argument lists after the unit, and results, are in extlib.h.
#include "extlib.h"

#include <cstring>
#include "listview.h"
#include "runtime/values.h"

namespace units {

namespace {

ListView* ListViewOf(const rt::ArgRecord* args) {
    void* object = reinterpret_cast<void*>(gExtLink.Call(rt::kCbUnitObjectOrError, static_cast<intptr_t>(args[0].lo),
                                                         static_cast<intptr_t>(args[0].hi)));
    return static_cast<ListView*>(forms::Wnd::FromHead(object));
}

const char* TextArg(const rt::ArgRecord& a) { return reinterpret_cast<const char*>(static_cast<uintptr_t>(a.lo)); }
int32_t IntArg(const rt::ArgRecord& a) { return static_cast<int32_t>(a.lo); }
// An optional argument the caller left out takes `absent`.
int32_t IntArg(int32_t count, const rt::ArgRecord* args, int32_t i, int32_t absent) {
    return i < count && !rt::IsOmitted(args[i]) ? IntArg(args[i]) : absent;
}

void SetResultInt(rt::ArgRecord* result, int32_t v) { *result = rt::MakeArg(rt::kTypeInt, static_cast<uint32_t>(v)); }

// Stores `rows` as a new integer array in the caller's variable that
// args[i] refers to, releasing the array it held; nothing when the caller
// passed no variable.
void StoreRows(int32_t count, const rt::ArgRecord* args, int32_t i, const std::vector<int32_t>& rows) {
    if (i >= count || !(args[i].type & rt::kByRef) || !args[i].lo) return;
    void** variable = reinterpret_cast<void**>(static_cast<uintptr_t>(args[i].lo));
    uint32_t size = static_cast<uint32_t>(sizeof(rt::ByteSetHeader) + rows.size() * sizeof(int32_t));
    auto* block = static_cast<int32_t*>(gExtLink.Alloc(size));
    block[0] = 1;
    block[1] = static_cast<int32_t>(rows.size());
    if (!rows.empty()) std::memcpy(block + 2, rows.data(), rows.size() * sizeof(int32_t));
    gExtLink.Call(rt::kCbFreeArray, static_cast<intptr_t>(rt::kTypeInt), reinterpret_cast<intptr_t>(*variable));
    *variable = block;
}

} // namespace

void ListSetRows(rt::ArgRecord*, int32_t count, rt::ArgRecord* args) {
    if (count < 2) return;
    if (ListView* v = ListViewOf(args)) v->SetRows(TextArg(args[1]));
}

void ListSetRow(rt::ArgRecord* result, int32_t count, rt::ArgRecord* args) {
    *result = rt::MakeArg(rt::kTypeBool, 0);
    if (count < 3) return;
    ListView* v = ListViewOf(args);
    uint32_t colour = static_cast<uint32_t>(IntArg(count, args, 3, static_cast<int32_t>(ListModel::kDefaultColour)));
    if (v && v->SetRow(IntArg(args[1]), TextArg(args[2]), colour)) result->lo = 1;
}

void ListRowText(rt::ArgRecord* result, int32_t count, rt::ArgRecord* args) {
    *result = rt::MakeArg(rt::kTypeText, 0);
    if (count < 2) return;
    if (ListView* v = ListViewOf(args)) {
        std::string text = v->Model().RowText(IntArg(args[1]));
        result->lo = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(gExtLink.CopyText(text.c_str())));
    }
}

void ListCheckRows(rt::ArgRecord* result, int32_t count, rt::ArgRecord* args) {
    SetResultInt(result, 0);
    if (count < 2) return;
    if (ListView* v = ListViewOf(args)) result->lo = static_cast<uint32_t>(v->CheckRows(IntArg(args[1]), IntArg(count, args, 2, 1) != 0));
}

void ListCheckedRows(rt::ArgRecord* result, int32_t count, rt::ArgRecord* args) {
    SetResultInt(result, 0);
    if (count < 1) return;
    if (ListView* v = ListViewOf(args)) {
        std::vector<int32_t> rows = v->Model().CheckedRows();
        StoreRows(count, args, 1, rows);
        result->lo = static_cast<uint32_t>(rows.size());
    }
}

void ListSelectedRows(rt::ArgRecord* result, int32_t count, rt::ArgRecord* args) {
    SetResultInt(result, 0);
    if (count < 1) return;
    if (ListView* v = ListViewOf(args)) {
        std::vector<int32_t> rows = v->SelectedRows();
        StoreRows(count, args, 1, rows);
        result->lo = static_cast<uint32_t>(rows.size());
    }
}

void ListFilter(rt::ArgRecord* result, int32_t count, rt::ArgRecord* args) {
    SetResultInt(result, 0);
    if (count < 2) return;
    const char* text = TextArg(args[1]);
    if (ListView* v = ListViewOf(args))
        result->lo = static_cast<uint32_t>(v->Filter(text ? text : "", static_cast<uint32_t>(IntArg(count, args, 2, 0))));
}

void ListSetNames(rt::ArgRecord*, int32_t count, rt::ArgRecord* args) {
    if (count < 3) return;
    ListView* v = ListViewOf(args);
    if (!v) return;
    const char* text = count > 3 ? TextArg(args[3]) : nullptr;
    std::vector<std::wstring> names;
    for (const std::string& line : SplitLines(text ? text : "")) {
        int n = line.empty() ? 0 : MultiByteToWideChar(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), nullptr, 0);
        std::wstring name(static_cast<size_t>(n > 0 ? n : 0), L'\0');
        if (n > 0) MultiByteToWideChar(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), &name[0], n);
        names.push_back(std::move(name));
    }
    v->SetNames(IntArg(args[1]), IntArg(args[2]), names);
}

void ListSetIcon(rt::ArgRecord*, int32_t count, rt::ArgRecord* args) {
    if (count < 2) return;
    ListView* v = ListViewOf(args);
    if (!v) return;
    std::string png;
    if (count > 2 && !rt::IsOmitted(args[2]) && args[2].lo) {
        const void* bytes = reinterpret_cast<const void*>(static_cast<uintptr_t>(args[2].lo));
        png.assign(reinterpret_cast<const char*>(rt::ByteSetData(bytes)), static_cast<size_t>(rt::ByteSetCount(bytes)));
    }
    v->SetIcon(IntArg(args[1]), png);
}

void ListSort(rt::ArgRecord*, int32_t count, rt::ArgRecord* args) {
    if (count < 2) return;
    if (ListView* v = ListViewOf(args)) v->Sort(IntArg(args[1]), IntArg(count, args, 2, 0) != 0);
}


} // namespace units
