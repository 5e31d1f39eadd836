#include "template.h"

#include "data/formbuild.h"
#include "data/manager.h"
#include "data/program.h"
#include "data/serverwindow.h"
#include "data/wirelesswindow.h"
#include "runtime/values.h"

namespace data {

namespace {

constexpr uint32_t kVisible = 0x1;
constexpr uint32_t kVisibleTab = 0x5;

// Event 0: the window's "created" event, a button's click.
std::vector<EventSpec> On0(int32_t ref) { return {EventSpec(0, ref)}; }
const std::vector<EventSpec> kNoEvents;

constexpr auto Unit = MakeUnit;

std::vector<uint8_t> Button(const char* caption) {
    ButtonData d;
    d.version = 1;
    d.buttonType = 0;
    d.hAlign = 1;
    d.vAlign = 1;
    d.caption = caption;
    return Encode(d);
}

// The three labels differ in border, alignment, wrapping and background only.
std::vector<uint8_t> Label(int32_t border, int32_t hAlign, int32_t vAlign, bool wordWrap, uint32_t backColour,
                           const char* caption) {
    LabelData d;
    d.version = 2;
    d.border = border;
    d.hAlign = hAlign;
    d.vAlign = vAlign;
    d.wordWrap = wordWrap;
    d.backColour = backColour;
    d.caption = caption;
    return Encode(d);
}

std::vector<uint8_t> PackageEdit() {
    EditBoxData d;
    d.version = 2;
    d.border = 5;
    d.textColour = 0;
    d.backColour = 0xFFFFFF;
    d.hideSelection = true;
    d.passwordChar = '*';
    d.spinBound2 = 100;
    return Encode(d);
}

std::vector<uint8_t> LogBox() {
    RichEditData d;
    d.version = 1;
    d.contentFormat = 0;
    d.border = 5;
    d.backColour = 0xFF000000;
    d.multiLine = true;
    d.autoWrap = false;
    d.readOnly = false;
    d.hideSelection = true;
    return Encode(d);
}

constexpr uint32_t kDefaultBack = 0xFF000000;

std::vector<UnitSpec> MainWindowUnits() {
    using namespace rt;
    // Controls in descending identifier order: the loader creates them from
    // the last entry back, i.e. in ascending identifier order.
    return {
        //   id                 name           type            left  top  width height flags        events
        Unit(kUnitWindow,       "",            kTypeWindow,    50,   50,  749,  412,   kVisible,    On0(kRefWindowCreated), {}),
        Unit(kUnitHintLabel,    "标签3",       kTypeLabel,     496,  16,  224,  40,    kVisible,    kNoEvents,
             Label(5, 0, 0, true, kDefaultBack,
                   "禁用的系统app还可以恢复\r\n删除的不可恢复\r\n禁用不了的app,考虑使用删除")),
        Unit(kUnitEnable,       "按钮6",       kTypeButton,    261,  39,  53,   33,    kVisibleTab, On0(kRefEnable),
             Button("启用")),
        Unit(kUnitListDisabled, "按钮5",       kTypeButton,    153,  4,   87,   32,    kVisibleTab, On0(kRefListDisabled),
             Button("禁用app的列表")),
        Unit(kUnitDelete,       "按钮4",       kTypeButton,    319,  39,  53,   33,    kVisibleTab, On0(kRefDelete),
             Button("删除")),
        Unit(kUnitPackageEdit,  "编辑框1",     kTypeEditBox,   168,  80,  208,  24,    kVisibleTab, kNoEvents,
             PackageEdit()),
        Unit(kUnitDisable,      "按钮3",       kTypeButton,    204,  39,  53,   33,    kVisibleTab, On0(kRefDisable),
             Button("禁用")),
        Unit(kUnitPackageLabel, "标签2",       kTypeLabel,     75,   81,  80,   24,    kVisible,    kNoEvents,
             Label(0, 0, 1, false, kDefaultBack, "当前应用包名:")),
        Unit(kUnitForeground,   "按钮2",       kTypeButton,    73,   39,  128,  32,    kVisibleTab, On0(kRefForeground),
             Button("查看当前页面App包名")),
        Unit(kUnitListDevices,  "按钮1",       kTypeButton,    74,   4,   72,   32,    kVisibleTab, On0(kRefListDevices),
             Button("查看设备")),
        Unit(kUnitLogLabel,     "标签1",       kTypeLabel,     75,   111, 589,  24,    kVisible,    kNoEvents,
             Label(0, 1, 1, false, 0x0080E000, "cmd日志")),
        Unit(kUnitLog,          "超级编辑框1", kTypeRichEdit,  75,   135, 589,  225,   kVisibleTab, kNoEvents,
             LogBox()),
    };
}

} // namespace

WindowSpec StartupWindow() {
    WindowSpec main;
    main.id = kStartupWindow;
    main.valueA = 0;
    main.valueB = 0x19010047;
    main.units = MainWindowUnits();
    return main;
}

const std::vector<uint8_t>& FormTemplate() {
    static const std::vector<uint8_t> block = BuildTemplate({StartupWindow(), ManagerWindow(), ServerWindow(), WirelessWindow()});
    return block;
}


} // namespace data
