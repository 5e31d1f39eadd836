// The program's constant block: every literal the program's code uses, in
// one read-only block whose range the runtime records, so that the memory
// services never free or resize a constant in place.
#pragma once

#include <cstdint>

namespace data {

// name, text (GBK in the program's data)
#define PROGRAM_TEXTS(X)                                                              \
    X(cmdListDevices, "\\adb_1.0.40\\adb devices")                                    \
    X(cmdDisable, "\\adb_1.0.40\\adb shell pm disable-user ")                         \
    X(cmdDelete, "\\adb_1.0.40\\adb shell pm uninstall -k --user 0 ")                 \
    X(cmdListDisabled, "\\adb_1.0.40\\adb shell pm list packages -d")                 \
    X(cmdEnable, "\\adb_1.0.40\\adb shell pm enable ")                                \
    X(cmdForeground, "\\adb_1.0.40\\adb shell dumpsys window | findstr mCurrentFocus") \
    X(prefixNt, "cmd.exe /c ")                                                        \
    X(prefixDos, "command.com /c ")                                                   \
    X(foregroundPattern, "mCurrentFocus=Window\\{[^}\\s]+ u0 ([A-Za-z0-9_]+(?:\\.[A-Za-z0-9_]+)+)[/}\\s]") \
    X(regexFailed, "正则创建失败,请联系管理员")                                       \
    X(badNamePrefix, "包名含有不允许的字符“")                                         \
    X(badNameSuffix, "”，命令没有执行。包名只能包含字母、数字、“.”、“_”和空格。") \
    X(openManagerItem, "应用管理(&P)...")

struct ConstantBlock {
    int32_t emptyBytes[2];   // the constant empty byte set: 1 dimension, 0 bytes
    char emptyText[1];       // the constant empty text
#define DECLARE_TEXT(name, text) char name[sizeof(text)];
    PROGRAM_TEXTS(DECLARE_TEXT)
#undef DECLARE_TEXT
};

extern const ConstantBlock kConstants;

} // namespace data
