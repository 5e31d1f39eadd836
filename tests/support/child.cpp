#include "child.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <io.h>
#include <cstdio>
#include <cstring>
#include <map>
#include "runtime/syscalls.h"

namespace test {

namespace {

std::map<std::string, ChildFn>& Registry() {
    static std::map<std::string, ChildFn> r;
    return r;
}

std::vector<CapturedBox> gBoxes;
std::vector<std::string> gChildArgs;
bool gInChild = false;
int gAnswer = IDOK;

// Boxes travel from child to parent framed by control bytes that never occur
// in the texts under test.
const char kBoxBegin = '\x01', kBoxSep = '\x02', kBoxEnd = '\x03';

int WINAPI CaptureBox(HWND owner, LPCSTR text, LPCSTR title, UINT style) {
    gBoxes.push_back(CapturedBox{title ? title : "", text ? text : "", style, owner});
    if (gInChild) {
        std::printf("%c%s%c%s%c%u%c", kBoxBegin, title ? title : "", kBoxSep, text ? text : "", kBoxSep,
                    style, kBoxEnd);
        std::fflush(stdout);
    }
    return gAnswer;
}

void ParseBoxes(const std::string& raw, ChildResult* r) {
    size_t i = 0;
    while (i < raw.size()) {
        size_t b = raw.find(kBoxBegin, i);
        if (b == std::string::npos) { r->output.append(raw, i, std::string::npos); break; }
        r->output.append(raw, i, b - i);
        size_t s1 = raw.find(kBoxSep, b), s2 = raw.find(kBoxSep, s1 + 1), e = raw.find(kBoxEnd, s2 + 1);
        if (s1 == std::string::npos || s2 == std::string::npos || e == std::string::npos) {
            r->output.append(raw, b, std::string::npos);
            break;
        }
        CapturedBox box;
        box.title = raw.substr(b + 1, s1 - b - 1);
        box.text = raw.substr(s1 + 1, s2 - s1 - 1);
        box.style = static_cast<UINT>(std::strtoul(raw.substr(s2 + 1, e - s2 - 1).c_str(), nullptr, 10));
        box.owner = nullptr;
        r->boxes.push_back(box);
        i = e + 1;
    }
}

} // namespace

ChildRegistrar::ChildRegistrar(const char* name, ChildFn fn) { Registry()[name] = fn; }

void CaptureBoxes(int answer) {
    gAnswer = answer;
    rt::gSys.MessageBoxA = CaptureBox;
}

const std::vector<CapturedBox>& CapturedBoxes() { return gBoxes; }
void ClearCapturedBoxes() { gBoxes.clear(); }
const std::vector<std::string>& ChildArgs() { return gChildArgs; }

ChildResult RunChild(const char* name, const std::string& extraArgs, DWORD timeoutMs) {
    ChildResult r;
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string cmd = std::string("\"") + exe + "\" --child=" + name;
    if (!extraArgs.empty()) cmd += " " + extraArgs;

    SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
    HANDLE rd = nullptr, wr = nullptr;
    if (!CreatePipe(&rd, &wr, &sa, 0)) { r.exitCode = 0xDEADBEEF; return r; }
    SetHandleInformation(rd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = wr;
    si.hStdError = wr;
    si.hStdInput = nullptr;
    PROCESS_INFORMATION pi = {};
    std::vector<char> line(cmd.begin(), cmd.end());
    line.push_back(0);
    BOOL ok = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    CloseHandle(wr);
    if (!ok) { CloseHandle(rd); r.exitCode = 0xDEADBEEF; return r; }

    std::string raw;
    char buf[4096];
    DWORD got = 0;
    DWORD start = GetTickCount();
    for (;;) {
        DWORD avail = 0;
        if (PeekNamedPipe(rd, nullptr, 0, nullptr, &avail, nullptr) && avail > 0) {
            if (ReadFile(rd, buf, sizeof buf, &got, nullptr) && got > 0) raw.append(buf, got);
            continue;
        }
        if (WaitForSingleObject(pi.hProcess, 10) == WAIT_OBJECT_0) {
            // Everything the child wrote is in the pipe now. Read only what is
            // there: a process the child started (Wine's own services among
            // them) may hold the write end open for much longer.
            while (PeekNamedPipe(rd, nullptr, 0, nullptr, &avail, nullptr) && avail > 0 &&
                   ReadFile(rd, buf, sizeof buf, &got, nullptr) && got > 0)
                raw.append(buf, got);
            break;
        }
        if (GetTickCount() - start > timeoutMs) {
            TerminateProcess(pi.hProcess, 0xDEAD0001);
            WaitForSingleObject(pi.hProcess, 5000);
            break;
        }
    }
    GetExitCodeProcess(pi.hProcess, &r.exitCode);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    CloseHandle(rd);
    ParseBoxes(raw, &r);
    return r;
}

} // namespace test

int main(int argc, char** argv) {
    for (int i = 1; i < argc; i++) {
        if (std::strncmp(argv[i], "--child=", 8) != 0) continue;
        auto it = test::Registry().find(argv[i] + 8);
        if (it == test::Registry().end()) {
            std::fprintf(stderr, "unknown child scenario %s\n", argv[i] + 8);
            return 250;
        }
        for (int j = i + 1; j < argc; j++) test::gChildArgs.push_back(argv[j]);
        test::gInChild = true;
        // Texts travel to the parent byte for byte.
        _setmode(_fileno(stdout), _O_BINARY);
        _setmode(_fileno(stderr), _O_BINARY);
        test::CaptureBoxes();
        int rc = it->second();
        std::fflush(stdout);
        return rc;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
