#include <cstdio>
#include <initializer_list>

#include "driver_steps.h"
#include "scenarios.h"
#include "window_query.h"

namespace gui_test {
namespace {

constexpr DWORD kKeySettleMs = 1500;

constexpr int kWelcomeHeading = 1127;
constexpr int kWelcomeLastText = 1135;
constexpr int kMainFirstText = 1128;
constexpr int kVersionLabel = 1108;
constexpr int kProgressLabel = 1124;
constexpr int kUpdateButton = 1002;
constexpr int kPercentText = 1004;

const std::wstring kWelcomeHeadingText = L"Informacao importante!";
const std::wstring kWelcomeLastTextText = L"- Clique \"OK\" quando voce tiver realizado todas as instrucoes.";
const std::wstring kMainFirstTextText =
    L"Essa ferramenta de atualizacao \u00e9 compativel com Windows XP (SP3) 32bit, Windows 7 (SP1) and Windows 8.";

bool AcceptInstructions(CheckLog& log, const ChildProcess& app, const std::filesystem::path& artifacts)
{
    const HWND welcome = WaitForWindow(
        app, [](HWND w) { return IsDialog(w) && ItemText(w, kWelcomeHeading) == kWelcomeHeadingText; }, kStartTimeoutMs);
    if (!log.Check(welcome != nullptr, "instructions dialog shown")) return false;
    ExpectText(log, "instructions text 1127", ItemText(welcome, kWelcomeHeading), kWelcomeHeadingText);
    ExpectText(log, "instructions text 1135", ItemText(welcome, kWelcomeLastText), kWelcomeLastTextText);
    ExpectText(log, "instructions OK button", ItemText(welcome, IDOK), L"OK");
    ExpectText(log, "instructions Cancel button", ItemText(welcome, IDCANCEL), L"CANCELAR");
    Screenshot(log, artifacts / "1-instructions.bmp");
    Click(GetDlgItem(welcome, IDOK));
    return true;
}

HWND CheckMainWindow(CheckLog& log, const ChildProcess& app, const std::filesystem::path& artifacts)
{
    const HWND main = WaitForMainWindow(app);
    if (!log.Check(main != nullptr, "main window shown", main ? Narrow(WindowText(main)) : "")) return nullptr;
    ExpectText(log, "main text 1128", ItemText(main, kMainFirstText), kMainFirstTextText);
    ExpectText(log, "version label 1108", ItemText(main, kVersionLabel), L"Versao:");
    ExpectText(log, "progress label 1124", ItemText(main, kProgressLabel), L"Progresso:");
    ExpectText(log, "update button 1002", ItemText(main, kUpdateButton), L"ATUALIZAR");
    log.Check(!IsWindowEnabled(GetDlgItem(main, kUpdateButton)), "update button disabled without a router");
    ExpectText(log, "percent text 1004", ItemText(main, kPercentText), L"0%");
    log.Check(std::filesystem::is_directory(WorkFolder()), "work folder created", Narrow(WorkFolder().wstring()));
    log.Check(std::filesystem::is_directory(WorkFolder() / L"EFSNV"), "work folder EFSNV created");
    Screenshot(log, artifacts / "2-main-window.bmp");
    return main;
}

void CheckKeysKeepWindow(CheckLog& log, const ChildProcess& app, HWND main)
{
    GUITHREADINFO gui{};
    gui.cbSize = sizeof(gui);
    const DWORD thread = GetWindowThreadProcessId(main, nullptr);
    const HWND focus = GetGUIThreadInfo(thread, &gui) && gui.hwndFocus != nullptr ? gui.hwndFocus : main;
    for (const HWND target : {focus, main}) {
        PressKey(target, VK_RETURN, 0x1C);
        PressKey(target, VK_ESCAPE, 0x01);
    }
    Sleep(kKeySettleMs);
    log.Check(app.Running() && IsWindow(main) && IsWindowVisible(main), "Return and Escape leave the window open");
}

void CheckMinimiseAndRestore(CheckLog& log, HWND main, const std::filesystem::path& artifacts)
{
    ShowWindow(main, SW_MINIMIZE);
    Sleep(kKeySettleMs);
    log.Check(IsIconic(main) != FALSE, "window minimises");
    Screenshot(log, artifacts / "2-main-window-minimised.bmp");
    ShowWindow(main, SW_RESTORE);
    Sleep(kKeySettleMs);
    log.Check(!IsIconic(main) && IsWindowVisible(main), "window restores");
}

void CheckSecondInstance(CheckLog& log, const ChildProcess& app, HWND main, const std::wstring& program,
                         const std::filesystem::path& artifacts)
{
    ChildProcess second;
    if (!log.Check(second.Start(program), "second instance started")) return;
    const HWND box = WaitForMessageBox(second, L"Ainda processando.", kStartTimeoutMs);
    if (log.Check(box != nullptr, "second instance shows its message")) {
        ExpectText(log, "second instance message text", ItemText(box, kMessageBoxTextId), L"Ainda processando.");
        ExpectText(log, "second instance message caption", WindowText(box), L"flashdesk");
        Screenshot(log, artifacts / "3-second-instance.bmp");
        Click(GetDlgItem(box, IDOK));
    }
    ExpectExit(log, "second instance exits", second, 0);
    if (second.Kill()) std::printf("note: second instance ended by the driver\n");
    log.Check(app.Running() && IsWindow(main), "first instance keeps running");
}

}  // namespace

void RunStartScenario(CheckLog& log, const std::wstring& program, const std::filesystem::path& artifacts)
{
    ChildProcess app;
    if (log.Check(app.Start(program), "flashdesk started", Narrow(program)) && AcceptInstructions(log, app, artifacts)) {
        if (const HWND main = CheckMainWindow(log, app, artifacts)) {
            CheckKeysKeepWindow(log, app, main);
            CheckMinimiseAndRestore(log, main, artifacts);
            CheckSecondInstance(log, app, main, program, artifacts);
            PostMessageW(main, WM_CLOSE, 0, 0);
            ExpectExit(log, "WM_CLOSE ends the program", app, 0);
            log.Check(!std::filesystem::exists(WorkFolder()), "work folder removed");
        }
    }
    if (app.Kill()) log.Check(false, "flashdesk still running at the end; ended by the driver");
}

}  // namespace gui_test
