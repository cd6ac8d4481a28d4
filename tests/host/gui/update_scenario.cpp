#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "driver_steps.h"
#include "scenarios.h"
#include "window_query.h"

namespace gui_test {
namespace {

constexpr int kPercentText = 1004;
// The success message presses its own OK 1.5 s after it opens.
constexpr DWORD kQuickSettleMs = 300;
constexpr DWORD kMessageCloseTimeoutMs = 10000;
constexpr DWORD kPollMs = 50;

bool IsPartPercent(const std::wstring& text)
{
    return text.size() >= 2 && text.back() == L'%' && text != L"0%" && text != L"100%";
}

// Polls the percentage text until it shows a step of the transfer.
std::wstring WaitForPartPercent(const ChildProcess& app, HWND main)
{
    const ULONGLONG deadline = GetTickCount64() + kStartTimeoutMs;
    while (app.Running() && GetTickCount64() < deadline) {
        const std::wstring text = ItemText(main, kPercentText);
        if (IsPartPercent(text)) return text;
        Sleep(kPollMs);
    }
    return {};
}

bool WaitUntilGone(HWND window, DWORD timeoutMs)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (IsWindow(window) && GetTickCount64() < deadline) Sleep(kPollMs);
    return !IsWindow(window);
}

// The simulator received the modem image, its checksum and the Linux image,
// each byte for byte as carried, and nothing else (uboot.img is never sent).
void CheckReceivedFiles(CheckLog& log)
{
    const std::filesystem::path firmware = WindowsPath(FLASHDESK_FIRMWARE_DIR);
    const struct {
        const wchar_t* kind;
        const wchar_t* source;
    } expected[] = {
        {L"modem-image", L"fa_kr710_host_nomifi_ims_NA_C0_B.fbf.gz"},
        {L"modem-checksum", L"fa_kr710_host_nomifi_ims_NA_C0_B.fbf_md5sum"},
        {L"linux-image", L"root_uImage"},
    };
    std::error_code error;
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(SimulatorReceivedFolder(), error)) {
        ++files;
        const std::wstring name = entry.path().filename().wstring();
        bool matched = false;
        for (const auto& file : expected) {
            if (name.find(file.kind) == std::wstring::npos) continue;
            matched = true;
            log.Check(SameBytes(entry.path(), firmware / file.source), "router received " + Narrow(file.source) + " as carried",
                      Narrow(name));
        }
        log.Check(matched, "router received only firmware files", Narrow(name));
    }
    log.Check(files == 3, "router received three files", std::to_string(files));
}

std::filesystem::path KeptLogsRoot()
{
    wchar_t folder[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    return std::filesystem::path(folder) / L"flashdesk" / L"Logs";
}

std::vector<std::filesystem::path> KeptRuns()
{
    std::vector<std::filesystem::path> runs;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(KeptLogsRoot(), error)) {
        if (entry.is_directory()) runs.push_back(entry.path());
    }
    return runs;
}

// The run's logs outlive the work folder, with the diagnostic lines that
// tell which address was announced, chosen through WinSock's route answer.
void CheckKeptLogs(CheckLog& log, const std::vector<std::filesystem::path>& before)
{
    std::filesystem::path run;
    for (const std::filesystem::path& candidate : KeptRuns()) {
        if (std::find(before.begin(), before.end(), candidate) == before.end()) run = candidate;
    }
    if (!log.Check(!run.empty(), "the run's logs kept outside the work folder", Narrow(KeptLogsRoot().wstring()))) return;
    std::ifstream file(run / L"diagnostics.txt", std::ios::binary);
    const std::string diagnostics((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    log.Check(diagnostics.find("KR710 route to router 127.0.0.1 leaves by 127.0.0.1") != std::string::npos,
              "kept diagnostics give the announced address and why", Narrow(run.wstring()));
}

}  // namespace

void RunUpdateScenario(CheckLog& log, const std::wstring& program, const std::filesystem::path& artifacts)
{
    ChildProcess app;
    const std::vector<std::filesystem::path> keptBefore = KeptRuns();
    const std::wstring router = SimulatorRouterOption();
    if (log.Check(!router.empty() && app.Start(program, router + L" --yes"), "flashdesk --yes started against the simulator",
                  Narrow(router))) {
        if (const HWND main = WaitForMainWindow(app); log.Check(main != nullptr, "main window shown")) {
            const std::wstring percent = WaitForPartPercent(app, main);
            if (log.Check(!percent.empty(), "progress shown during the update", Narrow(percent))) {
                Screenshot(log, artifacts / "4-update-progress.bmp", kQuickSettleMs);
            }
            const HWND success = WaitForMessageBox(app, L"Sucesso!", kStartTimeoutMs);
            if (log.Check(success != nullptr, "success message shown", Narrow(ItemText(success, kMessageBoxTextId)))) {
                Screenshot(log, artifacts / "5-update-success.bmp", kQuickSettleMs);
                log.Check(WaitUntilGone(success, kMessageCloseTimeoutMs), "success message closes by itself with --yes");
            }
            ExpectExit(log, "program closes itself after a successful update", app, 0);
            log.Check(!std::filesystem::exists(WorkFolder()), "work folder removed");
            CheckKeptLogs(log, keptBefore);
            CheckReceivedFiles(log);
        }
    }
    if (app.Kill()) log.Check(false, "flashdesk still running at the end; ended by the driver");
}

}  // namespace gui_test
