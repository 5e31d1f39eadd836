// The users and profiles of a phone as their owners know them: the owner, a
// work profile, and the makers' spaces that Android keeps as users of their
// own (dual apps, a second space, Samsung's Secure Folder).
#pragma once

#include <string>

namespace knowledge {

enum class Space { Owner, WorkProfile, DualApps, SecondSpace, SecureFolder, Other };

// What `pm list users` tells of a user ("UserInfo{999:XSpace:801010}"): its
// id, name and UserInfo flags.
Space SpaceOf(int id, const std::string& name, unsigned flags);

// 机主, 工作资料, 应用双开, 手机分身, 安全文件夹; empty for another user.
std::string SpaceName(Space s);

// The label a list of users shows: the space's name, else "用户 10（name）"
// with the name the phone gives (UTF-8 from the phone, shown in GBK).
std::string UserLabel(int id, const std::string& name, unsigned flags);

} // namespace knowledge
