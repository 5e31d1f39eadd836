#include <windows.h>
#include "app/support.h"
#include "data/program.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    rt::RunApplication(data::Header(), app::StartRoutine);
}
