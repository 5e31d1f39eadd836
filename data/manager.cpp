#include "manager.h"

#include "data/program.h"
#include "forms/windowdata.h"
#include "runtime/values.h"

namespace data {

namespace {

constexpr uint32_t kVisible = 0x1;
constexpr uint32_t kVisibleTab = 0x5;
constexpr uint32_t kDisabledTab = 0x7;

UnitSpec Unit(uint32_t id, const char* name, uint32_t type, int32_t left, int32_t top, int32_t width, int32_t height,
              uint32_t flags, std::vector<uint8_t> typeData) {
    return MakeUnit(id, name, type, left, top, width, height, flags, {}, std::move(typeData));
}

// A resizable window with a maximise button, centred, that re-lays its
// units out as it grows.
std::vector<uint8_t> WindowData() {
    forms::WindowProps p;
    p.title = "应用管理";
    p.border = 1;
    p.maxButton = true;
    p.relayout = 1;
    return forms::EncodeWindowProps(p);
}

// Window events: 0 created, 2 destroyed, 13 posted (from the worker thread).
// Units: event 0 (click, change, choice); -9 key down; list view 1 checks
// changed, 3 header clicked, 4 key.
constexpr int32_t kKeyDown = -9;

UnitSpec On(UnitSpec u, std::vector<EventSpec> events) {
    u.events = std::move(events);
    return u;
}

std::vector<EventSpec> Click(int32_t ref) { return {EventSpec(0, ref), EventSpec(kKeyDown, kRefMgrKey)}; }

std::vector<uint8_t> FilterEdit() {
    EditBoxData d;
    d.border = 5;
    return Encode(d);
}

std::vector<uint8_t> Log() {
    RichEditData d;
    d.border = 5;
    d.multiLine = true;
    d.readOnly = true;
    return Encode(d);
}

std::vector<uint8_t> CheckBox(const char* caption) {
    CheckBoxData d;
    d.caption = caption;
    return Encode(d);
}

std::vector<uint8_t> Choices(std::vector<std::string> items, int32_t current) {
    ComboBoxData d;
    d.items = std::move(items);
    d.current = current;
    return Encode(d);
}

std::vector<uint8_t> Progress() { return Encode(ProgressBarData()); }

std::vector<uint8_t> PackageList() {
    ListViewData d;
    d.checkBoxes = true;
    d.fullRowSelect = true;
    d.multiSelect = true;
    d.gridLines = true;
    d.columns = {{"名称", 150, 0}, {"包名", 230, 0}, {"状态", 64, 0}, {"类型", 48, 0}, {"风险", 150, 0}, {"路径", 170, 0},
                 {"上次操作", 120, 0}};
    return Encode(d);
}

} // namespace

WindowSpec ManagerWindow() {
    WindowSpec w;
    w.id = kManagerWindow;
    w.valueB = 0x19010047;
    // Listed in descending identifier order, like every window of the program.
    w.units = {
        //   id               name          type              left  top  width height flags
        On(Unit(kMgrWindow,      "",           rt::kTypeWindow,  0,    0,   880,  640,   kVisible,     WindowData()), {EventSpec(0, kRefMgrCreated), EventSpec(2, kRefMgrDestroyed), EventSpec(13, kRefMgrPosted)}),
        Unit(kMgrLog,         "超级编辑框1", rt::kTypeRichEdit, 12,   504, 840,  88,    kVisibleTab,  Log()),
        Unit(kMgrStatus,      "标签7",      rt::kTypeLabel,   12,   480, 840,  20,    kVisible,     LabelWithCaption("")),
        Unit(kMgrProgress,    "进度条1",    rt::kTypeProgressBar, 12, 458, 840,  16,    kVisible,     Progress()),
        On(Unit(kMgrCancel,      "按钮10",     rt::kTypeButton,  694,  420, 80,   28,    kDisabledTab, ButtonWithCaption("取消")), Click(kRefCancelJob)),
        On(Unit(kMgrUndoAll,     "按钮9",      rt::kTypeButton,  606,  420, 80,   28,    kVisibleTab,  ButtonWithCaption("全部撤销")), Click(kRefUndoAll)),
        On(Unit(kMgrRecord,      "按钮8",      rt::kTypeButton,  508,  420, 90,   28,    kVisibleTab,  ButtonWithCaption("操作记录...")), Click(kRefShowRecord)),
        On(Unit(kMgrExport,      "按钮7",      rt::kTypeButton,  410,  420, 90,   28,    kVisibleTab,  ButtonWithCaption("导出列表...")), Click(kRefExportList)),
        On(Unit(kMgrImport,      "按钮6",      rt::kTypeButton,  312,  420, 90,   28,    kVisibleTab,  ButtonWithCaption("导入列表...")), Click(kRefImportList)),
        On(Unit(kMgrRestore,     "按钮5",      rt::kTypeButton,  228,  420, 64,   28,    kVisibleTab,  ButtonWithCaption("恢复")), Click(kRefRestoreChecked)),
        On(Unit(kMgrDelete,      "按钮4",      rt::kTypeButton,  156,  420, 64,   28,    kVisibleTab,  ButtonWithCaption("删除")), Click(kRefDeleteChecked)),
        On(Unit(kMgrEnable,      "按钮3",      rt::kTypeButton,  84,   420, 64,   28,    kVisibleTab,  ButtonWithCaption("启用")), Click(kRefEnableChecked)),
        On(Unit(kMgrDisable,     "按钮2",      rt::kTypeButton,  12,   420, 64,   28,    kVisibleTab,  ButtonWithCaption("禁用")), Click(kRefDisableChecked)),
        On(Unit(kMgrList,        "超级列表框1", rt::kTypeListView,    12,   78,  840,  332,   kVisibleTab,  PackageList()), {EventSpec(1, kRefChecksChanged), EventSpec(3, kRefColumnClicked), EventSpec(4, kRefMgrListKey)}),
        Unit(kMgrCount,       "标签6",      rt::kTypeLabel,   572,  48,  280,  20,    kVisible,     LabelWithCaption("")),
        On(Unit(kMgrKind,        "组合框3",    rt::kTypeComboBox,    468,  44,  88,   120,   kVisibleTab,
             Choices({"全部", "系统", "用户"}, 0)), Click(kRefShowChanged)),
        Unit(kMgrKindLabel,   "标签5",      rt::kTypeLabel,   426,  48,  40,   20,    kVisible,     LabelWithCaption("类型：")),
        On(Unit(kMgrState,       "组合框2",    rt::kTypeComboBox,    312,  44,  100,  140,   kVisibleTab,
             Choices({"全部", "已启用", "已禁用", "已删除"}, 0)), Click(kRefShowChanged)),
        Unit(kMgrStateLabel,  "标签4",      rt::kTypeLabel,   270,  48,  40,   20,    kVisible,     LabelWithCaption("状态：")),
        On(Unit(kMgrFilter,      "编辑框1",    rt::kTypeEditBox, 56,   44,  200,  24,    kVisibleTab,  FilterEdit()), {EventSpec(0, kRefFilterChanged), EventSpec(kKeyDown, kRefMgrFilterKey)}),
        Unit(kMgrFilterLabel, "标签3",      rt::kTypeLabel,   12,   48,  40,   20,    kVisible,     LabelWithCaption("筛选：")),
        On(Unit(kMgrAllDevices,  "选择框1",    rt::kTypeCheckBox,    572,  12,  220,  22,    kVisibleTab,
             CheckBox("同时用于所有已连接设备")), {EventSpec(kKeyDown, kRefMgrKey)}),
        On(Unit(kMgrRefresh,     "按钮1",      rt::kTypeButton,  484,  9,   72,   28,    kVisibleTab,  ButtonWithCaption("刷新")), Click(kRefRefresh)),
        On(Unit(kMgrUsers,       "组合框4",    rt::kTypeComboBox,    390,  10,  88,   120,   kVisibleTab,  Choices({}, -1)), Click(kRefUserChosen)),
        Unit(kMgrUserLabel,   "标签8",      rt::kTypeLabel,   346,  14,  40,   20,    kVisible,     LabelWithCaption("用户：")),
        On(Unit(kMgrDevices,     "组合框1",    rt::kTypeComboBox,    56,   10,  282,  200,   kVisibleTab,  Choices({}, -1)), Click(kRefDeviceChosen)),
        Unit(kMgrDeviceLabel, "标签1",      rt::kTypeLabel,   12,   14,  40,   20,    kVisible,     LabelWithCaption("设备：")),
    };
    return w;
}

} // namespace data
