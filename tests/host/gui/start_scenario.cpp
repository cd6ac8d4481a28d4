#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <initializer_list>

#include "driver_steps.h"
#include "scenarios.h"
#include "window_query.h"

namespace gui_test {
namespace {

constexpr DWORD kKeySettleMs = 1500;

constexpr int kMainFirstText = 1128;
constexpr int kVersionLabel = 1108;
constexpr int kProgressLabel = 1124;
constexpr int kUpdateButton = 1002;
constexpr int kPercentText = 1004;

const std::wstring kMainFirstTextText =
    L"Essa ferramenta de atualizacao \u00e9 compativel com Windows XP (SP3) 32bit, Windows 7 (SP1) and Windows 8.";

std::string FileBytes(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void SetKey(std::string& xml, const std::string& key, const std::string& value)
{
    const std::string empty = "<" + key + "></" + key + ">";
    const size_t at = xml.find(empty);
    if (at != std::string::npos) xml.replace(at, empty.size(), "<" + key + ">" + value + "</" + key + ">");
}

// The six carried files, each byte for byte as the build embedded it;
// download.xml with its two path keys pointed at the work folder.
void CheckUnpackedFiles(CheckLog& log)
{
    const std::filesystem::path res = WindowsPath(FLASHDESK_RES_DIR);
    const std::filesystem::path firmware = WindowsPath(FLASHDESK_FIRMWARE_DIR);
    std::string config = FileBytes(res / L"download.xml");
    SetKey(config, "ITEM_VERSIONFILE_PATH", Narrow(WorkFolder().wstring()));
    SetKey(config, "ITEM_NVFILE_PATH", Narrow(WorkFolder().wstring()));
    log.Check(!config.empty() && FileBytes(WorkFolder() / L"download.xml") == config,
              "unpacked download.xml as carried, with the work folder in its path keys");
    const std::filesystem::path sources[] = {
        res / L"lan_ENG.ini",
        firmware / L"root_uImage",
        firmware / L"uboot.img",
        firmware / L"fa_kr710_host_nomifi_ims_NA_C0_B.fbf.gz",
        firmware / L"fa_kr710_host_nomifi_ims_NA_C0_B.fbf_md5sum",
    };
    for (const std::filesystem::path& source : sources) {
        const std::filesystem::path unpacked = WorkFolder() / source.filename();
        log.Check(SameBytes(unpacked, source), "unpacked " + Narrow(source.filename().wstring()) + " as carried");
    }
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
    CheckUnpackedFiles(log);
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
