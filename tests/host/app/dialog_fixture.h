// A main window core wired to a test view and a scripted router, with time
// running 1000 times faster and a private temporary folder.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "app/control_ids.h"
#include "app/run_log.h"
#include "app/ui_main_module_dlg.h"
#include "fake_router.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/local_time.h"
#include "test_view.h"
#include "../support/test_env.h"

class DialogFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::SetTimeScale(1000.0);
        temp = testing_support::UsePrivateTempFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
        const app::WorkflowPorts ports = web != nullptr ? app::WorkflowPorts{*web, router, router, router} : router.Ports();
        dialog = std::make_unique<app::CUIMainModuleDlg>(view, ports, u"flashdesk");
        router.sink = dialog.get();
        startStamp = app::LogFileStamp(platform::CurrentLocalTime());
    }
    void TearDown() override
    {
        dialog.reset();
        view.Shutdown();
        platform::SetTimeScale(1.0);
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
    bool WaitReady()
    {
        return view.WaitUntil([&] { return view.Enabled(IDC_UPDATE_BUTTON); });
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

    // The router's web side, when a test gives a real one.
    web::RouterWebCommands* web = nullptr;
    std::u16string startStamp;
    std::u16string temp;
    FakeRouter router;
    TestView view;
    std::unique_ptr<app::CUIMainModuleDlg> dialog;
};
