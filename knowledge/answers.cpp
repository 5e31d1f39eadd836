#include "answers.h"

#include "text/text.h"

namespace knowledge {

namespace {

// How an answer is printed: an exception of a class family with its
// message, or pm's "Failure [CODE...]" (and Android 6's "Failure - ...").
enum class Form { Security, IllegalArgument, NameNotFound, Failure, Command };

struct Row {
    Form form;
    const char* needle;   // a part of the message or failure text; "" matches any of the form
    Answer answer;
};

// Sources: AOSP frameworks/base services/core/java/com/android/server/pm/
// PackageManagerShellCommand.java (runUninstall prints "Failure [not
// installed for N]" when the user lacks the package and "Failure [" + the
// installer's status message + "]" else; runInstallExisting throws
// NameNotFoundException("Package P doesn't exist"); runSetEnabledSetting),
// PackageManagerService.setEnabledSettings (the shell may move a whole
// package only between default, enabled and disabled-user: "Shell cannot
// change component state for P/null to N", "for null to N" from Android 13
// where the setting names no component; "Cannot disable a protected
// package"), DeletePackageHelper (DELETE_FAILED_DEVICE_POLICY_MANAGER for an
// active device admin, DELETE_FAILED_USER_RESTRICTED under
// DISALLOW_UNINSTALL_APPS, DELETE_FAILED_OWNER_BLOCKED,
// DELETE_FAILED_USED_SHARED_LIBRARY for a static library other apps use). The makers' texts
// from the threads named beside them.
const Row kRows[] = {
    {Form::Security, "Shell cannot change component state", Answer::ShellCannotChange},
    {Form::Security, "Cannot disable a protected package", Answer::ProtectedPackage},
    // Xiaomi HyperOS: brevent/Brevent#902, Universal-Debloater-Alliance/
    // universal-android-debloater-next-generation#1322 (thrown from
    // PackageManagerServiceImpl.shouldRestrictEnabledSettingsChange).
    {Form::Security, "Cannot disable system packages", Answer::SystemPackages},
    // MIUI: ReChronoRain/HyperCeiler#613.
    {Form::Security, "Cannot disable miui core packages", Answer::CorePackage},
    // vivo / iQOO: "Cannot disable com.vivo.appstore no root permission" (UAD-ng#194).
    {Form::Security, "no root permission", Answer::NoRootPermission},
    // A profile the shell may not reach, Samsung's Secure Folder (user 150)
    // above all: mozilla/web-ext#2904, cocool97/adb_client#99.
    {Form::Security, "Shell does not have permission to access user", Answer::UserDenied},
    {Form::Security, "", Answer::OtherSecurity},
    {Form::IllegalArgument, "Unknown package", Answer::UnknownPackage},
    {Form::NameNotFound, "doesn't exist", Answer::NoApk},
    {Form::Failure, "not installed for", Answer::NotInstalled},
    {Form::Failure, "DELETE_FAILED_DEVICE_POLICY_MANAGER", Answer::DeviceAdmin},
    {Form::Failure, "DELETE_FAILED_USER_RESTRICTED", Answer::UserRestricted},
    {Form::Failure, "DELETE_FAILED_OWNER_BLOCKED", Answer::OwnerBlocked},
    {Form::Failure, "DELETE_FAILED_USED_SHARED_LIBRARY", Answer::SharedLibrary},
    {Form::Failure, "DELETE_FAILED_INTERNAL_ERROR", Answer::InternalError},
    // Honor: "Failure [DELETE_FAILED_ABORTED: com.hihonor.id is not allowed
    // the uninstall." (0x192/universal-android-debloater#1044).
    {Form::Failure, "DELETE_FAILED_ABORTED", Answer::UninstallNotAllowed},
    // Xiaomi: Szaki/XiaomiADBFastbootTools#143 (disabling works there), #280.
    {Form::Failure, "-1000", Answer::MakerCode},
    // Android 17: "Failure [only root can delete system app for a particular
    // user]" for --user on a system app (trinadhthatakula/Thor#314, measured
    // on API 37).
    {Form::Failure, "only root can delete system app", Answer::RootOnly},
    // adb's "adb: failed to install X: Failure [INSTALL_FAILED_USER_RESTRICTED:
    // Install canceled by user]" (rom1v/sndcpy#64, Genymobile/gnirehtet#294).
    {Form::Failure, "INSTALL_FAILED_USER_RESTRICTED", Answer::InstallRestricted},
    {Form::Command, "install-existing", Answer::NoInstallExisting},
};

bool ClassIs(const std::string& cls, Form form) {
    auto endsWith = [&](const char* tail) {
        std::string t = tail;
        return cls.size() >= t.size() && cls.compare(cls.size() - t.size(), t.size(), t) == 0;
    };
    switch (form) {
    // Android 7-8's pm printed "Security exception: MSG".
    case Form::Security: return endsWith("SecurityException") || cls == "Security exception";
    case Form::IllegalArgument: return endsWith("IllegalArgumentException");
    case Form::NameNotFound: return endsWith("NameNotFoundException");
    default: return false;
    }
}

// One line's exception: its class and message, e.g.
// "java.lang.SecurityException: Cannot disable system packages." The line
// that announces it ("Exception occurred while executing 'x':") and the
// trace are no exception of their own.
bool ReadException(const std::string& line, std::string* cls, std::string* message) {
    std::string s = text::Trim(line);
    if (text::StartsWith(s, "Error: ")) s = s.substr(7);
    if (text::StartsWith(s, "Exception occurred")) return false;
    for (const char* mark : {"Exception: ", "exception: "}) {
        size_t at = s.find(mark);
        if (at == std::string::npos) continue;
        size_t end = at + std::char_traits<char>::length(mark) - 2;
        size_t start = s.rfind(' ', at);
        // "Security exception" is two words; a class name is one.
        start = s.compare(0, end, "Security exception") == 0 ? 0 : start == std::string::npos ? 0 : start + 1;
        *cls = s.substr(start, end - start);
        *message = s.substr(end + 2);
        return true;
    }
    return false;
}

// pm's failure: "Failure [CODE]", "Failure [CODE: message]", Android 6's
// "Failure - not installed for 0", anywhere in the line (adb puts its own
// words before it).
bool ReadFailure(const std::string& line, std::string* failure) {
    size_t at = line.find("Failure [");
    if (at != std::string::npos) {
        size_t close = line.find(']', at);
        *failure = line.substr(at + 9, close == std::string::npos ? std::string::npos : close - at - 9);
        return true;
    }
    at = line.find("Failure - ");
    if (at == std::string::npos) return false;
    *failure = line.substr(at + 10);
    return true;
}

bool UnknownCommand(const std::string& line, const char* command) {
    return (text::Contains(line, "Unknown command: ") || text::Contains(line, "unknown command '")) &&
           text::Contains(line, command);
}

Answer Match(Form form, const std::string& said) {
    for (const Row& row : kRows)
        if (row.form == form && (row.needle[0] == 0 || text::Contains(said, row.needle))) return row.answer;
    return Answer::None;
}

} // namespace

Answer ReadAnswer(const std::string& printed) {
    for (const std::string& line : text::SplitLines(printed)) {
        std::string cls, message, failure;
        if (ReadException(line, &cls, &message)) {
            for (Form form : {Form::Security, Form::IllegalArgument, Form::NameNotFound})
                if (ClassIs(cls, form)) {
                    Answer a = Match(form, message);
                    if (a != Answer::None) return a;
                }
        } else if (ReadFailure(line, &failure)) {
            Answer a = Match(Form::Failure, failure);
            if (a != Answer::None) return a;
        } else {
            for (const Row& row : kRows)
                if (row.form == Form::Command && UnknownCommand(line, row.needle)) return row.answer;
        }
    }
    return Answer::None;
}

Instead InsteadOf(Answer a) {
    switch (a) {
    case Answer::SystemPackages: return Instead::Delete;
    // Disabling works where deleting is refused for these (the threads above).
    case Answer::RootOnly:
    case Answer::InternalError:
    case Answer::MakerCode: return Instead::Disable;
    default: return Instead::Nothing;
    }
}

std::string Explain(Answer a, const std::string& verb) {
    switch (a) {
    case Answer::None: return std::string();
    case Answer::NotInstalled: return "失败，此用户没有安装这个应用";
    case Answer::UnknownPackage: return "失败，手机上没有这个应用";
    case Answer::ShellCannotChange: return "已被系统停用：这是系统或厂商停用的，不是用户禁用，adb 不能更改它，没有改动";
    case Answer::ProtectedPackage: return "失败，系统不允许" + verb + "受保护的应用";
    case Answer::SystemPackages: return "失败，这台手机不允许禁用系统应用；可以改用删除（保留数据，用 恢复 可以找回）";
    case Answer::CorePackage: return "失败，小米不允许禁用它的核心应用";
    case Answer::NoRootPermission: return "失败，vivo 不允许禁用它自带的应用";
    case Answer::DeviceAdmin:
        return "失败，它是已激活的设备管理应用：请先在手机的 设置 → 安全 → 设备管理应用 中关闭它，再" + verb;
    case Answer::UserRestricted:
        return "失败，手机上的限制不允许" + verb + "这个应用（vivo、iQOO 对自带的应用如此，家长控制或企业管理也会这样）";
    case Answer::OwnerBlocked: return "失败，设备策略或用户限制不允许" + verb + "这个应用";
    case Answer::SharedLibrary: return "失败，其他应用在用它提供的共享库，不能删除";
    case Answer::InternalError: return "失败，手机不允许删除这个应用（厂商保护的应用常这样）；可以改用禁用";
    case Answer::UninstallNotAllowed: return "失败，手机厂商保护这个应用，不允许删除";
    case Answer::MakerCode: return "失败，手机厂商不允许删除这个应用（-1000）；可以改用禁用";
    case Answer::RootOnly: return "失败，Android 17 起 adb 不能为单个用户删除系统应用；可以改用禁用";
    case Answer::NoApk:
        return "失败，手机上已没有它的安装包（删除用户自己安装的应用时，Android 一并删掉了安装包），只能重新安装";
    case Answer::NoInstallExisting: return "失败，恢复需要 Android 8 或更高版本";
    case Answer::UserDenied: return "失败，手机不允许 adb 访问这个用户（安全文件夹等受保护的空间），只能在手机上操作";
    case Answer::InstallRestricted: return "失败，手机不允许从电脑安装应用：" + InstallRemedy(std::string());
    case Answer::OtherSecurity: return "失败，设备策略或用户限制不允许" + verb + "这个应用";
    }
    return std::string();
}

std::string InstallRemedy(const std::string& maker) {
    std::string m;
    for (char c : maker) m += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    // Xiaomi: USB安装 needs a signed-in Mi account and a SIM card. OPPO,
    // OnePlus and realme (ColorOS): 禁用权限监控, on ColorOS 16 禁用系统优化,
    // sometimes listed only with the phone in English; USB debugging off and
    // on again afterwards.
    const std::string xiaomi = "在手机的 开发者选项 中打开“USB安装”（需要登录小米账号并插入 SIM 卡）";
    const std::string oppo = "在手机的 开发者选项 中打开“禁用权限监控”（ColorOS 16 为“禁用系统优化”，有时要把手机语言切换成英文才显示），"
                             "然后关闭再打开“USB 调试”";
    if (m == "xiaomi" || m == "redmi" || m == "poco") return xiaomi;
    if (m == "oppo" || m == "oneplus" || m == "realme") return oppo;
    return "小米手机：" + xiaomi + "；OPPO、一加、realme 手机：" + oppo;
}

} // namespace knowledge
