#include "serverwindow.h"

#include <windows.h>
#include <string>
#include "calls.h"
#include "data/program.h"
#include "data/serverwindow.h"
#include "runtime/services.h"

namespace app {

namespace {

using rt::kServices;

constexpr uint32_t kWindow = data::kServerWindow;
constexpr int32_t kPropCaption = 8;   // label caption, edit box content
constexpr int32_t kKeyEnter = 13;

// What the window ended with; set by its handlers, read once it has closed.
bool gAccepted = false;
dev::Server gServer;

std::string Text(uint32_t unit) {
    char* text = PointerAt<char>(static_cast<uint32_t>(kServices.readProperty(kWindow, unit, kPropCaption, -1)));
    std::string s = text ? text : "";
    kServices.free(text);
    return s;
}

void SetText(uint32_t unit, const std::string& text) {
    kServices.writeProperty(kWindow, unit, kPropCaption, -1, Word(text.c_str()), 0);
}

// Posted, so the handler that asks returns before the window goes.
void Close() {
    HWND h = reinterpret_cast<HWND>(static_cast<uintptr_t>(kServices.auxiliary(rt::kAuxPostTarget, kWindow)));
    if (h) PostMessageA(h, WM_CLOSE, 0, 0);
}

void Accept() {
    dev::Server s;
    std::string why;
    if (!dev::ParseServer(Text(data::kSrvHost), Text(data::kSrvPort), &s, &why)) {
        SetText(data::kSrvNote, why);
        return;
    }
    gServer = s;
    gAccepted = true;
    Close();
}

} // namespace

bool AskForServer(dev::Server* server) {
    gAccepted = false;
    CallCore(kLoadWindow, {rt::ArgRecord{kWindow, 0, rt::kTypeWindow}, rt::ArgRecord{1, 0, rt::kTypeBool},
                           rt::ArgRecord{data::kManagerWindow, 0, rt::kTypeWindow}});
    if (!gAccepted) return false;
    *server = gServer;
    gAccepted = false;
    return true;
}

bool OnServerOk(int32_t, const int64_t*, int64_t*) {
    Accept();
    return false;
}

bool OnServerCancel(int32_t, const int64_t*, int64_t*) {
    Close();
    return false;
}

// Enter in either box is 确定.
bool OnServerKey(int32_t argc, const int64_t* argv, int64_t* result) {
    if (argc < 1 || argv[0] != kKeyEnter) return false;
    Accept();
    *result = 0;
    return true;
}

} // namespace app
