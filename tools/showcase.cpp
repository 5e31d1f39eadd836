// Sets the tool up for its picture: starts it with the simulated device in a
// scratch folder, reads the foreground app into the package box and lists
// the devices, then prints the window's rectangle on the screen ("x y w h")
// and leaves the tool running for tools/screenshot.sh to photograph.
// Usage: showcase [phone state file]; without one, a small phone of two apps.
#include <windows.h>
#include <cstdio>
#include "support/uidriver.h"

int main(int argc, char** argv) {
    using namespace test::captions;
    const std::string phone = argc > 1 ? test::ReadFileBytes(argv[1])
                                       : "device emulator-5554 device\n"
                                         "package com.tencent.mm enabled\n"
                                         "package com.example.old disabled-user\n"
                                         "focus com.tencent.mm/com.tencent.mm.ui.LauncherUI\n";
    if (phone.empty()) {
        std::fprintf(stderr, "showcase: cannot read %s\n", argv[1]);
        return 1;
    }
    static test::ToolUnderTest tool("showcase", phone);
    if (!tool.Start() || !tool.ClickAndWait(kForeground) || !tool.ClickAndWait(kListDevices)) {
        std::fprintf(stderr, "showcase: the tool did not come up or did not answer\n");
        return 1;
    }
    // Painted through before the picture is taken.
    RedrawWindow(tool.Window(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    RECT r;
    GetWindowRect(tool.Window(), &r);
    std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
    std::fflush(stdout);
    // Until the caller ends the session; the tool must stay as photographed.
    Sleep(INFINITE);
}
