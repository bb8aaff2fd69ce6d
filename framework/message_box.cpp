#include "framework/message_box.h"

namespace {

MessageBoxHandler g_handler = nullptr;
void* g_context = nullptr;

}  // namespace

int ShowMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type) {
    if (g_handler != nullptr) return g_handler(g_context, owner, text, caption, type);
    return ::MessageBoxW(owner, text, caption, type);
}

void SetMessageBoxHandler(MessageBoxHandler handler, void* context) {
    g_handler = handler;
    g_context = context;
}
