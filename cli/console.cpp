#include "console.h"

namespace cli {

Stream::Stream(DWORD which, bool ansi) : handle_(GetStdHandle(which)), ansi_(ansi) {
    DWORD mode = 0;
    console_ = handle_ && handle_ != INVALID_HANDLE_VALUE && GetConsoleMode(handle_, &mode);
}

std::wstring Stream::Wide(const std::string& bytes, UINT codePage) {
    if (bytes.empty()) return std::wstring();
    int n = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), &w[0], n);
    return w;
}

void Stream::Write(const std::wstring& text) {
    if (!handle_ || handle_ == INVALID_HANDLE_VALUE || text.empty()) return;
    if (console_) {
        DWORD written = 0;
        WriteConsoleW(handle_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    std::wstring crlf;
    crlf.reserve(text.size() + 16);
    for (wchar_t c : text) {
        if (c == L'\n') crlf += L'\r';
        crlf += c;
    }
    UINT cp = ansi_ ? CP_ACP : CP_UTF8;
    int n = WideCharToMultiByte(cp, 0, crlf.data(), static_cast<int>(crlf.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(cp, 0, crlf.data(), static_cast<int>(crlf.size()), &bytes[0], n, nullptr, nullptr);
    // A pipe may take less than asked; the rest follows.
    for (size_t at = 0; at < bytes.size();) {
        DWORD written = 0;
        if (!WriteFile(handle_, bytes.data() + at, static_cast<DWORD>(bytes.size() - at), &written, nullptr) ||
            written == 0)
            return;
        at += written;
    }
}

void Output::ClearProgress() {
    if (!progressWidth_) return;
    err.Write(L"\r" + std::wstring(progressWidth_, L' ') + L"\r");
    progressWidth_ = 0;
}

void Output::Data(const std::string& gbk) {
    dev::Hold hold(lock_);
    if (out.IsConsole()) ClearProgress();
    out.WriteGbk(gbk + "\n");
}

void Output::JsonLine(const std::string& utf8) {
    dev::Hold hold(lock_);
    if (out.IsConsole()) ClearProgress();
    out.WriteUtf8(utf8 + "\n");
}

void Output::Error(const std::string& gbk) {
    dev::Hold hold(lock_);
    ClearProgress();
    err.WriteGbk(gbk + "\n");
}

void Output::Progress(const std::string& gbk) {
    if (!err.IsConsole()) return;
    dev::Hold hold(lock_);
    // Within the 80 columns of the narrowest console; package names are ASCII.
    constexpr size_t kWidest = 76;
    std::wstring line = Stream::Wide(gbk, 936);
    if (line.size() > kWidest) line = line.substr(0, kWidest - 1) + L"\u2026";
    size_t clear = progressWidth_ > line.size() ? progressWidth_ - line.size() : 0;
    err.Write(L"\r" + line + std::wstring(clear, L' '));
    progressWidth_ = line.size() + clear;
}

void Output::EndProgress() {
    dev::Hold hold(lock_);
    ClearProgress();
}

} // namespace cli
