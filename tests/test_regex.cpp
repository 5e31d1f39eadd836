// The regex library driven through its method table the way the compiled
// program calls it: typed argument records, object blocks from the runtime
// allocator, a by-reference start variable, and a counting runtime callback.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <optional>
#include <map>
#include <string>
#include <vector>
#include "data/constants.h"
#include "regex/regex.h"
#include "runtime/library.h"
#include "runtime/values.h"

namespace {

using rt::ArgRecord;
using rx::RegexBlock;
using rx::SearchResultBlock;
using rx::SubMatch;

// --- a runtime callback that serves memory and counts it -----------------

std::map<void*, uint32_t> gLive;  // block -> requested size
int gAllocations = 0;
int gPlainAllocations = 0;

intptr_t TestCallback(int32_t code, intptr_t v1, intptr_t v2) {
    switch (code) {
    case rt::kCbAlloc: {
        void* p = v2 ? rt::MemAllocPlain(static_cast<uint32_t>(v1)) : rt::MemAlloc(static_cast<uint32_t>(v1));
        gAllocations++;
        if (v2) gPlainAllocations++;
        if (p) gLive[p] = static_cast<uint32_t>(v1);
        return reinterpret_cast<intptr_t>(p);
    }
    case rt::kCbFree:
        if (v1) {
            EXPECT_EQ(1u, gLive.erase(reinterpret_cast<void*>(v1))) << "freeing a block the callback never gave out";
        }
        rt::MemFree(reinterpret_cast<void*>(v1));
        return 0;
    default:
        return 0;
    }
}

// What the program's code does with the runtime allocator, through the same
// counting path.
void* ProgramAlloc(uint32_t n) { return reinterpret_cast<void*>(TestCallback(rt::kCbAlloc, n, 0)); }
void ProgramFree(void* p) { TestCallback(rt::kCbFree, reinterpret_cast<intptr_t>(p), 0); }

uint32_t Addr(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

ArgRecord Text(const char* s) { return rt::MakeArg(rt::kTypeText, Addr(s)); }
ArgRecord Int(int32_t v) { return rt::MakeArg(rt::kTypeInt, static_cast<uint32_t>(v)); }
ArgRecord Bool(bool v) { return rt::MakeArg(rt::kTypeBool, v ? 1u : 0u); }
ArgRecord IntRef(int32_t* var) { return rt::MakeArg(rt::kTypeInt | rt::kByRef, Addr(var)); }
ArgRecord Omitted() { return ArgRecord{0, 0, 0}; }

ArgRecord Call(int method, std::vector<ArgRecord> args) {
    ArgRecord result{0, 0, 0};  // the call service clears it
    rx::kRegexMethods[method](&result, static_cast<int32_t>(args.size()), args.data());
    return result;
}

ArgRecord Object(RegexBlock* b) { return rt::MakeArg(rt::kTypeRegex, Addr(b)); }
ArgRecord Object(SearchResultBlock* b) { return rt::MakeArg(rt::kTypeSearchResult, Addr(b)); }

RegexBlock* NewRegex() {
    auto* b = static_cast<RegexBlock*>(ProgramAlloc(sizeof(RegexBlock)));
    std::memset(b, 0, sizeof *b);
    Call(rx::kMethodConstructRegex, {Object(b)});
    return b;
}

void DeleteRegex(RegexBlock* b) {
    Call(rx::kMethodDestroyRegex, {Object(b)});
    ProgramFree(b);
}

SearchResultBlock* NewResult() {
    auto* b = static_cast<SearchResultBlock*>(ProgramAlloc(sizeof(SearchResultBlock)));
    std::memset(b, 0, sizeof *b);
    Call(rx::kMethodConstructSearchResult, {Object(b)});
    return b;
}

void DeleteResult(SearchResultBlock* b) {
    if (!b) return;
    Call(rx::kMethodDestroySearchResult, {Object(b)});
    ProgramFree(b);
}

// Create with case-sensitive left out.
int32_t Create(RegexBlock* re, const char* pattern) {
    return static_cast<int32_t>(Call(rx::kMethodCreate, {Object(re), Text(pattern), Omitted()}).lo);
}

int32_t Create(RegexBlock* re, const char* pattern, bool caseSensitive) {
    return static_cast<int32_t>(Call(rx::kMethodCreate, {Object(re), Text(pattern), Bool(caseSensitive)}).lo);
}

SearchResultBlock* SearchRecord(RegexBlock* re, const char* text, ArgRecord start, ArgRecord length) {
    ArgRecord r = Call(rx::kMethodSearch, {Object(re), Text(text), start, length});
    return reinterpret_cast<SearchResultBlock*>(static_cast<uintptr_t>(r.lo));
}

std::vector<SubMatch> Records(const SearchResultBlock* b) {
    if (!b || !b->list) return {};
    return *b->list;
}

// The text GetSubMatchText returns, nullopt for null; the block is released.
std::optional<std::string> SubText(SearchResultBlock* res, const char* text, int32_t index, int32_t* startVar) {
    ArgRecord r = Call(rx::kMethodGetSubMatchText, {Object(res), Text(text), Int(index), startVar ? IntRef(startVar) : Omitted()});
    char* s = reinterpret_cast<char*>(static_cast<uintptr_t>(r.lo));
    if (!s) return std::nullopt;
    std::string out(s);
    EXPECT_EQ(out.size() + 1, gLive.count(s) ? gLive[s] : 0u) << "a text block is exactly its bytes and the zero byte";
    ProgramFree(s);
    return out;
}

class RegexTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(0, rx::RegexNotify(rt::kCbStart, reinterpret_cast<intptr_t>(TestCallback), 0));
        re = NewRegex();
    }
    void TearDown() override {
        for (SearchResultBlock* b : results) DeleteResult(b);
        DeleteRegex(re);
        EXPECT_TRUE(gLive.empty()) << gLive.size() << " runtime blocks still allocated";
        EXPECT_EQ(0, gPlainAllocations) << "every library allocation should go through the reporting mode";
    }

    // Search as the program does; the fixture releases every result.
    SearchResultBlock* Search(const char* text, int32_t start) { return Keep(SearchRecord(re, text, Int(start), Omitted())); }
    SearchResultBlock* Search(const char* text, int32_t start, int32_t length) {
        return Keep(SearchRecord(re, text, Int(start), Int(length)));
    }
    SearchResultBlock* Keep(SearchResultBlock* b) {
        EXPECT_NE(nullptr, b) << "Search must return a block in every case";
        if (b) results.push_back(b);
        return b;
    }
    // Offset of the whole match, or -1 when the list is empty.
    int32_t MatchAt(const char* pattern, const char* text, int32_t start, int32_t length = INT_MIN) {
        EXPECT_EQ(1, Create(re, pattern)) << pattern;
        SearchResultBlock* b = length == INT_MIN ? Search(text, start) : Search(text, start, length);
        std::vector<SubMatch> recs = Records(b);
        return recs.empty() ? -1 : recs[0].offset;
    }

    RegexBlock* re = nullptr;
    std::vector<SearchResultBlock*> results;
};

TEST(RegexLibrary, RegistrationAndTypeTable) {
    EXPECT_EQ(0, rx::RegexNotify(rt::kCbStart, reinterpret_cast<intptr_t>(TestCallback), 0));
    for (int32_t code : {0, 2, 6, 10, 2024, -1})
        EXPECT_EQ(-1, rx::RegexNotify(code, 0, 0)) << "code " << code;

    const unsigned char regexName[] = {0xD5, 0xFD, 0xD4, 0xF2, 0xB1, 0xED, 0xB4, 0xEF, 0xCA, 0xBD, 0};
    const unsigned char resultName[] = {0xCB, 0xD1, 0xCB, 0xF7, 0xBD, 0xE1, 0xB9, 0xFB, 0};
    EXPECT_STREQ(reinterpret_cast<const char*>(regexName), rx::kRegexTypes[0].name);
    EXPECT_STREQ("regex", rx::kRegexTypes[0].englishName);
    EXPECT_STREQ(reinterpret_cast<const char*>(resultName), rx::kRegexTypes[1].name);
    EXPECT_STREQ("SearchResult", rx::kRegexTypes[1].englishName);
    for (const rt::UnitTypeRecord& t : rx::kRegexTypes) {
        EXPECT_EQ(0u, t.flags);
        EXPECT_EQ(0, t.propertyCount);
        EXPECT_EQ(0, t.eventCount);
    }
    for (rt::CommandFn fn : rx::kRegexMethods) EXPECT_NE(nullptr, fn);
}

TEST_F(RegexTest, ConstructionAndDestructionLayout) {
    EXPECT_NE(nullptr, re->engine);
    EXPECT_EQ(1u, re->multiLine);
    SearchResultBlock* res = NewResult();
    ASSERT_NE(nullptr, res->list);
    EXPECT_TRUE(res->list->empty());

    Call(rx::kMethodDestroySearchResult, {Object(res)});
    EXPECT_EQ(nullptr, res->list);
    Call(rx::kMethodDestroySearchResult, {Object(res)});  // a second destroy finds nothing to free
    ProgramFree(res);

    RegexBlock* other = NewRegex();
    Call(rx::kMethodDestroyRegex, {Object(other)});
    EXPECT_EQ(nullptr, other->engine);
    ProgramFree(other);
}

TEST_F(RegexTest, PackageNameFromFocusLine) {
    const char* line = "mCurrentFocus=Window{1f u0 a.b.c/a.b.c.Main}";
    ASSERT_EQ(1, Create(re, "u0 (.+)/", false));
    SearchResultBlock* res = Search(line, 1);
    std::vector<SubMatch> recs = Records(res);
    ASSERT_EQ(2u, recs.size());
    EXPECT_EQ(24, recs[0].offset);
    EXPECT_EQ(9, recs[0].length);
    EXPECT_EQ(27, recs[1].offset);
    EXPECT_EQ(5, recs[1].length);

    int32_t start = -99;
    EXPECT_EQ(std::optional<std::string>("a.b.c"), SubText(res, line, 1, &start));
    EXPECT_EQ(27, start);
    EXPECT_EQ(std::optional<std::string>("u0 a.b.c/"), SubText(res, line, 0, &start));
    EXPECT_EQ(24, start);
    // The device tool passes no start variable.
    EXPECT_EQ(std::optional<std::string>("a.b.c"), SubText(res, line, 1, nullptr));
}

// What `findstr mCurrentFocus` passes on from real phones, and the package
// the foreground lookup takes from it (none: the edit box is emptied).
TEST_F(RegexTest, ForegroundPatternTakesOnlyAPackageOfUserZero) {
    struct Case {
        const char* output;
        const char* package;
    } cases[] = {
        // Android 5 and older: one focus line, two blanks of indent, PTY line ends.
        {"  mCurrentFocus=Window{2b7f8a0 u0 com.android.settings/com.android.settings.Settings}\r\r\n",
         "com.android.settings"},
        // Android 10 and later: one line per display; secondary displays often have none.
        {"    mCurrentFocus=Window{4ddb5f1 u0 com.android.launcher3/com.android.launcher3.uioverrides.QuickstepLauncher}\r\n"
         "    mCurrentFocus=null\r\n",
         "com.android.launcher3"},
        {"    mCurrentFocus=null\r\n    mCurrentFocus=Window{a1 u0 com.example.cast/.Presentation}\r\n",
         "com.example.cast"},
        {"  mCurrentFocus=null\r\n", nullptr},
        // Windows that belong to no application.
        {"  mCurrentFocus=Window{f96644 u0 NotificationShade}\r\n", nullptr},
        {"  mCurrentFocus=Window{5e3 u0 StatusBar}\r\n", nullptr},
        {"  mCurrentFocus=Window{5e3 u0 NavigationBar0}\r\n", nullptr},
        {"  mCurrentFocus=Window{77 u0 InputMethod}\r\n", nullptr},
        {"  mCurrentFocus=Window{9c u0 PopupWindow:1a2b3c}\r\n", nullptr},
        {"  mCurrentFocus=Window{d0 u0 Application Error: com.example.app}\r\n", nullptr},
        {"  mCurrentFocus=Window{d0 u0 Application Not Responding: com.example.app}\r\n", nullptr},
        // An untitled dialog shows the package alone; a leaving window says so after a blank.
        {"  mCurrentFocus=Window{3f u0 com.example.app}\r\n", "com.example.app"},
        {"  mCurrentFocus=Window{3f u0 com.example.app/com.example.app.Main EXITING}\r\n", "com.example.app"},
        {"  mCurrentFocus=Window{3f u0 com.example.app EXITING}\r\n", "com.example.app"},
        {"  mCurrentFocus=Window{42 u0 com.example.app_2/.ui.Main2}\r\n", "com.example.app_2"},
        // A work profile's window is not user 0's.
        {"  mCurrentFocus=Window{5a u10 com.example.work/com.example.work.Main}\r\n", nullptr},
        {"  mCurrentFocus=Window{5a u10 com.example.work/.Main}\r\n  mCurrentFocus=null\r\n", nullptr},
        // adb's own messages.
        {"adb.exe: no devices/emulators found\r\n", nullptr},
        {"error: device unauthorized.\r\n", nullptr},
    };
    ASSERT_EQ(1, Create(re, data::kConstants.foregroundPattern, false));
    for (const Case& c : cases) {
        std::optional<std::string> got = SubText(Search(c.output, 1), c.output, 1, nullptr);
        if (c.package)
            EXPECT_EQ(std::optional<std::string>(c.package), got) << c.output;
        else
            EXPECT_EQ(std::nullopt, got) << c.output;
    }
}

TEST_F(RegexTest, RefusedPatternKeepsWhatTheObjectHeld) {
    EXPECT_EQ(0, Create(re, "u0 ("));
    SearchResultBlock* res = Search("u0 (x/", 1);
    ASSERT_NE(nullptr, res);
    EXPECT_TRUE(Records(res).empty()) << "a fresh object with a refused pattern must not match";

    ASSERT_EQ(1, Create(re, "a"));
    EXPECT_EQ(0, Create(re, "("));
    EXPECT_EQ(0, Create(re, "[z-a]"));
    res = Search("xa", 1);
    std::vector<SubMatch> recs = Records(res);
    ASSERT_EQ(1u, recs.size());
    EXPECT_EQ(1, recs[0].offset);

    // A later good pattern replaces the old one.
    ASSERT_EQ(1, Create(re, "x"));
    recs = Records(Search("ax", 1));
    ASSERT_EQ(1u, recs.size());
    EXPECT_EQ(1, recs[0].offset);
}

TEST_F(RegexTest, GreedyGroupRunsToTheLastSlashAcrossLines) {
    const char* oneLine = "u0 a/b/c";
    ASSERT_EQ(1, Create(re, "u0 (.+)/", false));
    EXPECT_EQ(std::optional<std::string>("a/b"), SubText(Search(oneLine, 1), oneLine, 1, nullptr));

    const char* twoLines = "u0 a/x\nu0 b/y";
    EXPECT_EQ(std::optional<std::string>("a/x\nu0 b"), SubText(Search(twoLines, 1), twoLines, 1, nullptr));
    const char* crlf = "u0 a/x\r\nu0 b/y\f";
    EXPECT_EQ(std::optional<std::string>("a/x\r\nu0 b"), SubText(Search(crlf, 1), crlf, 1, nullptr));

    // Limiting the range stops the group at the last slash inside it.
    EXPECT_EQ(std::optional<std::string>("a"), SubText(Search(oneLine, 1, 6), oneLine, 1, nullptr));
}

TEST_F(RegexTest, CaseSensitivityOption) {
    const char* text = "U0 x/";
    ASSERT_EQ(1, Create(re, "u0 (.+)/", false));
    EXPECT_EQ(std::optional<std::string>("x"), SubText(Search(text, 1), text, 1, nullptr));

    ASSERT_EQ(1, Create(re, "u0 (.+)/"));  // left out: case-sensitive
    EXPECT_TRUE(Records(Search(text, 1)).empty());
    ASSERT_EQ(1, Create(re, "u0 (.+)/", true));
    EXPECT_TRUE(Records(Search(text, 1)).empty());

    // Any non-zero logical counts as true.
    ArgRecord r = Call(rx::kMethodCreate, {Object(re), Text("u0"), rt::MakeArg(rt::kTypeBool, 7)});
    ASSERT_EQ(1u, r.lo);
    EXPECT_TRUE(Records(Search(text, 1)).empty());
}

TEST_F(RegexTest, RangeStartIsTheInputStart) {
    EXPECT_EQ(3, MatchAt("^a", "abcabc", 4));
    EXPECT_EQ(-1, MatchAt("^a", "abcabc", 3));
    EXPECT_EQ(-1, MatchAt("\\Aa", "abcabc", 3));
    EXPECT_EQ(1, MatchAt("\\bbc", "abcabc", 2)) << "\\b sees the range start as a word start";
    EXPECT_EQ(2, MatchAt("c$", "abcabc", 1, 3)) << "$ sees the range end as the input end";
    EXPECT_EQ(-1, MatchAt("c", "abcabc", 4, 2));

    EXPECT_EQ(-1, MatchAt("a", "abcabc", 0));
    EXPECT_EQ(-1, MatchAt("a", "abcabc", -5));
    EXPECT_EQ(-1, MatchAt("c", "abcabc", 7));
    EXPECT_EQ(-1, MatchAt("b", "abcabc", 2, 6)) << "the range would end past the text";
    EXPECT_EQ(-1, MatchAt("b", "abcabc", 2, INT_MAX)) << "a huge length must not wrap around";
    EXPECT_EQ(4, MatchAt("b", "abcabc", 3, 4)) << "a range ending exactly at the text end";
    EXPECT_EQ(5, MatchAt("c", "abcabc", 6));

    // A length of 0 or less is an empty range at the start: only empty matches.
    EXPECT_EQ(-1, MatchAt("a", "abcabc", 1, 0));
    EXPECT_EQ(1, MatchAt("b*", "abcabc", 2, 0));
    EXPECT_EQ(1, MatchAt("^$", "abcabc", 2, -3));

    // The start may arrive by reference, as a variable of the caller.
    ASSERT_EQ(1, Create(re, "^a"));
    int32_t start = 4;
    std::vector<SubMatch> recs = Records(Keep(SearchRecord(re, "abcabc", IntRef(&start), Omitted())));
    ASSERT_EQ(1u, recs.size());
    EXPECT_EQ(3, recs[0].offset);
}

TEST_F(RegexTest, MultiLineFlag) {
    EXPECT_EQ(2, MatchAt("^b", "a\nb", 1));
    EXPECT_EQ(3, MatchAt("^b", "a\r\nb", 1));
    EXPECT_EQ(2, MatchAt("^b", "a\fb", 1));
    EXPECT_EQ(0, MatchAt("a$", "a\nb", 1));

    re->multiLine = 0;
    EXPECT_EQ(-1, MatchAt("^b", "a\nb", 1));
    EXPECT_EQ(-1, MatchAt("a$", "a\nb", 1));
    EXPECT_EQ(2, MatchAt("^b", "a\nb", 3));
}

TEST_F(RegexTest, EmptyTextNeverMatches) {
    for (const char* pattern : {"", "a*", "^", "^$", "u0 (.+)/"}) {
        EXPECT_EQ(-1, MatchAt(pattern, "", 1)) << pattern;
    }
    // An empty pattern does match a non-empty text, at the range start.
    EXPECT_EQ(2, MatchAt("", "abc", 3));
}

TEST_F(RegexTest, SubMatchTextEdgeCases) {
    int32_t start = 1234;

    // A freshly constructed result and an empty one from a failed search.
    SearchResultBlock* fresh = NewResult();
    EXPECT_EQ(std::nullopt, SubText(fresh, "abc", 0, &start));
    DeleteResult(fresh);
    ASSERT_EQ(1, Create(re, "z"));
    EXPECT_EQ(std::nullopt, SubText(Search("abc", 1), "abc", 0, &start));
    EXPECT_EQ(1234, start);

    // A group that took no part leaves the variable alone.
    ASSERT_EQ(1, Create(re, "(x)?(y)"));
    SearchResultBlock* res = Search("ay", 1);
    std::vector<SubMatch> recs = Records(res);
    ASSERT_EQ(3u, recs.size());
    EXPECT_EQ(0u, recs[1].matched);
    EXPECT_EQ(std::nullopt, SubText(res, "ay", 1, &start));
    EXPECT_EQ(1234, start);
    EXPECT_EQ(std::optional<std::string>("y"), SubText(res, "ay", 2, &start));
    EXPECT_EQ(1, start);

    // Indices outside the list give null and never touch the variable.
    start = 1234;
    for (int32_t index : {-1, 3, 1000, INT_MIN, INT_MAX}) {
        EXPECT_EQ(std::nullopt, SubText(res, "ay", index, &start)) << "index " << index;
    }
    EXPECT_EQ(1234, start);

    // An empty group: null text, but the offset is still written.
    ASSERT_EQ(1, Create(re, "a(b*)c"));
    res = Search("xac", 1);
    EXPECT_EQ(std::nullopt, SubText(res, "xac", 1, &start));
    EXPECT_EQ(2, start);

    // The start variable is recognised by its type word, not by its value.
    start = 1234;
    ArgRecord omitted{Addr(&start), 0, 0};
    ArgRecord r = Call(rx::kMethodGetSubMatchText, {Object(res), Text("xac"), Int(0), omitted});
    char* whole = reinterpret_cast<char*>(static_cast<uintptr_t>(r.lo));
    ASSERT_NE(nullptr, whole);
    EXPECT_STREQ("ac", whole);
    ProgramFree(whole);
    EXPECT_EQ(1234, start);

    // Three records only: the start-variable argument may be missing entirely.
    r = Call(rx::kMethodGetSubMatchText, {Object(res), Text("xac"), Int(0)});
    whole = reinterpret_cast<char*>(static_cast<uintptr_t>(r.lo));
    ASSERT_NE(nullptr, whole);
    EXPECT_STREQ("ac", whole);
    ProgramFree(whole);
}

TEST_F(RegexTest, ShorterTextIsCopiedOnlyWithinItself) {
    ASSERT_EQ(1, Create(re, "abcd"));
    SearchResultBlock* res = Search("xxxxabcd", 1);
    int32_t start = -1;
    EXPECT_EQ(std::optional<std::string>("abcd"), SubText(res, "xxxxabcd", 0, &start));
    EXPECT_EQ(4, start);
    EXPECT_EQ(std::optional<std::string>("ab"), SubText(res, "xxxxab", 0, &start));
    EXPECT_EQ(std::optional<std::string>("zzzz"), SubText(res, "0123zzzzzzz", 0, &start)) << "copies by offset, no comparison";

    start = -1;
    EXPECT_EQ(std::nullopt, SubText(res, "xxxx", 0, &start));
    EXPECT_EQ(4, start) << "the offset is written before the copy";
    EXPECT_EQ(std::nullopt, SubText(res, "xx", 0, &start));
    EXPECT_EQ(std::nullopt, SubText(res, "", 0, &start));
}

TEST_F(RegexTest, TwoByteCharactersCountAsTwoBytes) {
    // GBK text: 包名 u0 中文.应用/Main
    const char text[] = "\xB0\xFC\xC3\xFB u0 \xD6\xD0\xCE\xC4.\xD3\xA6\xD3\xC3/Main";
    ASSERT_EQ(1, Create(re, "u0 (.+)/", false));
    SearchResultBlock* res = Search(text, 1);
    int32_t start = -1;
    std::optional<std::string> group = SubText(res, text, 1, &start);
    EXPECT_EQ(8, start);
    EXPECT_EQ(std::optional<std::string>("\xD6\xD0\xCE\xC4.\xD3\xA6\xD3\xC3"), group);

    // `.` takes one byte: two dots cover one character.
    ASSERT_EQ(1, Create(re, "^(.)(.)$"));
    const char zhong[] = "\xD6\xD0";
    res = Search(zhong, 1);
    ASSERT_EQ(3u, Records(res).size());
    EXPECT_EQ(std::optional<std::string>("\xD6"), SubText(res, zhong, 1, nullptr));
    EXPECT_EQ(1, Records(res)[2].offset);

    // The start position is a byte position too: starting on a trail byte.
    ASSERT_EQ(1, Create(re, "^."));
    res = Search(zhong, 2);
    ASSERT_EQ(1u, Records(res).size());
    EXPECT_EQ(1, Records(res)[0].offset);
}

TEST_F(RegexTest, EngineLimitsGiveAnEmptyResult) {
    // Exponential backtracking in the first branch: on a short text the
    // second branch matches, on a long one the engine gives up first.
    ASSERT_EQ(1, Create(re, "(a+)+b|a"));
    EXPECT_EQ(2u, Records(Search("aaaaa", 1)).size());
    std::string text(40, 'a');
    EXPECT_TRUE(Records(Search(text.c_str(), 1)).empty());
    ASSERT_EQ(1, Create(re, "(a|aa)+$"));
    EXPECT_FALSE(Records(Search(text.c_str(), 1)).empty()) << "the object stays usable";
}

TEST_F(RegexTest, ObjectWithoutEngine) {
    // A block the program zeroed but never constructed: nothing to compile into.
    auto* bare = static_cast<RegexBlock*>(ProgramAlloc(sizeof(RegexBlock)));
    std::memset(bare, 0, sizeof *bare);
    EXPECT_EQ(0, Create(bare, "a"));
    SearchResultBlock* res = Keep(SearchRecord(bare, "a", Int(1), Omitted()));
    EXPECT_TRUE(Records(res).empty());
    Call(rx::kMethodDestroyRegex, {Object(bare)});
    ProgramFree(bare);

    // Constructed, never given a pattern: the engine would refuse the search.
    EXPECT_TRUE(Records(Search("abc", 1)).empty());
}

TEST_F(RegexTest, HandlerCycleLeavesNoRuntimeBlock) {
    // The foreground lookup handler, run a few times over different outputs.
    const char* outputs[] = {"mCurrentFocus=Window{1f u0 a.b.c/a.b.c.Main}", "", "no focus", "u0 x/y\r\nu0 z/w"};
    const int before = gAllocations;
    const size_t liveBefore = gLive.size();
    for (const char* output : outputs) {
        RegexBlock* obj = NewRegex();
        SearchResultBlock* res = NewResult();
        ASSERT_EQ(1, Create(obj, "u0 (.+)/", false));
        SearchResultBlock* found = SearchRecord(obj, output, Int(1), Omitted());
        ASSERT_NE(nullptr, found);
        DeleteResult(res);
        res = found;
        ArgRecord r = Call(rx::kMethodGetSubMatchText, {Object(res), Text(output), Int(1), Omitted()});
        DeleteResult(res);
        DeleteRegex(obj);
        ProgramFree(reinterpret_cast<void*>(static_cast<uintptr_t>(r.lo)));
    }
    // Two object blocks, one result block each time, plus the two texts found.
    EXPECT_EQ(before + 4 * 3 + 2, gAllocations);
    EXPECT_EQ(liveBefore, gLive.size()) << "blocks leaked";
}

TEST(RegexLibraryDetached, SearchBeforeTheCallbackGivesNull) {
    ASSERT_EQ(0, rx::RegexNotify(rt::kCbStart, 0, 0));
    RegexBlock block{nullptr, 0};
    std::vector<ArgRecord> args = {Object(&block)};
    rx::kRegexMethods[rx::kMethodConstructRegex](nullptr, 1, args.data());
    ArgRecord r = Call(rx::kMethodSearch, {Object(&block), Text("a"), Int(1), Omitted()});
    EXPECT_EQ(0u, r.lo);
    rx::kRegexMethods[rx::kMethodDestroyRegex](nullptr, 1, args.data());
    EXPECT_EQ(nullptr, block.engine);
    EXPECT_EQ(0, rx::RegexNotify(rt::kCbStart, reinterpret_cast<intptr_t>(TestCallback), 0));
}

} // namespace
