#include "risk.h"

#include <map>
#include "text/text.h"

namespace data {
extern const char kRiskText[];
}

namespace knowledge {

namespace {

const char kGeneralReason[] = "系统组件，停用或删除后手机可能无法正常使用";

void AddToMap(const std::string& name, const std::string& reason, void* to) {
    (*static_cast<std::map<std::string, std::string>*>(to))[name] = reason;
}

const std::map<std::string, std::string>& Risks() {
    static const std::map<std::string, std::string> risks = [] {
        std::map<std::string, std::string> m;
        ParseRiskList(data::kRiskText, AddToMap, &m);
        return m;
    }();
    return risks;
}

} // namespace

void ParseRiskList(const char* text, void (*add)(const std::string&, const std::string&, void*), void* to) {
    for (const std::string& raw : text::SplitLines(text ? text : "")) {
        std::string line = text::Trim(raw);
        if (line.empty() || line[0] == '#') continue;
        // " # " after the reason begins a comment (the thread a report comes from).
        size_t comment = line.find(" # ");
        if (comment == std::string::npos) comment = line.find("\t# ");
        if (comment != std::string::npos) line = text::Trim(line.substr(0, comment));
        size_t end = line.find_first_of("\t ");
        std::string name = line.substr(0, end);
        std::string reason = end == std::string::npos ? std::string() : text::Trim(line.substr(end));
        add(name, reason.empty() ? kGeneralReason : reason, to);
    }
}

const std::string* RiskReason(const std::string& package) {
    auto it = Risks().find(package);
    return it == Risks().end() ? nullptr : &it->second;
}

} // namespace knowledge
