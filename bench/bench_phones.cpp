// The package manager window on a bench of sixteen phones against the same
// work on one, in the same run, each round from a fresh copy of the profile
// (tests/profiles/current-phone.txt, 369 packages, its own latencies; the
// sixteen are copies of its phone under other serials):
//   batch    禁用 of 50 packages with 同时用于所有已连接设备, from the click
//            to the window idle again with every outcome logged
//   refresh  刷新 (the device list and the chosen phone's packages), from the
//            click to the window idle again
// While the batch on sixteen runs, a second thread keeps asking the window's
// thread: WM_NULL round trips (SendMessageTimeout) and clicks on a check box
// whose handler runs there; the longest of each is the window's
// responsiveness. Prints one tab-separated line of name=value pairs.
#include <windows.h>
#include <commctrl.h>
#include <atomic>
#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <vector>
#include "bench/measure.h"
#include "bench/phones.h"
#include "tests/support/managerdriver.h"

namespace {

constexpr int kRounds = 3;
constexpr size_t kBatch = 50;
constexpr size_t kPhones = 16;
constexpr DWORD kLongMs = 600000;

// The first enabled packages of the profile's phone that the risk list does
// not name: no confirmation stands between the click and the batch.
std::vector<std::string> Harmless(const std::string& profile, const std::string& risk) {
    std::set<std::string> risky;
    size_t at = 0;
    while (at < risk.size()) {
        size_t end = risk.find('\n', at);
        if (end == std::string::npos) end = risk.size();
        std::string line = risk.substr(at, end - at);
        if (!line.empty() && line[0] != '#') risky.insert(line.substr(0, line.find('\t')));
        at = end + 1;
    }
    std::vector<std::string> names;
    at = profile.find("\ndevice ");
    while (names.size() < kBatch && (at = profile.find("\npackage ", at)) != std::string::npos) {
        at += 9;
        size_t blank = profile.find(' ', at), end = profile.find('\n', at);
        std::string name = profile.substr(at, blank - at);
        std::string rest = profile.substr(blank + 1, end - blank - 1);
        if (rest.compare(0, 8, "enabled ") == 0 && !risky.count(name)) names.push_back(name);
    }
    return names;
}

struct Run {
    double batchMs = 0, refreshMs = 0;
    double longestNullMs = 0, longestChoiceMs = 0;   // while the batch ran
    double longestAt = 0;                            // when the longest answer began, from the click
    int droppedItems = 0;                            // device list items its drop-down shows at once
    size_t probes = 0;
    bool ok = false;
};

struct Prober {
    HWND window, checkBox;
    double clicked;
    std::atomic<bool> stop{false};
    Run* run;
};

// Asks the window's thread until told to stop: a WM_NULL round trip, and a
// click on 同时用于所有已连接设备 (sent twice, so it stays checked) whose
// handler runs on the window's thread. The longest answers.
DWORD WINAPI Probe(void* arg) {
    Prober* p = static_cast<Prober*>(arg);
    Run* run = p->run;
    while (!p->stop.load()) {
        DWORD_PTR answer = 0;
        double t0 = bench::NowMs();
        SendMessageTimeoutA(p->window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &answer);
        double t1 = bench::NowMs();
        SendMessageTimeoutA(p->checkBox, BM_CLICK, 0, 0, SMTO_NORMAL, 10000, &answer);
        double t2 = bench::NowMs();
        SendMessageTimeoutA(p->checkBox, BM_CLICK, 0, 0, SMTO_NORMAL, 10000, &answer);
        if (t1 - t0 > run->longestNullMs) run->longestAt = t0 - p->clicked;
        run->longestNullMs = std::max(run->longestNullMs, t1 - t0);
        run->longestChoiceMs = std::max(run->longestChoiceMs, t2 - t1);
        run->probes++;
        Sleep(25);
    }
    return 0;
}

// Clicks (the call returns once the handler has started the job), calls
// `started`, and returns the time from the click to the window idle again.
double Until(const test::ManagerUnderTest& m, const char* caption, const std::function<void()>& started = nullptr) {
    double t0 = bench::NowMs();
    SendMessageA(m.Button(caption), BM_CLICK, 0, 0);
    if (started) started();
    if (!m.WaitIdle(kLongMs)) return -1;
    return bench::NowMs() - t0;
}

Run Measure(const std::string& profile, size_t phones, const std::vector<std::string>& names, bool probe) {
    Run run;
    // Every run starts with an empty record: the read shows its last actions.
    char appData[MAX_PATH] = "";
    GetEnvironmentVariableA("LOCALAPPDATA", appData, MAX_PATH);
    DeleteFileA((std::string(appData) + "\\adbtool\\actions.log").c_str());
    test::ToolUnderTest tool("bench-phones", profile);
    if (!tool.Start()) return run;
    test::ManagerUnderTest m(tool);
    if (!m.Open()) return run;
    HWND devices = m.Combo(0);
    // Every phone, then 无线连接… and 添加远程 adb 服务器….
    if (!tool.WaitFor([&] { return SendMessageA(devices, CB_GETCOUNT, 0, 0) == LRESULT(phones + 2); }, kLongMs) ||
        !m.WaitIdle(kLongMs))
        return run;
    // The drop-down's list below the field, in items.
    RECT dropped = {};
    SendMessageA(devices, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
    LRESULT field = SendMessageA(devices, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0);
    LRESULT item = SendMessageA(devices, CB_GETITEMHEIGHT, 0, 0);
    if (item > 0) run.droppedItems = static_cast<int>((dropped.bottom - dropped.top - field) / item);
    if (phones > 1) m.ChooseComboItem(devices, 0);
    if (!tool.WaitFor([&] { return m.RowCount() > 300; }, kLongMs) || !m.WaitIdle(kLongMs)) return run;

    run.refreshMs = Until(m, "刷新");
    PostMessageA(m.Button("同时用于所有已连接设备"), BM_CLICK, 0, 0);
    if (!tool.WaitFor([&] { return SendMessageA(m.Button("同时用于所有已连接设备"), BM_GETCHECK, 0, 0) == BST_CHECKED; }) ||
        !m.Select(names))
        return run;
    Prober prober;
    prober.window = m.Window();
    prober.checkBox = m.Button("同时用于所有已连接设备");
    prober.run = &run;
    prober.clicked = bench::NowMs();
    HANDLE thread = nullptr;
    run.batchMs = Until(m, "禁用", [&] {
        if (probe) thread = CreateThread(nullptr, 0, Probe, &prober, 0, nullptr);
    });
    prober.stop = true;
    if (thread) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    std::string status = m.Status();
    run.ok = run.batchMs > 0 && run.refreshMs > 0 &&
             status.find("成功 " + std::to_string(names.size() * phones) + " 个") != std::string::npos;
    if (!run.ok) std::fprintf(stderr, "phones=%u status: %s\n", unsigned(phones), status.c_str());
    tool.Close();
    tool.WaitExit();
    return run;
}

} // namespace

int main() {
    std::string dir = test::ExeDir() + "\\..\\..\\";
    std::string profile = test::ReadFileBytes(dir + "tests\\profiles\\current-phone.txt");
    std::vector<std::string> names = Harmless(profile, test::ReadFileBytes(dir + "data\\risk.txt"));
    if (names.size() < kBatch) return std::fprintf(stderr, "the profile needs %u harmless packages\n", unsigned(kBatch)), 1;
    std::string many = bench::WithPhones(profile, kPhones);
    std::vector<double> batchRatios, refreshRatios, one, sixteen, refreshOne, refreshSixteen;
    double longestNull = 0, longestChoice = 0;
    size_t probes = 0;
    int droppedItems = 0;
    for (int round = 0; round < kRounds; round++) {
        Run a = Measure(profile, 1, names, false);
        Run b = Measure(many, kPhones, names, true);
        if (!a.ok || !b.ok) return std::fprintf(stderr, "round %d failed\n", round), 1;
        one.push_back(a.batchMs);
        sixteen.push_back(b.batchMs);
        batchRatios.push_back(b.batchMs / a.batchMs);
        refreshOne.push_back(a.refreshMs);
        refreshSixteen.push_back(b.refreshMs);
        refreshRatios.push_back(b.refreshMs / a.refreshMs);
        longestNull = std::max(longestNull, b.longestNullMs);
        longestChoice = std::max(longestChoice, b.longestChoiceMs);
        probes += b.probes;
        droppedItems = b.droppedItems;
        std::fprintf(stderr,
                     "round %d: batch %.0f / %.0f ms, refresh %.0f / %.0f ms, longest answer %.0f ms at %.0f ms, "
                     "click %.0f ms\n",
                     round, b.batchMs, a.batchMs, b.refreshMs, a.refreshMs, b.longestNullMs, b.longestAt, b.longestChoiceMs);
    }
    std::printf("phones\tbatch_one_ms=%.0f\tbatch_sixteen_ms=%.0f\tbatch_ratio=%.2f\trefresh_one_ms=%.0f"
                "\trefresh_sixteen_ms=%.0f\trefresh_ratio=%.2f\tlongest_null_ms=%.1f\tlongest_click_ms=%.1f"
                "\tprobes=%u\tdevice_items=%u\tdropped_items=%d\ttarget<=1.3,<100ms\n",
                bench::Median(one), bench::Median(sixteen), bench::Median(batchRatios), bench::Median(refreshOne),
                bench::Median(refreshSixteen), bench::Median(refreshRatios), longestNull, longestChoice,
                unsigned(probes), unsigned(kPhones + 1), droppedItems);
    return 0;
}
