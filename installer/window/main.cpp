// The installer program: one main window that pre-selects what to install,
// ending at once when a start-up dialog has told the user that this kit
// cannot be used here.

// clang-format off
#include <windows.h>
// clang-format on

#include "form_main.h"
#include "win32_system.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    installer::Win32System system;
    installer::TFormMain form(system);
    if (!form.Create("Tarvano Installer")) return 1;
    system.AttachWindow(form.Handle(), &form);
    form.FormCreate();
    if (form.CloseAtOnce()) {
        DestroyWindow(form.Handle());
        return 0;
    }
    ShowWindow(form.Handle(), SW_SHOWNORMAL);
    UpdateWindow(form.Handle());
    return form.RunMessageLoop();
}
