#include "adb.h"

#include <algorithm>

namespace dev {

namespace {

// Inheritable handles exist only inside this lock, between making them
// inheritable and starting the child: a child started by another thread at
// the same moment would otherwise inherit this run's pipe ends and keep them
// open for its whole life.
Lock gStartLock;

// While the pipes are empty the run sleeps on the process and the cancel
// flag, which wake it at once; the time-out only bounds how long output sits
// in a pipe. It doubles from 1 ms after each quiet pass up to 16 ms.
constexpr DWORD kFirstWaitMs = 1;
constexpr DWORD kLongestWaitMs = 16;
constexpr DWORD kPipeBytes = 64 * 1024;
constexpr DWORD kEndAfterKillMs = 5000;

class Handle {
public:
    Handle() = default;
    explicit Handle(HANDLE h) : h_(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
    ~Handle() { Close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE Get() const { return h_; }
    HANDLE* Out() { return &h_; }
    void Close() {
        if (h_) CloseHandle(h_);
        h_ = nullptr;
    }

private:
    HANDLE h_ = nullptr;
};

// Reads what the pipe holds now, never blocking, keeping at most `room`
// more bytes (what comes beyond is read and dropped, and *over set). True
// when something came.
bool Drain(HANDLE pipe, std::string* into, size_t room, bool* over) {
    bool got = false;
    char buf[16384];
    size_t start = into->size();
    for (;;) {
        DWORD avail = 0;
        if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &avail, nullptr) || avail == 0) return got;
        DWORD read = 0;
        if (!ReadFile(pipe, buf, std::min<DWORD>(avail, sizeof buf), &read, nullptr) || read == 0) return got;
        size_t kept = into->size() - start;
        size_t take = kept >= room ? 0 : std::min<size_t>(read, room - kept);
        into->append(buf, take);
        if (take < read) *over = true;
        got = true;
    }
}

std::string Folder(const std::string& path) {
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

struct Child {
    Handle process;
    Handle outRead, errRead;
};

// Every adb client of this process is in one job that ends them when this
// process ends, however it ends (Task Manager, a crash, a closed console):
// a client that lived on would keep feeding the phone the rest of a batch
// nobody records any more. Processes an adb client starts (the adb server,
// which every other adb user shares) leave the job at once: adb starts its
// server with DETACHED_PROCESS alone, no breakaway asked
// (packages/modules/adb adb.cpp, launch_server), so the job lets them go
// silently. The handle stays open for the process's life: closing it is
// what ends the clients.
HANDLE ClientJob() {
    static HANDLE job = [] {
        HANDLE j = CreateJobObjectA(nullptr, nullptr);
        if (!j) return j;
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
        limits.BasicLimitInformation.LimitFlags =
            JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_SILENT_BREAKAWAY_OK;
        if (!SetInformationJobObject(j, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
            CloseHandle(j);
            return HANDLE(nullptr);
        }
        return j;
    }();
    return job;
}

bool Start(const std::string& exe, const std::string& commandLine, Child* c, std::string* error) {
    Handle outWrite, errWrite, input;
    if (!CreatePipe(c->outRead.Out(), outWrite.Out(), nullptr, kPipeBytes) ||
        !CreatePipe(c->errRead.Out(), errWrite.Out(), nullptr, kPipeBytes)) {
        *error = "无法创建管道（错误 " + std::to_string(GetLastError()) + "）";
        return false;
    }
    // Standard input at its end: adb shell would otherwise forward whatever the tool's own input holds.
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    *input.Out() = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                               nullptr);
    if (*input.Out() == INVALID_HANDLE_VALUE) *input.Out() = nullptr;

    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_HIDE;
    si.hStdInput = input.Get();
    si.hStdOutput = outWrite.Get();
    si.hStdError = errWrite.Get();
    PROCESS_INFORMATION pi = {};
    std::string line = commandLine;
    BOOL ok;
    DWORD lastError;
    {
        Hold hold(gStartLock);
        SetHandleInformation(outWrite.Get(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
        SetHandleInformation(errWrite.Get(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
        // No console at all: adb talks through the pipes only, and a hidden
        // console would cost a console host process per adb run.
        // Started suspended, so it is in the job before it can start anything.
        ok = CreateProcessA(exe.c_str(), &line[0], nullptr, nullptr, TRUE, DETACHED_PROCESS | CREATE_SUSPENDED,
                            nullptr, nullptr, &si, &pi);
        lastError = GetLastError();
        SetHandleInformation(outWrite.Get(), HANDLE_FLAG_INHERIT, 0);
        SetHandleInformation(errWrite.Get(), HANDLE_FLAG_INHERIT, 0);
    }
    if (!ok) {
        // The usual case by far: the tool was copied without adb.
        if (lastError == ERROR_FILE_NOT_FOUND || lastError == ERROR_PATH_NOT_FOUND)
            *error = "找不到 " + exe + "：请把 platform-tools 里的 adb.exe、AdbWinApi.dll 和 AdbWinUsbApi.dll 放进这个文件夹";
        else
            *error = "无法启动 " + exe + "（错误 " + std::to_string(lastError) + "）";
        return false;
    }
    // A process already in a job that allows no other (Windows 7) runs its
    // clients untied, as before.
    if (HANDLE job = ClientJob()) AssignProcessToJobObject(job, pi.hProcess);
    ResumeThread(pi.hThread);
    *c->process.Out() = pi.hProcess;
    CloseHandle(pi.hThread);
    return true;
}

// Only the client is ended: the adb server it may have started in the
// background serves every other adb run and program, and a killed server
// costs each of them a server start (and fails the batches on other phones).
void End(Child* c) {
    TerminateProcess(c->process.Get(), 1);
    WaitForSingleObject(c->process.Get(), kEndAfterKillMs);
}

} // namespace

std::string QuoteArgument(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) return arg;
    std::string q = "\"";
    size_t backslashes = 0;
    for (char ch : arg) {
        if (ch == '\\') {
            backslashes++;
            continue;
        }
        // Backslashes double only before a quote, which is then escaped itself.
        q.append(ch == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        q += ch;
    }
    q.append(backslashes * 2, '\\');
    return q + "\"";
}

std::string BuildCommandLine(const std::string& exe, const std::vector<std::string>& args) {
    std::string line = QuoteArgument(exe);
    for (const std::string& a : args) line += " " + QuoteArgument(a);
    return line;
}

std::string Adb::DefaultPath() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return Folder(std::string(path, n)) + "\\adb_1.0.40\\adb.exe";
}

Adb Adb::Through(const dev::Server& server) const {
    Adb a(exe_);
    a.server_ = server;
    return a;
}

AdbResult Adb::Run(const std::vector<std::string>& args, const AdbRun& how) const {
    AdbResult r;
    Child c;
    std::vector<std::string> all;
    if (!server_.Local()) all = {"-H", server_.host, "-P", std::to_string(server_.port)};
    all.insert(all.end(), args.begin(), args.end());
    if (!Start(exe_, BuildCommandLine(exe_, all), &c, &r.startError)) return r;
    r.started = true;

    DWORD began = GetTickCount();
    DWORD cancelSeen = 0;
    bool cancelPending = false;
    DWORD wait = kFirstWaitMs;
    // The process first, then the abort flag, then the cancel flag: a set
    // cancel flag drops out of the list (it would wake every wait at once).
    HANDLE wakers[3] = {c.process.Get(), nullptr, nullptr};
    DWORD wakerCount = 1;
    if (how.abort) wakers[wakerCount++] = how.abort->Event();
    if (how.cancel) wakers[wakerCount++] = how.cancel->Event();
    auto room = [&] { return how.maxBytes > r.out.size() + r.err.size() ? how.maxBytes - r.out.size() - r.err.size() : 0; };
    for (;;) {
        bool got = Drain(c.outRead.Get(), &r.out, room(), &r.tooLong);
        got = Drain(c.errRead.Get(), &r.err, room(), &r.tooLong) || got;
        if (got && how.onOutput && !r.tooLong && !how.onOutput(r.out)) r.cancelled = true;
        if (how.abort && how.abort->Requested()) r.cancelled = true;
        if (how.cancel && how.cancel->Requested() && !cancelPending) {
            cancelPending = true;
            cancelSeen = GetTickCount();
            wakerCount--;
        }
        if (cancelPending && GetTickCount() - cancelSeen >= how.cancelGraceMs) r.cancelled = true;
        if (how.timeoutMs && GetTickCount() - began >= how.timeoutMs) r.timedOut = true;
        if (r.cancelled || r.timedOut || r.tooLong) {
            End(&c);
            break;
        }
        if (WaitForSingleObject(c.process.Get(), 0) == WAIT_OBJECT_0) break;
        wait = got ? kFirstWaitMs : std::min(wait * 2, kLongestWaitMs);
        WaitForMultipleObjects(wakerCount, wakers, FALSE, got ? 0 : wait);
    }
    // Whatever the child wrote before it ended is in the pipes by now.
    bool got = Drain(c.outRead.Get(), &r.out, room(), &r.tooLong);
    Drain(c.errRead.Get(), &r.err, room(), &r.tooLong);
    if (got && how.onOutput && !r.cancelled && !r.timedOut && !r.tooLong) how.onOutput(r.out);
    GetExitCodeProcess(c.process.Get(), &r.exitCode);
    return r;
}

AdbResult Adb::Shell(const std::string& serial, const std::string& script, const AdbRun& how) const {
    std::vector<std::string> args;
    if (!serial.empty()) args = {"-s", serial};
    args.push_back("shell");
    args.push_back(script);
    return Run(args, how);
}

std::string RunFailure(const AdbResult& r) {
    if (!r.started) return r.startError;
    if (r.timedOut) return "adb 没有在限定时间内结束";
    if (r.tooLong) return "adb 的输出多得不正常，已停止读取";
    if (r.cancelled) return "已取消";
    return std::string();
}

} // namespace dev
