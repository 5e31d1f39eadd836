#include "runner.h"

#include <windows.h>
#include <cstring>
#include "calls.h"
#include "cancel.h"
#include "data/constants.h"
#include "data/program.h"
#include "support.h"

namespace app {

namespace {

using rt::kServices;

// Position numbers of the checks, in the order the calls appear.
enum Position : int32_t {
    kAtCreatePipe = 132,
    kAtCreateProcessDos = 600,
    kAtCreateProcessNt = 815,
    kAtCloseWrite = 942,
    kAtPeek = 1165,
    kAtRead = 1361,
    kAtConvert = 1484,
    kAtExitCode = 1519,
    kAtWait = 1630,
    kAtCloseRead = 1751,
    kAtCloseProcess = 1812,
    kAtCloseThread = 1873,
};

// While the pipe is empty the runner sleeps in MsgWaitForMultipleObjects,
// which wakes at once for the end of the process and for window input. The
// time-out only bounds how long output can sit in the pipe. Right after a
// read a streaming command refills the pipe within a fraction of a
// millisecond (and blocks while it is full), so a few passes look again
// without sleeping; then the time-out doubles from 1 ms up to 16 ms. Output
// latency matters only while output flows: once the command has been quiet
// for 200 ms the time-out keeps doubling up to 256 ms. Every wake costs the
// program and the wine server a few system calls: with 16 ms as the longest
// time-out the silent middle of a 3 s command cost 2.0-2.9 % of a core
// (program and server together, on a loaded machine); with 256 ms it costs
// 0.36-0.48 %, the server's own background work (about 0.2 %) included
// (bench/RESULTS.md). The long time-out delays a command that speaks again
// after a silence once, by at most 256 ms, while the pipe holds what it
// wrote; it never delays the return, which the process's end wakes.
constexpr int32_t kPassesWithoutSleep = 32;
constexpr uint32_t kFirstWaitMs = 1;
constexpr uint32_t kLongestWaitMs = 16;
constexpr uint32_t kQuietAfterMs = 200;
constexpr uint32_t kLongestQuietWaitMs = 256;

struct ProcessInformation {
    uint32_t hProcess, hThread, dwProcessId, dwThreadId;
};

// The collected output: grows by doubling, so collecting is linear in the
// output's size however it is chunked.
struct Output {
    char* text = nullptr;
    uint32_t length = 0;
    uint32_t capacity = 0;

    void Append(const char* s, uint32_t n) {
        if (n == 0) return;
        uint32_t needed = length + n + 1;
        if (needed > capacity) {
            uint32_t grown = capacity ? capacity : 256;
            while (grown < needed) grown *= 2;
            text = static_cast<char*>(kServices.realloc(text, grown));
            capacity = grown;
        }
        std::memcpy(text + length, s, n);
        length += n;
        text[length] = 0;
    }

    // A text of exactly the needed size, or null when nothing came.
    char* Take() {
        char* result = length ? static_cast<char*>(kServices.realloc(text, length + 1)) : nullptr;
        if (!length) kServices.free(text);
        text = nullptr;
        length = capacity = 0;
        return result;
    }
};

struct PipeReader {
    uint32_t readHandle = 0;
    uint32_t available = 0;
    void* buffer = nullptr;   // the last chunk, a byte set
    Output output;

    // Reads what the pipe holds right now; false when it held nothing. A
    // read never blocks because it asks for exactly what the peek reported.
    bool ReadAvailable() {
        // A failed peek (broken and empty pipe) leaves the count alone.
        available = 0;
        CallDll(data::kDllPeekNamedPipe, {readHandle, 0, 0, 0, Word(&available), 0}, kRunnerRoutine, kAtPeek);
        if (available == 0) return false;

        void* fresh = PointerAt<void>(CallCore(kMakeBlankBytes, {IntArg(static_cast<int32_t>(available))}).lo);
        kServices.free(buffer);
        buffer = fresh;
        CallDll(data::kDllReadFile, {readHandle, Word(rt::ByteSetData(buffer)), available, Word(&available), 0},
                kRunnerRoutine, kAtRead);
        AppendChunk();
        return true;
    }

    // A text cannot hold zero bytes: the chunk is taken piece by piece
    // between them, so only the zero bytes themselves are dropped.
    void AppendChunk() {
        int32_t position = 1;
        while (position != -1) {
            rt::ArgRecord r = CallCore(kReadValueFromBytes,
                                       {BytesArg(buffer), IntArg(10), ByRefArg(rt::kTypeInt, &position)});
            if (r.type != rt::kTypeText) kServices.reportError(5, kRunnerRoutine, kAtConvert);
            char* piece = PointerAt<char>(r.lo);
            output.Append(piece, TextLength(piece));
            kServices.free(piece);
        }
    }
};

} // namespace

char* RunConsoleCommand(char** command, const char* directory) {
    const uint32_t security[3] = {12, 0, 1};   // nLength, no descriptor, inheritable handles
    StartupRecord startup = {};
    ProcessInformation process = {};
    uint32_t writeHandle = 0;
    uint32_t exitCode = 0;
    PipeReader pipe;

    CallDll(data::kDllCreatePipe, {Word(&pipe.readHandle), Word(&writeHandle), Word(security), 0}, kRunnerRoutine,
            kAtCreatePipe);

    startup.cb = kSystemStartupSize;
    startup.dwFlags = CallCore(kBitOr, {IntArg(1), IntArg(256)}).lo;   // use wShowWindow, use the std handles
    startup.wShowWindow = 0;                                            // SW_HIDE
    startup.hStdOutput = writeHandle;
    startup.hStdError = writeHandle;

    // After /c, cmd.exe keeps the quotes of the rest of the line only when
    // there are exactly two of them around the name of a program (and a few
    // more conditions); otherwise it removes the first quote and the last
    // one. One more pair around the whole command is what it removes, so a
    // command with a quoted program path reaches it as written.
    bool nt = static_cast<int32_t>(CallCore(kGetSystemKind, {}).lo) > 2;
    const char* text = command ? *command : nullptr;
    char* line = nt ? Concat(4, data::kConstants.prefixNt, "\"", text, "\"") : Concat(2, data::kConstants.prefixDos, text);
    void* block = MarshalStartupRecord(startup);
    CallDll(data::kDllCreateProcess, {0, Word(line), 0, 0, 1, 0, 0, Word(directory), Word(block), Word(&process)},
            kRunnerRoutine, nt ? kAtCreateProcessNt : kAtCreateProcessDos);
    UnmarshalStartupRecord(&startup, block);
    kServices.free(line);

    // From here only the child holds the write end.
    CallDll(data::kDllCloseHandle, {writeHandle}, kRunnerRoutine, kAtCloseWrite);

    const bool forWindow = WindowLoaded();
    int32_t passesWithoutSleep = 0;
    uint32_t waitMs = kFirstWaitMs;
    uint32_t quietMs = 0;   // time-outs slept through since the last output
    for (;;) {
        if (pipe.ReadAvailable()) {
            passesWithoutSleep = kPassesWithoutSleep;
            waitMs = kFirstWaitMs;
            quietMs = 0;
        } else if (passesWithoutSleep > 0) {
            passesWithoutSleep--;
        } else {
            // The end is the process handle signalled, whatever its exit code;
            // a process that never started leaves nothing to wait for. Only
            // new input wakes the wait, so a WM_QUIT left in the queue (the
            // pump stops before it) does not turn it into a spin.
            uint32_t woke = CallDll(data::kDllMsgWaitForMultipleObjects,
                                    {1, Word(&process.hProcess), 0, waitMs, QS_ALLINPUT}, kRunnerRoutine, kAtWait);
            if (woke != WAIT_TIMEOUT && woke != WAIT_OBJECT_0 + 1) break;
            if (woke == WAIT_TIMEOUT) quietMs += waitMs;
            uint32_t longest = quietMs >= kQuietAfterMs ? kLongestQuietWaitMs : kLongestWaitMs;
            waitMs = waitMs * 2 < longest ? waitMs * 2 : longest;
        }
        CallCore(kProcessPendingMessages, {});
        // Nobody waits for the output of a command whose window has gone, and
        // a hung adb must not keep a windowless process alive.
        if (forWindow && !WindowLoaded()) {
            EndCommandProcesses(process.hProcess, process.dwProcessId);
            break;
        }
    }

    // What the command wrote before it ended is in the pipe now. Take only
    // that: a process it started may hold the write end open much longer.
    while (pipe.ReadAvailable()) {
    }

    // Read as the program always has, never looked at: success or failure
    // shows only in what the command printed.
    CallDll(data::kDllGetExitCodeProcess, {process.hProcess, Word(&exitCode)}, kRunnerRoutine, kAtExitCode);
    CallDll(data::kDllCloseHandle, {pipe.readHandle}, kRunnerRoutine, kAtCloseRead);
    if (process.hProcess) CallDll(data::kDllCloseHandle, {process.hProcess}, kRunnerRoutine, kAtCloseProcess);
    if (process.hThread) CallDll(data::kDllCloseHandle, {process.hThread}, kRunnerRoutine, kAtCloseThread);

    kServices.free(pipe.buffer);
    return pipe.output.Take();
}

} // namespace app
