#include "devices.h"

#include <cstdlib>
#include "text/text.h"

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
    return !line.empty() && line[0] != '*' && line[0] != ' ' && line[0] != '\t' && !text::StartsWith(line, "List of devices");
}

// The states adb prints (packages/modules/adb adb.cpp, to_string(ConnectionState));
// "no permissions" goes on with a reason and a link.
const char* const kStates[] = {"device",   "offline", "unauthorized", "authorizing", "connecting",
                               "bootloader", "recovery", "rescue", "sideload", "host",
                               "detached", "unknown", "no permissions"};

// Whether `state` starts at `at` in the line and only the -l fields follow it.
bool StateAt(const std::string& line, size_t at, const char* state) {
    size_t n = std::char_traits<char>::length(state);
    if (line.compare(at, n, state) != 0) return false;
    if (text::StartsWith(state, "no permissions")) return true;
    if (at + n < line.size() && line[at + n] != ' ') return false;
    std::string key, value;
    for (const std::string& w : Words(line.substr(at + n)))
        if (!IsField(w, &key, &value)) return false;
    return true;
}

// Where the state starts in a line of `adb devices -l`. adb writes the serial
// padded to 22 columns, one blank and the state (packages/modules/adb
// transport.cpp, append_transport: StringAppendF(result, "%-22s %s", serial,
// state)), and a serial may hold blanks (cheap USB descriptors): the state is
// the first known one after a blank from column 23 on that only fields follow.
size_t StateStart(const std::string& line) {
    const size_t kSerialField = 22;
    for (size_t at = kSerialField + 1; at < line.size(); at++) {
        if (line[at - 1] != ' ') continue;
        for (const char* state : kStates)
            if (StateAt(line, at, state)) return at;
    }
    return std::string::npos;
}

} // namespace

DeviceState StateFromText(const std::string& s) {
    if (s == "device") return DeviceState::Ready;
    if (s == "unauthorized") return DeviceState::Unauthorized;
    if (s == "offline") return DeviceState::Offline;
    if (text::StartsWith(s, "no permissions")) return DeviceState::NoPermissions;
    if (s == "authorizing") return DeviceState::Authorizing;
    if (s == "connecting") return DeviceState::Connecting;
    return DeviceState::Other;
}

std::vector<Device> ParseDevices(const std::string& out) {
    std::vector<Device> devices;
    for (const std::string& line : text::SplitLines(out)) {
        if (!IsDeviceLine(line)) continue;
        Device d;
        // The short form: serial, a tab, the state.
        size_t tab = line.find('\t');
        size_t state = tab == std::string::npos ? StateStart(line) : std::string::npos;
        std::vector<std::string> words;
        if (tab != std::string::npos) {
            d.serial = line.substr(0, tab);
            words = Words(line.substr(tab + 1));
        } else if (state != std::string::npos) {
            d.serial = line.substr(0, state - 1);
            d.serial.erase(d.serial.find_last_not_of(' ') + 1);
            words = Words(line.substr(state));
        } else {
            // A state this parser does not know: the serial is the first word.
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
    case DeviceState::Unauthorized: return "未授权：请在手机上点“允许 USB 调试”（没有弹出时：在开发者选项里点“撤销 USB 调试授权”，再重新插线）";
    case DeviceState::Offline: return "离线：请重新插拔数据线，或在手机上关闭再打开“USB 调试”";
    case DeviceState::NoPermissions: return "没有权限：Windows 不让 adb 访问这台手机，请重新插线或换一个 USB 口，仍不行请装手机厂商的 USB 驱动";
    case DeviceState::Authorizing: return "正在授权：请稍候，并留意手机上的“允许 USB 调试”";
    case DeviceState::Connecting: return "正在连接：请稍候再刷新";
    case DeviceState::Other: break;
    }
    return "不可用：设备处于“" + text::OneLine(d.stateText, 60) + "”状态";
}

namespace {

std::string PlainLabel(const Device& d) {
    std::string label = d.model.empty() ? d.serial : d.model + " " + d.serial;
    // The port only when it is not adb's usual one: the label stays short.
    if (!d.server.Local())
        label += " @ " + (d.server.port == kDefaultServerPort ? d.server.host : d.server.Label());
    return label;
}

} // namespace

std::string DeviceLabel(const Device& d) {
    std::string hint = StateHint(d);
    return hint.empty() ? PlainLabel(d) : PlainLabel(d) + "（" + hint + "）";
}

std::string ShortDeviceLabel(const Device& d) {
    std::string hint = d.state == DeviceState::Other ? text::OneLine(d.stateText, 20) : StateHint(d);
    size_t colon = hint.find("：");
    if (colon != std::string::npos) hint.erase(colon);
    return hint.empty() ? PlainLabel(d) : PlainLabel(d) + "（" + hint + "）";
}

} // namespace dev
