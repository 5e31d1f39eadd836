// Names like a phone's apps for the benchmarks that filter and sort them.
#pragma once

#include <string>
#include <vector>

namespace bench {

// Names like a phone's apps: a product, sometimes a brand before it, an
// edition after it, and a number to keep them apart.
inline std::vector<std::wstring> AppNames(int count) {
    static const wchar_t* const brands[] = {L"", L"", L"腾讯", L"小米", L"华为", L"Google ", L"百度", L"QQ"};
    static const wchar_t* const products[] = {
        L"微信",   L"支付宝", L"音乐",     L"淘宝",   L"抖音",     L"招商银行", L"天气",   L"相机",
        L"日历",   L"地图",   L"浏览器",   L"输入法", L"视频",     L"阅读",     L"健康",   L"钱包",
        L"邮件",   L"文件管理", L"应用商店", L"Play 商店", L"Chrome", L"WPS Office", L"重庆银行", L"绿洲",
        L"拼多多", L"美团",   L"哔哩哔哩", L"高德地图", L"京东",   L"Keep",     L"网易云音乐", L"Settings"};
    static const wchar_t* const editions[] = {L"", L"极速版", L"", L"Lite", L"国际版", L"HD", L"助手", L""};
    std::vector<std::wstring> names;
    for (int i = 0; i < count; ++i) {
        std::wstring n = brands[i / 32 % 8];
        n += products[i % 32];
        n += editions[i * 3 % 8];
        n += std::to_wstring(i / 32);
        names.push_back(n);
    }
    return names;
}

} // namespace bench
