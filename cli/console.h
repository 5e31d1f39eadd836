// adbctl's output: data on standard output, progress and errors on standard
// error. A console gets UTF-16 through WriteConsoleW, so Chinese shows right
// whatever the console's code page; a file or pipe gets UTF-8 without a
// byte-order mark (the ANSI code page with --ansi) and CR LF line ends.
#pragma once

#include <windows.h>
#include <string>
#include "device/thread.h"

namespace cli {

class Stream {
public:
    Stream(DWORD which, bool ansi);
    bool IsConsole() const { return console_; }
    // Text with "\n" line ends.
    void WriteGbk(const std::string& gbk) { Write(Wide(gbk, 936)); }
    void WriteUtf8(const std::string& utf8) { Write(Wide(utf8, CP_UTF8)); }
    void Write(const std::wstring& text);
    // UTF-8 whatever --ansi says (JSON), UTF-16 on a console.
    void WriteUtf8Always(const std::string& utf8);
    // A write failed (a closed pipe, a full disk): nothing more is written.
    bool Failed() const { return failed_; }

    static std::wstring Wide(const std::string& bytes, UINT codePage);

private:
    void WriteBytes(const std::string& bytes);

    HANDLE handle_;
    bool console_ = false;
    bool ansi_ = false;
    bool failed_ = false;
};

class Output {
public:
    explicit Output(bool ansi) : out(STD_OUTPUT_HANDLE, ansi), err(STD_ERROR_HANDLE, ansi) {}
    // Told when the data could not be written: the work stops there.
    void StopOnFailure(dev::Cancel* cancel) { stop_ = cancel; }

    // A line of data (GBK, or UTF-16 when it holds app names, which may
    // have characters GBK lacks), or one JSON object (UTF-8); the line end is added.
    void Data(const std::string& gbk) { Data(Stream::Wide(gbk, 936)); }
    void Data(const std::wstring& line);
    void JsonLine(const std::string& utf8);
    // A line on standard error (GBK).
    void Error(const std::string& gbk);
    // "[37/100] com.x" on standard error, over the last one, only when it is
    // a console: a file or pipe would fill with them. Safe from any thread.
    void Progress(const std::string& gbk);
    void EndProgress();

    Stream out, err;

private:
    void ClearProgress();   // with the lock held
    static size_t Columns(wchar_t c);

    void CheckFailure();

    dev::Lock lock_;
    size_t progressWidth_ = 0;   // console columns of the progress line shown, 0 when none
    dev::Cancel* stop_ = nullptr;
};

} // namespace cli
