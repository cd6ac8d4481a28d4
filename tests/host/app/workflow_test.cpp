#include <future>

#include "dialog_fixture.h"
#include "platform/files.h"

namespace {

using Watch = DialogFixture;

TEST_F(Watch, RouterInWorkModeEnablesUpdateAndShowsTheName)
{
    ASSERT_EQ(Start(), app::CUIMainModuleDlg::InitOutcome::kRunning);
    ASSERT_TRUE(WaitReady());
    EXPECT_EQ(view.Text(IDC_STATUS_LINE), u"<ID_HINT_ALREADY>");
    EXPECT_EQ(view.Text(IDC_DEVICE_STATE), u"<ID_HINT_CONNECTED>");
    ASSERT_TRUE(view.WaitUntil([&] { return view.Text(IDC_VERSION_FIELD) == u"NAME:EN_PELA_BR_KR710MV1.0.0B15"; }));
    view.Call([&] {
        EXPECT_EQ(dialog->Slot(0).deviceState, app::kDeviceStateReady);
        EXPECT_EQ(dialog->Slot(0).version, u"EN_PELA_BR_KR710MV1.0.0B15");
        EXPECT_EQ(dialog->Slot(0).portNumber, 4536);
    });
    EXPECT_EQ(router.preparePortCalls, 1);
    EXPECT_GE(router.arpCalls, 1);
    EXPECT_EQ(router.initPortCalls, 0);
}

TEST_F(Watch, LostVersionDisablesUpdateAndEmptiesTheField)
{
    ASSERT_EQ(Start(), app::CUIMainModuleDlg::InitOutcome::kRunning);
    ASSERT_TRUE(WaitReady());
    ASSERT_TRUE(view.WaitUntil([&] { return !view.Text(IDC_VERSION_FIELD).empty(); }));
    router.SetWebVersion(u"version read fail");
    ASSERT_TRUE(view.WaitUntil([&] { return !view.Enabled(IDC_UPDATE_BUTTON); }));
    ASSERT_TRUE(view.WaitUntil([&] { return view.Text(IDC_VERSION_FIELD) == std::u16string(28, u' '); }));
    EXPECT_EQ(view.Text(IDC_STATUS_LINE), u"<ID_HINT_SEARCHPORT>");
    EXPECT_EQ(view.Text(IDC_DEVICE_STATE), u"<ID_HINT_NODEVICE>");
    view.Call([&] {
        EXPECT_EQ(dialog->Slot(0).version, u"NULL");
        EXPECT_EQ(dialog->Slot(0).deviceState, app::kDeviceStateNone);
    });
}

TEST_F(Watch, EmptyVersionKeepsUpdateDisabled)
{
    router.SetWebVersion(u"VERSION:");
    ASSERT_EQ(Start(), app::CUIMainModuleDlg::InitOutcome::kRunning);
    ASSERT_TRUE(view.WaitUntil([&] { return router.versionQueries >= 3; }));
    EXPECT_FALSE(view.Enabled(IDC_UPDATE_BUTTON));
}

TEST_F(Watch, UnreachableRouterIsProbedOverTheLink)
{
    router.webReachable = false;
    ASSERT_EQ(Start(), app::CUIMainModuleDlg::InitOutcome::kRunning);
    ASSERT_TRUE(view.WaitUntil([&] { return router.initPortCalls >= 2; }));
    EXPECT_FALSE(view.Enabled(IDC_UPDATE_BUTTON));
    EXPECT_EQ(router.versionQueries, 0);
}

using Download = DialogFixture;

TEST_F(Download, SuccessfulRunShowsSucessoAt100AndCloses)
{
    ASSERT_EQ(Start(), app::CUIMainModuleDlg::InitOutcome::kRunning);
    ASSERT_TRUE(WaitReady());
    std::atomic<int> percentAtMessage{-1};
    view.onMessage = [&](const ShownMessage&) { percentAtMessage = view.progressPosition.load(); };
    PressUpdate();
    view.Call([&] { EXPECT_EQ(view.timerStarts, 1); });
    ASSERT_TRUE(view.WaitUntil([&] { return view.closeRequests == 1; }, std::chrono::seconds(60)));

    ASSERT_EQ(view.Messages().size(), 1u);
    const ShownMessage message = view.Messages()[0];
    EXPECT_EQ(message.text, u"Sucesso!\nReinicie o roteador para comecar a utiliza-lo. \nO programa de atualizacao deve ser reiniciado se "
                            u"voce quiser atualizar outro dispositivo.");
    EXPECT_EQ(message.caption, u"flashdesk");
    EXPECT_TRUE(message.informationIcon);
    EXPECT_EQ(percentAtMessage, 100);
    EXPECT_EQ(view.progressPosition, 0);
    EXPECT_EQ(view.Text(IDC_STATUS_LINE), u"<ID_HINT_SEARCHPORT>");
    EXPECT_TRUE(view.closeMenuEnabled);
    EXPECT_TRUE(dialog->DownloadFinished());
    EXPECT_EQ(dialog->DownloadResult(), 0);
    EXPECT_FALSE(dialog->Busy());
    view.Call([&] { EXPECT_TRUE(view.timers.empty()); });

    EXPECT_EQ(router.switchCalls, 1);
    EXPECT_EQ(router.downloadCalls, 1);
    EXPECT_EQ(router.lastRequest.reserved, 4536);
    EXPECT_EQ(router.lastRequest.port, 0);
    EXPECT_EQ(router.lastRequest.mode, 0);
    EXPECT_EQ(router.lastRequest.firmwareFolder, dialog->WorkDir());
    EXPECT_EQ(router.portLogCalls, 1);
    // The port log goes to "Log" in the work folder, which is made for it.
    const std::u16string logFolder = dialog->WorkDir() + platform::kPathSeparator + u"Log";
    EXPECT_EQ(router.portLogPath.rfind(logFolder + platform::kPathSeparator, 0), 0u);
    EXPECT_TRUE(router.portLogPath.ends_with(u"_Port.txt"));
    EXPECT_TRUE(platform::FolderExists(logFolder));
    EXPECT_EQ(router.rewriteCalls, 3);
    EXPECT_EQ(RunLogCount(), 1);
}

TEST_F(Download, RouterAlreadyInFactoryModeSkipsSwitchAndPortOpening)
{
    router.webReachable = true;
    router.factoryMode = true;
    ASSERT_EQ(Start(), app::CUIMainModuleDlg::InitOutcome::kRunning);
    ASSERT_TRUE(WaitReady());
    const int switchesBefore = router.switchCalls;
    PressUpdate();
    ASSERT_TRUE(view.WaitUntil([&] { return view.closeRequests == 1; }, std::chrono::seconds(60)));
    const int initAfterPress = router.initPortCalls;
    EXPECT_EQ(switchesBefore, 0);
    EXPECT_EQ(router.switchCalls, 0);
    EXPECT_EQ(router.downloadCalls, 1);
    EXPECT_EQ(router.initPortCalls, initAfterPress);
    EXPECT_EQ(dialog->DownloadResult(), 0);
}

TEST_F(Download, ThousandFailedPortAttemptsEndAsFailureWithoutDownload)
{
    router.linkOpens = false;
    router.switchSucceeds = false;
    ASSERT_EQ(Start(), app::CUIMainModuleDlg::InitOutcome::kRunning);
    ASSERT_TRUE(WaitReady());
    PressUpdate();
    ASSERT_TRUE(view.WaitUntil([&] { return view.closeRequests == 1; }, std::chrono::seconds(60)));
    EXPECT_EQ(router.switchCalls, 10);
    EXPECT_EQ(router.initPortCalls, 1000);
    EXPECT_EQ(router.downloadCalls, 0);
    EXPECT_EQ(dialog->DownloadResult(), 1);
    ASSERT_EQ(view.Messages().size(), 1u);
    EXPECT_EQ(view.Messages()[0].text,
              u"Falha!\nReinicie o programa e tente novamente. Leia o arquivo de ajuda se o erro persistir.");
    EXPECT_EQ(view.Text(IDC_STATUS_LINE), u"<ID_HINT_SEARCHPORT>");
}

TEST_F(Download, FailedDownloadStillRereadsTheVersionAndWritesTheRunLog)
{
    router.downloadResult = -1;
    ASSERT_EQ(Start(), app::CUIMainModuleDlg::InitOutcome::kRunning);
    ASSERT_TRUE(WaitReady());
    std::atomic<bool> logSeen{false};
    view.onMessage = [&](const ShownMessage&) {
        // The outcome text and the run log are in place before the message box.
        logSeen = view.Text(IDC_STATUS_LINE) == u"<ID_HINT_DOWNLOADFAIL>" && RunLogCount() == 1;
    };
    const int versionReadsBefore = router.versionQueries;
    PressUpdate();
    ASSERT_TRUE(view.WaitUntil([&] { return view.closeRequests == 1; }, std::chrono::seconds(60)));
    EXPECT_TRUE(logSeen);
    EXPECT_EQ(dialog->DownloadResult(), -1);
    EXPECT_GT(router.versionQueries, versionReadsBefore);
    EXPECT_EQ(router.portLogCalls, 1);
    EXPECT_TRUE(HasMessage(u"Falha!\nReinicie o programa e tente novamente. Leia o arquivo de ajuda se o erro persistir."));
}

TEST_F(Download, UpdatePressDuringAWatchPortResetNeitherDeadlocksNorLetsTheWatchActAgain)
{
    // The router is in factory mode: the watch thread reads the version over
    // the link and, when that fails, resets the port under the service lock.
    router.factoryMode = true;
    std::promise<void> entered;
    std::future<void> enteredFuture = entered.get_future();
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> holding{false};
    router.onClosePort = [&] {
        bool expected = false;
        if (holding.compare_exchange_strong(expected, true)) {
            entered.set_value();
            released.wait();
        }
    };
    // No reset closes an open port until the link version starts failing.
    ASSERT_EQ(Start(), app::CUIMainModuleDlg::InitOutcome::kRunning);
    ASSERT_TRUE(WaitReady());
    router.linkVersionFails = true;
    ASSERT_EQ(enteredFuture.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    router.linkVersionFails = false;
    const int initAtPress = router.initPortCalls;
    const int versionAtPress = router.getVersionCalls;

    PressUpdate();  // returns although the watch thread holds the service lock
    EXPECT_TRUE(dialog->Busy());
    EXPECT_FALSE(view.Enabled(IDC_UPDATE_BUTTON));
    release.set_value();
    ASSERT_TRUE(view.WaitUntil([&] { return view.closeRequests == 1; }, std::chrono::seconds(60)));

    // The watch thread left at its next safe point: it neither reopened the
    // port nor asked for the version after the press, and the download ran.
    EXPECT_EQ(router.initPortCalls, initAtPress);
    EXPECT_EQ(router.getVersionCalls, versionAtPress);
    EXPECT_EQ(router.downloadCalls, 1);
    EXPECT_EQ(dialog->DownloadResult(), 0);
    dialog.reset();  // the threads end before the hook's promises do
}

}  // namespace
