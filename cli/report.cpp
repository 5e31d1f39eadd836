#include "report.h"

#include <cstdio>
#include <nlohmann/json.hpp>
#include "apk/respool.h"
#include "knowledge/users.h"
#include "text/text.h"

namespace cli {

namespace {

using Json = nlohmann::ordered_json;

// Texts of the program are GBK; what the phone printed is usually UTF-8.
std::string FromProgram(const std::string& gbk) { return text::GbkToUtf8(gbk); }
std::string FromPhone(const std::string& s) { return text::IsUtf8(s) ? s : text::GbkToUtf8(s); }
std::string PhoneShown(const std::string& s) { return text::IsUtf8(s) ? text::Utf8ToGbk(s) : s; }

void Emit(Output& out, const Json& j) { out.JsonLine(j.dump(-1, ' ', false, Json::error_handler_t::replace)); }

std::wstring Wide(const std::string& gbk) { return Stream::Wide(gbk, 936); }
// What the phone printed, whole (GBK would lose what it lacks).
std::wstring PhoneWide(const std::string& s) { return text::IsUtf8(s) ? Stream::Wide(s, CP_UTF8) : Wide(s); }

// An app's name as one field of a line: a control character (a tab would
// split the field, a line end the line) becomes a blank.
std::wstring Field(const std::u16string& name) {
    std::wstring w(name.begin(), name.end());
    for (wchar_t& c : w)
        if (c < 0x20 || (c >= 0x7F && c < 0xA0) || c == 0x2028 || c == 0x2029) c = L' ';
    return w;
}

// "微信 (com.tencent.mm)" where the name is known, else the package name.
std::wstring Named(const std::u16string& label, const std::string& package) {
    return label.empty() ? Wide(package) : Field(label) + L" (" + Wide(package) + L")";
}

Json LabelJson(bool hasName, const std::u16string& name) {
    return hasName ? Json(apk::Utf16ToUtf8(name)) : Json(nullptr);
}

} // namespace

void Report::Device(const dev::Device& d) {
    std::string hint = dev::StateHint(d);
    if (json_) {
        Emit(out_, Json{{"serial", FromPhone(d.serial)},
                        {"state", FromPhone(d.stateText)},
                        {"ready", d.state == dev::DeviceState::Ready},
                        {"model", FromPhone(d.model)},
                        {"product", FromPhone(d.product)},
                        {"hint", FromProgram(hint)}});
        return;
    }
    std::string line = PhoneShown(d.serial) + "\t" + PhoneShown(d.stateText) + "\t" +
                       (d.model.empty() ? "-" : PhoneShown(d.model));
    out_.Data(hint.empty() ? line : line + "\t" + hint);
}

void Report::Package(const std::string& serial, const dev::Package& p, const std::string* risk,
                     const appnames::AppLabel* label) {
    bool system = p.kind == dev::PackageKind::System;
    bool named = label && label->hasName && !label->name.empty();
    if (json_) {
        Json j{{"device", FromPhone(serial)},
               {"package", p.name},
               {"state", dev::StateWord(p.state)},
               {"kind", system ? "system" : "user"},
               {"path", FromPhone(p.path)},
               {"risk", risk ? FromProgram(*risk) : std::string()}};
        if (names_) j["label"] = LabelJson(named, named ? label->name : std::u16string());
        Emit(out_, j);
        return;
    }
    std::wstring line = Wide(Prefix(serial) + p.name + "\t" + dev::StateText(p.state) + "\t" + dev::KindText(p.kind) +
                             "\t") +
                        (p.path.empty() ? L"-" : PhoneWide(p.path));
    if (names_) line += L"\t" + (named ? Field(label->name) : std::wstring(L"-"));
    out_.Data(line);
}

void Report::Result(const Outcome& o) {
    if (json_) {
        Json j{{"device", FromPhone(o.device)},
               {"package", o.package},
               {"action", dev::ActionWord(o.action)},
               {"outcome", o.outcome},
               {"ok", o.ok},
               {"message", FromProgram(o.message)},
               {"detail", FromPhone(o.detail)},
               {"before", o.before},
               {"instead", o.instead.empty() ? Json(nullptr) : Json(o.instead)}};
        if (!o.command.empty()) j["command"] = o.command;
        if (names_) j["label"] = LabelJson(!o.label.empty(), o.label);
        Emit(out_, j);
        return;
    }
    out_.Data(Wide(Prefix(o.device)) + Named(o.label, o.package) + Wide("：" + o.message));
}

void Report::User(const std::string& serial, const dev::PhoneUser& u, bool reachable) {
    std::string label = knowledge::UserLabel(u.id, u.name, u.flags);
    char flags[16];
    std::snprintf(flags, sizeof flags, "%x", u.flags);
    if (json_) {
        Emit(out_, Json{{"device", FromPhone(serial)},
                        {"user", u.id},
                        {"label", FromProgram(label)},
                        {"name", FromPhone(u.name)},
                        {"flags", flags},
                        {"running", u.running},
                        {"reachable", reachable}});
        return;
    }
    out_.Data(Wide(Prefix(serial) + std::to_string(u.id) + "\t" + label + "\t") + PhoneWide(u.name.empty() ? "-" : u.name) +
              Wide(reachable ? "" : "\tadb 无法访问"));
}

void Report::RefusedLine(int number, const std::string& text, const std::string& reason) {
    if (json_) {
        Emit(out_, Json{{"line", number},
                        {"text", FromProgram(text)},
                        {"outcome", dev::OutcomeWord(dev::Outcome::BadName)},
                        {"ok", false},
                        {"message", FromProgram("失败，" + reason)}});
        return;
    }
    out_.Data("第 " + std::to_string(number) + " 行“" + text + "”：失败，" + reason);
}

void Report::RecordLine(const dev::RecordEntry& e, const std::string& serial, const std::u16string& label) {
    dev::PackageResult r;
    r.name = e.package;
    r.outcome = e.outcome;
    std::string message = dev::OutcomeMessage(e.action, r);
    if (json_) {
        Json j{{"time", e.time},
               {"device", FromPhone(serial)},
               {"model", FromPhone(e.model)},
               {"user", e.user},
               {"package", e.package},
               {"action", dev::ActionWord(e.action)},
               {"outcome", dev::OutcomeWord(e.outcome)},
               {"message", FromProgram(message)},
               {"before", e.beforeKnown ? dev::StateWord(e.before) : ""}};
        if (names_) j["label"] = LabelJson(!label.empty(), label);
        Emit(out_, j);
        return;
    }
    std::wstring line = Wide(Prefix(serial) + dev::LocalTimeText(e.time) + "\t" + e.package + "\t" +
                             dev::ActionVerb(e.action) + "\t" + message);
    if (names_) line += L"\t" + (label.empty() ? std::wstring(L"-") : Field(label));
    out_.Data(line);
}

} // namespace cli
