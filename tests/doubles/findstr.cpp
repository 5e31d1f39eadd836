// A minimal findstr: prints the lines of standard input that contain its
// literal argument (options beginning with "/" are ignored). Wine's own
// findstr prints nothing, so tests and the demo put this one first in line.
#include <windows.h>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    const char* needle = nullptr;
    for (int i = 1; i < argc && !needle; i++)
        if (argv[i][0] != '/') needle = argv[i];
    if (!needle) return 2;

    std::string input;
    char buf[65536];
    DWORD got;
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    while (ReadFile(in, buf, sizeof buf, &got, nullptr) && got > 0) input.append(buf, got);

    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    bool found = false;
    size_t at = 0;
    while (at < input.size()) {
        size_t end = input.find('\n', at);
        std::string line = input.substr(at, end == std::string::npos ? std::string::npos : end + 1 - at);
        at = end == std::string::npos ? input.size() : end + 1;
        if (line.find(needle) == std::string::npos) continue;
        if (line.back() != '\n') line += "\r\n";
        DWORD put;
        WriteFile(out, line.data(), static_cast<DWORD>(line.size()), &put, nullptr);
        found = true;
    }
    return found ? 0 : 1;
}
