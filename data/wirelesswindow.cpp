#include "wirelesswindow.h"

#include "data/program.h"
#include "forms/windowdata.h"
#include "runtime/values.h"

namespace data {

namespace {

constexpr uint32_t kVisible = 0x1;
constexpr uint32_t kVisibleTab = 0x5;
constexpr int32_t kKeyDown = -9;

std::vector<uint8_t> WindowData() {
    forms::WindowProps p;
    p.title = "无线连接";
    p.border = 3;          // a dialog frame: fixed size
    p.minButton = false;
    return forms::EncodeWindowProps(p);
}

std::vector<uint8_t> Edit(int32_t maxLength) {
    EditBoxData d;
    d.border = 5;
    d.maxLength = maxLength;
    return Encode(d);
}

std::vector<uint8_t> Phones() {
    ComboBoxData d;
    return Encode(d);
}

UnitSpec On(UnitSpec u, std::vector<EventSpec> events) {
    u.events = std::move(events);
    return u;
}

} // namespace

const char kWirelessSteps[] =
    "手机和电脑连同一个 Wi-Fi。在手机上：设置 → 开发者选项 → 无线调试 → 使用配对码配对设备，"
    "保持对话框开着，在下面输入它显示的六位配对码。";

WindowSpec WirelessWindow() {
    WindowSpec w;
    w.id = kWirelessWindow;
    w.valueB = 0x19010047;
    // Descending identifiers, like every window of the program.
    w.units = {
        //   id                 name       type                 left top  width height flags
        On(MakeUnit(kWlWindow,  "",        rt::kTypeWindow,     0,   0,   480,  300,   kVisible,    {}, WindowData()),
           {EventSpec(0, kRefWlCreated), EventSpec(2, kRefWlDestroyed), EventSpec(13, kRefWlPosted)}),
        MakeUnit(kWlStatus,     "标签6",   rt::kTypeLabel,      12,  156, 448,  64,    kVisible,    {}, LabelWithCaption("正在查找网络上的手机...", true)),
        MakeUnit(kWlConnectLabel, "标签5", rt::kTypeLabel,      12,  124, 64,   20,    kVisible,    {}, LabelWithCaption("连接地址：")),
        MakeUnit(kWlPairLabel,  "标签4",   rt::kTypeLabel,      12,  92,  64,   20,    kVisible,    {}, LabelWithCaption("配对地址：")),
        MakeUnit(kWlCodeLabel,  "标签3",   rt::kTypeLabel,      256, 92,  52,   20,    kVisible,    {}, LabelWithCaption("配对码：")),
        MakeUnit(kWlPhonesLabel, "标签2",  rt::kTypeLabel,      12,  60,  64,   20,    kVisible,    {}, LabelWithCaption("手机：")),
        MakeUnit(kWlSteps,      "标签1",   rt::kTypeLabel,      12,  10,  448,  40,    kVisible,    {}, LabelWithCaption(kWirelessSteps, true)),
        MakeUnit(kWlClose,      "按钮3",   rt::kTypeButton,     380, 226, 80,   28,    kVisibleTab, {EventSpec(0, kRefWlClose)}, ButtonWithCaption("关闭")),
        MakeUnit(kWlConnect,    "按钮2",   rt::kTypeButton,     256, 120, 80,   28,    kVisibleTab, {EventSpec(0, kRefWlConnect)}, ButtonWithCaption("连接")),
        MakeUnit(kWlConnectAddress, "编辑框3", rt::kTypeEditBox, 80, 120, 168,  24,    kVisibleTab, {EventSpec(kKeyDown, kRefWlConnectKey)}, Edit(64)),
        MakeUnit(kWlPairAddress, "编辑框2", rt::kTypeEditBox,   80,  88,  168,  24,    kVisibleTab, {EventSpec(kKeyDown, kRefWlCodeKey)}, Edit(64)),
        On(MakeUnit(kWlPhones,  "组合框1", rt::kTypeComboBox,   80,  56,  380,  160,   kVisibleTab, {}, Phones()), {EventSpec(0, kRefWlPhoneChosen)}),
        MakeUnit(kWlPair,       "按钮1",   rt::kTypeButton,     380, 86,  80,   28,    kVisibleTab, {EventSpec(0, kRefWlPair)}, ButtonWithCaption("配对并连接")),
        MakeUnit(kWlCode,       "编辑框1", rt::kTypeEditBox,    312, 88,  60,   24,    kVisibleTab, {EventSpec(kKeyDown, kRefWlCodeKey)}, Edit(12)),
    };
    return w;
}

} // namespace data
