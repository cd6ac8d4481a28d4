// A main window core wired to a test view and a scripted router, on a clock
// the test drives (or, for a test against real peers, on real time scaled)
// and with a private temporary folder.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

#include "app/control_ids.h"
#include "app/run_log.h"
#include "app/ui_main_module_dlg.h"
#include "fake_router.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/local_time.h"
#include "test_view.h"
#include "../support/driven_clock.h"
#include "../support/test_env.h"

inline constexpr uint64_t kClockHourMs = 3600000;

// Moves the clock to the next deadline of a waiting thread and lets the
// system settle there. A thread that has just started is not known to the
// clock until it first waits on it: while no known thread waits with a
// deadline, this waits in real time (bounded) for one.
inline bool StepOnce(testing_support::DrivenClock& clock)
{
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!clock.Step()) {
        if (std::chrono::steady_clock::now() > giveUp) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Moves the clock from deadline to deadline until `condition` holds
// (checked whenever the system is settled), for at most `limitMs` of clock
// time. Unlike DrivenClock::RunUntil it never jumps to its limit while a
// thread that is about to wait is not yet known to the clock.
inline bool DriveUntil(testing_support::DrivenClock& clock, const std::function<bool()>& condition, uint64_t limitMs = kClockHourMs)
{
    const uint64_t end = clock.NowMs() + limitMs;
    for (;;) {
        if (clock.Settle() && condition()) return true;
        const uint64_t now = clock.NowMs();
        if (now >= end) return false;
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!clock.Step(end - now)) {
            if (std::chrono::steady_clock::now() > giveUp) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
}

class DialogFixture : public ::testing::Test {
protected:
    // `driven`: on a DrivenClock; otherwise on the default (scaled) clock.
    explicit DialogFixture(bool driven = true) : clock(driven ? std::make_unique<testing_support::DrivenClock>() : nullptr) {}

    void SetUp() override
    {
        temp = testing_support::UsePrivateTempFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
        const app::WorkflowPorts ports = web != nullptr ? app::WorkflowPorts{*web, router, router, router} : router.Ports();
        dialog = std::make_unique<app::CUIMainModuleDlg>(view, ports, u"flashdesk");
        router.sink = dialog.get();
        startStamp = app::LogFileStamp(platform::CurrentLocalTime());
    }
    void TearDown() override
    {
        // The workers leave at their next safe point, some only once a
        // request that sleeps on the clock has ended: time runs meanwhile.
        if (clock) clock->RunFreely();
        dialog.reset();
        view.Shutdown();
        if (clock) clock->Hold();
    }

    app::CUIMainModuleDlg::InitOutcome Start()
    {
        app::CUIMainModuleDlg::InitOutcome outcome{};
        view.Call([&] { outcome = dialog->OnInitDialog(); });
        return outcome;
    }
    void PressUpdate()
    {
        view.Call([&] { dialog->OnUpdatePressed(); });
    }
    // Lets time run until `condition` holds: on the driven clock deadline by
    // deadline for at most `clockLimitMs`; on real time for at most a minute.
    bool RunUntil(const std::function<bool()>& condition, uint64_t clockLimitMs = kClockHourMs)
    {
        if (clock) return DriveUntil(*clock, condition, clockLimitMs);
        return view.WaitUntil(condition, std::chrono::seconds(60));
    }
    bool WaitReady()
    {
        return RunUntil([&] { return view.Enabled(IDC_UPDATE_BUTTON); });
    }
    bool HasMessage(const std::u16string& text)
    {
        for (const ShownMessage& message : view.Messages()) {
            if (message.text == text) return true;
        }
        return false;
    }

    // Run logs in the work folder, named by the minute they were written in.
    int RunLogCount()
    {
        const std::u16string nowStamp = app::LogFileStamp(platform::CurrentLocalTime());
        int count = 0;
        for (const std::u16string& stamp : {startStamp, nowStamp}) {
            const auto bytes = platform::ReadWholeFile(dialog->WorkDir() + platform::kPathSeparator + stamp + u".txt");
            if (bytes && bytes->size() >= 4 && (*bytes)[0] == 0xFF && (*bytes)[1] == 0xFE && (*bytes)[2] == 0xFF) ++count;
            if (stamp == nowStamp) break;
        }
        return count;
    }

    // First: it outlives every thread that waits on it.
    std::unique_ptr<testing_support::DrivenClock> clock;
    // The router's web side, when a test gives a real one.
    web::RouterWebCommands* web = nullptr;
    std::u16string startStamp;
    std::u16string temp;
    FakeRouter router;
    TestView view;
    std::unique_ptr<app::CUIMainModuleDlg> dialog;
};
