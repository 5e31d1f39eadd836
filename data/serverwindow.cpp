#include "serverwindow.h"

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
    p.title = "添加远程 adb 服务器";
    p.border = 3;          // a dialog frame: fixed size
    p.minButton = false;
    return forms::EncodeWindowProps(p);
}

std::vector<uint8_t> Edit(const char* content, int32_t maxLength) {
    EditBoxData d;
    d.border = 5;
    d.maxLength = maxLength;
    d.content = content;
    return Encode(d);
}

} // namespace

const char kServerNote[] = "另一台电脑上运行 adb -a -P 5037 nodaemon server，它连接的手机就会列在这里。";
const char kServerWarning[] =
    "注意：adb -a 在所有网络接口上监听，没有密码。能连到这个端口的人都能读取那些手机的数据、安装或删除应用。"
    "只在可信的网络里使用，或让那台电脑的服务器只监听 localhost、经 SSH 隧道连接，或用防火墙只允许这台电脑。";

WindowSpec ServerWindow() {
    WindowSpec w;
    w.id = kServerWindow;
    w.valueB = 0x19010047;
    const std::vector<EventSpec> enterIsOk = {EventSpec(kKeyDown, kRefSrvKey)};
    // Descending identifiers, like every window of the program.
    w.units = {
        //   id             name      type                 left top  width height flags
        MakeUnit(kSrvWindow,    "",       rt::kTypeWindow,     0,   0,   380,  270,   kVisible,    {}, WindowData()),
        MakeUnit(kSrvWarning,   "标签4",  rt::kTypeLabel,      12,  112, 340,  72,    kVisible,    {}, LabelWithCaption(kServerWarning, true)),
        MakeUnit(kSrvCancel,    "按钮2",  rt::kTypeButton,     272, 192, 80,   28,    kVisibleTab, {EventSpec(0, kRefSrvCancel)}, ButtonWithCaption("取消")),
        MakeUnit(kSrvOk,        "按钮1",  rt::kTypeButton,     184, 192, 80,   28,    kVisibleTab, {EventSpec(0, kRefSrvOk)}, ButtonWithCaption("确定")),
        MakeUnit(kSrvNote,      "标签3",  rt::kTypeLabel,      12,  68,  340,  40,    kVisible,    {}, LabelWithCaption(kServerNote, true)),
        MakeUnit(kSrvPort,      "编辑框2", rt::kTypeEditBox,   272, 20,  80,   24,    kVisibleTab, enterIsOk, Edit("5037", 5)),
        MakeUnit(kSrvPortLabel, "标签2",  rt::kTypeLabel,      228, 24,  44,   20,    kVisible,    {}, LabelWithCaption("端口：")),
        MakeUnit(kSrvHost,      "编辑框1", rt::kTypeEditBox,   56,  20,  164,  24,    kVisibleTab, enterIsOk, Edit("", 255)),
        MakeUnit(kSrvHostLabel, "标签1",  rt::kTypeLabel,      12,  24,  44,   20,    kVisible,    {}, LabelWithCaption("地址：")),
    };
    return w;
}

} // namespace data
