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
#include "bench/appnames.h"
#include "bench/measure.h"
#include "units/listmodel.h"
#include "search/pinyin.h"

namespace {

constexpr int kRows = 5000;
constexpr int kRounds = 15;

std::string Gbk(const std::wstring& w) {
    int n = WideCharToMultiByte(936, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(936, 0, w.data(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
    return s;
}

} // namespace

int main() {
    const std::vector<std::wstring> names = bench::AppNames(kRows);
    std::vector<std::string> gbkNames;
    for (const std::wstring& n : names) gbkNames.push_back(Gbk(n));

    double t0 = bench::NowMs();
    std::vector<search::PinyinKey> keys;
    keys.reserve(names.size());
    for (const std::wstring& n : names) keys.push_back(search::MakePinyinKey(n));
    const double keysMs = bench::NowMs() - t0;

    t0 = bench::NowMs();
    std::vector<std::wstring> sortKeys;
    sortKeys.reserve(names.size());
    for (const std::wstring& n : names) sortKeys.push_back(search::PinyinSortKey(n));
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
                search::PinyinQuery query(wide);
                for (size_t i = 0; i < keys.size(); ++i) {
                    if (search::MatchesPinyin(keys[i], query)) shown.push_back(static_cast<int>(i));
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
