#include "manager_list.h"

#include "data/manager.h"
#include "manager_view.h"
#include "risk.h"
#include "units/listmodel.h"

namespace app::mgr {

namespace {

constexpr uint32_t kNameAndPath = 0x1 | 0x10;   // columns 包名 and 路径

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

const char* StateText(dev::PackageState s) {
    switch (s) {
    case dev::PackageState::Enabled: return "已启用";
    case dev::PackageState::Disabled: return "已禁用";
    case dev::PackageState::Deleted: return "已删除";
    }
    return "";
}

const char* KindText(dev::PackageKind k) { return k == dev::PackageKind::System ? "系统" : "用户"; }

std::string LastActionText(const dev::RecordEntry& e) {
    // 2026-12-08T04:10:00Z -> 12-08 12:10 in the computer's local time
    std::string local = dev::LocalTimeText(e.time);
    std::string when = local != e.time && local.size() >= 16 ? local.substr(5, 11) : e.time;
    return std::string(dev::ActionVerb(e.action)) + Outcome(e) + " " + when;
}

std::string RowCells(const dev::Package& p, const std::map<std::string, dev::RecordEntry>& last) {
    const std::string* risk = RiskReason(p.name);
    auto it = last.find(p.name);
    return p.name + "\t" + StateText(p.state) + "\t" + KindText(p.kind) + "\t" + (risk ? *risk : "") + "\t" + p.path +
           "\t" + (it == last.end() ? "" : LastActionText(it->second));
}

std::string PackageRows::NameOfRow(int32_t row) const {
    return row >= 0 && static_cast<size_t>(row) < rows_.size() ? snapshot_.packages[rows_[row]].name : std::string();
}

void PackageRows::Fill(const std::set<std::string>& checked) {
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
    for (size_t row = 0; row < rows_.size(); row++) {
        const dev::Package& p = snapshot_.packages[rows_[row]];
        if (RiskReason(p.name)) view::SetRow(static_cast<int32_t>(row), RowCells(p, last_), kRiskColour);
        if (checked.count(p.name)) view::CheckRow(static_cast<int32_t>(row), true);
    }
    shown_ = view::Filter(filter_, kNameAndPath);
    UpdateCount();
}

void PackageRows::Show(const dev::PackageSnapshot& s, const std::map<std::string, dev::RecordEntry>& last) {
    std::set<std::string> checked;
    for (int32_t row : view::CheckedRows()) checked.insert(NameOfRow(row));
    snapshot_ = s;
    last_ = last;
    Fill(checked);
}

void PackageRows::Clear() {
    snapshot_ = dev::PackageSnapshot();
    last_.clear();
    Fill({});
}

void PackageRows::Reshow() {
    std::set<std::string> checked;
    for (int32_t row : view::CheckedRows()) checked.insert(NameOfRow(row));
    Fill(checked);
}

void PackageRows::ApplyFilter(const std::string& text) {
    filter_ = text;
    shown_ = view::Filter(filter_, kNameAndPath);
    UpdateCount();
}

void PackageRows::UpdateCount() {
    view::SetText(data::kMgrCount, "共 " + std::to_string(snapshot_.packages.size()) + " 个，显示 " +
                                       std::to_string(shown_) + " 个，已勾选 " +
                                       std::to_string(view::CheckedRows().size()) + " 个");
}

std::vector<std::string> PackageRows::Targets() const {
    std::vector<int32_t> rows = view::CheckedRows();
    if (rows.empty()) rows = view::SelectedRows();
    std::vector<std::string> names;
    for (int32_t row : rows) names.push_back(NameOfRow(row));
    return names;
}

std::vector<std::string> PackageRows::ExportNames() const {
    std::vector<std::string> names;
    std::vector<int32_t> rows = view::CheckedRows();
    if (!rows.empty()) {
        for (int32_t row : rows) names.push_back(NameOfRow(row));
        return names;
    }
    // The shown rows: the list's own filter rule on the same two columns.
    for (size_t i : rows_) {
        const dev::Package& p = snapshot_.packages[i];
        if (filter_.empty() || units::ContainsText(p.name, filter_) || units::ContainsText(p.path, filter_))
            names.push_back(p.name);
    }
    return names;
}

std::vector<std::string> PackageRows::CheckNames(const std::vector<std::string>& names) {
    std::map<std::string, int32_t> rowOf;
    for (size_t row = 0; row < rows_.size(); row++) rowOf[snapshot_.packages[rows_[row]].name] = static_cast<int32_t>(row);
    std::vector<std::string> missing;
    for (const std::string& name : names) {
        auto it = rowOf.find(name);
        if (it == rowOf.end()) missing.push_back(name);
        else view::CheckRow(it->second, true);
    }
    UpdateCount();
    return missing;
}

} // namespace app::mgr
