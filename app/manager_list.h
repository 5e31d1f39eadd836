// The package list of the manager window: the packages read from the chosen
// device, which of them the state and kind choices let into the list view,
// the cells and colour of each row, and the count line. UI thread only.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>
#include "appnames/appnames.h"
#include "device/packages.h"
#include "device/record.h"

namespace app::mgr {

// The choices of the two combo boxes.
enum class StateShown { All, Enabled, Disabled, Deleted };
enum class KindShown { All, System, User };

// Risky rows are drawn in this colour (dark red).
constexpr uint32_t kRiskColour = 0x000000C0;

// "已禁用 2026-12-08 04:10" or "失败（受保护） ..." : the last record entry of a package.
std::string LastActionText(const dev::RecordEntry& e);
// The list's column of app names; the others follow it.
constexpr int32_t kNameColumn = 0;

// One row's cells, split by tabs.
std::string RowCells(const dev::Package& p, const std::map<std::string, dev::RecordEntry>& last);

// Whether the phone answered, last time the tool asked, that the system
// itself disabled the package (state 2), and it is still disabled: shown as
// 已被系统停用 and left alone.
bool DisabledBySystem(const dev::Package& p, const std::map<std::string, dev::RecordEntry>& last);

class PackageRows {
public:
    // Shows the packages anew: the rows of the list view are the packages
    // the choices let through, in name order; the check marks of packages
    // still shown are kept.
    void Show(const dev::PackageSnapshot& s, const std::map<std::string, dev::RecordEntry>& last);
    void Clear();
    // After a change of the state or kind choice.
    void Reshow();
    // The filter text, applied to name and path.
    void ApplyFilter(const std::string& text);
    // "共 352 个，显示 40 个，已勾选 3 个".
    void UpdateCount();

    // Check marks belong to packages, not rows: they stay on packages the
    // filter or the state and kind choices hide, until the user unchecks
    // them or another phone is shown.
    void SyncChecks();     // after the user checked or unchecked rows
    void ClearChecks();    // takes effect with the next Show

    // Names of the checked packages, else of the selected rows; `hidden`
    // gets those of them the list does not show now.
    std::vector<std::string> Targets(std::vector<std::string>* hidden = nullptr) const;
    // Names of the checked packages, else of every shown row.
    std::vector<std::string> ExportNames() const;
    // Checks the packages of these names, shown or not; the names the phone
    // does not have come back, and `hidden` counts those checked out of view.
    std::vector<std::string> CheckNames(const std::vector<std::string>& names, size_t* hidden = nullptr);
    size_t CheckedCount() const { return checked_.size(); }
    bool DisabledBySystem(const std::string& package) const;

    // App names as the phone shows them, by package: kept for the phone shown
    // until another phone or ClearLabels(); each new one fills its cell.
    void SetLabels(const std::vector<std::pair<std::string, appnames::AppLabel>>& labels);
    void ClearLabels();
    bool HasLabel(const std::string& package) const { return labels_.count(package) != 0; }
    // "微信 (com.tencent.mm)" where the name is known, else the package name;
    // in the program's code page, for the log and the boxes.
    std::string Display(const std::string& package) const;
    // The name in UTF-8, empty when there is none.
    std::string LabelUtf8(const std::string& package) const;
    size_t LabelCount() const { return labels_.size(); }

    const dev::PackageSnapshot& Snapshot() const { return snapshot_; }
    bool HasPackages() const { return !snapshot_.packages.empty(); }

private:
    std::string NameOfRow(int32_t row) const;
    bool Shown(const std::string& name) const;   // in the list and through the filter
    void Fill();
    void ShowLabels();

    dev::PackageSnapshot snapshot_;
    std::map<std::string, dev::RecordEntry> last_;
    std::vector<size_t> rows_;    // row -> index in snapshot_.packages
    std::set<std::string> checked_;
    struct Label {
        std::wstring name;
        std::string icon;   // PNG bytes, empty for none
    };
    std::map<std::string, Label> labels_;   // package -> its name, only those that have one
    std::string filter_;
    int32_t shown_ = 0;
};

} // namespace app::mgr
