// The name filter by pinyin against today's plain substring filter: 5,000
// app names, Chinese, latin and mixed, filtered as the user types "weixin",
// "zfb", "qqyinyue" and "yinhang" a letter at a time. The substring filter
// is the list model's (units::ContainsText over the GBK names); the pinyin
// filter prepares the query once per keystroke and matches every name's
// key, made once when the rows are set. Prints the median keystroke of each,
// their difference and ratio, the time to make the 5,000 keys and the sort
// keys, and to sort by them. The target is a difference of at most 2 ms.
#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>
#include "bench/measure.h"
#include "units/listmodel.h"
#include "units/pinyin.h"

namespace {

constexpr int kRows = 5000;
constexpr int kRounds = 15;

// Names like a phone's apps: a product, sometimes a brand before it, an
// edition after it, and a number to keep them apart.
std::vector<std::wstring> AppNames() {
    static const wchar_t* const brands[] = {L"", L"", L"腾讯", L"小米", L"华为", L"Google ", L"百度", L"QQ"};
    static const wchar_t* const products[] = {
        L"微信",   L"支付宝", L"音乐",     L"淘宝",   L"抖音",     L"招商银行", L"天气",   L"相机",
        L"日历",   L"地图",   L"浏览器",   L"输入法", L"视频",     L"阅读",     L"健康",   L"钱包",
        L"邮件",   L"文件管理", L"应用商店", L"Play 商店", L"Chrome", L"WPS Office", L"重庆银行", L"绿洲",
        L"拼多多", L"美团",   L"哔哩哔哩", L"高德地图", L"京东",   L"Keep",     L"网易云音乐", L"Settings"};
    static const wchar_t* const editions[] = {L"", L"极速版", L"", L"Lite", L"国际版", L"HD", L"助手", L""};
    std::vector<std::wstring> names;
    for (int i = 0; i < kRows; ++i) {
        std::wstring n = brands[i / 32 % 8];
        n += products[i % 32];
        n += editions[i * 3 % 8];
        n += std::to_wstring(i / 32);
        names.push_back(n);
    }
    return names;
}

std::string Gbk(const std::wstring& w) {
    int n = WideCharToMultiByte(936, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(936, 0, w.data(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
    return s;
}

} // namespace

int main() {
    const std::vector<std::wstring> names = AppNames();
    std::vector<std::string> gbkNames;
    for (const std::wstring& n : names) gbkNames.push_back(Gbk(n));

    double t0 = bench::NowMs();
    std::vector<units::PinyinKey> keys;
    keys.reserve(names.size());
    for (const std::wstring& n : names) keys.push_back(units::MakePinyinKey(n));
    const double keysMs = bench::NowMs() - t0;

    t0 = bench::NowMs();
    std::vector<std::wstring> sortKeys;
    sortKeys.reserve(names.size());
    for (const std::wstring& n : names) sortKeys.push_back(units::PinyinSortKey(n));
    const double sortKeysMs = bench::NowMs() - t0;
    std::vector<int> order(names.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
    t0 = bench::NowMs();
    std::sort(order.begin(), order.end(), [&](int a, int b) { return sortKeys[static_cast<size_t>(a)] < sortKeys[static_cast<size_t>(b)]; });
    const double sortMs = bench::NowMs() - t0;

    std::vector<int> shown;
    shown.reserve(names.size());
    std::vector<double> plainMs, pinyinMs;
    size_t plainFound = 0, pinyinFound = 0;
    for (const char* word : {"weixin", "zfb", "qqyinyue", "yinhang"}) {
        const std::string typed = word;
        for (size_t len = 1; len <= typed.size(); ++len) {
            const std::string text = typed.substr(0, len);
            const std::wstring wide(text.begin(), text.end());
            std::vector<double> plain, pinyin;
            for (int round = 0; round < kRounds; ++round) {
                shown.clear();
                double s = bench::NowMs();
                for (size_t i = 0; i < gbkNames.size(); ++i) {
                    if (units::ContainsText(gbkNames[i], text)) shown.push_back(static_cast<int>(i));
                }
                plain.push_back(bench::NowMs() - s);
                plainFound = shown.size();
                shown.clear();
                s = bench::NowMs();
                units::PinyinQuery query(wide);
                for (size_t i = 0; i < keys.size(); ++i) {
                    if (units::MatchesPinyin(keys[i], query)) shown.push_back(static_cast<int>(i));
                }
                pinyin.push_back(bench::NowMs() - s);
                pinyinFound = shown.size();
            }
            plainMs.push_back(bench::Median(plain));
            pinyinMs.push_back(bench::Median(pinyin));
        }
        std::fprintf(stderr, "%s: substring finds %u, pinyin %u\n", word, static_cast<unsigned>(plainFound),
                     static_cast<unsigned>(pinyinFound));
    }
    const double plain = bench::Median(plainMs), pinyin = bench::Median(pinyinMs);
    const double worst = *std::max_element(pinyinMs.begin(), pinyinMs.end());
    std::printf("rows\tkeystrokes\tsubstring_ms\tpinyin_ms\tpinyin_worst_ms\tdifference_ms\tratio\t"
                "keys_ms\tsort_keys_ms\tsort_ms\n");
    std::printf("%d\t%u\t%.3f\t%.3f\t%.3f\t%.3f\t%.2f\t%.2f\t%.2f\t%.2f\n", kRows, static_cast<unsigned>(pinyinMs.size()),
                plain, pinyin, worst, pinyin - plain, pinyin / plain, keysMs, sortKeysMs, sortMs);
    return 0;
}
