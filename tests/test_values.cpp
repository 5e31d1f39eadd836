// Values and memory: the allocator's constant rules, arrays, copies, and the
// service table's small routines.
#include <gtest/gtest.h>
#include <windows.h>
#include <psapi.h>
#include <algorithm>
#include <cfenv>
#include <string>
#include <cstring>
#include <vector>
#include "app/support.h"
#include "data/constants.h"
#include "runtime/app.h"
#include "runtime/services.h"
#include "runtime/syscalls.h"
#include "runtime/wineheap.h"
#include "support/child.h"

namespace {

using rt::kServices;

// Counts the heap's frees so that release paths can be checked.
int gFrees = 0;
BOOL WINAPI CountingFree(HANDLE heap, DWORD flags, LPVOID p) {
    gFrees++;
    return ::HeapFree(heap, flags, p);
}

class Values : public ::testing::Test {
protected:
    void SetUp() override {
        rt::MemInit(GetProcessHeap());
        rt::MemSetConstantBlock(&data::kConstants, sizeof data::kConstants);
        gFrees = 0;
        rt::gSys.HeapFree = CountingFree;
    }
    void TearDown() override {
        rt::ResetSyscalls();
        rt::MemForgetConstantBlock();
    }
};

TEST_F(Values, ConstantsAreNeverFreedAndAreCopiedBeforeGrowing) {
    const char* empty = data::kConstants.emptyText;
    kServices.free(const_cast<char*>(empty));
    kServices.free(const_cast<char*>(data::kConstants.cmdListDevices + 3));
    kServices.free(nullptr);
    EXPECT_EQ(gFrees, 0);
    EXPECT_STREQ(empty, "");

    // Growing a constant gives a heap copy holding its first bytes.
    const char* c = data::kConstants.cmdListDevices;
    char* grown = static_cast<char*>(kServices.realloc(const_cast<char*>(c), 3));
    EXPECT_NE(grown, c);
    EXPECT_EQ(std::memcmp(grown, "\\ad", 3), 0);
    EXPECT_STREQ(c, "\\adb_1.0.40\\adb devices");
    EXPECT_EQ(HeapSize(GetProcessHeap(), 0, grown), 3u);
    kServices.free(grown);
    EXPECT_EQ(gFrees, 1);

    // Near the end of the block only what is left of it is copied.
    const char* last = reinterpret_cast<const char*>(&data::kConstants) + sizeof data::kConstants - 2;
    char* tail = static_cast<char*>(kServices.realloc(const_cast<char*>(last), 10));
    EXPECT_EQ(std::memcmp(tail, last, 2), 0);
    kServices.free(tail);

    // Null reallocates as a fresh block; a heap block keeps its contents.
    char* p = static_cast<char*>(kServices.realloc(nullptr, 4));
    std::memcpy(p, "abcd", 4);
    p = static_cast<char*>(kServices.realloc(p, 4000));
    EXPECT_EQ(std::memcmp(p, "abcd", 4), 0);
    kServices.free(p);
}

TEST_F(Values, CopiesOfEmptyValuesAreNull) {
    EXPECT_EQ(rt::DupText(""), nullptr);
    EXPECT_EQ(rt::DupText(nullptr), nullptr);
    EXPECT_EQ(rt::DupCountedText("abc", 0), nullptr);
    EXPECT_EQ(rt::DupCountedText("abc", -1), nullptr);
    EXPECT_EQ(rt::DupByteSet("abc", 0), nullptr);

    char* t = rt::DupCountedText("a\0b", 3);   // zero bytes are copied as they are
    EXPECT_EQ(std::memcmp(t, "a\0b\0", 4), 0);
    EXPECT_EQ(HeapSize(GetProcessHeap(), 0, t), 4u);
    rt::MemFree(t);

    void* bs = rt::DupByteSet("12345", 5);
    EXPECT_EQ(HeapSize(GetProcessHeap(), 0, bs), 13u);
    EXPECT_EQ(static_cast<int32_t*>(bs)[0], 1);
    EXPECT_EQ(rt::ByteSetCount(bs), 5);
    EXPECT_EQ(std::memcmp(rt::ByteSetData(bs), "12345", 5), 0);
    rt::MemFree(bs);
}

TEST_F(Values, ArraysReleaseTheirElementsFirst) {
    // 2 x 3 texts, two of them null.
    uint32_t* a = static_cast<uint32_t*>(rt::MemAlloc(4 * (1 + 2 + 6)));
    a[0] = 2;
    a[1] = 2;
    a[2] = 3;
    for (int i = 0; i < 6; i++)
        a[3 + i] = (i == 1 || i == 4) ? 0 : reinterpret_cast<uint32_t>(rt::DupText("x"));
    rt::RuntimeCallbackEntry(rt::kCbFreeArray, rt::kTypeText | rt::kByRef, reinterpret_cast<intptr_t>(a));
    EXPECT_EQ(gFrees, 5);   // four texts and the array

    gFrees = 0;
    uint32_t* ints = static_cast<uint32_t*>(rt::MemAlloc(4 * 3));
    ints[0] = 1;
    ints[1] = 1;
    ints[2] = 0x12345678;   // would be a wild pointer if taken for a text
    rt::FreeArray(rt::kTypeInt, ints);
    EXPECT_EQ(gFrees, 1);

    gFrees = 0;
    rt::FreeArray(rt::kTypeText, nullptr);
    EXPECT_EQ(gFrees, 0);
}

TEST_F(Values, TypeClasses) {
    EXPECT_EQ(rt::ClassOf(0), rt::TypeClass::None);
    EXPECT_EQ(rt::ClassOf(rt::kTypeText), rt::TypeClass::Basic);
    EXPECT_EQ(rt::ClassOf(rt::kTypeRegex), rt::TypeClass::Library);
    EXPECT_TRUE(rt::IsNumericType(rt::kTypeDouble));
    EXPECT_TRUE(rt::IsNumericType(rt::kTypeByte | rt::kByRef));
    EXPECT_FALSE(rt::IsNumericType(rt::kTypeBool));
    EXPECT_FALSE(rt::IsNumericType(rt::kTypeDateTime));
    EXPECT_FALSE(rt::IsNumericType(0x00010001));
    rt::ArgRecord omitted = {0, 0, 0};
    EXPECT_TRUE(rt::IsOmitted(omitted));
}

TEST_F(Values, ConcatenationAlwaysMakesANewBlock) {
    const char* c = data::kConstants.cmdListDevices;
    char* s = app::Concat(2, nullptr, c);
    EXPECT_NE(s, c);
    EXPECT_STREQ(s, c);
    kServices.free(s);

    char* e = app::Concat(3, nullptr, "", nullptr);
    ASSERT_NE(e, nullptr);
    EXPECT_STREQ(e, "");
    EXPECT_EQ(HeapSize(GetProcessHeap(), 0, e), 1u);
    kServices.free(e);

    char* z = app::Concat(0);
    ASSERT_NE(z, nullptr);
    EXPECT_STREQ(z, "");
    kServices.free(z);

    char* gbk = app::Concat(3, "C:\\\xCE\xC4\xBC\xFE", "\\adb", " x");
    EXPECT_STREQ(gbk, "C:\\\xCE\xC4\xBC\xFE\\adb x");
    kServices.free(gbk);

    EXPECT_EQ(app::TextLength(nullptr), 0u);
    EXPECT_EQ(app::TextLength(""), 0u);
    EXPECT_EQ(app::TextLength("\xB0\xA1z"), 3u);
}

TEST_F(Values, DecimalToIntegerTruncatesWhateverTheRoundingMode) {
    const int modes[] = {FE_TONEAREST, FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO};
    for (int mode : modes) {
        std::fesetround(mode);
        EXPECT_EQ(app::DecimalToInteger(2.9), 2) << mode;
        EXPECT_EQ(app::DecimalToInteger(-2.9), -2) << mode;
        EXPECT_EQ(app::DecimalToInteger(0.5), 0) << mode;
        EXPECT_EQ(app::DecimalToInteger(-6.0), -6) << mode;
        EXPECT_EQ(app::DecimalToInteger(4294967296.75), 4294967296LL) << mode;
    }
    std::fesetround(FE_TONEAREST);
}

TEST_F(Values, CommandCallsGetAZeroedResultRecord) {
    rt::CommandFn check = [](rt::ArgRecord* result, int32_t count, rt::ArgRecord* args) {
        // The record must arrive zeroed whatever was on the stack before.
        if (result->lo || result->hi || result->type) return;
        result->lo = static_cast<uint32_t>(count);
        result->hi = args[1].lo;
        result->type = rt::kTypeInt;
    };
    rt::ArgRecord args[2] = {{1, 0, rt::kTypeInt}, {42, 0, rt::kTypeInt}};
    for (auto call : {kServices.callLibraryCommand, kServices.callCoreCommand}) {
        volatile char dirt[64];
        std::memset(const_cast<char*>(dirt), 0x5A, sizeof dirt);
        rt::ArgRecord r = call(check, 2, args);
        EXPECT_EQ(r.lo, 2u);
        EXPECT_EQ(r.hi, 42u);
        EXPECT_EQ(r.type, rt::kTypeInt);
    }
}

TEST_F(Values, ConstantArraysAreCopiedBeforeWriting) {
    static const struct {
        int32_t dims, size0, size1;
        int32_t elems[6];
    } kArray = {2, 2, 3, {1, 2, 3, 4, 5, 6}};
    rt::MemSetConstantBlock(&kArray, sizeof kArray);
    void* var = const_cast<void*>(static_cast<const void*>(&kArray));
    kServices.auxiliary(rt::kAuxMakeArrayWritable, 4u, &var);
    ASSERT_NE(var, &kArray);
    EXPECT_EQ(HeapSize(GetProcessHeap(), 0, var), sizeof kArray);
    EXPECT_EQ(std::memcmp(var, &kArray, sizeof kArray), 0);
    void* again = var;
    kServices.auxiliary(rt::kAuxMakeArrayWritable, 4u, &var);   // already writable
    EXPECT_EQ(var, again);
    kServices.free(var);
}

TEST_F(Values, FileSearchServices) {
    std::string dir = test::ExeDir() + "\\search-test";
    CreateDirectoryA(dir.c_str(), nullptr);
    CreateDirectoryA((dir + "\\sub").c_str(), nullptr);
    for (const char* name : {"\\a.txt", "\\b.txt", "\\c.log"}) {
        HANDLE h = CreateFileA((dir + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        CloseHandle(h);
    }
    HANDLE search = nullptr;
    std::vector<std::string> found;
    std::string pattern = dir + "\\*";
    char* name = reinterpret_cast<char*>(
        static_cast<intptr_t>(kServices.auxiliary(rt::kAuxFindFile, pattern.c_str(), 0u, 0, &search)));
    while (name) {
        found.push_back(name);
        kServices.free(name);
        name = reinterpret_cast<char*>(static_cast<intptr_t>(kServices.auxiliary(rt::kAuxFindFile, "", 0u, 0, &search)));
    }
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<std::string>{"a.txt", "b.txt", "c.log"}));   // no directory without the filter
    EXPECT_EQ(search, nullptr);   // closed and cleared at the end

    found.clear();
    name = reinterpret_cast<char*>(static_cast<intptr_t>(
        kServices.auxiliary(rt::kAuxFindFile, pattern.c_str(), static_cast<uint32_t>(FILE_ATTRIBUTE_DIRECTORY), 0, &search)));
    while (name) {
        found.push_back(name);
        kServices.free(name);
        name = reinterpret_cast<char*>(static_cast<intptr_t>(
            kServices.auxiliary(rt::kAuxFindFile, nullptr, static_cast<uint32_t>(FILE_ATTRIBUTE_DIRECTORY), 0, &search)));
    }
    EXPECT_EQ(found.size(), 4u);   // the folder too, never "." or ".."

    name = reinterpret_cast<char*>(static_cast<intptr_t>(
        kServices.auxiliary(rt::kAuxFindFile, (dir + "\\*.log").c_str(), 0u, 0, &search)));
    ASSERT_NE(name, nullptr);
    EXPECT_STREQ(name, "c.log");
    kServices.free(name);
    kServices.auxiliary(rt::kAuxCloseFind, search);
    kServices.auxiliary(rt::kAuxCloseFind, static_cast<HANDLE>(nullptr));

    search = nullptr;
    EXPECT_EQ(kServices.auxiliary(rt::kAuxFindFile, (dir + "\\*.none").c_str(), 0u, 0, &search), 0);
    EXPECT_EQ(search, nullptr);
}

size_t PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX m = {};
    m.cb = sizeof m;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&m), sizeof m);
    return m.PrivateUsage ? m.PrivateUsage : m.PagefileUsage;
}

// Blocks of the process heap, filled with a pattern of their own.
std::vector<uint32_t*> FillHeap(size_t count, size_t words) {
    std::vector<uint32_t*> blocks(count);
    for (size_t i = 0; i < count; ++i) {
        blocks[i] = static_cast<uint32_t*>(HeapAlloc(GetProcessHeap(), 0, words * 4));
        if (blocks[i])
            for (size_t w = 0; w < words; ++w) blocks[i][w] = static_cast<uint32_t>(i * 7919 + w);
    }
    return blocks;
}

// 64 MB freed in small blocks: where the heap keeps the pages (Wine), the
// memory goes back to the system and the heap goes on working over them.
TEST(Allocator, FreeHeapPagesGoBackToTheSystem) {
    const bool wine = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
    const size_t kCount = 64 * 1024, kWords = 256;   // 1 KB each
    std::vector<uint32_t*> blocks = FillHeap(kCount, kWords);
    ASSERT_TRUE(std::all_of(blocks.begin(), blocks.end(), [](uint32_t* b) { return b != nullptr; }));
    // A block kept here and there, as a program's own allocations would.
    for (size_t i = 0; i < kCount; ++i)
        if (i % 4096) HeapFree(GetProcessHeap(), 0, blocks[i]);
    const size_t before = PrivateBytes();
    const size_t returned = rt::MemReturnFreePages();
    const size_t after = PrivateBytes();
    if (!wine) {
        EXPECT_EQ(returned, 0u);
    } else {
        EXPECT_GT(returned, 40u << 20);
        EXPECT_LT(after + (32u << 20), before) << "before " << before << ", after " << after;
    }
    // What was kept is intact, and new blocks over the returned pages work.
    for (size_t i = 0; i < kCount; i += 4096)
        for (size_t w = 0; w < kWords; ++w) ASSERT_EQ(blocks[i][w], static_cast<uint32_t>(i * 7919 + w));
    std::vector<uint32_t*> again = FillHeap(kCount, kWords);
    for (size_t i = 0; i < kCount; ++i) {
        ASSERT_NE(again[i], nullptr);
        ASSERT_EQ(again[i][kWords - 1], static_cast<uint32_t>(i * 7919 + kWords - 1));
    }
    EXPECT_TRUE(HeapValidate(GetProcessHeap(), 0, nullptr));
    for (uint32_t* b : again) HeapFree(GetProcessHeap(), 0, b);
    for (size_t i = 0; i < kCount; i += 4096) HeapFree(GetProcessHeap(), 0, blocks[i]);
}

TEST(ProgramData, TextsAreGbkBytes) {
    // 正则创建失败,请联系管理员
    EXPECT_STREQ(data::kConstants.regexFailed,
                 "\xD5\xFD\xD4\xF2\xB4\xB4\xBD\xA8\xCA\xA7\xB0\xDC,\xC7\xEB\xC1\xAA\xCF\xB5\xB9\xDC\xC0\xED\xD4\xB1");
    EXPECT_STREQ(data::kConstants.cmdDelete, "\\adb_1.0.40\\adb shell pm uninstall -k --user 0 ");
    EXPECT_STREQ(data::kConstants.cmdForeground, "\\adb_1.0.40\\adb shell dumpsys window | findstr mCurrentFocus");
    EXPECT_EQ(data::kConstants.emptyBytes[0], 1);
    EXPECT_EQ(data::kConstants.emptyBytes[1], 0);
    EXPECT_STREQ(data::kConstants.emptyText, "");
}

} // namespace
