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
