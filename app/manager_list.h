// The package list of the manager window: the packages read from the chosen
// device, which of them the state and kind choices let into the list view,
// the cells and colour of each row, and the count line. UI thread only.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>
#include "device/packages.h"
#include "device/record.h"

namespace app::mgr {

// The choices of the two combo boxes.
enum class StateShown { All, Enabled, Disabled, Deleted };
enum class KindShown { All, System, User };

// Risky rows are drawn in this colour (dark red).
constexpr uint32_t kRiskColour = 0x000000C0;

// 已启用 / 已禁用 / 已删除, 系统 / 用户.
const char* StateText(dev::PackageState s);
const char* KindText(dev::PackageKind k);
// "已禁用 2026-12-08 04:10" or "失败（受保护） ..." : the last record entry of a package.
std::string LastActionText(const dev::RecordEntry& e);
// One row's cells, split by tabs.
std::string RowCells(const dev::Package& p, const std::map<std::string, dev::RecordEntry>& last);

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

    // Names of the checked rows, else of the selected rows.
    std::vector<std::string> Targets() const;
    // Names of the checked rows, else of every shown row.
    std::vector<std::string> ExportNames() const;
    // Checks the rows of these names; the names of no row come back.
    std::vector<std::string> CheckNames(const std::vector<std::string>& names);

    const dev::PackageSnapshot& Snapshot() const { return snapshot_; }
    bool HasPackages() const { return !snapshot_.packages.empty(); }

private:
    std::string NameOfRow(int32_t row) const;
    void Fill(const std::set<std::string>& checked);

    dev::PackageSnapshot snapshot_;
    std::map<std::string, dev::RecordEntry> last_;
    std::vector<size_t> rows_;    // row -> index in snapshot_.packages
    std::string filter_;
    int32_t shown_ = 0;
};

} // namespace app::mgr
