// Drives flashdesk.exe as a person would, under Wine on a virtual X server,
// and prints one PASS or FAIL line per check; exits 1 on any failure.
//
// usage: gui_driver FLASHDESK_EXE ARTIFACT_DIR start|update|options
// The screenshots go to ARTIFACT_DIR (created when missing).
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "check_log.h"
#include "driver_steps.h"
#include "scenarios.h"

namespace {

int CALLBACK FoundFamily(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found)
{
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

bool FontInstalled(const wchar_t* family)
{
    LOGFONTW wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(wanted.lfFaceName, family, LF_FACESIZE);
    bool found = false;
    HDC screen = GetDC(nullptr);
    EnumFontFamiliesExW(screen, &wanted, FoundFamily, reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, screen);
    return found;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring scenario = argc == 4 ? argv[3] : L"";
    if (scenario != L"start" && scenario != L"update" && scenario != L"missing" && scenario != L"options") {
        std::fprintf(stderr, "usage: gui_driver FLASHDESK_EXE ARTIFACT_DIR start|update|missing|options\n");
        return 2;
    }
    const std::wstring program = gui_test::WindowsPath(argv[1]);
    const std::filesystem::path artifacts = gui_test::WindowsPath(argv[2]);
    std::error_code error;
    std::filesystem::create_directories(artifacts, error);
    if (std::filesystem::exists(gui_test::WorkFolder())) {
        std::printf("note: removing a work folder left by an earlier run\n");
        std::filesystem::remove_all(gui_test::WorkFolder(), error);
    }

    gui_test::CheckLog log;
    // The dialog's font and the caption buttons' glyphs, as Windows has
    // them (Debian's fonts-wine); without them the screenshots show
    // stand-ins of other widths.
    for (const wchar_t* family : {L"Tahoma", L"Marlett"}) {
        log.Check(FontInstalled(family), "font " + std::string(family, family + lstrlenW(family)) + " installed", "fonts-wine");
    }
    if (scenario == L"start") {
        gui_test::RunStartScenario(log, program, artifacts);
    } else if (scenario == L"update") {
        gui_test::RunUpdateScenario(log, program, artifacts);
    } else if (scenario == L"missing") {
        gui_test::RunMissingFileScenario(log, program, artifacts);
    } else {
        gui_test::RunOptionsScenario(log, program, artifacts);
    }
    log.Summary();
    return log.Failures() == 0 ? 0 : 1;
}
