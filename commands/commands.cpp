#include "commands.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include "forms/wnd.h"
#include "runtime/syscalls.h"

namespace commands {

rt::LibraryLink gCoreLink;

namespace {

// Pointers travel in the low half of a record (32-bit target).
template <class T>
T* PointerIn(uint32_t lo) {
    return reinterpret_cast<T*>(static_cast<uintptr_t>(lo));
}

template <class T>
uint32_t PointerWord(T* p) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p));
}

double DoubleIn(const rt::ArgRecord& a) {
    uint8_t raw[8];
    std::memcpy(raw, &a.lo, 4);
    std::memcpy(raw + 4, &a.hi, 4);
    double d;
    std::memcpy(&d, raw, 8);
    return d;
}

// A NaN date-time is no date at all; it reads as the earliest one.
double ClampDateTime(double v) {
    if (!(v >= rt::kDateTimeMin)) return rt::kDateTimeMin;
    if (v > rt::kDateTimeMax) return rt::kDateTimeMax;
    return v;
}

// --- ReadValueFromBytes ----------------------------------------------------

struct ReadType {
    uint32_t code;
    int32_t size;  // 0 for text, whose length is found in the data
};

const ReadType kReadTypes[10] = {
    {rt::kTypeByte, 1},   {rt::kTypeShort, 2}, {rt::kTypeInt, 4},      {rt::kTypeLong, 8},
    {rt::kTypeFloat, 4},  {rt::kTypeDouble, 8}, {rt::kTypeBool, 4},    {rt::kTypeDateTime, 8},
    {rt::kTypeSubprogram, 4}, {rt::kTypeText, 0},
};
constexpr int32_t kReadText = 10;

// Reads a text up to the first zero byte; returns the bytes consumed.
int32_t ReadText(rt::ArgRecord* result, const uint8_t* from, int32_t avail) {
    if (avail <= 0) return 0;
    const void* zero = std::memchr(from, 0, static_cast<size_t>(avail));
    int32_t n = zero ? static_cast<int32_t>(static_cast<const uint8_t*>(zero) - from) : avail;
    result->lo = PointerWord(gCoreLink.CopyCountedText(from, n));
    return zero ? n + 1 : n;
}

// Reads a fixed-size value; a short tail reads as if padded with zeros.
void ReadFixed(rt::ArgRecord* result, int32_t number, const uint8_t* from, int32_t avail) {
    const ReadType& t = kReadTypes[number - 1];
    uint8_t buf[8] = {};
    if (avail > 0) std::memcpy(buf, from, static_cast<size_t>(avail < t.size ? avail : t.size));
    if (t.code == rt::kTypeBool) {
        int32_t v;
        std::memcpy(&v, buf, 4);
        result->lo = v != 0 ? 1 : 0;
        result->hi = 0;
        return;
    }
    if (t.code == rt::kTypeDateTime) {
        double d;
        std::memcpy(&d, buf, 8);
        d = ClampDateTime(d);
        std::memcpy(buf, &d, 8);
    }
    std::memcpy(&result->lo, buf, 4);
    std::memcpy(&result->hi, buf + 4, 4);
}

// --- ShowMessageBox content ------------------------------------------------

std::string LongText(int64_t v) {
    uint64_t mag = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    char digits[24];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + mag % 10);
        mag /= 10;
    } while (mag);
    std::string s = v < 0 ? "-" : "";
    while (n) s += digits[--n];
    return s;
}

// Rounds to double precision. The x87 keeps intermediates in 80 bits, which
// would make the digits below depend on the optimiser.
double Dbl(double v) {
    volatile double t = v;
    return t;
}

// Six significant digits, computed the way the float-to-text conversion has
// always done it, so that boxes show the same digits as before.
double RoundSixDigits(float x) {
    uint32_t bits;
    std::memcpy(&bits, &x, 4);
    int e2 = static_cast<int8_t>(static_cast<uint8_t>(((bits >> 23) & 0xFF) - 127));
    int d = static_cast<int>(Dbl(e2 * 0.30102999566398119521));
    double p = 1.0;
    for (int k = d < 0 ? -d : d; k > 0; k--) p = Dbl(p * 10.0);
    double ax = std::fabs(static_cast<double>(x));
    double m = Dbl(d > 0 ? ax / p : ax * p);
    if (m >= 10) {
        p = Dbl(p * 10);
        d += 1;
        m = Dbl(m * 10000);
    } else if (m < 1) {
        p = Dbl(p * 10);
        d -= 1;
        m = Dbl(m * 1000000);
    } else {
        m = Dbl(m * 100000);
    }
    double i = std::floor(m);
    if (Dbl(m - i) >= 0.5) i += 1;
    double s = x < 0 ? -p : p;
    return d > 0 ? Dbl(Dbl(i * s) * 0.00001) : Dbl(i / Dbl(s * 100000));
}

struct CivilDate {
    int year, month, day;
};

// Proleptic Gregorian date of a day count since 30 December 1899.
CivilDate DateOfDay(int64_t oleDay) {
    int64_t z = oleDay - 25569 + 719468;  // days since 1 March of year 0
    int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    int64_t doe = z - era * 146097;
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int64_t mp = (5 * doy + 2) / 153;
    int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    int year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
    return CivilDate{year, month, day};
}

std::string DateTimeText(double v) {
    // Whole seconds first (half a second away from zero), then the split: the
    // day is the signed whole part, the time of day the fraction's magnitude.
    int64_t total = static_cast<int64_t>(std::round(ClampDateTime(v) * 86400.0));
    int64_t secsOfDay = total % 86400;
    if (secsOfDay < 0) secsOfDay = -secsOfDay;
    CivilDate date = DateOfDay(total / 86400);
    int hour = static_cast<int>(secsOfDay / 3600);
    int minute = static_cast<int>(secsOfDay / 60 % 60);
    int second = static_cast<int>(secsOfDay % 60);

    char buf[100];
    int n = std::snprintf(buf, sizeof buf, "%d年%d月%d日", date.year, date.month, date.day);
    size_t rest = sizeof buf - static_cast<size_t>(n);
    if (second != 0)
        std::snprintf(buf + n, rest, "%d时%d分%d秒", hour, minute, second);
    else if (minute != 0)
        std::snprintf(buf + n, rest, "%d时%d分", hour, minute);
    else if (hour != 0)
        std::snprintf(buf + n, rest, "%d时", hour);
    return buf;
}

std::string ContentText(const rt::ArgRecord& a) {
    char buf[100];
    switch (a.type) {
    case rt::kTypeByte:
        std::snprintf(buf, sizeof buf, "%u", static_cast<unsigned>(a.lo & 0xFF));
        return buf;
    case rt::kTypeShort:
        std::snprintf(buf, sizeof buf, "%d", static_cast<int>(static_cast<int16_t>(a.lo & 0xFFFF)));
        return buf;
    case rt::kTypeInt:
        std::snprintf(buf, sizeof buf, "%d", static_cast<int>(static_cast<int32_t>(a.lo)));
        return buf;
    case rt::kTypeLong:
        return LongText(static_cast<int64_t>((static_cast<uint64_t>(a.hi) << 32) | a.lo));
    case rt::kTypeFloat: {
        float f;
        std::memcpy(&f, &a.lo, 4);
        std::snprintf(buf, sizeof buf, "%.6g", RoundSixDigits(f));
        return buf;
    }
    case rt::kTypeDouble:
        std::snprintf(buf, sizeof buf, "%.13g", DoubleIn(a));
        return buf;
    case rt::kTypeBool:
        return a.lo != 0 ? "真" : "假";
    case rt::kTypeDateTime:
        return DateTimeText(DoubleIn(a));
    case rt::kTypeText: {
        const char* s = PointerIn<const char>(a.lo);
        return s ? s : "";
    }
    default:
        return std::string();
    }
}

// The system window of a window value, or of a handle passed as an integer.
HWND OwnerOf(const rt::ArgRecord& a) {
    if (a.type == rt::kTypeInt) return reinterpret_cast<HWND>(static_cast<uintptr_t>(a.lo));
    if (a.type != rt::kTypeWindow) return nullptr;
    auto* object = reinterpret_cast<const rt::ControlHead*>(
        gCoreLink.Call(rt::kCbUnitObject, static_cast<intptr_t>(a.lo), 0));
    if (!object || !object->hwnd || !IsWindow(object->hwnd)) return nullptr;
    return object->hwnd;
}

} // namespace

// --- the commands ------------------------------------------------------------

void GetRunDirectory(rt::ArgRecord* result, int32_t, rt::ArgRecord*) {
    // The runtime lends its own copy; the caller gets a fresh one.
    auto* dir = reinterpret_cast<const char*>(gCoreLink.Call(rt::kCbRunDirectory));
    result->lo = PointerWord(gCoreLink.CopyText(dir));
}

int32_t FoldBits(BitOp op, int32_t count, const rt::ArgRecord* args) {
    if (count < 1) return 0;
    uint32_t v = args[0].lo;
    for (int32_t k = 1; k < count; k++) {
        switch (op) {
        case BitOp::And: v &= args[k].lo; break;
        case BitOp::Or: v |= args[k].lo; break;
        case BitOp::Xor: v ^= args[k].lo; break;
        }
    }
    return static_cast<int32_t>(v);
}

void BitOr(rt::ArgRecord* result, int32_t count, rt::ArgRecord* args) {
    result->lo = static_cast<uint32_t>(FoldBits(BitOp::Or, count, args));
}

void GetSystemKind(rt::ArgRecord* result, int32_t, rt::ArgRecord*) {
    OSVERSIONINFOA info;
    std::memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = 148;
    // A refused query names no known platform.
    if (!rt::gSys.GetVersionExA(&info)) {
        result->lo = 0;
        return;
    }
    switch (info.dwPlatformId) {
    case VER_PLATFORM_WIN32s: result->lo = 1; break;
    case VER_PLATFORM_WIN32_WINDOWS: result->lo = 2; break;
    case VER_PLATFORM_WIN32_NT: result->lo = 3; break;
    default: result->lo = 0; break;
    }
}

void MakeBlankBytes(rt::ArgRecord* result, int32_t, rt::ArgRecord* args) {
    int32_t n = static_cast<int32_t>(args[0].lo);
    if (n <= 0) {
        result->lo = 0;
        return;
    }
    auto* h = static_cast<rt::ByteSetHeader*>(gCoreLink.Alloc(static_cast<uint32_t>(n) + sizeof(rt::ByteSetHeader)));
    if (!h) gCoreLink.Fail(nullptr);  // only without a runtime: mode 0 never answers null
    h->dims = 1;
    h->count = n;
    std::memset(rt::ByteSetData(h), 0, static_cast<size_t>(n));
    result->lo = PointerWord(h);
}

void ReadValueFromBytes(rt::ArgRecord* result, int32_t count, rt::ArgRecord* args) {
    const void* bytes = PointerIn<const void>(args[0].lo);
    const uint8_t* data = bytes ? rt::ByteSetData(bytes) : nullptr;
    int32_t total = rt::ByteSetCount(bytes);

    int32_t number = static_cast<int32_t>(args[1].lo);
    if (number < 1 || number > kReadText) gCoreLink.Fail("“欲取出数据的类型”参数值无效");
    result->type = kReadTypes[number - 1].code;

    int32_t start = 0, avail = total;
    int32_t* variable = nullptr;
    if (count >= 3 && !rt::IsOmitted(args[2])) {
        int32_t position;
        if (args[2].type & rt::kByRef) {
            variable = PointerIn<int32_t>(args[2].lo);
            position = *variable;
        } else {
            position = static_cast<int32_t>(args[2].lo);
        }
        int64_t offset = static_cast<int64_t>(position) - 1;
        if (offset < 0) {
            avail = 0;
        } else {
            start = static_cast<int32_t>(offset);
            avail = total - start;  // negative beyond the end: nothing to read
        }
    }

    const uint8_t* from = data ? data + (avail > 0 ? start : 0) : nullptr;
    int32_t consumed;
    if (number == kReadText) {
        consumed = ReadText(result, from, avail);
    } else {
        ReadFixed(result, number, from, avail);
        consumed = kReadTypes[number - 1].size;
    }

    if (variable) {
        int64_t next = static_cast<int64_t>(start) + consumed;
        *variable = next >= total ? -1 : static_cast<int32_t>(next + 1);
    }
}

void ProcessPendingMessages(rt::ArgRecord*, int32_t, rt::ArgRecord*) {
    gCoreLink.Call(rt::kCbPumpMessages);
}

void ShowMessageBox(rt::ArgRecord* result, int32_t count, rt::ArgRecord* args) {
    std::string text = ContentText(args[0]);
    uint32_t style = args[1].lo;
    if (!(style & MB_SYSTEMMODAL)) style |= MB_TASKMODAL;

    const char* title = "信息：";
    if (count >= 3 && !rt::IsOmitted(args[2])) {
        const char* caption = PointerIn<const char>(args[2].lo);
        title = caption ? caption : "";
    }
    HWND owner = count >= 4 ? OwnerOf(args[3]) : nullptr;

    int id = rt::gSys.MessageBoxA(owner, text.c_str(), title, style);
    result->lo = id >= IDOK && id <= IDNO ? static_cast<uint32_t>(id - 1) : 0;
}

void LoadWindow(rt::ArgRecord* result, int32_t count, rt::ArgRecord* args) {
    result->type = rt::kTypeBool;
    if (count < 1 || args[0].type != rt::kTypeWindow) return;
    struct {
        uint32_t window;
        void* owner;
        int32_t modal;
    } request = {args[0].lo, nullptr, count >= 2 && !rt::IsOmitted(args[1]) && args[1].lo != 0 ? 1 : 0};
    if (count >= 3 && !rt::IsOmitted(args[2])) {
        // An owner that is not loaded is refused rather than silently dropped.
        request.owner = args[2].type == rt::kTypeWindow
                            ? reinterpret_cast<void*>(gCoreLink.Call(rt::kCbUnitObject, static_cast<intptr_t>(args[2].lo), 0))
                            : nullptr;
        if (!request.owner) return;
    }
    gCoreLink.Call(rt::kCbLoadWindow, reinterpret_cast<intptr_t>(&request));
    result->lo = gCoreLink.Call(rt::kCbUnitObject, static_cast<intptr_t>(request.window), 0) ? 1 : 0;
}

// --- the library's table and notify function ---------------------------------

const rt::CommandFn kCoreCommands[kCoreCommandCount] = {
    GetRunDirectory, BitOr,          GetSystemKind, MakeBlankBytes, ReadValueFromBytes, ProcessPendingMessages,
    ShowMessageBox,  LoadWindow,
};

intptr_t CoreNotify(int32_t code, intptr_t v1, intptr_t v2) {
    switch (code) {
    case rt::kCbStart:
        gCoreLink.Attach(reinterpret_cast<rt::RuntimeCallback>(v1));
        return 0;
    case rt::kCbPreTranslate: {
        // Only an object that is one of ours is asked.
        forms::Wnd* window = forms::Wnd::FromLiveHead(reinterpret_cast<void*>(v1));
        MSG* message = reinterpret_cast<MSG*>(v2);
        return window && message && window->PreTranslateMessage(message) ? 1 : 0;
    }
    case 10: case 11: case 12: case 13:
        return 0;  // object services for facilities this program does not use
    default:
        return -1;
    }
}

} // namespace commands
