#include "devices.h"

#include <cstdlib>
#include "text.h"

namespace dev {

namespace {

std::vector<std::string> Words(const std::string& s) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < s.size()) {
        size_t b = s.find_first_not_of(" \t", i);
        if (b == std::string::npos) break;
        size_t e = s.find_first_of(" \t", b);
        if (e == std::string::npos) e = s.size();
        words.push_back(s.substr(b, e - b));
        i = e;
    }
    return words;
}

// The fields adb appends after the state with -l.
bool IsField(const std::string& word, std::string* key, std::string* value) {
    static const char* const kKeys[] = {"usb", "product", "model", "device", "transport_id"};
    size_t colon = word.find(':');
    if (colon == std::string::npos) return false;
    for (const char* k : kKeys) {
        if (word.compare(0, colon, k) == 0 && std::char_traits<char>::length(k) == colon) {
            *key = k;
            *value = word.substr(colon + 1);
            return true;
        }
    }
    return false;
}

bool IsDeviceLine(const std::string& line) {
    return !line.empty() && line[0] != '*' && line[0] != ' ' && line[0] != '\t' && !StartsWith(line, "List of devices");
}

} // namespace

DeviceState StateFromText(const std::string& s) {
    if (s == "device") return DeviceState::Ready;
    if (s == "unauthorized") return DeviceState::Unauthorized;
    if (s == "offline") return DeviceState::Offline;
    if (StartsWith(s, "no permissions")) return DeviceState::NoPermissions;
    if (s == "authorizing") return DeviceState::Authorizing;
    if (s == "connecting") return DeviceState::Connecting;
    return DeviceState::Other;
}

std::vector<Device> ParseDevices(const std::string& out) {
    std::vector<Device> devices;
    for (const std::string& line : SplitLines(out)) {
        if (!IsDeviceLine(line)) continue;
        Device d;
        size_t tab = line.find('\t');
        std::vector<std::string> words;
        if (tab != std::string::npos) {
            d.serial = line.substr(0, tab);
            words = Words(line.substr(tab + 1));
        } else {
            words = Words(line);
            if (words.size() < 2) continue;
            d.serial = words[0];
            words.erase(words.begin());
        }
        std::string key, value;
        for (const std::string& w : words) {
            if (IsField(w, &key, &value)) {
                if (key == "usb") d.usb = value;
                else if (key == "product") d.product = value;
                else if (key == "model") d.model = value;
                else if (key == "device") d.device = value;
                else d.transportId = std::atoi(value.c_str());
            } else if (d.product.empty() && d.model.empty() && d.device.empty() && d.usb.empty() &&
                       d.transportId < 0) {
                // "no permissions; see [...]" holds blanks: the state runs up to the first field.
                d.stateText += (d.stateText.empty() ? "" : " ") + w;
            }
        }
        if (d.serial.empty() || d.stateText.empty()) continue;
        d.state = StateFromText(d.stateText);
        devices.push_back(d);
    }
    return devices;
}

std::string StateHint(const Device& d) {
    switch (d.state) {
    case DeviceState::Ready: return std::string();
    case DeviceState::Unauthorized: return "未授权：请在手机上确认“允许 USB 调试”";
    case DeviceState::Offline: return "离线：请重新插拔数据线，或在手机上关闭再打开“USB 调试”";
    case DeviceState::NoPermissions: return "没有权限：系统不允许访问这台设备，请检查 USB 驱动";
    case DeviceState::Authorizing: return "正在授权：请稍候，并留意手机上的“允许 USB 调试”";
    case DeviceState::Connecting: return "正在连接：请稍候再刷新";
    case DeviceState::Other: break;
    }
    return "不可用：设备处于“" + OneLine(d.stateText, 60) + "”状态";
}

std::string DeviceLabel(const Device& d) {
    std::string label = d.model.empty() ? d.serial : d.model + " " + d.serial;
    std::string hint = StateHint(d);
    return hint.empty() ? label : label + "（" + hint + "）";
}

} // namespace dev
