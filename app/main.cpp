#include <windows.h>
#include "app/support.h"
#include "app/program.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
#ifdef KEEL_DAMAGED_TEMPLATE
    // A test build whose form template is cut short: start-up must end in the
    // run-time error box.
    static rt::ProgramHeader damaged = *app::Header();
    damaged.formTemplateSize = 100;
    rt::RunApplication(&damaged, app::StartRoutine);
#else
    rt::RunApplication(app::Header(), app::StartRoutine);
#endif
}
