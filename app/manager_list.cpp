#include "manager_list.h"

#include "data/manager.h"
#include "apk/respool.h"
#include "text/text.h"
#include "manager_view.h"
#include "knowledge/risk.h"
#include "units/listmodel.h"

namespace app::mgr {

namespace {

constexpr uint32_t kNameAndPath = 0x1 | 0x2 | 0x20;   // columns 名称, 包名 and 路径

// A name on one line: control characters (a label may hold a line break) become blanks.
std::wstring OneLineName(const std::u16string& name) {
    std::wstring s(name.begin(), name.end());
    for (wchar_t& c : s)
        if (c < 0x20 || c == 0x7F) c = L' ';
    return s;
}

std::string WideToUtf8(const std::wstring& s) { return apk::Utf16ToUtf8(std::u16string(s.begin(), s.end())); }

std::string Outcome(const dev::RecordEntry& e) {
    if (e.outcome == dev::Outcome::Done) return "";
    dev::PackageResult r;
    r.name = e.package;
    r.outcome = e.outcome;
    return "，" + dev::OutcomeMessage(e.action, r);
}

// Whether a package passes the state and kind choices of the two combo boxes.
bool Passes(const dev::Package& p, StateShown state, KindShown kind) {
    switch (state) {
    case StateShown::Enabled: if (p.state != dev::PackageState::Enabled) return false; break;
    case StateShown::Disabled: if (p.state != dev::PackageState::Disabled) return false; break;
    case StateShown::Deleted: if (p.state != dev::PackageState::Deleted) return false; break;
    default: break;
    }
    switch (kind) {
    case KindShown::System: return p.kind == dev::PackageKind::System;
    case KindShown::User: return p.kind == dev::PackageKind::User;
    default: return true;
    }
}

} // namespace

std::string LastActionText(const dev::RecordEntry& e) {
    // 2026-12-08T04:10:00Z -> 12-08 12:10 in the computer's local time
    std::string local = dev::LocalTimeText(e.time);
    std::string when = local != e.time && local.size() >= 16 ? local.substr(5, 11) : e.time;
    return std::string(dev::ActionVerb(e.action)) + Outcome(e) + " " + when;
}

bool DisabledBySystem(const dev::Package& p, const std::map<std::string, dev::RecordEntry>& last) {
    auto it = last.find(p.name);
    return p.state == dev::PackageState::Disabled && it != last.end() && it->second.outcome == dev::Outcome::SystemDisabled;
}

std::string RowCells(const dev::Package& p, const std::map<std::string, dev::RecordEntry>& last) {
    const std::string* risk = knowledge::RiskReason(p.name);
    auto it = last.find(p.name);
    std::string state = DisabledBySystem(p, last) ? "已被系统停用" : dev::StateText(p.state);
    return "\t" + p.name + "\t" + state + "\t" + dev::KindText(p.kind) + "\t" + (risk ? *risk : "") + "\t" + p.path +
           "\t" + (it == last.end() ? "" : LastActionText(it->second));
}

bool PackageRows::DisabledBySystem(const std::string& package) const {
    const dev::Package* p = dev::FindPackage(snapshot_, package);
    return p && mgr::DisabledBySystem(*p, last_);
}

std::string PackageRows::NameOfRow(int32_t row) const {
    return row >= 0 && static_cast<size_t>(row) < rows_.size() ? snapshot_.packages[rows_[row]].name : std::string();
}

void PackageRows::Fill() {
    rows_.clear();
    std::string text;
    StateShown state = static_cast<StateShown>(view::Current(data::kMgrState));
    KindShown kind = static_cast<KindShown>(view::Current(data::kMgrKind));
    for (size_t i = 0; i < snapshot_.packages.size(); i++) {
        if (!Passes(snapshot_.packages[i], state, kind)) continue;
        rows_.push_back(i);
        text += RowCells(snapshot_.packages[i], last_) + "\n";
    }
    view::SetRows(text);
    ShowLabels();
    for (size_t row = 0; row < rows_.size(); row++) {
        const dev::Package& p = snapshot_.packages[rows_[row]];
        if (knowledge::RiskReason(p.name)) view::SetRow(static_cast<int32_t>(row), RowCells(p, last_), kRiskColour);
        if (checked_.count(p.name)) view::CheckRow(static_cast<int32_t>(row), true);
    }
    shown_ = view::Filter(filter_, kNameAndPath);
    UpdateCount();
}

void PackageRows::ShowLabels() {
    std::string lines;
    for (size_t i : rows_) {
        auto it = labels_.find(snapshot_.packages[i].name);
        if (it != labels_.end()) lines += WideToUtf8(it->second.name);
        lines += "\n";
    }
    view::SetNames(kNameColumn, 0, lines);
    // Apps without a bitmap icon of their own show the default one.
    for (size_t row = 0; row < rows_.size(); row++) {
        auto it = labels_.find(snapshot_.packages[rows_[row]].name);
        if (it != labels_.end() && !it->second.icon.empty()) view::SetIcon(static_cast<int32_t>(row), it->second.icon);
    }
}

void PackageRows::SetLabels(const std::vector<std::pair<std::string, appnames::AppLabel>>& labels) {
    bool changed = false;
    for (const auto& kv : labels) {
        if (!kv.second.hasName) {
            changed = labels_.erase(kv.first) != 0 || changed;
            continue;
        }
        Label label{OneLineName(kv.second.name), kv.second.icon};
        Label& held = labels_[kv.first];
        changed = changed || held.name != label.name || held.icon != label.icon;
        held = std::move(label);
    }
    if (changed && !rows_.empty()) ShowLabels();
}

void PackageRows::ClearLabels() { labels_.clear(); }

std::string PackageRows::LabelUtf8(const std::string& package) const {
    auto it = labels_.find(package);
    return it == labels_.end() ? std::string() : WideToUtf8(it->second.name);
}

std::string PackageRows::Display(const std::string& package) const {
    std::string name = LabelUtf8(package);
    return name.empty() ? package : text::Utf8ToGbk(name) + " (" + package + ")";
}

void PackageRows::Show(const dev::PackageSnapshot& s, const std::map<std::string, dev::RecordEntry>& last) {
    snapshot_ = s;
    last_ = last;
    // A package the phone no longer has keeps no check.
    for (auto it = checked_.begin(); it != checked_.end();)
        it = dev::FindPackage(snapshot_, *it) ? std::next(it) : checked_.erase(it);
    Fill();
}

void PackageRows::Clear() {
    snapshot_ = dev::PackageSnapshot();
    last_.clear();
    checked_.clear();
    Fill();
}

void PackageRows::Reshow() { Fill(); }

void PackageRows::SyncChecks() {
    std::set<int32_t> rows;
    for (int32_t row : view::CheckedRows()) rows.insert(row);
    for (size_t row = 0; row < rows_.size(); row++) {
        const std::string& name = snapshot_.packages[rows_[row]].name;
        if (rows.count(static_cast<int32_t>(row))) checked_.insert(name);
        else checked_.erase(name);
    }
}

void PackageRows::ClearChecks() { checked_.clear(); }

void PackageRows::ApplyFilter(const std::string& text) {
    filter_ = text;
    shown_ = view::Filter(filter_, kNameAndPath);
    UpdateCount();
}

void PackageRows::UpdateCount() {
    view::SetText(data::kMgrCount, "共 " + std::to_string(snapshot_.packages.size()) + " 个，显示 " +
                                       std::to_string(shown_) + " 个，已勾选 " + std::to_string(checked_.size()) +
                                       " 个");
}

bool PackageRows::Shown(const std::string& name) const {
    const dev::Package* p = dev::FindPackage(snapshot_, name);
    if (!p) return false;
    StateShown state = static_cast<StateShown>(view::Current(data::kMgrState));
    KindShown kind = static_cast<KindShown>(view::Current(data::kMgrKind));
    // The list's own filter rule on the same three columns.
    if (!Passes(*p, state, kind)) return false;
    if (filter_.empty() || units::ContainsText(p->name, filter_) || units::ContainsText(p->path, filter_)) return true;
    auto it = labels_.find(name);
    return it != labels_.end() && units::NameContains(it->second.name, filter_);
}

std::vector<std::string> PackageRows::Targets(std::vector<std::string>* hidden) const {
    std::vector<std::string> names;
    if (!checked_.empty()) {
        names.assign(checked_.begin(), checked_.end());
        if (hidden)
            for (const std::string& n : names)
                if (!Shown(n)) hidden->push_back(n);
        return names;
    }
    for (int32_t row : view::SelectedRows()) names.push_back(NameOfRow(row));
    return names;
}

std::vector<std::string> PackageRows::ExportNames() const {
    if (!checked_.empty()) return std::vector<std::string>(checked_.begin(), checked_.end());
    std::vector<std::string> names;
    for (size_t i : rows_)
        if (Shown(snapshot_.packages[i].name)) names.push_back(snapshot_.packages[i].name);
    return names;
}

std::vector<std::string> PackageRows::CheckNames(const std::vector<std::string>& names, size_t* hidden) {
    std::map<std::string, int32_t> rowOf;
    for (size_t row = 0; row < rows_.size(); row++) rowOf[snapshot_.packages[rows_[row]].name] = static_cast<int32_t>(row);
    std::vector<std::string> missing;
    size_t outOfView = 0;
    for (const std::string& name : names) {
        if (!dev::FindPackage(snapshot_, name)) {
            missing.push_back(name);
            continue;
        }
        checked_.insert(name);
        auto it = rowOf.find(name);
        if (it != rowOf.end()) view::CheckRow(it->second, true);
        if (!Shown(name)) outOfView++;
    }
    if (hidden) *hidden = outOfView;
    UpdateCount();
    return missing;
}

} // namespace app::mgr
