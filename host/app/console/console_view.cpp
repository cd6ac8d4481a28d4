#include "app/console/console_view.h"

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <iostream>
#include <vector>

#include "app/control_ids.h"
#include "app/instruction_texts.h"
#include "platform/clock.h"
#include "platform/text.h"

namespace app {
namespace {

constexpr int kBarWidth = 30;
constexpr auto kLoopWait = std::chrono::milliseconds(50);

// The instructions in `language`: the instructions dialog's own texts, which
// are written in kWelcomeLanguage, or else the instruction lines of the main
// window's text set.
std::vector<std::u16string_view> Instructions(int language)
{
    std::vector<std::u16string_view> lines;
    if (language == kWelcomeLanguage) {
        for (const ControlText& entry : WelcomeTexts()) lines.push_back(entry.text);
        return lines;
    }
    for (const ControlText& entry : MainWindowTexts(language)) {
        if (entry.controlId >= IDC_TEXT_1128 && entry.controlId <= IDC_TEXT_1136) lines.push_back(entry.text);
    }
    return lines;
}

}  // namespace

ConsoleView::ConsoleView(bool autoYes, int language, std::FILE* out)
    : autoYes_(autoYes), language_(language), out_(out), interactive_(::isatty(STDIN_FILENO) != 0 && ::isatty(::fileno(out)) != 0)
{
}

std::string ConsoleView::Text(int controlId) const
{
    const auto found = texts_.find(controlId);
    return found == texts_.end() ? std::string() : platform::Utf16ToUtf8(found->second);
}

bool ConsoleView::Run(CUIMainModuleDlg& dialog)
{
    tasks_.BindToCurrentThread();
    enabled_[IDC_UPDATE_BUTTON] = false;
    const bool running = dialog.OnInitDialog() == CUIMainModuleDlg::InitOutcome::kRunning;
    if (running) {
        Render(true);
        for (;;) {
            tasks_.RunPending();
            if (closeRequested_.exchange(false) && dialog.OnClose()) break;
            RunDueTimers(dialog);
            HandleInput(dialog);
            Render(false);
            tasks_.WaitForWork(kLoopWait);
        }
        FinishLine();
    }
    tasks_.Close();
    return running;
}

bool ConsoleView::RunOnViewThread(const std::function<void()>& task) { return tasks_.Run(task); }

void ConsoleView::RunDueTimers(CUIMainModuleDlg& dialog)
{
    const uint64_t now = platform::MonotonicMs();
    for (auto& [id, timer] : timers_) {
        if (now < timer.dueMs) continue;
        timer.dueMs = now + timer.periodMs;
        dialog.OnTimer(id);
    }
}

void ConsoleView::HandleInput(CUIMainModuleDlg& dialog)
{
    const bool updateEnabled = enabled_[IDC_UPDATE_BUTTON];
    if (!updateEnabled) updatePressed_ = false;
    if (autoYes_ && updateEnabled && !updatePressed_) {
        updatePressed_ = true;
        dialog.OnUpdatePressed();
        return;
    }
    if (!inputOpen_) return;
    pollfd input{STDIN_FILENO, POLLIN, 0};
    if (::poll(&input, 1, 0) <= 0) return;
    const std::optional<std::string> line = ReadLine();
    if (!line) {
        inputOpen_ = false;
        return;
    }
    if (*line == "q" || *line == "quit") {
        PostClose();
    } else if (updateEnabled) {
        updatePressed_ = true;
        dialog.OnUpdatePressed();
    }
}

std::optional<std::string> ConsoleView::ReadLine()
{
    std::string line;
    if (!std::getline(std::cin, line)) return std::nullopt;
    return line;
}

void ConsoleView::Render(bool force)
{
    const int high = progressHigh_ > 0 ? progressHigh_ : 100;
    const int filled = std::max(0, std::min(kBarWidth, progress_ * kBarWidth / high));
    std::string line = "[" + std::string(static_cast<size_t>(filled), '#') + std::string(static_cast<size_t>(kBarWidth - filled), '.') +
                       "] " + Text(IDC_PERCENT_TEXT);
    const std::string version = Text(IDC_VERSION_FIELD);
    line += " | " + Text(IDC_VERSION_LABEL) + " " + (version.empty() ? "-" : version);
    line += " | " + Text(IDC_STATUS_LINE) + transferRate_.Text();
    if (enabled_[IDC_UPDATE_BUTTON] && !autoYes_) line += " | Enter: " + Text(IDC_UPDATE_BUTTON) + ", q: sair";
    if (!force && line == lastRendered_) return;
    lastRendered_ = line;
    if (interactive_) {
        std::fprintf(out_, "\r\033[K%s", line.c_str());
        lineOpen_ = true;
    } else {
        std::fprintf(out_, "%s\n", line.c_str());
    }
    std::fflush(out_);
}

void ConsoleView::FinishLine()
{
    if (lineOpen_) std::fputc('\n', out_);
    lineOpen_ = false;
    std::fflush(out_);
}

void ConsoleView::SetControlText(int controlId, const std::u16string& text) { texts_[controlId] = text; }

void ConsoleView::EnableControl(int controlId, bool enable) { enabled_[controlId] = enable; }

void ConsoleView::SetProgressRange(int, int high) { progressHigh_ = high; }

void ConsoleView::SetProgressPosition(int position) { progress_ = position; }

void ConsoleView::ShowMessage(const std::u16string& text, const std::u16string& caption, bool)
{
    FinishLine();
    std::fprintf(out_, "\n== %s ==\n%s\n\n", platform::Utf16ToUtf8(caption).c_str(), platform::Utf16ToUtf8(text).c_str());
    if (!autoYes_ && interactive_ && inputOpen_) {
        std::fprintf(out_, "[Enter: OK] ");
        std::fflush(out_);
        if (!ReadLine()) inputOpen_ = false;
    }
    std::fflush(out_);
    lastRendered_.clear();
}

bool ConsoleView::RunWelcomeDialog()
{
    for (std::u16string_view text : Instructions(language_)) {
        std::fprintf(out_, "%s\n", platform::Utf16ToUtf8(text).c_str());
    }
    if (autoYes_) {
        std::fprintf(out_, "\n");
        return true;
    }
    std::fprintf(out_, "\n[Enter: %s, c + Enter: %s] ", platform::Utf16ToUtf8(WelcomeOkText()).c_str(),
                 platform::Utf16ToUtf8(WelcomeCancelText()).c_str());
    std::fflush(out_);
    const std::optional<std::string> answer = ReadLine();
    if (!answer) inputOpen_ = false;
    return answer && answer->empty();
}

void ConsoleView::ShowTransfer(const platform::TransferBytes& bytes) { transferRate_.Add(bytes); }

void ConsoleView::StartTimer(int timerId, uint32_t periodMs)
{
    timers_[timerId] = Timer{periodMs, platform::MonotonicMs() + periodMs};
}

void ConsoleView::KillTimer(int timerId) { timers_.erase(timerId); }

void ConsoleView::EnableCloseMenu(bool) {}

void ConsoleView::PostClose()
{
    closeRequested_ = true;
    tasks_.Wake();
}

}  // namespace app
