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

namespace {

std::wstring WithCrLf(const std::wstring& text) {
    std::wstring crlf;
    crlf.reserve(text.size() + 16);
    for (wchar_t c : text) {
        if (c == L'\n') crlf += L'\r';
        crlf += c;
    }
    return crlf;
}

std::string Narrowed(const std::wstring& text, UINT cp) {
    int n = WideCharToMultiByte(cp, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(cp, 0, text.data(), static_cast<int>(text.size()), &bytes[0], n, nullptr, nullptr);
    return bytes;
}

} // namespace

void Stream::Write(const std::wstring& text) {
    if (!handle_ || handle_ == INVALID_HANDLE_VALUE || text.empty() || failed_) return;
    if (console_) {
        DWORD written = 0;
        if (!WriteConsoleW(handle_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr)) failed_ = true;
        return;
    }
    WriteBytes(Narrowed(WithCrLf(text), ansi_ ? CP_ACP : CP_UTF8));
}

void Stream::WriteUtf8Always(const std::string& utf8) {
    if (console_ || !handle_ || handle_ == INVALID_HANDLE_VALUE || failed_) return Write(Wide(utf8, CP_UTF8));
    WriteBytes(Narrowed(WithCrLf(Wide(utf8, CP_UTF8)), CP_UTF8));
}

void Stream::WriteBytes(const std::string& bytes) {
    // A pipe may take less than asked; the rest follows. A write that fails
    // ends the output: what follows would be lines with a hole before them.
    for (size_t at = 0; at < bytes.size();) {
        DWORD written = 0;
        if (!WriteFile(handle_, bytes.data() + at, static_cast<DWORD>(bytes.size() - at), &written, nullptr) ||
            written == 0) {
            failed_ = true;
            return;
        }
        at += written;
    }
}

void Output::CheckFailure() {
    if (out.Failed() && stop_) stop_->Request();
}

// Windows' console gives a Chinese character (and other wide East Asian
// forms) two columns, Wine's one: the blanks that wipe a progress line count
// two, too many blanks being harmless within the line's 76 columns.
size_t Output::Columns(wchar_t c) {
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
                   (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
                   (c >= 0xFFE0 && c <= 0xFFE6)
               ? 2
               : 1;
}

void Output::ClearProgress() {
    if (!progressWidth_) return;
    err.Write(L"\r" + std::wstring(progressWidth_, L' ') + L"\r");
    progressWidth_ = 0;
}

void Output::Data(const std::wstring& line) {
    dev::Hold hold(lock_);
    if (out.IsConsole()) ClearProgress();
    out.Write(line + L"\n");
    CheckFailure();
}

void Output::JsonLine(const std::string& utf8) {
    dev::Hold hold(lock_);
    if (out.IsConsole()) ClearProgress();
    out.WriteUtf8Always(utf8 + "\n");
    CheckFailure();
}

void Output::Error(const std::string& gbk) {
    dev::Hold hold(lock_);
    ClearProgress();
    err.WriteGbk(gbk + "\n");
}

void Output::Progress(const std::string& gbk) {
    if (!err.IsConsole()) return;
    dev::Hold hold(lock_);
    // Within the 80 columns of the narrowest console.
    constexpr size_t kWidest = 76;
    std::wstring line;
    size_t columns = 0;
    for (wchar_t c : Stream::Wide(gbk, 936)) {
        size_t w = Columns(c);
        if (columns + w > kWidest - 1) {
            line += L'\u2026';
            columns++;
            break;
        }
        line += c;
        columns += w;
    }
    // Blanks over what the last line had beyond this one; a clear blanks as many columns.
    size_t clear = progressWidth_ > columns ? progressWidth_ - columns : 0;
    err.Write(L"\r" + line + std::wstring(clear, L' '));
    progressWidth_ = columns + clear;
}

void Output::EndProgress() {
    dev::Hold hold(lock_);
    ClearProgress();
}

} // namespace cli
