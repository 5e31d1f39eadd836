#include "errors.h"

#include <windows.h>
#include <cstdlib>
#include <exception>
#include <string>
#include "app.h"
#include "syscalls.h"

namespace rt {

namespace {

const char* const kCodeMessages[] = {
    nullptr,
    "数组成员引用下标超出定义范围",
    "未得到所需要的数值型数据",
    "引用数组成员时维数不为1且不等于该数组目前所具有的维数",
    "数组成员引用下标必须大于等于1",
    "数据或数组类型不匹配",
    "调用DLL命令后发现堆栈错误",
    "子语句参数未返回数据或者返回了非系统基本类型或数组型数据",
    "被比较数据只能使用等于或不等于命令比较",
    "“多项选择”命令的索引值参数小于零或超出了所提供参数表范围",
    "“重定义数组”命令的数组维定义参数值必须大于零或单维时大于等于零",
    "所提供参数的数据类型不符合要求",
};

void AppendQuoted(std::string* s, const char* tag) {
    *s += "\r\n\"";
    *s += tag ? tag : "";
    *s += "\"";
}

// When the box cannot be shown (no desktop: Wine without a display, a
// service), the text goes to the standard error handle if the program has
// one: Unicode on a console, UTF-8 into a file or pipe.
void WriteToStandardError(const std::string& text) {
    constexpr UINT kGbk = 936;
    HANDLE h = GetStdHandle(STD_ERROR_HANDLE);
    if (!h || h == INVALID_HANDLE_VALUE) return;
    // The program's texts are GBK bytes whatever the system's code page.
    int n = MultiByteToWideChar(kGbk, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0) return;
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(kGbk, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
    DWORD mode, written;
    if (GetConsoleMode(h, &mode)) {
        WriteConsoleW(h, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    int m = WideCharToMultiByte(CP_UTF8, 0, wide.data(), n, nullptr, 0, nullptr, nullptr);
    if (m <= 0) return;
    std::string utf8(static_cast<size_t>(m), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), n, &utf8[0], m, nullptr, nullptr);
    WriteFile(h, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

} // namespace

const char* ErrorCodeMessage(int32_t code) {
    if (code < 1 || code > 11) return nullptr;
    return kCodeMessages[code];
}

std::string FormatErrorText(const char* message, int32_t code, int32_t loc1, int32_t loc2) {
    std::string where = "\r\n" + std::to_string(loc1) + ", " + std::to_string(loc2);
    uint32_t id1 = static_cast<uint32_t>(loc1);
    if (loc1 != 0 && forms::IsWindowId(id1)) {
        forms::WindowEntry* w = gApp.windows.Find(id1);
        if (!w || w->units.Empty()) {
            where += "\r\n未找到所指定的窗口";
        } else {
            AppendQuoted(&where, w->units.At(0).Tag());
            uint32_t unitId = static_cast<uint32_t>(loc2);
            forms::UnitRecord unit = unitId == 0 ? w->units.At(0) : w->units.Find(unitId);
            if (!unit.Valid() || forms::IsMenuItemId(unitId))
                where += "\r\n未找到所指定的窗口组件";
            else
                AppendQuoted(&where, unit.Tag());
        }
    }
    where += "\r\n";

    std::string text = "运行时出错!\r\n";
    if (code != 0) text += "\r\n错误代码：" + std::to_string(code) + "\r\n";
    if (message && *message) {
        text += "\r\n错误信息：";
        text += message;
        text += "\r\n";
    }
    return text + where;
}

void ReportError(const char* message, int32_t code, int32_t loc1, int32_t loc2) {
    // No handler may run while the box is open or afterwards.
    gApp.busy++;
    std::string text = FormatErrorText(message, code, loc1, loc2);
    // Windows answers 0 when the box cannot be shown; Wine's failed dialog answers -1.
    if (gSys.MessageBoxA(nullptr, text.c_str(), "错误", MB_OK | MB_ICONERROR) <= 0) WriteToStandardError(text);
    gApp.endRoutines.clear();
    Exit(-1);
}

void ReportErrorCode(int32_t code, int32_t loc1, int32_t loc2) {
    ReportError(ErrorCodeMessage(code), code, loc1, loc2);
}

} // namespace rt

#ifdef __GLIBCXX__
// An exception nobody catches ends the program as abort does. GCC's own
// handler first prints the exception's type to standard error, which a
// windowed program has not got, and links the whole C++ name demangler
// (46 KB) for it; defining the handler here keeps that out of the program.
// It is defined in this file because every program links it.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
} // namespace __gnu_cxx
#endif
