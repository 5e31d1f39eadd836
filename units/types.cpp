#include "types.h"

#include "queries.h"
#include "forms/windowunit.h"

namespace units {

namespace {

// Property type codes.
enum : uint32_t {
    kInt = 1001, kBool = 1003, kText = 1005, kPick = 1006, kPicture = 1009, kIcon = 1010,
    kPointer = 1011, kSound = 1012, kFont = 1013, kTextColour = 1014, kColour = 1015,
    kDefColour = 1017, kFileName = 1016, kDataSource = 1018, kDataColumn = 1020,
};

#define P(name, english, type) {name, english, nullptr, type, nullptr}
#define COMMON_PROPERTIES                                                              \
    P("左边", "left", kInt), P("顶边", "top", kInt), P("宽度", "width", kInt),           \
    P("高度", "height", kInt), P("标记", "tag", kText), P("可视", "visible", kBool),     \
    P("禁止", "disable", kBool), P("鼠标指针", "MousePointer", kPointer)

const rt::PropertyEntry kWindowProps[] = {
    COMMON_PROPERTIES,
    P("标题", "caption", kText), P("边框", "border", kPick), P("底色", "BackColor", kDefColour),
    P("底图", "BackPicture", kPicture), P("底图方式", "PictureMode", kPick), P("背景音乐", "music", kSound),
    P("播放次数", "PlayTimes", kPick), P("控制按钮", "ControlBox", kBool), P("最大化按钮", "MaxButton", kBool),
    P("最小化按钮", "MinButton", kBool), P("位置", "position", kPick), P("可否移动", "movable", kBool),
    P("图标", "icon", kIcon), P("回车下移焦点", "EnterToTab", kBool), P("Esc键关闭", "EscClose", kBool),
    P("F1键打开帮助", "F1Help", kBool), P("帮助文件名", "HelpFile", kFileName),
    P("帮助标志值", "HelpContext", kInt), P("在任务条中显示", "ShowInTaskbar", kBool),
    P("随意移动", "DragAnywhere", kBool), P("外形", "shape", kPick), P("总在最前", "TopMost", kBool),
    P("保持标题条激活", "KeepTitleActive", kBool), P("窗口类名", "ClassName", kText),
};
static_assert(sizeof kWindowProps / sizeof kWindowProps[0] == 32, "window: 32 properties");

const rt::PropertyEntry kMenuItemProps[] = {
    P("标题", "caption", kText), P("选中", "checked", kBool), P("禁止", "disable", kBool),
    P("可视", "visible", kBool),
};

const rt::PropertyEntry kEditBoxProps[] = {
    COMMON_PROPERTIES,
    P("内容", "content", kText), P("边框", "border", kPick), P("文本颜色", "TextColor", kTextColour),
    P("背景颜色", "BackColor", kDefColour), P("字体", "font", kFont), P("隐藏选择", "HideSel", kBool),
    P("最大允许长度", "MaxAllowLength", kInt), P("是否允许多行", "AllowMultiLines", kBool),
    P("滚动条", "ScrollBar", kPick), P("对齐方式", "align", kPick), P("输入方式", "InputMode", kPick),
    P("密码遮盖字符", "PasswordChar", kText), P("转换方式", "ConvertMode", kPick),
    P("调节器方式", "SpinMode", kPick), P("调节器底限值", "SpinBound1", kInt),
    P("调节器上限值", "SpinBound2", kInt), P("起始选择位置", "SelStart", kInt),
    P("被选择字符数", "SelLength", kInt), P("被选择文本", "SelText", kText),
    P("数据源", "DataSource", kDataSource), P("数据列", "DataColumn", kDataColumn),
};
static_assert(sizeof kEditBoxProps / sizeof kEditBoxProps[0] == 29, "edit box: 29 properties");

const rt::PropertyEntry kLabelProps[] = {
    COMMON_PROPERTIES,
    P("标题", "caption", kText), P("效果", "effect", kPick), P("边框", "border", kPick),
    P("渐变边框宽度", "GradientBorderWidth", kInt), P("渐变边框颜色1", "GradientBorderColor1", kColour),
    P("渐变边框颜色2", "GradientBorderColor2", kColour), P("渐变边框颜色3", "GradientBorderColor3", kColour),
    P("字体", "font", kFont), P("文本颜色", "TextColor", kTextColour), P("背景颜色", "BackColor", kDefColour),
    P("底图", "BackPicture", kPicture), P("底图方式", "PictureMode", kPick),
    P("渐变背景方式", "GradientMode", kPick), P("渐变背景颜色1", "GradientColor1", kColour),
    P("渐变背景颜色2", "GradientColor2", kColour), P("渐变背景颜色3", "GradientColor3", kColour),
    P("横向对齐方式", "HAlign", kPick), P("是否自动折行", "WordWrap", kBool),
    P("纵向对齐方式", "VAlign", kPick), P("数据源", "DataSource", kDataSource),
    P("数据列", "DataColumn", kDataColumn),
};
static_assert(sizeof kLabelProps / sizeof kLabelProps[0] == 29, "label: 29 properties");

const rt::PropertyEntry kButtonProps[] = {
    COMMON_PROPERTIES,
    P("图片", "picture", kPicture), P("类型", "type", kPick), P("标题", "caption", kText),
    P("横向对齐方式", "HAlign", kPick), P("纵向对齐方式", "VAlign", kPick), P("字体", "font", kFont),
};
static_assert(sizeof kButtonProps / sizeof kButtonProps[0] == 14, "button: 14 properties");

const rt::PropertyEntry kRichEditProps[] = {
    COMMON_PROPERTIES,
    P("内容格式", "ContextType", kPick), P("内容", "context", kText), P("边框", "border", kPick),
    P("背景颜色", "BackColor", kDefColour), P("是否允许多行", "AllowMultiLines", kBool),
    P("自动换行", "AutoNextLine", kBool), P("只读", "ReadOnly", kBool), P("隐藏选择", "HideSel", kBool),
    P("最大允许长度", "MaxAllowLength", kInt), P("起始选择位置", "SelStart", kInt),
    P("被选择字符数", "SelLength", kInt), P("被选择文本", "SelText", kText), P("是否已更改", "Modified", kBool),
};
static_assert(sizeof kRichEditProps / sizeof kRichEditProps[0] == 21, "rich edit: 21 properties");

const rt::PropertyEntry kCheckBoxProps[] = {
    COMMON_PROPERTIES,
    P("标题", "caption", kText), P("选中", "checked", kBool), P("字体", "font", kFont),
    P("文本颜色", "TextColor", kTextColour), P("背景颜色", "BackColor", kDefColour),
};
static_assert(sizeof kCheckBoxProps / sizeof kCheckBoxProps[0] == 13, "check box: 13 properties");

const rt::PropertyEntry kComboBoxProps[] = {
    COMMON_PROPERTIES,
    P("列表项目", "items", kText), P("现行选中项", "ListIndex", kInt), P("内容", "content", kText),
    P("字体", "font", kFont), P("文本颜色", "TextColor", kTextColour), P("背景颜色", "BackColor", kDefColour),
};
static_assert(sizeof kComboBoxProps / sizeof kComboBoxProps[0] == 14, "combo box: 14 properties");

const rt::PropertyEntry kProgressBarProps[] = {
    COMMON_PROPERTIES,
    P("最小位置", "MinPos", kInt), P("最大位置", "MaxPos", kInt), P("位置", "position", kInt),
    P("跑马灯", "marquee", kBool), P("进度颜色", "BarColor", kDefColour), P("背景颜色", "BackColor", kDefColour),
};
static_assert(sizeof kProgressBarProps / sizeof kProgressBarProps[0] == 14, "progress bar: 14 properties");

const rt::PropertyEntry kListViewProps[] = {
    COMMON_PROPERTIES,
    P("列", "columns", kText), P("检查框", "CheckBoxes", kBool), P("整行选择", "FullRowSelect", kBool),
    P("允许多项选择", "MultiSelect", kBool), P("显示表格线", "GridLines", kBool), P("边框", "border", kPick),
    P("文本颜色", "TextColor", kTextColour), P("背景颜色", "BackColor", kDefColour), P("字体", "font", kFont),
    P("排序列", "SortColumn", kInt), P("降序", "SortDescending", kBool), P("行数", "RowCount", kInt),
    P("显示行数", "ShownCount", kInt), P("勾选行数", "CheckedCount", kInt), P("现行行", "CurrentRow", kInt),
};
static_assert(sizeof kListViewProps / sizeof kListViewProps[0] == 23, "list view: 23 properties");

#undef COMMON_PROPERTIES
#undef P

#define TYPE(name, english, flags, props, query) \
    {name, english, nullptr, 0, flags, static_cast<int32_t>(sizeof props / sizeof props[0]), props, query, 0, nullptr, 0, nullptr, 0, 0}
#define NONE {}

} // namespace

const rt::UnitTypeRecord kCoreTypes[kCoreTypeCount] = {
    TYPE("窗口", "window", rt::kTfCanRaise40, kWindowProps, WindowQuery),         // 1
    NONE,                                                            // 2
    TYPE("菜单", "Menu", rt::kTfCanRaise40, kMenuItemProps, MenuItemQuery),         // 3
    NONE,                                                            // 4
    TYPE("编辑框", "EditBox", rt::kTfCanRaise40, kEditBoxProps, EditBoxQuery),     // 5
    TYPE("选择框", "CheckBox", rt::kTfCanRaise40, kCheckBoxProps, CheckBoxQuery),   // 6
    TYPE("组合框", "ComboBox", rt::kTfCanRaise40, kComboBoxProps, ComboBoxQuery),   // 7
    TYPE("进度条", "ProgressBar", rt::kTfCanRaise40 | rt::kTfNoFocus, kProgressBarProps, ProgressBarQuery),  // 8
    NONE,                                                            // 9
    TYPE("标签", "Label", rt::kTfCanRaise40, kLabelProps, LabelQuery),           // 10
    TYPE("按钮", "Button", rt::kTfCanRaise40 | rt::kTfDefaultButton, kButtonProps, ButtonQuery),  // 11
};

const rt::UnitTypeRecord kExtTypes[kExtTypeCount] = {
    NONE, NONE, NONE, NONE, NONE,
    TYPE("超级编辑框", "RichEdit", rt::kTfCanRaise40, kRichEditProps, RichEditQuery),  // 6
    // The rows live only in the control's model: re-creating it would lose them.
    TYPE("超级列表框", "ListView", rt::kTfCanRaise40 | rt::kTfNoRecreate, kListViewProps, ListViewQuery),  // 7
};

#undef TYPE
#undef NONE

} // namespace units
