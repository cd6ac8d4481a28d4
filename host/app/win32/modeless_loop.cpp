#include "app/win32/modeless_loop.h"

namespace app::winui {
namespace {

bool IsDroppedKey(HWND dialog, const MSG& message)
{
    if (message.message != WM_KEYDOWN || (message.wParam != VK_RETURN && message.wParam != VK_ESCAPE)) return false;
    return message.hwnd == dialog || IsChild(dialog, message.hwnd);
}

}  // namespace

void RunModelessLoop(HWND dialog)
{
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (IsDroppedKey(dialog, message)) continue;
        if (IsDialogMessageW(dialog, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

}  // namespace app::winui
