// What phones answer to the package commands, and what their owners can do
// about it: the table of answers, each told by the exception's class and
// message or by pm's failure code, never by how the line begins (the format
// changed at Android 11: "Security exception: MSG" before, then
// "Exception occurred while executing 'CMD':" and "java.lang.XxxException:
// MSG" with a trace; the oldest pm prints "Error: java.lang...."), and for
// each the words the owner reads and the action that works instead.
#pragma once

#include <string>

namespace knowledge {

enum class Answer {
    None,               // nothing the table knows
    NotInstalled,       // Failure [not installed for N]: so already, or only another user has it
    UnknownPackage,     // IllegalArgumentException: Unknown package
    ShellCannotChange,  // Shell cannot change component state: the system set the app disabled (state 2 or 4)
    ProtectedPackage,   // Cannot disable a protected package
    SystemPackages,     // Cannot disable system packages. (Xiaomi HyperOS; deleting works)
    CorePackage,        // Cannot disable miui core packages.
    NoRootPermission,   // Cannot disable PKG no root permission (vivo)
    DeviceAdmin,        // DELETE_FAILED_DEVICE_POLICY_MANAGER: an active device administrator
    UserRestricted,     // DELETE_FAILED_USER_RESTRICTED (vivo and iQOO for their own apps)
    OwnerBlocked,       // DELETE_FAILED_OWNER_BLOCKED
    SharedLibrary,      // DELETE_FAILED_USED_SHARED_LIBRARY: other apps use the library it holds
    InternalError,      // DELETE_FAILED_INTERNAL_ERROR with --user: the maker protects it
    UninstallNotAllowed,// DELETE_FAILED_ABORTED: PKG is not allowed the uninstall. (Honor)
    MakerCode,          // Failure [-1000] (Xiaomi, for its browser and more)
    RootOnly,           // only root can delete system app for a particular user (Android 17)
    NoApk,              // NameNotFoundException: Package PKG doesn't exist (install-existing)
    NoInstallExisting,  // Android 7 and older have no install-existing
    UserDenied,         // Shell does not have permission to access user N
    InstallRestricted,  // INSTALL_FAILED_USER_RESTRICTED: installs from the computer are off
    OtherSecurity,      // any other SecurityException
};

// The answer in what one command printed (both streams); None when the
// table knows none of it (a success, or something new).
Answer ReadAnswer(const std::string& printed);

// What works where the answer refuses: HyperOS refuses to disable a system
// app but deletes it; Android 17 refuses to delete one but disables it.
enum class Instead { Nothing, Delete, Disable };
Instead InsteadOf(Answer a);

// The owner's words for the answer and the way out, e.g. for SystemPackages
// "失败，这台手机不允许禁用系统应用；可以改用删除（保留数据，用 恢复 可以找回）".
// `verb` is the action's Chinese verb (禁用, 删除 ...). Empty for None.
std::string Explain(Answer a, const std::string& verb);

// How the owner lets the computer install apps again (INSTALL_FAILED_USER_RESTRICTED),
// for the phone's maker as ro.product.manufacturer names it; every maker's
// way when the maker is not known.
std::string InstallRemedy(const std::string& maker);

} // namespace knowledge
