#include "users.h"

#include "text/text.h"

namespace knowledge {

namespace {

std::string Lower(const std::string& s) {
    std::string l = s;
    for (char& c : l)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return l;
}

} // namespace

// What phones list, as owners and the tools that read them report it:
//   Xiaomi dual apps (应用双开)    UserInfo{999:XSpace:801010}
//   ColorOS app clones            UserInfo{999:MultiApp:4001010} (and 998)
//   Samsung Dual Messenger        UserInfo{95:DualApp:...}
//   Xiaomi second space (手机分身) UserInfo{11:security space:13}
//   Samsung Secure Folder         UserInfo{150:Secure Folder:10061030}
// Secure Folder carries the managed-profile flag (0x20) too, so the names
// are asked before the flag.
Space SpaceOf(int id, const std::string& name, unsigned flags) {
    if (id == 0) return Space::Owner;
    std::string n = Lower(name);
    if (text::Contains(n, "secure folder")) return Space::SecureFolder;
    if (id == 999 || n == "xspace" || n == "multiapp" || n == "dualapp" || n == "dual_app" ||
        text::Contains(n, "dual messenger"))
        return Space::DualApps;
    if (n == "security space" || text::Contains(n, "second space") || text::Contains(n, "secondspace"))
        return Space::SecondSpace;
    if (flags & 0x20) return Space::WorkProfile;   // UserInfo.FLAG_MANAGED_PROFILE
    return Space::Other;
}

std::string SpaceName(Space s) {
    switch (s) {
    case Space::Owner: return "机主";
    case Space::WorkProfile: return "工作资料";
    case Space::DualApps: return "应用双开";
    case Space::SecondSpace: return "手机分身";
    case Space::SecureFolder: return "安全文件夹";
    case Space::Other: break;
    }
    return std::string();
}

std::string UserLabel(int id, const std::string& name, unsigned flags) {
    std::string space = SpaceName(SpaceOf(id, name, flags));
    if (!space.empty()) return space;
    std::string shown = text::OneLine(text::IsUtf8(name) ? text::Utf8ToGbk(name) : name, 40);
    return "用户 " + std::to_string(id) + (shown.empty() ? "" : "（" + shown + "）");
}

} // namespace knowledge
