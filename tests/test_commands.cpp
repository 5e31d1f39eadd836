// The core library's commands, driven through the library's command table.
// A small runtime callback of the test's own keeps the library isolated; one
// test repeats the basics against the runtime's real callback.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include "commands/commands.h"
#include "forms/wnd.h"
#include "runtime/app.h"
#include "runtime/errors.h"
#include "runtime/syscalls.h"
#include "runtime/values.h"
#include "tests/support/child.h"

namespace {

using rt::ArgRecord;

enum Position { kGetRunDirectory, kBitOr, kGetSystemKind, kMakeBlankBytes, kReadValueFromBytes,
                kProcessPendingMessages, kShowMessageBox };

// --- the test's runtime callback ---------------------------------------------

constexpr uint32_t kLoadedWindow = 0x52010001;
const char* gRunDir = nullptr;
rt::ControlHead gWindowObject;

intptr_t TestCallback(int32_t code, intptr_t v1, intptr_t v2) {
    switch (code) {
    case rt::kCbRunDirectory: return reinterpret_cast<intptr_t>(gRunDir);
    case rt::kCbAlloc: {
        uint32_t n = static_cast<uint32_t>(v1);
        return reinterpret_cast<intptr_t>(v2 == 0 ? rt::MemAlloc(n) : rt::MemAllocPlain(n));
    }
    case rt::kCbFree: rt::MemFree(reinterpret_cast<void*>(v1)); return 0;
    case rt::kCbError: rt::ReportError(reinterpret_cast<const char*>(v1), 0, 0, 0);
    case rt::kCbUnitObject:
        return static_cast<uint32_t>(v1) == kLoadedWindow && v2 == 0 ? reinterpret_cast<intptr_t>(&gWindowObject) : 0;
    default: return 0;
    }
}

void AttachTestRuntime() {
    ASSERT_NE(commands::CoreNotify(rt::kCbStart, reinterpret_cast<intptr_t>(TestCallback), 0), -1);
}

// --- records -------------------------------------------------------------------

uint32_t Word(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

ArgRecord Int(int32_t v) { return rt::MakeArg(rt::kTypeInt, static_cast<uint32_t>(v)); }
ArgRecord Ptr(uint32_t type, const void* p) { return rt::MakeArg(type, Word(p)); }
ArgRecord Omitted() { return ArgRecord{0, 0, 0}; }

template <class T>
ArgRecord Wide(uint32_t type, T v) {
    static_assert(sizeof(T) <= 8, "values are at most 8 bytes");
    uint8_t raw[8] = {};
    std::memcpy(raw, &v, sizeof v);
    ArgRecord a{0, 0, type};
    std::memcpy(&a.lo, raw, 4);
    std::memcpy(&a.hi, raw + 4, 4);
    return a;
}

double AsDouble(const ArgRecord& r) {
    uint8_t raw[8];
    std::memcpy(raw, &r.lo, 4);
    std::memcpy(raw + 4, &r.hi, 4);
    double d;
    std::memcpy(&d, raw, 8);
    return d;
}

// Calls a command the way the call service does: the result record cleared.
ArgRecord Invoke(Position pos, std::vector<ArgRecord> args) {
    ArgRecord result{0, 0, 0};
    commands::kCoreCommands[pos](&result, static_cast<int32_t>(args.size()), args.data());
    return result;
}

std::string TextOf(const ArgRecord& r) {
    const char* s = reinterpret_cast<const char*>(static_cast<uintptr_t>(r.lo));
    return s ? s : "";
}

// A byte set made as the runtime makes it (null when empty).
void* Bytes(const std::vector<uint8_t>& b) { return rt::DupByteSet(b.data(), static_cast<int32_t>(b.size())); }

// The program passes this constant in place of a null byte-set variable.
const int32_t kEmptyByteSet[2] = {1, 0};

SIZE_T BlockSize(const void* p) { return HeapSize(GetProcessHeap(), 0, p); }

class Commands : public ::testing::Test {
protected:
    void SetUp() override {
        AttachTestRuntime();
        test::CaptureBoxes(IDOK);
        test::ClearCapturedBoxes();
    }
    void TearDown() override { rt::ResetSyscalls(); }

    // Shows a box and returns the text it showed.
    std::string BoxText(const ArgRecord& content) {
        test::ClearCapturedBoxes();
        Invoke(kShowMessageBox, {content, Int(0), Omitted(), Omitted()});
        return test::CapturedBoxes().empty() ? "<no box>" : test::CapturedBoxes().back().text;
    }
};

// --- BitOr ---------------------------------------------------------------------

TEST_F(Commands, BitOrFoldsTheLowHalvesInOrder) {
    EXPECT_EQ(Invoke(kBitOr, {Int(1), Int(256)}).lo, 0x101u);
    EXPECT_EQ(Invoke(kBitOr, {Int(5)}).lo, 5u);
    EXPECT_EQ(Invoke(kBitOr, {Int(1), Int(2), Int(4), Int(8), Int(INT32_MIN)}).lo, 0x8000000Fu);
    // A value's high half plays no part.
    EXPECT_EQ(Invoke(kBitOr, {rt::MakeArg(rt::kTypeInt, 2, 0xFFFFFFFF), Int(1)}).hi, 0u);
    EXPECT_EQ(Invoke(kBitOr, {rt::MakeArg(rt::kTypeInt, 2, 0xFFFFFFFF), Int(1)}).lo, 3u);

    std::vector<ArgRecord> v = {Int(0xF0F), Int(0xFF), Int(0x3C)};
    EXPECT_EQ(commands::FoldBits(commands::BitOp::And, 3, v.data()), 0x0C);
    EXPECT_EQ(commands::FoldBits(commands::BitOp::Xor, 3, v.data()), 0xF0F ^ 0xFF ^ 0x3C);
    EXPECT_EQ(commands::FoldBits(commands::BitOp::Or, 3, v.data()), 0xFFF);
}

// --- MakeBlankBytes ------------------------------------------------------------

TEST_F(Commands, MakeBlankBytesGivesNullOrAZeroedBlockOfExactSize) {
    EXPECT_EQ(Invoke(kMakeBlankBytes, {Int(0)}).lo, 0u);
    EXPECT_EQ(Invoke(kMakeBlankBytes, {Int(-3)}).lo, 0u);

    // Dirty the heap first so that zero filling is the command's doing.
    void* dirt = rt::MemAlloc(13);
    std::memset(dirt, 0xAB, 13);
    rt::MemFree(dirt);

    void* bs = reinterpret_cast<void*>(Invoke(kMakeBlankBytes, {Int(5)}).lo);
    ASSERT_NE(bs, nullptr);
    EXPECT_EQ(BlockSize(bs), 13u);
    auto* h = static_cast<rt::ByteSetHeader*>(bs);
    EXPECT_EQ(h->dims, 1);
    EXPECT_EQ(h->count, 5);
    for (int i = 0; i < 5; i++) EXPECT_EQ(rt::ByteSetData(bs)[i], 0) << "byte " << i;
    rt::MemFree(bs);
}

// --- ReadValueFromBytes ----------------------------------------------------------

TEST_F(Commands, ReadTextWalksAByReferencePosition) {
    void* bs = Bytes({'a', 'b', 0, 'c', 'd'});
    int32_t pos = 1;
    ArgRecord at = Ptr(rt::kTypeInt | rt::kByRef, &pos);

    ArgRecord r = Invoke(kReadValueFromBytes, {Ptr(rt::kTypeBytes, bs), Int(10), at});
    EXPECT_EQ(r.type, rt::kTypeText);
    EXPECT_EQ(TextOf(r), "ab");
    EXPECT_EQ(BlockSize(reinterpret_cast<void*>(r.lo)), 3u);
    EXPECT_EQ(pos, 4);
    rt::MemFree(reinterpret_cast<void*>(r.lo));

    r = Invoke(kReadValueFromBytes, {Ptr(rt::kTypeBytes, bs), Int(10), at});
    EXPECT_EQ(TextOf(r), "cd");
    EXPECT_EQ(pos, -1);
    rt::MemFree(reinterpret_cast<void*>(r.lo));

    // A zero byte right at the position: null text, one byte consumed.
    pos = 3;
    r = Invoke(kReadValueFromBytes, {Ptr(rt::kTypeBytes, bs), Int(10), at});
    EXPECT_EQ(r.lo, 0u);
    EXPECT_EQ(r.type, rt::kTypeText);
    EXPECT_EQ(pos, 4);

    // Without a position the text starts at the first byte and nothing is written back.
    r = Invoke(kReadValueFromBytes, {Ptr(rt::kTypeBytes, bs), Int(10), Omitted()});
    EXPECT_EQ(TextOf(r), "ab");
    rt::MemFree(reinterpret_cast<void*>(r.lo));
    rt::MemFree(bs);
}

TEST_F(Commands, ReadEachFixedTypeLittleEndianWithItsTypeWord) {
    void* bs = Bytes({0x01, 0x82, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08});
    ArgRecord src = Ptr(rt::kTypeBytes, bs);
    struct Case { int32_t number; uint32_t type, lo, hi; };
    const Case cases[] = {
        {1, rt::kTypeByte, 0x01, 0},
        {2, rt::kTypeShort, 0x8201, 0},
        {3, rt::kTypeInt, 0x04038201, 0},
        {4, rt::kTypeLong, 0x04038201, 0x08070605},
        {5, rt::kTypeFloat, 0x04038201, 0},
        {6, rt::kTypeDouble, 0x04038201, 0x08070605},
        {7, rt::kTypeBool, 1, 0},
        {9, rt::kTypeSubprogram, 0x04038201, 0},
    };
    for (const Case& c : cases) {
        ArgRecord r = Invoke(kReadValueFromBytes, {src, Int(c.number), Omitted()});
        EXPECT_EQ(r.type, c.type) << "type number " << c.number;
        EXPECT_EQ(r.lo, c.lo) << "type number " << c.number;
        EXPECT_EQ(r.hi, c.hi) << "type number " << c.number;
    }
    rt::MemFree(bs);

    void* zeros = Bytes({0, 0, 0, 0});
    EXPECT_EQ(Invoke(kReadValueFromBytes, {Ptr(rt::kTypeBytes, zeros), Int(7), Omitted()}).lo, 0u);
    rt::MemFree(zeros);
}

TEST_F(Commands, ReadPadsShortTailsAndIgnoresPositionsOutside) {
    void* two = Bytes({0x34, 0x12});
    ArgRecord r = Invoke(kReadValueFromBytes, {Ptr(rt::kTypeBytes, two), Int(3), Omitted()});
    EXPECT_EQ(r.lo, 0x1234u);

    // An omitted position is told by its type word, not its value.
    r = Invoke(kReadValueFromBytes, {Ptr(rt::kTypeBytes, two), Int(1), rt::MakeArg(0, 2)});
    EXPECT_EQ(r.lo, 0x34u);
    // A position by value reads from there and writes nothing back.
    r = Invoke(kReadValueFromBytes, {Ptr(rt::kTypeBytes, two), Int(1), Int(2)});
    EXPECT_EQ(r.lo, 0x12u);
    rt::MemFree(two);

    void* six = Bytes({1, 2, 3, 4, 5, 6});
    ArgRecord src = Ptr(rt::kTypeBytes, six);
    int32_t pos = 5;
    r = Invoke(kReadValueFromBytes, {src, Int(4), Ptr(rt::kTypeInt | rt::kByRef, &pos)});
    EXPECT_EQ(r.lo, 0x0605u);
    EXPECT_EQ(r.hi, 0u);
    EXPECT_EQ(pos, -1);

    pos = 3;
    r = Invoke(kReadValueFromBytes, {src, Int(2), Ptr(rt::kTypeInt | rt::kByRef, &pos)});
    EXPECT_EQ(r.lo, 0x0403u);
    EXPECT_EQ(pos, 5);

    for (int32_t outside : {0, -7, 7, 100, INT32_MIN, INT32_MAX}) {
        r = Invoke(kReadValueFromBytes, {src, Int(3), Int(outside)});
        EXPECT_EQ(r.lo, 0u) << "position " << outside;
        r = Invoke(kReadValueFromBytes, {src, Int(10), Int(outside)});
        EXPECT_EQ(r.lo, 0u) << "text at position " << outside;
        EXPECT_EQ(r.type, rt::kTypeText);
    }

    pos = 9;
    Invoke(kReadValueFromBytes, {src, Int(1), Ptr(rt::kTypeInt | rt::kByRef, &pos)});
    EXPECT_EQ(pos, -1);
    // Below 1 nothing is read, yet the variable moves on from the first byte.
    pos = -5;
    r = Invoke(kReadValueFromBytes, {src, Int(3), Ptr(rt::kTypeInt | rt::kByRef, &pos)});
    EXPECT_EQ(r.lo, 0u);
    EXPECT_EQ(pos, 5);
    rt::MemFree(six);

    r = Invoke(kReadValueFromBytes, {Ptr(rt::kTypeBytes, kEmptyByteSet), Int(10), Omitted()});
    EXPECT_EQ(r.lo, 0u);
    EXPECT_EQ(r.type, 0x80000004u);
}

TEST_F(Commands, ReadDateTimeIsClamped) {
    struct Case { double stored, read; };
    const Case cases[] = {{1.0e9, 2958465.0}, {-1.0e9, -657434.0}, {45000.25, 45000.25}, {2958465.0, 2958465.0}};
    for (const Case& c : cases) {
        uint8_t raw[8];
        std::memcpy(raw, &c.stored, 8);
        void* bs = Bytes(std::vector<uint8_t>(raw, raw + 8));
        ArgRecord r = Invoke(kReadValueFromBytes, {Ptr(rt::kTypeBytes, bs), Int(8), Omitted()});
        EXPECT_EQ(r.type, rt::kTypeDateTime);
        EXPECT_EQ(AsDouble(r), c.read) << "stored " << c.stored;
        rt::MemFree(bs);
    }
}

TEST_CHILD(ReadWithBadType) {
    AttachTestRuntime();
    void* bs = Bytes({1, 2, 3, 4});
    Invoke(kReadValueFromBytes, {Ptr(rt::kTypeBytes, bs), Int(std::atoi(test::ChildArgs().at(0).c_str())), Omitted()});
    return 0;
}

TEST(CommandsChild, ReadWithBadTypeEndsTheProgram) {
    for (const char* type : {"11", "0"}) {
        test::ChildResult r = test::RunChild("ReadWithBadType", type);
        EXPECT_EQ(r.exitCode, 0xFFFFFFFFu) << "type " << type;
        ASSERT_EQ(r.boxes.size(), 1u) << "type " << type << "; output: " << r.output;
        EXPECT_EQ(r.boxes[0].title, "错误");
        EXPECT_NE(r.boxes[0].text.find("错误信息：“欲取出数据的类型”参数值无效"), std::string::npos) << r.boxes[0].text;
    }
}

// --- the library link ------------------------------------------------------------

TEST_CHILD(FailWithoutRuntime) {
    commands::gCoreLink.Detach();
    commands::gCoreLink.Fail("no runtime");
}

TEST(CommandsChild, FailWithoutARuntimeStillEndsTheProcess) {
    test::ChildResult r = test::RunChild("FailWithoutRuntime");
    EXPECT_EQ(r.exitCode, 0xFFFFFFFFu);
    EXPECT_TRUE(r.boxes.empty());
}

TEST_F(Commands, LinkMakesValuesThroughTheCallback) {
    const rt::LibraryLink& link = commands::gCoreLink;
    EXPECT_EQ(link.CopyText(nullptr), nullptr);
    EXPECT_EQ(link.CopyText(""), nullptr);
    EXPECT_EQ(link.CopyCountedText("abc", 0), nullptr);
    EXPECT_EQ(link.MakeByteSet("abc", 0), nullptr);

    char* t = link.CopyText("abc");
    ASSERT_NE(t, nullptr);
    EXPECT_STREQ(t, "abc");
    EXPECT_EQ(BlockSize(t), 4u);
    link.Free(t);

    char* c = link.CopyCountedText("a\0b", 3);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(std::memcmp(c, "a\0b\0", 4), 0);
    EXPECT_EQ(BlockSize(c), 4u);
    link.Free(c);

    void* bs = link.MakeByteSet("\x01\x00\x02\x03\x04", 5);
    ASSERT_NE(bs, nullptr);
    EXPECT_EQ(BlockSize(bs), 13u);
    EXPECT_EQ(rt::ByteSetCount(bs), 5);
    EXPECT_EQ(static_cast<rt::ByteSetHeader*>(bs)->dims, 1);
    EXPECT_EQ(std::memcmp(rt::ByteSetData(bs), "\x01\x00\x02\x03\x04", 5), 0);
    link.Free(bs);
}

// --- run directory, messages, notify ------------------------------------------------

TEST_F(Commands, GetRunDirectoryReturnsAFreshCopy) {
    char dir[] = "C:\\tools\\adb";
    gRunDir = dir;
    ArgRecord r = Invoke(kGetRunDirectory, {});
    EXPECT_EQ(TextOf(r), "C:\\tools\\adb");
    EXPECT_NE(reinterpret_cast<char*>(r.lo), dir);
    rt::MemFree(reinterpret_cast<void*>(r.lo));

    gRunDir = "";
    EXPECT_EQ(Invoke(kGetRunDirectory, {}).lo, 0u);
    gRunDir = nullptr;
    EXPECT_EQ(Invoke(kGetRunDirectory, {}).lo, 0u);
}

int gUserMessages = 0;

LRESULT CALLBACK CountingProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_USER) gUserMessages++;
    return DefWindowProcA(hwnd, msg, wp, lp);
}

TEST_F(Commands, WorkWithTheRealRuntimeCallback) {
    commands::CoreNotify(rt::kCbStart, reinterpret_cast<intptr_t>(rt::RuntimeCallbackEntry), 0);
    std::string saved = rt::gApp.runDirectory;
    rt::gApp.runDirectory = "C:\\bin";
    ArgRecord r = Invoke(kGetRunDirectory, {});
    EXPECT_EQ(TextOf(r), "C:\\bin");
    EXPECT_NE(reinterpret_cast<const char*>(r.lo), rt::gApp.runDirectory.c_str());
    rt::MemFree(reinterpret_cast<void*>(r.lo));
    rt::gApp.runDirectory.clear();
    EXPECT_EQ(Invoke(kGetRunDirectory, {}).lo, 0u);
    rt::gApp.runDirectory = saved;

    void* bs = reinterpret_cast<void*>(Invoke(kMakeBlankBytes, {Int(3)}).lo);
    ASSERT_NE(bs, nullptr);
    EXPECT_EQ(BlockSize(bs), 11u);
    rt::MemFree(bs);

    WNDCLASSA wc = {};
    wc.lpfnWndProc = CountingProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "CommandsTestCounter";
    RegisterClassA(&wc);
    HWND w = CreateWindowA(wc.lpszClassName, "", 0, 0, 0, 10, 10, nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(w, nullptr);
    gUserMessages = 0;
    PostMessageA(w, WM_USER, 0, 0);
    PostMessageA(w, WM_USER, 0, 0);
    Invoke(kProcessPendingMessages, {});
    EXPECT_EQ(gUserMessages, 2);
    MSG left;
    EXPECT_FALSE(PeekMessageA(&left, w, WM_USER, WM_USER, PM_NOREMOVE));

    // A quit that arrives while a command waits is left for the message loop.
    gUserMessages = 0;
    PostMessageA(w, WM_USER, 0, 0);
    PostQuitMessage(5);
    Invoke(kProcessPendingMessages, {});
    EXPECT_EQ(gUserMessages, 1);
    MSG quit;
    ASSERT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(quit.wParam, 5u);
    DestroyWindow(w);
}

// A window object whose pre-translation takes key-down messages only.
class KeyTaker : public forms::Wnd {
public:
    bool PreTranslateMessage(MSG* m) override { return m->message == WM_KEYDOWN; }
};

TEST(CoreNotify, AnswersItsCodesAndRefusesTheRest) {
    // Code 2 offers the message to the window object's pre-translation.
    KeyTaker taker;
    ASSERT_TRUE(taker.Create(0, "STATIC", "", 0, 0, 0, 1, 1, nullptr, nullptr));
    MSG m = {};
    m.hwnd = taker.hwnd;
    m.message = WM_KEYDOWN;
    EXPECT_EQ(commands::CoreNotify(rt::kCbPreTranslate, reinterpret_cast<intptr_t>(taker.Head()), reinterpret_cast<intptr_t>(&m)), 1);
    m.message = WM_KEYUP;
    EXPECT_EQ(commands::CoreNotify(rt::kCbPreTranslate, reinterpret_cast<intptr_t>(taker.Head()), reinterpret_cast<intptr_t>(&m)), 0);
    m.message = WM_KEYDOWN;
    int notAnObject = 0;
    EXPECT_EQ(commands::CoreNotify(rt::kCbPreTranslate, reinterpret_cast<intptr_t>(&notAnObject), reinterpret_cast<intptr_t>(&m)), 0);
    EXPECT_EQ(commands::CoreNotify(rt::kCbPreTranslate, 0, reinterpret_cast<intptr_t>(&m)), 0);
    EXPECT_EQ(commands::CoreNotify(rt::kCbPreTranslate, reinterpret_cast<intptr_t>(taker.Head()), 0), 0);
    DestroyWindow(taker.hwnd);
    for (int32_t code = 10; code <= 13; code++) EXPECT_EQ(commands::CoreNotify(code, 0, 0), 0) << code;
    for (int32_t code : {0, 3, 6, 9, 14, 2003}) EXPECT_EQ(commands::CoreNotify(code, 0, 0), -1) << code;

    // Code 1 is what connects the commands to a runtime.
    commands::gCoreLink.Detach();
    gRunDir = "D:";
    EXPECT_EQ(Invoke(kGetRunDirectory, {}).lo, 0u);
    AttachTestRuntime();
    ArgRecord r = Invoke(kGetRunDirectory, {});
    EXPECT_EQ(TextOf(r), "D:");
    rt::MemFree(reinterpret_cast<void*>(r.lo));
    gRunDir = nullptr;
}

// --- GetSystemKind --------------------------------------------------------------------

DWORD gFakePlatform = 0;
BOOL gFakeAnswer = TRUE;
DWORD gSeenSize = 0;

BOOL WINAPI FakeGetVersionExA(LPOSVERSIONINFOA info) {
    gSeenSize = info->dwOSVersionInfoSize;
    if (gFakeAnswer) info->dwPlatformId = gFakePlatform;
    return gFakeAnswer;
}

TEST_F(Commands, GetSystemKindMapsThePlatform) {
    EXPECT_EQ(Invoke(kGetSystemKind, {}).lo, 3u);  // Wine reports the NT family

    rt::gSys.GetVersionExA = FakeGetVersionExA;
    const uint32_t expected[] = {1, 2, 3, 0, 0};
    for (DWORD id = 0; id < 5; id++) {
        gFakePlatform = id;
        gSeenSize = 0;
        EXPECT_EQ(Invoke(kGetSystemKind, {}).lo, expected[id]) << "platform " << id;
        EXPECT_EQ(gSeenSize, 148u);
    }
    gFakeAnswer = FALSE;
    EXPECT_EQ(Invoke(kGetSystemKind, {}).lo, 0u);
    gFakeAnswer = TRUE;
}

// --- ShowMessageBox ----------------------------------------------------------------------

TEST_F(Commands, BoxTextOfNumbersAndLogicals) {
    struct Case { ArgRecord content; const char* text; };
    const Case cases[] = {
        {rt::MakeArg(rt::kTypeByte, 0xFFFFFF80), "128"},
        {rt::MakeArg(rt::kTypeShort, 0x0000FFFE), "-2"},
        {Int(-123456), "-123456"},
        {Wide(rt::kTypeLong, INT64_C(-9223372036854775807) - 1), "-9223372036854775808"},
        {Wide(rt::kTypeLong, INT64_C(1234567890123)), "1234567890123"},
        {Wide(rt::kTypeLong, INT64_C(0)), "0"},
        {Wide(rt::kTypeDouble, 0.1), "0.1"},
        {Wide(rt::kTypeDouble, 1.0 / 3.0), "0.3333333333333"},
        {Wide(rt::kTypeDouble, -2.5e20), "-2.5e+20"},
        {rt::MakeArg(rt::kTypeBool, 1), "真"},
        {rt::MakeArg(rt::kTypeBool, 0xFFFFFFFF), "真"},
        {rt::MakeArg(rt::kTypeBool, 0), "假"},
    };
    for (const Case& c : cases) EXPECT_EQ(BoxText(c.content), c.text) << "type " << std::hex << c.content.type;
}

TEST_F(Commands, BoxTextOfFloatsRoundsToSixDigitsHalfUp) {
    struct Case { float value; const char* text; };
    const Case cases[] = {
        {1.5f, "1.5"},
        {0.1f, "0.1"},
        {3.14159274f, "3.14159"},
        {-2.5f, "-2.5"},
        {123456789.0f, "1.23457e+08"},
        {-0.000123456789f, "-0.000123457"},
        {0.0f, "0"},
        {100000.5f, "100001"},
        {999999.5f, "1e+06"},
        // Exact ties round up here, where a plain "%.6g" would round to even.
        {1672.625f, "1672.63"},
        {-1672.625f, "-1672.63"},
        {10582.25f, "10582.3"},
        // 5.004375 / 1e4 picks up a rounding error below the tie and rounds down.
        {50043.75f, "50043.7"},
    };
    for (const Case& c : cases) EXPECT_EQ(BoxText(Wide(rt::kTypeFloat, c.value)), c.text) << c.value;
}

TEST_F(Commands, BoxTextOfDateTimes) {
    const double day = 45000.0;  // 15 March 2023
    struct Case { double value; const char* text; };
    const Case cases[] = {
        {day, "2023年3月15日"},
        {day + 0.5, "2023年3月15日12时"},
        {day + (12 * 3600 + 30 * 60) / 86400.0, "2023年3月15日12时30分"},
        {day + (12 * 3600 + 30 * 60 + 5) / 86400.0, "2023年3月15日12时30分5秒"},
        {day + 7 / 86400.0, "2023年3月15日0时0分7秒"},
        {day + 60 / 86400.0, "2023年3月15日0时1分"},
        // To the nearest second, half a second away from zero.
        {day + (3600 + 59.5) / 86400.0, "2023年3月15日1时1分"},
        {day + (3600 + 59.4) / 86400.0, "2023年3月15日1时0分59秒"},
        {day + 86399.6 / 86400.0, "2023年3月16日"},
        {0.0, "1899年12月30日"},
        {-1.25, "1899年12月29日6时"},
        {60.0, "1900年2月28日"},
        {61.0, "1900年3月1日"},
        {1.0e9, "9999年12月31日"},
        {-1.0e9, "100年1月1日"},
    };
    for (const Case& c : cases) EXPECT_EQ(BoxText(Wide(rt::kTypeDateTime, c.value)), c.text) << c.value;
}

TEST_F(Commands, BoxTextOfTextsAndOtherTypes) {
    const char text[] = "正则创建失败,请联系管理员";
    EXPECT_EQ(BoxText(Ptr(rt::kTypeText, text)), text);
    EXPECT_EQ(BoxText(Ptr(rt::kTypeText, nullptr)), "");
    void* bs = Bytes({'x', 'y'});
    EXPECT_EQ(BoxText(Ptr(rt::kTypeBytes, bs)), "");
    rt::MemFree(bs);
    EXPECT_EQ(BoxText(rt::MakeArg(rt::kTypeSubprogram, 0x401000)), "");
    EXPECT_EQ(BoxText(rt::MakeArg(rt::kTypeWindow, kLoadedWindow)), "");
}

TEST_F(Commands, BoxStyleTitleAndOwner) {
    const char msg[] = "hello";
    ArgRecord content = Ptr(rt::kTypeText, msg);
    const char caption[] = "标题";

    Invoke(kShowMessageBox, {content, Int(0), Omitted(), Omitted()});
    Invoke(kShowMessageBox, {content, Int(MB_SYSTEMMODAL | MB_YESNO), Ptr(rt::kTypeText, caption), Omitted()});
    Invoke(kShowMessageBox, {content, Int(MB_ICONERROR | MB_OKCANCEL), rt::MakeArg(0, Word(caption)), Omitted()});
    const auto& boxes = test::CapturedBoxes();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].style, static_cast<UINT>(MB_TASKMODAL));
    EXPECT_EQ(boxes[0].title, "信息：");
    EXPECT_EQ(boxes[0].text, "hello");
    EXPECT_EQ(boxes[0].owner, nullptr);
    EXPECT_EQ(boxes[1].style, static_cast<UINT>(MB_SYSTEMMODAL | MB_YESNO));
    EXPECT_EQ(boxes[1].title, "标题");
    EXPECT_EQ(boxes[2].style, static_cast<UINT>(MB_TASKMODAL | MB_ICONERROR | MB_OKCANCEL));
    EXPECT_EQ(boxes[2].title, "信息：");

    HWND live = CreateWindowA("STATIC", "", 0, 0, 0, 10, 10, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(live, nullptr) << GetLastError();
    gWindowObject.hwnd = live;
    struct Case { std::vector<ArgRecord> args; HWND owner; const char* what; };
    const Case cases[] = {
        {{content, Int(0), Omitted(), Int(0x1234)}, reinterpret_cast<HWND>(0x1234), "integer handle"},
        {{content, Int(0), Omitted(), rt::MakeArg(rt::kTypeWindow, kLoadedWindow)}, live, "loaded window"},
        {{content, Int(0), Omitted(), rt::MakeArg(rt::kTypeWindow, 0x52010002)}, nullptr, "window not loaded"},
        {{content, Int(0), Omitted(), rt::MakeArg(rt::kTypeEditBox, kLoadedWindow)}, nullptr, "unit value"},
        {{content, Int(0), Omitted(), rt::MakeArg(rt::kTypeInt | rt::kByRef, 0x1234)}, nullptr, "by reference"},
    };
    for (const Case& c : cases) {
        test::ClearCapturedBoxes();
        ArgRecord result{0, 0, 0};
        std::vector<ArgRecord> args = c.args;
        commands::ShowMessageBox(&result, static_cast<int32_t>(args.size()), args.data());
        ASSERT_EQ(test::CapturedBoxes().size(), 1u) << c.what;
        EXPECT_EQ(test::CapturedBoxes()[0].owner, c.owner) << c.what;
    }

    // With three arguments a fourth record, even if present, is not looked at.
    std::vector<ArgRecord> four = {content, Int(0), Ptr(rt::kTypeText, caption), Int(0x1234)};
    ArgRecord ignored{0, 0, 0};
    test::ClearCapturedBoxes();
    commands::ShowMessageBox(&ignored, 3, four.data());
    ASSERT_EQ(test::CapturedBoxes().size(), 1u);
    EXPECT_EQ(test::CapturedBoxes()[0].owner, nullptr);

    // A window whose system window is gone gives no owner.
    DestroyWindow(live);
    test::ClearCapturedBoxes();
    Invoke(kShowMessageBox, {content, Int(0), Omitted(), rt::MakeArg(rt::kTypeWindow, kLoadedWindow)});
    ASSERT_EQ(test::CapturedBoxes().size(), 1u);
    EXPECT_EQ(test::CapturedBoxes()[0].owner, nullptr);
    gWindowObject.hwnd = nullptr;
}

TEST_F(Commands, BoxResultIsTheButtonMinusOne) {
    const char msg[] = "?";
    struct Case { int answer; uint32_t result; };
    const Case cases[] = {{IDOK, 0}, {IDCANCEL, 1}, {IDABORT, 2}, {IDRETRY, 3}, {IDIGNORE, 4},
                          {IDYES, 5}, {IDNO, 6}, {0, 0}, {IDNO + 1, 0}, {-1, 0}};
    for (const Case& c : cases) {
        test::CaptureBoxes(c.answer);
        EXPECT_EQ(Invoke(kShowMessageBox, {Ptr(rt::kTypeText, msg), Int(MB_YESNO), Omitted(), Omitted()}).lo, c.result)
            << "answer " << c.answer;
    }
}

} // namespace
