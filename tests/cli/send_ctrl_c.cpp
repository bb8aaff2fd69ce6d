// send_ctrl_c PROCESS-ID: presses Ctrl+C in the console of that process, as a
// user at its console would. A program of its own, so that the test program
// never gives up its own console. Exit status 0 when the event went out.
#include <windows.h>

#include <cstdlib>

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) return 2;
    DWORD processId = static_cast<DWORD>(wcstoul(argv[1], nullptr, 10));
    FreeConsole();
    if (!AttachConsole(processId)) return 1;
    // This program shares the console for the moment and must not end by the event itself.
    SetConsoleCtrlHandler(nullptr, TRUE);
    return GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0) ? 0 : 3;
}
