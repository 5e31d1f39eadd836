// The list view's filter as the user types: 5,000 package rows in a shown
// list, each keystroke one filter command and a synchronous repaint of the
// list. Prints the median and worst keystroke, its parts (the command, the
// model's filter alone), a repaint of our list against the system's own list
// view holding the same shown rows itself (taken in turn, median of the
// rounds' ratios: the target is at most 1.2), and the ratio of a keystroke
// to one frame (16.7 ms). Then the model's filter over the same rows with a
// column of 5,000 app names in front, matched by pinyin as well, against
// the same rows without names, typing "weixin", "zfb", "qqyinyue" and
// "yinhang" (target: at most 2 ms more a keystroke).
#include <windows.h>
#include <commctrl.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>
#include "units/listmodel.h"
#include "bench/appnames.h"
#include "bench/listhost.h"
#include "bench/measure.h"

namespace {

constexpr double kFrameMs = 1000.0 / 60.0;

using bench::ListHost;

// Rows like a phone's package list: name, state, kind, risk, path, last action.
std::string PackageRows(int n) {
    static const char* const vendors[] = {"com.android", "com.google.android", "com.miui", "com.tencent", "org.lineage"};
    static const char* const states[] = {"已启用", "已禁用", "已删除"};
    std::string s;
    for (int i = 0; i < n; ++i) {
        std::string name = std::string(vendors[i % 5]) + ".app" + std::to_string(i * 7919 % 100000);
        s += name + "\t" + states[i % 3] + "\t" + (i % 4 ? "系统" : "用户") + "\t\t/system/app/" + name +
             "/base.apk\t\r\n";
    }
    return s;
}

void Command(int index, std::vector<rt::ArgRecord> args) { ListHost::Command(index, std::move(args)); }
rt::ArgRecord Text(const std::string& s) { return ListHost::Text(s); }
void Pump() { ListHost::Pump(); }

} // namespace

int main() {
    ListHost host;
    if (!host.list) {
        std::fprintf(stderr, "no list view\n");
        return 1;
    }
    const units::ListViewData& d = host.data;
    HWND list = host.list;
    std::string rows = PackageRows(5000);
    Command(2, {Text(rows)});
    Command(9, {rt::MakeArg(rt::kTypeInt, 0)});
    UpdateWindow(list);
    Pump();

    // Typing "com.tencent.app1" and deleting it again, five times over.
    const std::string typed = "com.tencent.app1";
    std::vector<double> keystrokes, filterOnly;
    for (int round = 0; round < 5; ++round) {
        std::vector<std::string> filters;
        for (size_t n = 1; n <= typed.size(); ++n) filters.push_back(typed.substr(0, n));
        for (size_t n = typed.size(); n-- > 0;) filters.push_back(typed.substr(0, n));
        for (const std::string& f : filters) {
            double t0 = bench::NowMs();
            Command(8, {Text(f)});
            filterOnly.push_back(bench::NowMs() - t0);
            UpdateWindow(list);
            keystrokes.push_back(bench::NowMs() - t0);
            Pump();
        }
    }
    // The model's share: the same filters over the same rows, no window.
    units::ListModel model;
    model.SetRows(rows.data(), rows.size());
    std::vector<double> modelOnly;
    for (size_t n = 1; n <= typed.size(); ++n) {
        double t0 = bench::NowMs();
        model.SetFilter(typed.substr(0, n), 0);
        modelOnly.push_back(bench::NowMs() - t0);
    }

    // Baseline: the system's list view holding the same shown rows itself,
    // check boxes and all, at the same place. The two repaint in turn, so a
    // busy machine slows both alike.
    HWND plain = CreateWindowExA(0, WC_LISTVIEWA, "", WS_CHILD | LVS_REPORT | LVS_SHOWSELALWAYS, 10, 10, 860, 540,
                                 host.Parent(), nullptr, nullptr, nullptr);
    SendMessageA(plain, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_CHECKBOXES, LVS_EX_CHECKBOXES);
    SendMessageA(plain, WM_SETFONT, SendMessageA(list, WM_GETFONT, 0, 0), FALSE);
    for (int c = 0; c < 6; ++c) {
        LVCOLUMNA col = {};
        col.mask = LVCF_TEXT | LVCF_WIDTH;
        col.cx = static_cast<int>(d.columns[static_cast<size_t>(c)].width);
        col.pszText = const_cast<char*>(d.columns[static_cast<size_t>(c)].title.c_str());
        SendMessageA(plain, LVM_INSERTCOLUMNA, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&col));
    }
    model.SetFilter("", 0);
    model.SetSort(0, false);
    for (int i = 0; i < 60; ++i) {
        LVITEMA item = {};
        item.mask = LVIF_TEXT;
        item.iItem = i;
        item.pszText = const_cast<char*>(model.Cell(model.RowAt(i), 0).c_str());
        SendMessageA(plain, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
        for (int c = 1; c < 6; ++c) {
            item.iSubItem = c;
            item.pszText = const_cast<char*>(model.Cell(model.RowAt(i), c).c_str());
            SendMessageA(plain, LVM_SETITEMTEXTA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
        }
    }
    auto repaint = [](HWND shown, HWND hidden) {
        ShowWindow(hidden, SW_HIDE);
        ShowWindow(shown, SW_SHOW);
        UpdateWindow(shown);
        Pump();
        double t0 = bench::NowMs();
        InvalidateRect(shown, nullptr, TRUE);
        UpdateWindow(shown);
        return bench::NowMs() - t0;
    };
    std::vector<double> ours, system, ratios;
    for (int i = 0; i < 25; ++i) {
        ours.push_back(repaint(list, plain));
        system.push_back(repaint(plain, list));
        ratios.push_back(ours.back() / system.back());
    }
    double median = bench::Median(keystrokes);
    double worst = *std::max_element(keystrokes.begin(), keystrokes.end());
    std::printf("rows\tkeystrokes\tkeystroke_ms\tworst_ms\tfilter_command_ms\tmodel_filter_ms\trepaint_ms\t"
                "system_list_repaint_ms\trepaint_ratio\tkeystroke_to_system_repaint\tratio_to_frame\n");
    std::printf("5000\t%u\t%.2f\t%.2f\t%.2f\t%.3f\t%.2f\t%.2f\t%.2f\t%.2f\t%.2f\n",
                static_cast<unsigned>(keystrokes.size()), median, worst, bench::Median(filterOnly),
                bench::Median(modelOnly), bench::Median(ours), bench::Median(system), bench::Median(ratios),
                median / bench::Median(system), median / kFrameMs);

    // Names in front of the same rows, as the package manager shows them.
    std::string named;
    for (const std::string& line : units::SplitLines(rows)) named += "\t" + line + "\r\n";
    units::ListModel withNames, without;
    withNames.SetRows(named.data(), named.size());
    withNames.SetNameColumn(0);
    withNames.SetNames(0, bench::AppNames(5000));
    without.SetRows(rows.data(), rows.size());
    std::vector<double> pinyin, plainText;
    for (const char* word : {"weixin", "zfb", "qqyinyue", "yinhang"}) {
        const std::string w = word;
        for (size_t n = 1; n <= w.size(); ++n) {
            for (int round = 0; round < 5; ++round) {
                double t0 = bench::NowMs();
                withNames.SetFilter(w.substr(0, n), 0x1 | 0x2 | 0x20);   // name, package and path
                double t1 = bench::NowMs();
                without.SetFilter(w.substr(0, n), 0x1 | 0x10);           // package and path
                double t2 = bench::NowMs();
                pinyin.push_back(t1 - t0);
                plainText.push_back(t2 - t1);
            }
        }
    }
    std::printf("named_rows\tnamed_filter_ms\tplain_filter_ms\tdifference_ms\ttarget<=2\n");
    std::printf("5000\t%.3f\t%.3f\t%.3f\n", bench::Median(pinyin), bench::Median(plainText),
                bench::Median(pinyin) - bench::Median(plainText));
    return 0;
}
