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

std::vector<uint8_t> Caption(const char* caption, bool wrap = false) {
    LabelData d;
    d.vAlign = wrap ? 0 : 1;
    d.wordWrap = wrap;
    d.caption = caption;
    return Encode(d);
}

std::vector<uint8_t> Edit(const char* content, int32_t maxLength) {
    EditBoxData d;
    d.border = 5;
    d.maxLength = maxLength;
    d.content = content;
    return Encode(d);
}

std::vector<uint8_t> Button(const char* caption) {
    ButtonData d;
    d.caption = caption;
    return Encode(d);
}

UnitSpec Unit(uint32_t id, const char* name, uint32_t type, int32_t left, int32_t top, int32_t width, int32_t height,
              uint32_t flags, std::vector<EventSpec> events, std::vector<uint8_t> typeData) {
    return MakeUnit(id, name, type, left, top, width, height, flags, events, std::move(typeData));
}

} // namespace

const char kServerNote[] = "另一台电脑上运行 adb -a -P 5037 nodaemon server，它连接的手机就会列在这里。";

WindowSpec ServerWindow() {
    WindowSpec w;
    w.id = kServerWindow;
    w.valueB = 0x19010047;
    const std::vector<EventSpec> enterIsOk = {EventSpec(kKeyDown, kRefSrvKey)};
    // Descending identifiers, like every window of the program.
    w.units = {
        //   id             name      type                 left top  width height flags
        Unit(kSrvWindow,    "",       rt::kTypeWindow,     0,   0,   380,  190,   kVisible,    {}, WindowData()),
        Unit(kSrvCancel,    "按钮2",  rt::kTypeButton,     272, 112, 80,   28,    kVisibleTab, {EventSpec(0, kRefSrvCancel)}, Button("取消")),
        Unit(kSrvOk,        "按钮1",  rt::kTypeButton,     184, 112, 80,   28,    kVisibleTab, {EventSpec(0, kRefSrvOk)}, Button("确定")),
        Unit(kSrvNote,      "标签3",  rt::kTypeLabel,      12,  68,  340,  40,    kVisible,    {}, Caption(kServerNote, true)),
        Unit(kSrvPort,      "编辑框2", rt::kTypeEditBox,   272, 20,  80,   24,    kVisibleTab, enterIsOk, Edit("5037", 5)),
        Unit(kSrvPortLabel, "标签2",  rt::kTypeLabel,      228, 24,  44,   20,    kVisible,    {}, Caption("端口：")),
        Unit(kSrvHost,      "编辑框1", rt::kTypeEditBox,   56,  20,  164,  24,    kVisibleTab, enterIsOk, Edit("", 255)),
        Unit(kSrvHostLabel, "标签1",  rt::kTypeLabel,      12,  24,  44,   20,    kVisible,    {}, Caption("地址：")),
    };
    return w;
}

} // namespace data
