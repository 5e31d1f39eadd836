// The rich edit box: the log 超级编辑框1 made from the program's own template
// data, its content written and read back through Wine's rich edit control,
// the stream-in chunk rules, a long log replaced by a fresh control, a long
// text written in slices and cut short when the address space runs low, selection,
// RTF, property changes, events, and the library's two commands, get line
// count and scroll lines.
#include <gtest/gtest.h>

#include <windows.h>
#include <richedit.h>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include "data/template.h"
#include "app/program.h"
#include "forms/template.h"
#include "runtime/app.h"
#include "runtime/values.h"
#include "tests/support/hex.h"
#include "tests/support/child.h"
#include "tests/support/unithost.h"
#include "units/extlib.h"
#include "units/queries.h"
#include "units/richedit.h"
#include "forms/unitdata.h"

namespace {

using test::UnitHost;

const rt::InterfaceQueryFn kQuery = units::RichEditQuery;

// Property indices less 8.
enum Property : int32_t {
    kFormat = 0, kContent, kBorder, kBackColour, kMultiLine, kAutoWrap, kReadOnly, kHideSel,
    kMaxLength, kSelStart, kSelLength, kSelText, kModified,
};

using test::Hex;

// 超级编辑框1's type-specific data as the program's form template holds it.
std::vector<uint8_t> LogTemplateData() {
    std::vector<forms::WindowEntry> windows;
    const std::vector<uint8_t>& block = data::FormTemplate();
    if (forms::ReadTemplate(block.data(), static_cast<uint32_t>(block.size()), app::kHandlerMap, &windows) !=
            forms::ReadResult::Ok || windows.empty())
        return {};
    forms::UnitRecord r = windows[0].units.Find(data::kUnitLog);
    if (!r.Valid() || !r.TypeData()) return {};
    return std::vector<uint8_t>(r.TypeData(), r.TypeData() + r.TypeDataLength());
}

// Class names and styles of the windows created while a spy lives.
struct Creation {
    std::string className;
    DWORD style;
    DWORD exStyle;
};
std::vector<Creation> gCreations;
HHOOK gSpyHook = nullptr;

LRESULT CALLBACK SpyOnCreation(int code, WPARAM wp, LPARAM lp) {
    const CREATESTRUCTA* cs = code == HCBT_CREATEWND ? reinterpret_cast<const CBT_CREATEWNDA*>(lp)->lpcs : nullptr;
    // The control library makes windows of its own (a clipboard owner): only
    // controls are counted.
    if (cs && (cs->style & WS_CHILD)) {
        bool named = (reinterpret_cast<uintptr_t>(cs->lpszClass) >> 16) != 0;
        gCreations.push_back({named ? cs->lpszClass : "#atom", static_cast<DWORD>(cs->style), cs->dwExStyle});
    }
    return CallNextHookEx(gSpyHook, code, wp, lp);
}

class CreationSpy {
public:
    CreationSpy() {
        gCreations.clear();
        gSpyHook = SetWindowsHookExA(WH_CBT, SpyOnCreation, nullptr, GetCurrentThreadId());
    }
    ~CreationSpy() { UnhookWindowsHookEx(gSpyHook); }
    CreationSpy(const CreationSpy&) = delete;
    CreationSpy& operator=(const CreationSpy&) = delete;
};

rt::ArgRecord UnitArg(uint32_t unitId) { return rt::MakeArg(rt::kTypeRichEdit, UnitHost::kWindowId, unitId); }

int32_t LineCountCommand(uint32_t unitId) {
    rt::ArgRecord result = {0xDEAD, 0, 0};
    rt::ArgRecord args[1] = {UnitArg(unitId)};
    units::kExtCommands[0](&result, 1, args);
    return static_cast<int32_t>(result.lo);
}

void ScrollLinesCommand(uint32_t unitId, int32_t lines) {
    rt::ArgRecord result = {};
    rt::ArgRecord args[2] = {UnitArg(unitId), rt::MakeArg(rt::kTypeInt, static_cast<uint32_t>(lines))};
    units::kExtCommands[1](&result, 2, args);
}

// `count` CR LF-separated lines of varied lengths, no line end after the last.
std::string Lines(int count) {
    std::string s;
    for (int i = 0; i < count; ++i) {
        if (i) s += "\r\n";
        s += "line" + std::to_string(i) + std::string(static_cast<size_t>(i % 37), 'x');
    }
    return s;
}

class RichEdit : public ::testing::Test {
protected:
    // One host for the suite: under Wine without a window manager, destroying
    // its top-level window waits two seconds.
    static void SetUpTestSuite() { host_ = new UnitHost(&units::gExtLink); }
    static void TearDownTestSuite() {
        delete host_;
        host_ = nullptr;
    }
    void SetUp() override {
        host_->events.clear();
        host_->destroyed.clear();
    }
    void TearDown() override {
        while (HWND child = GetWindow(host_->Parent(), GW_CHILD)) DestroyWindow(child);
        UnitHost::Pump();
    }

    void* Make(const std::vector<uint8_t>& data, uint32_t unitId = data::kUnitLog) {
        return host_->Create(kQuery, data, 75, 135, 589, 225, WS_TABSTOP, unitId);
    }
    void* MakeLog() { return Make(LogTemplateData()); }
    void* Make(const units::RichEditData& d, uint32_t unitId = data::kUnitLog) { return Make(units::Encode(d), unitId); }

    int32_t Set(void* o, int32_t index, uint32_t value) { return host_->Changed(kQuery, o, index, value); }
    int32_t SetText(void* o, int32_t index, const char* text) {
        return host_->Changed(kQuery, o, index, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(text)));
    }
    uint32_t Get(void* o, int32_t index) {
        uint32_t p0 = 0xDEADBEEF;
        EXPECT_TRUE(host_->Get(kQuery, o, index, &p0)) << "index " << index;
        return p0;
    }
    // A text property; "<null>" for a null text.
    std::string GetText(void* o, int32_t index) {
        uint32_t p0 = Get(o, index);
        return p0 ? std::string(reinterpret_cast<const char*>(static_cast<uintptr_t>(p0))) : "<null>";
    }
    static LRESULT Send(void* o, UINT msg, WPARAM wp = 0, LPARAM lp = 0) {
        return SendMessageA(UnitHost::Handle(o), msg, wp, lp);
    }
    static CHARRANGE Selection(void* o) {
        CHARRANGE r = {-2, -2};
        Send(o, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&r));
        return r;
    }
    // The text as the control holds it.
    static std::string OwnText(void* o) {
        std::string text(1 << 16, '\0');
        GETTEXTEX gt = {};
        gt.cb = static_cast<DWORD>(text.size());
        gt.flags = GT_DEFAULT;
        gt.codepage = CP_ACP;
        LRESULT n = Send(o, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&gt), reinterpret_cast<LPARAM>(&text[0]));
        text.resize(static_cast<size_t>(n));
        return text;
    }
    static std::string Line(void* o, int index) {
        char buf[512] = {};
        *reinterpret_cast<WORD*>(buf) = sizeof buf - 1;
        LRESULT n = Send(o, EM_GETLINE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buf));
        std::string line(buf, static_cast<size_t>(n));
        // Wine hands out the paragraph mark with the line, the last one's too.
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return line;
    }
    size_t Count(int32_t eventIndex) const {
        size_t n = 0;
        for (const test::RaisedEvent& e : host_->events) n += e.index == eventIndex;
        return n;
    }

    static UnitHost* host_;
};

UnitHost* RichEdit::host_ = nullptr;

// --- creation --------------------------------------------------------------------

TEST_F(RichEdit, LogBoxFromTheProgramTemplate) {
    std::vector<uint8_t> stored = LogTemplateData();
    ASSERT_EQ(stored, Hex("01000000 00000000 05000000 000000ff 01000000 00000000 00000000 01000000 "
                          "00000000 00000000 00000000 00000000"));

    CreationSpy spy;
    void* log = MakeLog();
    ASSERT_NE(log, nullptr);
    HWND h = UnitHost::Handle(log);
    ASSERT_EQ(gCreations.size(), 1u);
    EXPECT_EQ(gCreations[0].className, "RichEdit20A");
    // Multi-line without wrap, selection hidden, writable.
    EXPECT_EQ(gCreations[0].style, static_cast<DWORD>(WS_TABSTOP | WS_CHILD | WS_CLIPSIBLINGS | 0x003010C4));
    EXPECT_EQ(gCreations[0].exStyle, 0u);
    EXPECT_NE(GetModuleHandleA("RICHED20.DLL"), nullptr);

    // Border 5 is a single line.
    EXPECT_TRUE(GetWindowLongA(h, GWL_STYLE) & WS_BORDER);
    EXPECT_EQ(GetWindowLongA(h, GWL_EXSTYLE) & (WS_EX_CLIENTEDGE | WS_EX_DLGMODALFRAME | WS_EX_STATICEDGE), 0);

    EXPECT_EQ(Send(log, EM_GETEVENTMASK), 0x00280005);
    EXPECT_TRUE(Send(log, EM_GETOPTIONS) & ECO_AUTOWORDSELECTION);
    EXPECT_EQ(Send(log, EM_GETLIMITTEXT), 0x7FFFFFFF);
    EXPECT_EQ(Send(log, EM_GETMODIFY), 0);
    EXPECT_EQ(Send(log, WM_GETTEXTLENGTH), 0);

    CHARFORMATA cf = {};
    cf.cbSize = sizeof cf;
    Send(log, EM_GETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&cf));
    EXPECT_STREQ(cf.szFaceName, "宋体");
    EXPECT_EQ(cf.yHeight, 180);
    EXPECT_TRUE(cf.dwEffects & CFE_AUTOCOLOR);
    EXPECT_FALSE(cf.dwEffects & (CFE_BOLD | CFE_ITALIC | CFE_UNDERLINE | CFE_STRIKEOUT | CFE_PROTECTED));

    // Interface 5 gives back exactly the stored bytes.
    EXPECT_EQ(host_->AllData(kQuery, log), stored);

    auto wantsKey = reinterpret_cast<units::WantsKeyFn>(kQuery(rt::kIfWantsKey));
    ASSERT_NE(wantsKey, nullptr);
    EXPECT_EQ(wantsKey(log, VK_RETURN), 1);
    EXPECT_EQ(wantsKey(log, VK_TAB), 0);
    EXPECT_EQ(kQuery(rt::kIfIsDefaultButton), nullptr);
}

TEST_F(RichEdit, StylesFollowTheStoredData) {
    struct Case {
        bool multiLine, autoWrap, readOnly, hideSelection;
        DWORD added;
    } const cases[] = {
        {true, true, false, true, 0x00201044},
        {true, false, false, true, 0x003010C4},
        {false, true, false, true, ES_AUTOHSCROLL},
        {false, false, true, false, ES_AUTOHSCROLL | ES_READONLY | ES_NOHIDESEL},
        {true, true, true, false, 0x00201044 | ES_READONLY | ES_NOHIDESEL},
    };
    auto wantsKey = reinterpret_cast<units::WantsKeyFn>(kQuery(rt::kIfWantsKey));
    uint32_t unit = 0x16010100;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "multi " << c.multiLine << " wrap " << c.autoWrap << " read-only "
                                        << c.readOnly << " hide " << c.hideSelection);
        units::RichEditData d;
        d.multiLine = c.multiLine;
        d.autoWrap = c.autoWrap;
        d.readOnly = c.readOnly;
        d.hideSelection = c.hideSelection;
        CreationSpy spy;
        void* o = Make(d, unit++);
        ASSERT_NE(o, nullptr);
        ASSERT_EQ(gCreations.size(), 1u);
        EXPECT_EQ(gCreations[0].style, static_cast<DWORD>(WS_TABSTOP | WS_CHILD | WS_CLIPSIBLINGS) | c.added);
        EXPECT_EQ(wantsKey(o, VK_RETURN), c.multiLine ? 1 : 0);
        // The default border 1 is sunken.
        EXPECT_TRUE(GetWindowLongA(UnitHost::Handle(o), GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    }
}

TEST_F(RichEdit, UnreadableDataCreatesNothing) {
    std::vector<uint8_t> bytes = units::Encode(units::RichEditData());
    bytes[0] = 2;
    EXPECT_EQ(Make(bytes), nullptr);
    bytes = units::Encode(units::RichEditData());
    bytes.resize(20);
    EXPECT_EQ(Make(bytes), nullptr);
    // Empty data keeps every default: multi-line with wrap, sunken border.
    CreationSpy spy;
    void* o = Make(std::vector<uint8_t>());
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(host_->AllData(kQuery, o), units::Encode(units::RichEditData()));
}

// --- content ------------------------------------------------------------------------

TEST_F(RichEdit, ContentRoundTripWithTheControlsLineEnds) {
    void* log = MakeLog();
    ASSERT_NE(log, nullptr);
    SetText(log, kContent, "List of devices attached\r\nemulator-5554\tdevice\r\n\r\nlast");
    EXPECT_EQ(Send(log, EM_GETLINECOUNT), 4);
    EXPECT_EQ(Line(log, 0), "List of devices attached");
    EXPECT_EQ(Line(log, 1), "emulator-5554\tdevice");
    EXPECT_EQ(Line(log, 2), "");
    EXPECT_EQ(Line(log, 3), "last");
    // Wine's control keeps a paragraph end as a lone CR and streams it out as
    // CR LF, so the text comes back as written.
    EXPECT_EQ(OwnText(log), "List of devices attached\remulator-5554\tdevice\r\rlast");
    EXPECT_EQ(GetText(log, kContent), "List of devices attached\r\nemulator-5554\tdevice\r\n\r\nlast");

    // A bare LF and a bare CR are line ends too, and come back as CR LF.
    SetText(log, kContent, "a\nb\rc\r\n");
    EXPECT_EQ(Send(log, EM_GETLINECOUNT), 4);
    EXPECT_EQ(GetText(log, kContent), "a\r\nb\r\nc\r\n");

    // Writing replaces everything; GBK text survives.
    SetText(log, kContent, "错误: 设备未找到");
    EXPECT_EQ(GetText(log, kContent), "错误: 设备未找到");
    EXPECT_EQ(Send(log, EM_GETLINECOUNT), 1);

    SetText(log, kContent, "");
    EXPECT_EQ(GetText(log, kContent), "<null>");
    EXPECT_EQ(Send(log, WM_GETTEXTLENGTH), 0);
    SetText(log, kContent, "again");
    Set(log, kContent, 0);   // a null text
    EXPECT_EQ(GetText(log, kContent), "<null>");
    EXPECT_EQ(Send(log, WM_GETTEXTLENGTH), 0);
}

TEST(StreamChunks, NeverSplitALineEndOrACharacter) {
    // Room for everything: all of it.
    EXPECT_EQ(units::StreamChunkLength("ab\r\ncd", 6, 4096), 6u);
    EXPECT_EQ(units::StreamChunkLength("ab\r\ncd", 6, 6), 6u);
    // The cut would fall between CR and LF: stop before the CR.
    EXPECT_EQ(units::StreamChunkLength("ab\r\ncd", 6, 3), 2u);
    EXPECT_EQ(units::StreamChunkLength("ab\r\ncd", 6, 4), 4u);
    EXPECT_EQ(units::StreamChunkLength("ab\r\ncd", 6, 2), 2u);
    // A CR that ends the text goes out with it; a CR before another CR may end a chunk.
    EXPECT_EQ(units::StreamChunkLength("ab\r", 3, 3), 3u);
    EXPECT_EQ(units::StreamChunkLength("a\r\r\n", 4, 2), 2u);
    // Too small a request still moves on.
    EXPECT_EQ(units::StreamChunkLength("\r\n", 2, 1), 1u);
    EXPECT_EQ(units::StreamChunkLength("abc", 3, 0), 0u);
    EXPECT_EQ(units::StreamChunkLength("", 0, 4096), 0u);

    if (!IsDBCSLeadByte(0xB4)) GTEST_SKIP() << "the system code page has no double-byte characters";
    // "错误" is B4 ED CE F3: a chunk never ends on a lead byte.
    const char* gbk = "a\xB4\xED\xCE\xF3\r\nz";
    EXPECT_EQ(units::StreamChunkLength(gbk, 8, 2), 1u);
    EXPECT_EQ(units::StreamChunkLength(gbk, 8, 3), 3u);
    EXPECT_EQ(units::StreamChunkLength(gbk, 8, 4), 3u);
    EXPECT_EQ(units::StreamChunkLength(gbk, 8, 6), 5u);   // not between CR and LF either
    EXPECT_EQ(units::StreamChunkLength(gbk + 1, 7, 3), 2u);
    // A trail byte that looks like a lead byte does not confuse the count.
    const char* pairs = "\xB4\xB4\xB4\xB4x";
    EXPECT_EQ(units::StreamChunkLength(pairs, 5, 3), 2u);
    EXPECT_EQ(units::StreamChunkLength(pairs, 5, 4), 4u);
    EXPECT_EQ(units::StreamChunkLength("\xB4\xED", 2, 1), 1u);
}

TEST_F(RichEdit, LongLogsKeepExactlyTheirLines) {
    void* log = MakeLog();
    ASSERT_NE(log, nullptr);

    // 16-byte lines after one byte: every 4096-byte boundary falls between a
    // CR and its LF.
    std::string aligned = "x";
    for (int i = 0; i < 6000; ++i) {
        char line[17];
        std::snprintf(line, sizeof line, "%s%010d\r\n", i % 2 ? "odd-" : "even", i);
        aligned += line;
    }
    aligned += "end";
    SetText(log, kContent, aligned.c_str());
    EXPECT_EQ(Send(log, EM_GETLINECOUNT), 6001);
    ASSERT_EQ(aligned.size(), 1u + 6000 * 16 + 3);
    EXPECT_EQ(Line(log, 0), "xeven0000000000");
    EXPECT_EQ(Line(log, 256), "even0000000256");
    EXPECT_EQ(Line(log, 5999), "odd-0000005999");
    EXPECT_EQ(Line(log, 6000), "end");
    EXPECT_TRUE(GetText(log, kContent) == aligned) << "the text read back differs";

    // Lines of every length, so that other chunk sizes meet a CR LF too.
    std::string varied = Lines(5000);
    SetText(log, kContent, varied.c_str());
    EXPECT_EQ(Send(log, EM_GETLINECOUNT), 5000);
    EXPECT_EQ(Line(log, 4999), "line4999" + std::string(4999 % 37, 'x'));
    EXPECT_TRUE(GetText(log, kContent) == varied) << "the text read back differs";
}

TEST_F(RichEdit, LongGbkTextIsNotSplitInsideACharacter) {
    if (!IsDBCSLeadByte(0xB4)) GTEST_SKIP() << "the system code page has no double-byte characters";
    void* log = MakeLog();
    ASSERT_NE(log, nullptr);
    // One ASCII byte first puts a lead byte on every chunk boundary.
    std::string text = "a";
    for (int i = 0; i < 400; ++i) {
        text += "设备未找到错误信息的列表";
        text += i % 3 ? "\r\n" : "";
    }
    SetText(log, kContent, text.c_str());
    EXPECT_TRUE(GetText(log, kContent) == text) << "the text read back differs";
    EXPECT_EQ(Send(log, EM_GETLINECOUNT), 267);
}

TEST_F(RichEdit, RtfContent) {
    void* o = MakeLog();
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(Set(o, kFormat, 7), 0);
    EXPECT_EQ(Get(o, kFormat), 1u);

    SetText(o, kContent, "{\\rtf1\\ansi plain \\b bold\\b0\\par second line}");
    EXPECT_EQ(Send(o, EM_GETLINECOUNT), 2);
    CHARRANGE bold = {6, 10};
    Send(o, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&bold));
    CHARFORMATA cf = {};
    cf.cbSize = sizeof cf;
    Send(o, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&cf));
    EXPECT_TRUE((cf.dwMask & CFM_BOLD) && (cf.dwEffects & CFE_BOLD));

    std::string rtf = GetText(o, kContent);
    EXPECT_EQ(rtf.compare(0, 5, "{\\rtf"), 0) << rtf;
    EXPECT_NE(rtf.find("bold"), std::string::npos) << rtf;
    // The selection alone, in RTF too.
    std::string selected = GetText(o, kSelText);
    EXPECT_EQ(selected.compare(0, 5, "{\\rtf"), 0) << selected;
    EXPECT_EQ(selected.find("plain"), std::string::npos) << selected;

    // The format takes effect on the next read.
    Set(o, kFormat, static_cast<uint32_t>(-3));
    EXPECT_EQ(Get(o, kFormat), 0u);
    EXPECT_EQ(GetText(o, kContent), "plain bold\r\nsecond line");
    EXPECT_EQ(GetText(o, kSelText), "bold");

    // RTF read back into another box in RTF gives the same text and format.
    units::RichEditData d;
    d.contentFormat = 1;
    d.content = rtf;
    void* copy = Make(d, 0x16010101);
    ASSERT_NE(copy, nullptr);
    Set(copy, kFormat, 0);
    EXPECT_EQ(GetText(copy, kContent), "plain bold\r\nsecond line");

    // What the control's RTF reader makes of text that is not RTF: under Wine
    // it refuses it and the box is left empty.
    Set(o, kFormat, 1);
    SetText(o, kContent, "not rtf at all");
    Set(o, kFormat, 0);
    EXPECT_EQ(GetText(o, kContent), "<null>");
}

// --- the commands -----------------------------------------------------------------

TEST_F(RichEdit, LineCountAndScrollCommands) {
    void* log = MakeLog();
    ASSERT_NE(log, nullptr);
    SetText(log, kContent, "List of devices attached\r\nemulator-5554\tdevice\r\n");
    int32_t count = LineCountCommand(data::kUnitLog);
    EXPECT_EQ(count, 3);
    // The list-devices action scrolls by count - 6: -3 leaves the top in view.
    ScrollLinesCommand(data::kUnitLog, count - 6);
    EXPECT_EQ(Send(log, EM_GETFIRSTVISIBLELINE), 0);

    SetText(log, kContent, Lines(200).c_str());
    count = LineCountCommand(data::kUnitLog);
    ASSERT_EQ(count, 200);
    ScrollLinesCommand(data::kUnitLog, 5);
    EXPECT_EQ(Send(log, EM_GETFIRSTVISIBLELINE), 5);
    // Negative counts reach the control unchanged.
    ScrollLinesCommand(data::kUnitLog, -3);
    EXPECT_EQ(Send(log, EM_GETFIRSTVISIBLELINE), 2);
    ScrollLinesCommand(data::kUnitLog, -10);
    EXPECT_EQ(Send(log, EM_GETFIRSTVISIBLELINE), 0);

    // count - 6 brings the end of a long log into view.
    ScrollLinesCommand(data::kUnitLog, count - 6);
    LRESULT first = Send(log, EM_GETFIRSTVISIBLELINE);
    EXPECT_GT(first, 150);
    RECT client;
    GetClientRect(UnitHost::Handle(log), &client);
    POINTL last = {};
    Send(log, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&last), Send(log, EM_LINEINDEX, 199));
    EXPECT_GE(last.y, client.top);
    EXPECT_LT(last.y, client.bottom) << "first visible line " << first;
}

// Adding to a log keeps what is there, byte for byte, and the user's
// selection; a caret at the end moves on with the text.
TEST_F(RichEdit, AddTextCommandAppendsAndKeepsTheSelection) {
    void* log = MakeLog();
    ASSERT_NE(log, nullptr);
    auto add = [](const char* text) {
        rt::ArgRecord result = {};
        rt::ArgRecord args[2] = {UnitArg(data::kUnitLog), rt::MakeArg(rt::kTypeText, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(text)))};
        units::kExtCommands[10](&result, 2, args);
    };
    add("com.x：已禁用\r\n");
    EXPECT_EQ(GetText(log, kContent), "com.x：已禁用\r\n");

    Send(log, EM_SETSEL, 2, 5);
    add("com.y：失败，系统不允许禁用受保护的应用\r\n");
    EXPECT_EQ(GetText(log, kContent), "com.x：已禁用\r\ncom.y：失败，系统不允许禁用受保护的应用\r\n");
    CHARRANGE sel = Selection(log);
    EXPECT_EQ(sel.cpMin, 2);
    EXPECT_EQ(sel.cpMax, 5);

    GETTEXTLENGTHEX length = {GTL_NUMCHARS | GTL_PRECISE, CP_ACP};
    LONG end = static_cast<LONG>(Send(log, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&length)));
    Send(log, EM_SETSEL, end, end);
    add("end\r\n");
    EXPECT_EQ(Selection(log).cpMin, end + 4) << "the caret follows the text";
    add("");
    EXPECT_EQ(LineCountCommand(data::kUnitLog), 4);
}

TEST_CHILD(LineCountOfAWindowNotLoaded) {
    units::gExtLink.Attach(rt::RuntimeCallbackEntry);
    std::printf("count %d\n", LineCountCommand(data::kUnitLog));
    return 0;
}

TEST(RichEditCommands, AUnitThatIsNotLoadedEndsTheProgram) {
    test::ChildResult r = test::RunChild("LineCountOfAWindowNotLoaded");
    EXPECT_EQ(r.exitCode, 0xFFFFFFFFu) << r.output;
    EXPECT_EQ(r.output.find("count"), std::string::npos) << r.output;
    ASSERT_EQ(r.boxes.size(), 1u);
    EXPECT_EQ(r.boxes[0].title, "错误");
    EXPECT_EQ(r.boxes[0].text,
              "运行时出错!\r\n\r\n错误信息：指定窗口或窗口组件不存在或尚未载入\r\n"
              "\r\n1375797249, 369164361\r\n未找到所指定的窗口\r\n");
}

// --- selection ---------------------------------------------------------------------

TEST_F(RichEdit, SelectionRules) {
    void* o = MakeLog();
    ASSERT_NE(o, nullptr);
    SetText(o, kContent, "0123456789abcdef");

    // Length -1 selects everything; Wine's select-all takes in the final
    // paragraph mark.
    Set(o, kSelLength, static_cast<uint32_t>(-1));
    CHARRANGE r = Selection(o);
    EXPECT_EQ(r.cpMin, 0);
    EXPECT_EQ(r.cpMax, 17);
    EXPECT_EQ(Get(o, kSelStart), 0u);
    EXPECT_EQ(Get(o, kSelLength), 17u);
    EXPECT_EQ(GetText(o, kSelText), "0123456789abcdef\r\n");

    // Start 5 keeps the stored length 3: characters 5 to 8.
    Set(o, kSelLength, 3);
    Set(o, kSelStart, 5);
    r = Selection(o);
    EXPECT_EQ(r.cpMin, 5);
    EXPECT_EQ(r.cpMax, 8);
    EXPECT_EQ(Get(o, kSelStart), 5u);
    EXPECT_EQ(Get(o, kSelLength), 3u);
    EXPECT_EQ(GetText(o, kSelText), "567");

    // Length keeps the stored start.
    Set(o, kSelLength, 6);
    EXPECT_EQ(GetText(o, kSelText), "56789a");

    // Replacing the selection.
    SetText(o, kSelText, "<>");
    EXPECT_EQ(GetText(o, kContent), "01234<>bcdef");

    // A negative start is 0; a length below -1 is -1 (all), and both are stored so.
    Set(o, kSelStart, static_cast<uint32_t>(-4));
    EXPECT_EQ(GetText(o, kSelText), "01234<");
    Set(o, kSelLength, static_cast<uint32_t>(-9));
    r = Selection(o);
    EXPECT_EQ(r.cpMin, 0);
    EXPECT_EQ(r.cpMax, 13);
    units::RichEditData stored;
    std::vector<uint8_t> bytes = host_->AllData(kQuery, o);
    ASSERT_TRUE(units::Decode(bytes.data(), bytes.size(), &stored));
    EXPECT_EQ(stored.selStart, 0);
    EXPECT_EQ(stored.selLength, -1);

    // An empty selection reads as a null text.
    Set(o, kSelLength, 0);
    EXPECT_EQ(GetText(o, kSelText), "<null>");
    EXPECT_EQ(Get(o, kSelLength), 0u);
}

// --- property changes --------------------------------------------------------------

TEST_F(RichEdit, PropertyChanges) {
    void* o = MakeLog();
    ASSERT_NE(o, nullptr);
    HWND h = UnitHost::Handle(o);
    const LONG kEdges = WS_EX_CLIENTEDGE | WS_EX_DLGMODALFRAME | WS_EX_STATICEDGE;

    // Border: clamped to 0..5, with the shared border styles.
    EXPECT_EQ(Set(o, kBorder, 9), 0);
    EXPECT_EQ(Get(o, kBorder), 5u);
    EXPECT_TRUE(GetWindowLongA(h, GWL_STYLE) & WS_BORDER);
    Set(o, kBorder, 4);
    EXPECT_EQ(GetWindowLongA(h, GWL_EXSTYLE) & kEdges, WS_EX_CLIENTEDGE | WS_EX_DLGMODALFRAME);
    EXPECT_FALSE(GetWindowLongA(h, GWL_STYLE) & WS_BORDER);
    Set(o, kBorder, static_cast<uint32_t>(-2));
    EXPECT_EQ(Get(o, kBorder), 0u);
    EXPECT_EQ(GetWindowLongA(h, GWL_EXSTYLE) & kEdges, 0);

    // Background colour goes to the control; the default is stored as such.
    EXPECT_EQ(Set(o, kBackColour, 0x00ABCDEF), 0);
    EXPECT_EQ(Get(o, kBackColour), 0x00ABCDEFu);
    EXPECT_EQ(Send(o, EM_SETBKGNDCOLOR, 0, 0x112233), 0x00ABCDEF);
    Set(o, kBackColour, 0xFF000000);
    EXPECT_EQ(Get(o, kBackColour), 0xFF000000u);
    EXPECT_NE(Send(o, EM_SETBKGNDCOLOR, 0, 0x112233), 0x112233);

    // Maximum length: negative is 0; 0 goes to the control as it is.
    Set(o, kMaxLength, 100);
    EXPECT_EQ(Get(o, kMaxLength), 100u);
    Set(o, kMaxLength, static_cast<uint32_t>(-5));
    uint32_t limit = Get(o, kMaxLength);
    EXPECT_NE(limit, 100u);
    EXPECT_NE(limit, 0x7FFFFFFFu);

    // Modified flag both ways.
    Set(o, kModified, 2);
    EXPECT_EQ(Get(o, kModified), 1u);
    Set(o, kModified, 0);
    EXPECT_EQ(Get(o, kModified), 0u);

    // Hide selection: stored, no re-creation.
    EXPECT_EQ(Set(o, kHideSel, 0), 0);
    EXPECT_EQ(Get(o, kHideSel), 0u);
    EXPECT_EQ(Set(o, kHideSel, 1), 0);
    EXPECT_EQ(Get(o, kHideSel), 1u);

    units::RichEditData stored;
    std::vector<uint8_t> bytes = host_->AllData(kQuery, o);
    ASSERT_TRUE(units::Decode(bytes.data(), bytes.size(), &stored));
    EXPECT_EQ(stored.border, 0);
    EXPECT_EQ(stored.backColour, 0xFF000000u);
    EXPECT_EQ(stored.maxLength, 0);
    EXPECT_EQ(stored.contentFormat, 0);
    EXPECT_TRUE(stored.hideSelection);
}

TEST_F(RichEdit, OnlyMultiLineWrapAndReadOnlyReCreate) {
    void* o = MakeLog();   // multi-line, no wrap, writable
    ASSERT_NE(o, nullptr);
    SetText(o, kContent, "kept\r\nacross");

    EXPECT_EQ(Set(o, kMultiLine, 1), 0);
    EXPECT_EQ(Set(o, kAutoWrap, 0), 0);
    EXPECT_EQ(Set(o, kReadOnly, 0), 0);
    EXPECT_EQ(Set(o, kAutoWrap, 1), 1);
    EXPECT_EQ(Set(o, kAutoWrap, 5), 0);   // still true
    EXPECT_EQ(Set(o, kReadOnly, 1), 1);
    EXPECT_EQ(Set(o, kMultiLine, 0), 1);
    EXPECT_EQ(Get(o, kMultiLine), 0u);
    EXPECT_EQ(Set(o, kMultiLine, 1), 1);
    EXPECT_EQ(Get(o, kMultiLine), 1u);
    EXPECT_EQ(Get(o, kAutoWrap), 1u);
    EXPECT_EQ(Get(o, kReadOnly), 1u);
    for (int32_t index : {kFormat, kBorder, kBackColour, kHideSel, kMaxLength, kSelStart, kSelLength, kModified})
        EXPECT_EQ(Set(o, index, 1), 0) << "index " << index;

    // Re-creating from interface 5 gives the new styles and keeps the content.
    std::vector<uint8_t> bytes = host_->AllData(kQuery, o);
    CreationSpy spy;
    void* again = Make(bytes, 0x16010102);
    ASSERT_NE(again, nullptr);
    ASSERT_EQ(gCreations.size(), 1u);
    EXPECT_EQ(gCreations[0].style, static_cast<DWORD>(WS_TABSTOP | WS_CHILD | WS_CLIPSIBLINGS | 0x00201044 |
                                                      ES_READONLY));
    Set(again, kFormat, 0);
    EXPECT_EQ(GetText(again, kContent), "kept\r\nacross");
    // The stored data of the two boxes agree, content included.
    Set(o, kFormat, 0);
    Set(again, kModified, 0);
    EXPECT_EQ(host_->AllData(kQuery, again), host_->AllData(kQuery, o));
}

TEST_F(RichEdit, AllPropertyDataRoundTrip) {
    void* o = MakeLog();
    ASSERT_NE(o, nullptr);
    SetText(o, kContent, "line 1\r\nline 2");
    Set(o, kBorder, 3);
    Set(o, kBackColour, 0x0080E000);
    Set(o, kMaxLength, 4000);
    Set(o, kSelLength, 2);
    Set(o, kSelStart, 1);
    Set(o, kHideSel, 0);

    // The log's stored values with those changes, in version 1.
    units::RichEditData want;
    want.border = 3;
    want.backColour = 0x0080E000;
    want.autoWrap = false;
    want.hideSelection = false;
    want.maxLength = 4000;
    want.selStart = 1;
    want.selLength = 2;
    want.content = "line 1\r\nline 2";
    const std::vector<uint8_t> bytes = host_->AllData(kQuery, o);
    EXPECT_EQ(bytes, units::Encode(want));

    // A box made from them, in either version, shows them and gives them back.
    for (uint32_t version : {1u, 0u}) {
        SCOPED_TRACE(version);
        want.version = version;
        void* copy = Make(units::Encode(want), 0x16010103 + version);
        ASSERT_NE(copy, nullptr);
        EXPECT_EQ(host_->AllData(kQuery, copy), bytes);
        EXPECT_EQ(GetText(copy, kSelText), "in");
        EXPECT_EQ(Send(copy, EM_GETLIMITTEXT), 4000);
        EXPECT_EQ(Send(copy, EM_GETMODIFY), 0);
        EXPECT_EQ(GetWindowLongA(UnitHost::Handle(copy), GWL_EXSTYLE) & WS_EX_STATICEDGE, WS_EX_STATICEDGE);
        // EM_SETBKGNDCOLOR answers the colour it replaces.
        EXPECT_EQ(Send(copy, EM_SETBKGNDCOLOR, 0, 0xFFFFFF), 0x0080E000);
    }
}

// --- events and lifetime ---------------------------------------------------------

TEST_F(RichEdit, Events) {
    void* o = MakeLog();
    ASSERT_NE(o, nullptr);
    HWND h = UnitHost::Handle(o);
    UnitHost::Pump();
    host_->events.clear();

    // One change per write.
    SetText(o, kContent, "some output");
    EXPECT_EQ(Count(0), 1u);
    for (const test::RaisedEvent& e : host_->events) {
        EXPECT_EQ(e.window, UnitHost::kWindowId);
        EXPECT_EQ(e.unit, data::kUnitLog);
        EXPECT_TRUE(e.args.empty());
    }

    host_->events.clear();
    Set(o, kSelLength, 4);
    EXPECT_GE(Count(1), 1u);
    EXPECT_EQ(Count(0), 0u);

    host_->events.clear();
    SetFocus(h);
    EXPECT_EQ(Count(-7), 1u);
    SetFocus(host_->Parent());
    EXPECT_EQ(Count(-8), 1u);

    // Protected text: only a new character format is let through. Wine's
    // control never asks, so the parent is sent the notification here.
    auto asks = [&](UINT msg) {
        ENPROTECTED p = {};
        p.nmhdr.hwndFrom = h;
        p.nmhdr.idFrom = 100;
        p.nmhdr.code = EN_PROTECTED;
        p.msg = msg;
        p.chrg.cpMin = 0;
        p.chrg.cpMax = 4;
        return SendMessageA(host_->Parent(), WM_NOTIFY, 100, reinterpret_cast<LPARAM>(&p));
    };
    EXPECT_EQ(asks(EM_SETCHARFORMAT), 0);
    EXPECT_NE(asks(WM_CHAR), 0);
    EXPECT_NE(asks(EM_REPLACESEL), 0);
    EXPECT_NE(asks(WM_CUT), 0);
}

TEST_F(RichEdit, DestructionIsReported) {
    void* o = MakeLog();
    ASSERT_NE(o, nullptr);
    DestroyWindow(UnitHost::Handle(o));
    ASSERT_EQ(host_->destroyed.size(), 1u);
    EXPECT_EQ(host_->destroyed[0], data::kUnitLog);
    EXPECT_EQ(LineCountCommand(data::kUnitLog), 0);
}

// --- replacing a long log --------------------------------------------------------

// Sets the content length above which a write takes a fresh control, for one scope.
class FreshAbove {
public:
    explicit FreshAbove(size_t chars) : saved_(units::gFreshControlAbove) { units::gFreshControlAbove = chars; }
    ~FreshAbove() { units::gFreshControlAbove = saved_; }
    FreshAbove(const FreshAbove&) = delete;
    FreshAbove& operator=(const FreshAbove&) = delete;

private:
    size_t saved_;
};

RECT RectInParent(HWND h) {
    RECT r;
    GetWindowRect(h, &r);
    MapWindowPoints(nullptr, GetParent(h), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::string Describe(const RECT& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
           std::to_string(r.bottom);
}

TEST_F(RichEdit, ReplacingALargeLogTakesAFreshControlInPlace) {
    units::RichEditData other;
    void* before = Make(other, 0x16010110);
    void* log = MakeLog();
    void* after = Make(other, 0x16010111);
    ASSERT_TRUE(before && log && after);

    // Twice the threshold of old lines, then rounds that change what the
    // control's window state is when the new text comes.
    std::string old;
    for (int i = 0; old.size() < 2 * units::gFreshControlAbove; ++i) old += "package:com.old.app" + std::to_string(i) + "\r\n";
    struct Round {
        bool focused, visible, enabled;
    } const rounds[] = {{true, true, true}, {false, false, false}, {false, true, false}};
    int lines = 3000;
    for (const Round& round : rounds) {
        SCOPED_TRACE(testing::Message() << "focused " << round.focused << " visible " << round.visible << " enabled "
                                        << round.enabled);
        SetText(log, kContent, old.c_str());
        HWND h = UnitHost::Handle(log);
        ShowWindow(h, round.visible ? SW_SHOWNA : SW_HIDE);
        EnableWindow(h, round.enabled);
        SetFocus(round.focused ? h : UnitHost::Handle(after));
        UnitHost::Pump();
        const RECT rect = RectInParent(h);
        host_->events.clear();
        host_->destroyed.clear();

        const std::string text = Lines(++lines);
        SetText(log, kContent, text.c_str());
        HWND fresh = UnitHost::Handle(log);
        UnitHost::Pump();
        EXPECT_NE(fresh, h);
        EXPECT_FALSE(IsWindow(h));
        EXPECT_TRUE(host_->destroyed.empty()) << "reported gone: " << host_->destroyed.size();
        EXPECT_EQ(Count(0), 1u);
        EXPECT_EQ(Count(-7) + Count(-8), 0u) << "focus events";

        EXPECT_EQ(GetDlgCtrlID(fresh), 100);
        EXPECT_EQ(GetParent(fresh), host_->Parent());
        EXPECT_EQ(Describe(RectInParent(fresh)), Describe(rect));
        EXPECT_EQ(GetWindow(fresh, GW_HWNDPREV), UnitHost::Handle(before));
        EXPECT_EQ(GetWindow(fresh, GW_HWNDNEXT), UnitHost::Handle(after));
        EXPECT_EQ((GetWindowLongA(fresh, GWL_STYLE) & WS_VISIBLE) != 0, round.visible);
        EXPECT_EQ(IsWindowEnabled(fresh) != 0, round.enabled);
        EXPECT_EQ(GetFocus(), round.focused ? fresh : UnitHost::Handle(after));

        EXPECT_EQ(Send(log, EM_GETLINECOUNT), lines);
        EXPECT_TRUE(GetText(log, kContent) == text) << "the text read back differs";
        // The library's commands find the same object and act on the new control.
        EXPECT_EQ(LineCountCommand(data::kUnitLog), lines);
        ScrollLinesCommand(data::kUnitLog, 40);
        EXPECT_EQ(Send(log, EM_GETFIRSTVISIBLELINE), 40);
        // Its notifications reach the unit.
        host_->events.clear();
        Set(log, kSelLength, 4);
        EXPECT_GE(Count(1), 1u);
    }

    // A short log keeps its control.
    SetText(log, kContent, "short");
    HWND kept = UnitHost::Handle(log);
    SetText(log, kContent, "another");
    EXPECT_EQ(UnitHost::Handle(log), kept);
    EXPECT_EQ(GetText(log, kContent), "another");
}

// A write that takes a fresh control leaves the box as a plain write leaves it:
// settings, styles, selection, modified flag, view and events.
TEST_F(RichEdit, AFreshControlEndsAsAPlainWriteLeavesTheBox) {
    units::RichEditData d;
    d.border = 4;
    d.backColour = 0x00336699;
    d.maxLength = 1 << 20;
    d.autoWrap = false;
    d.hideSelection = false;
    d.selStart = 2;
    d.selLength = 3;
    const std::string old = Lines(300), text = Lines(250);

    struct Outcome {
        HWND h;
        CHARRANGE sel;
        LRESULT modified, firstLine, limit, mask, options, background;
        LONG style, exStyle;
        CHARFORMATA cf;
        size_t changes;
        std::string raised;
        std::vector<uint8_t> all;
    };
    auto write = [&](size_t threshold, uint32_t unit, bool modified) {
        FreshAbove guard(threshold);
        void* o = Make(d, unit);
        EXPECT_NE(o, nullptr);
        Outcome r = {};
        if (!o) return r;
        SetText(o, kContent, old.c_str());
        Set(o, kSelStart, 7);
        Set(o, kModified, modified);
        Send(o, EM_LINESCROLL, 0, 20);
        UnitHost::Pump();
        host_->events.clear();
        HWND h = UnitHost::Handle(o);
        SetText(o, kContent, text.c_str());
        UnitHost::Pump();
        r.h = UnitHost::Handle(o);
        EXPECT_EQ(r.h != h, threshold == 0);
        r.sel = Selection(o);
        r.modified = Send(o, EM_GETMODIFY) != 0;
        r.firstLine = Send(o, EM_GETFIRSTVISIBLELINE);
        r.limit = Send(o, EM_GETLIMITTEXT);
        r.mask = Send(o, EM_GETEVENTMASK);
        r.options = Send(o, EM_GETOPTIONS);
        r.style = GetWindowLongA(r.h, GWL_STYLE);
        r.exStyle = GetWindowLongA(r.h, GWL_EXSTYLE);
        r.cf.cbSize = sizeof r.cf;
        Send(o, EM_GETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&r.cf));
        r.changes = Count(0);
        for (const test::RaisedEvent& e : host_->events) r.raised += std::to_string(e.index) + " ";
        r.all = host_->AllData(kQuery, o);
        r.background = Send(o, EM_SETBKGNDCOLOR, 0, 0);   // answers the colour it replaces
        return r;
    };
    uint32_t unit = 0x16010120;
    for (bool modified : {false, true}) {
        SCOPED_TRACE(testing::Message() << "modified before " << modified);
        Outcome plain = write(static_cast<size_t>(-1), unit++, modified);
        Outcome fresh = write(0, unit++, modified);
        EXPECT_EQ(fresh.sel.cpMin, plain.sel.cpMin);
        EXPECT_EQ(fresh.sel.cpMax, plain.sel.cpMax);
        EXPECT_EQ(fresh.modified, plain.modified);
        EXPECT_EQ(fresh.firstLine, plain.firstLine);
        EXPECT_EQ(fresh.limit, plain.limit);
        EXPECT_EQ(fresh.mask, plain.mask);
        EXPECT_EQ(fresh.options, plain.options);
        EXPECT_EQ(fresh.background, 0x00336699);
        EXPECT_EQ(fresh.style, plain.style);
        EXPECT_EQ(fresh.exStyle, plain.exStyle);
        EXPECT_STREQ(fresh.cf.szFaceName, plain.cf.szFaceName);
        EXPECT_EQ(fresh.cf.yHeight, plain.cf.yHeight);
        EXPECT_EQ(fresh.cf.dwEffects, plain.cf.dwEffects);
        EXPECT_EQ(fresh.changes, 1u);
        EXPECT_EQ(plain.changes, 1u);
        EXPECT_EQ(fresh.raised, plain.raised);
        EXPECT_TRUE(fresh.all == plain.all) << "stored data differ";
    }
}

// --- texts beyond the address space ---------------------------------------------

// Slice sizes and, when a budget is given, a probe of the address space left
// that charges `perChar` bytes for every character the box `object` holds.
class Slicing {
public:
    Slicing(size_t first, size_t slice, void* object = nullptr, size_t budget = 0, size_t perChar = 0)
        : first_(units::gFirstSlice), slice_(units::gSlice), probe_(units::gAddressSpaceLeft) {
        units::gFirstSlice = first;
        units::gSlice = slice;
        if (object) {
            object_ = object;
            budget_ = budget;
            perChar_ = perChar;
            units::gAddressSpaceLeft = Left;
        }
    }
    ~Slicing() {
        units::gFirstSlice = first_;
        units::gSlice = slice_;
        units::gAddressSpaceLeft = probe_;
    }
    Slicing(const Slicing&) = delete;
    Slicing& operator=(const Slicing&) = delete;

    static size_t Left() {
        size_t used = static_cast<size_t>(SendMessageA(UnitHost::Handle(object_), WM_GETTEXTLENGTH, 0, 0)) * perChar_;
        return used < budget_ ? budget_ - used : 0;
    }

private:
    size_t first_, slice_;
    size_t (*probe_)();
    static void* object_;
    static size_t budget_, perChar_;
};

void* Slicing::object_ = nullptr;
size_t Slicing::budget_ = 0, Slicing::perChar_ = 0;

constexpr size_t kSpareRoom = 256u << 20;

std::string LeftOutNote(size_t whole, size_t shown) {
    return "（可用内存不足：内容共 " + std::to_string(whole) + " 字节，只放入了前 " + std::to_string(shown) +
           " 字节。）";
}

// With room enough, a text written in slices ends exactly as one write:
// the same content, one change event, the same selection and modified flag,
// and nothing to undo.
TEST_F(RichEdit, ALongTextGoesInSliceBySliceAsOneWrite) {
    std::string gbk;   // one long line, cut inside it (never inside a character)
    for (int i = 0; i < 3000; ++i) gbk += "设备未找到";
    gbk = "a" + gbk + "\r\n" + gbk;
    const std::string texts[] = {Lines(4000), gbk, Lines(3000) + "\r\n"};
    uint32_t unit = 0x16010140;
    for (const std::string& text : texts) {
        SCOPED_TRACE(testing::Message() << "text of " << text.size() << " bytes");
        struct Outcome {
            std::string content;
            CHARRANGE sel;
            LRESULT modified, canUndo, lines;
            size_t changes;
        };
        auto write = [&](size_t first, size_t slice) {
            Slicing scope(first, slice);
            void* o = MakeLog();
            Outcome r = {};
            EXPECT_NE(o, nullptr);
            if (!o) return r;
            Set(o, kSelStart, 3);
            UnitHost::Pump();
            host_->events.clear();
            SetText(o, kContent, text.c_str());
            UnitHost::Pump();
            r.content = GetText(o, kContent);
            r.sel = Selection(o);
            r.modified = Send(o, EM_GETMODIFY) != 0;
            r.canUndo = Send(o, EM_CANUNDO);
            r.lines = Send(o, EM_GETLINECOUNT);
            r.changes = Count(0);
            ++unit;
            return r;
        };
        Outcome whole = write(static_cast<size_t>(-1), static_cast<size_t>(-1));
        Outcome sliced = write(1000, 4099);
        EXPECT_TRUE(sliced.content == text) << "the text read back differs";
        EXPECT_TRUE(whole.content == text);
        EXPECT_EQ(sliced.lines, whole.lines);
        EXPECT_EQ(sliced.changes, 1u);
        EXPECT_EQ(sliced.sel.cpMin, whole.sel.cpMin);
        EXPECT_EQ(sliced.sel.cpMax, whole.sel.cpMax);
        EXPECT_EQ(sliced.modified, whole.modified);
        EXPECT_EQ(sliced.canUndo, 0);
        EXPECT_EQ(Send(MakeLog(), EM_GETEVENTMASK), 0x00280005);
    }
}

// When the next slice would leave less than the spare room, the text ends
// after the last whole slice with a line saying how much was left out; the
// box never takes the address space below the spare room.
TEST_F(RichEdit, ATextTheAddressSpaceCannotHoldEndsWithANote) {
    const std::string text = Lines(6000);   // about 150 KB
    void* o = MakeLog();
    ASSERT_NE(o, nullptr);
    {
        // 1000 bytes a character and 40 MB beyond the spare room: about 40 KB fit.
        Slicing scope(4096, 8192, o, kSpareRoom + (40u << 20), 1000);
        host_->events.clear();
        SetText(o, kContent, text.c_str());
        EXPECT_GE(Slicing::Left(), kSpareRoom - 2000 * 1000) << "went below the spare room";
    }
    std::string content = GetText(o, kContent);
    size_t at = content.find("（可用内存不足");
    ASSERT_NE(at, std::string::npos) << "no note";
    const size_t shown = at;
    EXPECT_GT(shown, 20000u);
    EXPECT_LT(shown, 48000u);
    EXPECT_EQ(text[shown - 1], '\n') << "cut inside a line";
    EXPECT_TRUE(content.substr(0, shown) == text.substr(0, shown)) << "the part shown differs";
    EXPECT_EQ(content.substr(shown), LeftOutNote(text.size(), shown));
    EXPECT_EQ(Count(0), 1u);
    EXPECT_EQ(Send(o, EM_CANUNDO), 0);

    // A line longer than a slice is cut where a chunk may end, and the note
    // starts a line of its own.
    std::string gbk = "a";
    for (int i = 0; i < 40000; ++i) gbk += "设备";
    {
        Slicing scope(4096, 8192, o, kSpareRoom + (40u << 20), 1000);
        SetText(o, kContent, gbk.c_str());
    }
    content = GetText(o, kContent);
    at = content.find("\r\n（可用内存不足");
    ASSERT_NE(at, std::string::npos) << "no note on a line of its own";
    EXPECT_EQ(at % 2, 1u) << "cut inside a character";
    EXPECT_TRUE(content.substr(0, at) == gbk.substr(0, at));
    EXPECT_EQ(content.substr(at + 2), LeftOutNote(gbk.size(), at));

    // No room even for the first slice: the note alone.
    {
        Slicing scope(4096, 8192, o, kSpareRoom - 1, 1000);
        SetText(o, kContent, text.c_str());
    }
    EXPECT_EQ(GetText(o, kContent), LeftOutNote(text.size(), 0));

    // The next short write shows its text whole.
    SetText(o, kContent, "done");
    EXPECT_EQ(GetText(o, kContent), "done");
}

TEST_F(RichEdit, MegabyteLogIntoAnEmptyBox) {
    void* log = MakeLog();
    ASSERT_NE(log, nullptr);
    std::string big;
    for (int i = 0; big.size() < (1u << 20); ++i) big += "package:com.example.app" + std::to_string(i) + "\r\n";
    // How long this takes is bench_log's business.
    SetText(log, kContent, big.c_str());
    EXPECT_EQ(Send(log, EM_GETLINECOUNT), std::count(big.begin(), big.end(), '\n') + 1);

    // Written over: a fresh control, and the old one's memory handed back
    // (a walk of a heap this size once went round for ever under Wine).
    std::string other = big;
    other.replace(0, 7, "PACKAGE");
    SetText(log, kContent, other.c_str());
    EXPECT_TRUE(GetText(log, kContent) == other) << "the text read back differs";
    SetText(log, kContent, "short");
    EXPECT_EQ(GetText(log, kContent), "short");
}

} // namespace
