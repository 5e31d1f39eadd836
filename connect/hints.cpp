#include "hints.h"

#include "text/text.h"

namespace conn {

const char kPlatformToolsUrl[] = "https://developer.android.com/tools/releases/platform-tools";

std::string NoPhoneHint() {
    return "没有发现手机，请依次检查：①已打开“USB 调试” ②手机上已点“允许” ③数据线能传数据 ④已装厂商 USB 驱动 "
           "⑤华为：USB 连接方式别选“仅充电”";
}

std::string NoPhoneDetails() {
    return "鸿蒙 NEXT（HarmonyOS 5）的手机没有 adb，无论怎样都不会出现；鸿蒙 2～4 照常可用。"
           "不用数据线：Android 11 及以上可以在“设备”列表里选“无线连接…”。";
}

AdbTrouble ExplainAdbTrouble(const std::string& listError, const std::string& adbText, const PortOwner& owner) {
    AdbTrouble t;
    t.clash = FindVersionClash(adbText + "\n" + listError);
    if (t.clash.found) {
        t.kind = AdbTrouble::OtherServer;
        t.message = ClashMessage(t.clash, owner);
        return t;
    }
    if (listError.empty()) return t;
    if (text::StartsWith(listError, "找不到 ")) {
        t.kind = AdbTrouble::Missing;
        t.message = listError + "（在 " + kPlatformToolsUrl + " 下载 platform-tools）";
    } else if (text::Contains(listError, "daemon") || text::Contains(listError, "ADB Server")) {
        t.kind = AdbTrouble::ServerDown;
        t.message = "adb 服务没有启动：" +
                    (owner.Known() ? "端口 " + std::to_string(owner.port) + " 被 " + owner.name + " 占用"
                                   : std::string("端口可能被别的程序占用，或安全软件拦住了 adb.exe")) +
                    "。请退出手机助手类的软件后按 刷新";
    } else {
        t.kind = AdbTrouble::Other;
        t.message = listError;
    }
    return t;
}

} // namespace conn
