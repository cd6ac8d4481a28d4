#include "app/win32/welcome_dialog.h"

#include <string>

#include "app/control_ids.h"
#include "app/instruction_texts.h"
#include "platform/win32/wide.h"

namespace app::winui {
namespace {

void SetItemText(HWND dialog, int controlId, std::u16string_view text)
{
    SetDlgItemTextW(dialog, controlId, platform::Wide(std::u16string(text)));
}

INT_PTR CALLBACK WelcomeProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        for (const ControlText& entry : WelcomeTexts()) SetItemText(dialog, entry.controlId, entry.text);
        SetItemText(dialog, IDOK, WelcomeOkText());
        SetItemText(dialog, IDCANCEL, WelcomeCancelText());
        if (lParam != 0) PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

}  // namespace

bool RunWelcomeDialog(HINSTANCE instance, HWND owner, bool pressOkItself)
{
    return DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_WELCOME), owner, WelcomeProc, pressOkItself ? 1 : 0) == IDOK;
}

}  // namespace app::winui
