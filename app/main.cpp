// Start-up of the window program.
#include <windows.h>

#include "app/quillmar_app.h"

CQuillmarApp theApp;

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) { return AfxWinMain(instance); }
