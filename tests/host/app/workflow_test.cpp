#include <algorithm>
#include <atomic>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "app/connect_back_hint.h"
#include "dialog_fixture.h"
#include "platform/files.h"
#include "../support/poll_until.h"

namespace {

using Watch = DialogFixture;

TEST_F(Watch, RouterInWorkModeEnablesUpdateAndShowsTheName)
{
    ASSERT_EQ(Start(), app::CUIMainModuleDlg::InitOutcome::kRunning);
    ASSERT_TRUE(WaitReady());
    EXPECT_EQ(view.Text(IDC_STATUS_LINE), u"<ID_HINT_ALREADY>");
    EXPECT_EQ(view.Text(IDC_DEVICE_STATE), u"<ID_HINT_CONNECTED>");
    ASSERT_TRUE(RunUntil([&] { return view.Text(IDC_VERSION_FIELD) == u"NAME:EN_PELA_BR_KR710MV1.0.0B15"; }));
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
    ASSERT_TRUE(RunUntil([&] { return !view.Text(IDC_VERSION_FIELD).empty(); }));
    router.SetWebVersion(u"version read fail");
    ASSERT_TRUE(RunUntil([&] { return !view.Enabled(IDC_UPDATE_BUTTON); }));
    ASSERT_TRUE(RunUntil([&] { return view.Text(IDC_VERSION_FIELD) == std::u16string(28, u' '); }));
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
    ASSERT_TRUE(RunUntil([&] { return router.versionQueries >= 3; }));
    EXPECT_FALSE(view.Enabled(IDC_UPDATE_BUTTON));
}

TEST_F(Watch, UnreachableRouterIsProbedOverTheLink)
{
    router.webReachable = false;
    ASSERT_EQ(Start(), app::CUIMainModuleDlg::InitOutcome::kRunning);
    ASSERT_TRUE(RunUntil([&] { return router.initPortCalls >= 2; }));
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
    ASSERT_TRUE(RunUntil([&] { return view.closeRequests == 1; }));

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
    ASSERT_TRUE(RunUntil([&] { return view.closeRequests == 1; }));
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
    ASSERT_TRUE(RunUntil([&] { return view.closeRequests == 1; }));
    EXPECT_EQ(router.switchCalls, 10);
    EXPECT_EQ(router.initPortCalls, 1000);
    EXPECT_EQ(router.downloadCalls, 0);
    EXPECT_EQ(dialog->DownloadResult(), 1);
    ASSERT_EQ(view.Messages().size(), 1u);
    EXPECT_EQ(view.Messages()[0].text,
              u"Falha!\nReinicie o programa e tente novamente. Leia o arquivo de ajuda se o erro persistir.");
    EXPECT_EQ(view.Text(IDC_STATUS_LINE), u"<ID_HINT_SEARCHPORT>");
}

TEST_F(Download, RouterThatNeverConnectsBackGetsAHintAfterAMinuteAndTheRunsLogsAreKept)
{
    router.linkOpens = false;
    const std::u16string kept = temp + u"kept";
    dialog->SetKeptLogsRoot(kept);
    ASSERT_EQ(Start(), app::CUIMainModuleDlg::InitOutcome::kRunning);
    ASSERT_TRUE(WaitReady());
    PressUpdate();
    ASSERT_TRUE(RunUntil([&] { return router.initPortCalls >= 1; }));
    const uint64_t firstAttemptMs = clock->NowMs();
    auto hintShown = [&] { return view.Text(IDC_STATUS_LINE).find(u"firewall") != std::u16string::npos; };
    ASSERT_TRUE(RunUntil(hintShown));
    const uint64_t hintMs = clock->NowMs();
    EXPECT_GE(hintMs - firstAttemptMs, app::kConnectBackHintMs);
    EXPECT_LE(hintMs - firstAttemptMs, app::kConnectBackHintMs + 1000);
    EXPECT_EQ(view.Text(IDC_STATUS_LINE),
              u"O roteador nao se conectou a este PC. Verifique o firewall (permita este programa, porta TCP 4536), o cabo de rede e o "
              u"endereco anunciado 192.168.1.100 (adaptador eth1).");
    // The status animation keeps the hint on the line.
    const int attemptsAtHint = router.initPortCalls;
    ASSERT_TRUE(RunUntil([&] { return router.initPortCalls >= attemptsAtHint + 10; }));
    EXPECT_TRUE(hintShown());

    ASSERT_TRUE(RunUntil([&] { return view.closeRequests == 1; }));
    EXPECT_EQ(router.initPortCalls, 1000);
    EXPECT_EQ(dialog->DownloadResult(), 1);
    std::u16string runLog;
    view.Call([&] { runLog = dialog->LogBuffer(0); });
    EXPECT_NE(runLog.find(u"Verifique o firewall"), std::u16string::npos);
    ASSERT_FALSE(dialog->KeptRunFolder().empty());
    EXPECT_EQ(dialog->KeptRunFolder().rfind(kept, 0), 0u);
    EXPECT_NE(runLog.find(u"Registros desta execucao guardados em " + dialog->KeptRunFolder()), std::u16string::npos);
    const auto diagnostics = platform::ReadWholeFile(dialog->KeptRunFolder() + platform::kPathSeparator + u"diagnostics.txt");
    ASSERT_TRUE(diagnostics);
    const std::string diagnosticText(diagnostics->begin(), diagnostics->end());
    EXPECT_NE(diagnosticText.find("before call InitPort(1000) in DownloadProcessThread."), std::string::npos);
    int keptRunLogs = 0;
    for (const std::u16string& stamp : {startStamp, app::LogFileStamp(platform::CurrentLocalTime())}) {
        const auto kept_copy = platform::ReadWholeFile(dialog->KeptRunFolder() + platform::kPathSeparator + stamp + u".txt");
        const auto original = platform::ReadWholeFile(dialog->WorkDir() + platform::kPathSeparator + stamp + u".txt");
        if (kept_copy && original && *kept_copy == *original) ++keptRunLogs;
    }
    EXPECT_GE(keptRunLogs, 1);
}

TEST_F(Download, NoAddressOnTheRoutersNetworkIsToldAtOnceAndTheAttemptsGoOn)
{
    router.linkOpens = false;
    {
        std::lock_guard<std::mutex> lock(router.versionMutex);
        router.announcing.address = 0;
        router.announcing.adapter.clear();
    }
    ASSERT_EQ(Start(), app::CUIMainModuleDlg::InitOutcome::kRunning);
    ASSERT_TRUE(WaitReady());
    PressUpdate();
    ASSERT_TRUE(RunUntil([&] { return view.Text(IDC_STATUS_LINE).find(u"Nenhum endereco") != std::u16string::npos; }));
    EXPECT_LE(router.initPortCalls, 2);
    EXPECT_EQ(view.Text(IDC_STATUS_LINE), u"Nenhum endereco deste PC contem \"192.168\": o PC nao tem endereco na rede do roteador. "
                                          u"Verifique o cabo de rede e a configuracao do adaptador.");
    // A cable plugged in late: the address appears, and a minute of its
    // announcements later the other hint follows.
    {
        std::lock_guard<std::mutex> lock(router.versionMutex);
        router.announcing.address = 0x6401a8c0;
    }
    const uint64_t pluggedMs = clock->NowMs();
    ASSERT_TRUE(RunUntil([&] { return view.Text(IDC_STATUS_LINE).find(u"firewall") != std::u16string::npos; }));
    EXPECT_GE(clock->NowMs() - pluggedMs, app::kConnectBackHintMs);
    ASSERT_TRUE(RunUntil([&] { return view.closeRequests == 1; }));
    EXPECT_EQ(router.initPortCalls, 1000);
    EXPECT_TRUE(dialog->KeptRunFolder().empty());
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
    ASSERT_TRUE(RunUntil([&] { return view.closeRequests == 1; }));
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
    std::atomic<bool> holding{false};
    std::atomic<bool> released{false};
    router.onClosePort = [&] {
        bool expected = false;
        if (holding.compare_exchange_strong(expected, true)) testing_support::PollUntil([&] { return released.load(); });
    };
    // Whatever the outcome, the watch thread is let go and the threads end
    // before the hook's flags do.
    struct AtExit {
        std::function<void()> run;
        ~AtExit() { run(); }
    } endFirst{[&] {
        released = true;
        clock->RunFreely();
        dialog.reset();
    }};
    // No reset closes an open port until the link version starts failing.
    ASSERT_EQ(Start(), app::CUIMainModuleDlg::InitOutcome::kRunning);
    ASSERT_TRUE(WaitReady());
    router.linkVersionFails = true;
    // The watch thread stops in the hook, off the clock, so the clock cannot
    // settle there: time runs freely while the test waits for it.
    clock->RunFreely();
    ASSERT_TRUE(view.WaitUntil([&] { return holding.load(); }));
    clock->Hold();
    router.linkVersionFails = false;
    const int initAtPress = router.initPortCalls;
    const int versionAtPress = router.getVersionCalls;

    PressUpdate();  // returns although the watch thread holds the service lock
    EXPECT_TRUE(dialog->Busy());
    EXPECT_FALSE(view.Enabled(IDC_UPDATE_BUTTON));
    released = true;
    ASSERT_TRUE(RunUntil([&] { return view.closeRequests == 1; }));

    // The watch thread left at its next safe point: it neither reopened the
    // port nor asked for the version after the press, and the download ran.
    EXPECT_EQ(router.initPortCalls, initAtPress);
    EXPECT_EQ(router.getVersionCalls, versionAtPress);
    EXPECT_EQ(router.downloadCalls, 1);
    EXPECT_EQ(dialog->DownloadResult(), 0);
    EXPECT_EQ(router.overlappingRequests, 0);
}

// A fresh window on a clock of its own, for one press of UPDATE.
struct PressRun {
    explicit PressRun(bool routerInFactoryMode)
    {
        router.factoryMode = routerInFactoryMode;
        dialog = std::make_unique<app::CUIMainModuleDlg>(view, router.Ports(), u"flashdesk");
        router.sink = dialog.get();
    }
    ~PressRun()
    {
        clock.RunFreely();
        dialog.reset();
        view.Shutdown();
        clock.Hold();
    }
    bool StartAndWaitReady()
    {
        app::CUIMainModuleDlg::InitOutcome outcome{};
        view.Call([&] { outcome = dialog->OnInitDialog(); });
        return outcome == app::CUIMainModuleDlg::InitOutcome::kRunning &&
               DriveUntil(clock, [&] { return view.Enabled(IDC_UPDATE_BUTTON); });
    }
    // Times the window enabled UPDATE so far.
    int UpdateEnables()
    {
        int count = 0;
        for (const ViewWrite& write : view.Writes()) {
            if (write.what == "enable" && write.controlId == IDC_UPDATE_BUTTON && write.value == 1) ++count;
        }
        return count;
    }

    testing_support::DrivenClock clock;  // first: it outlives the threads
    FakeRouter router;
    TestView view;
    std::unique_ptr<app::CUIMainModuleDlg> dialog;
};

// Deadlines of one watch pass: from the first moment UPDATE is enabled (the
// watch thread pauses after showing the device) to the same point of the
// next pass.
int StepsPerWatchPass(bool routerInFactoryMode)
{
    PressRun run(routerInFactoryMode);
    if (!run.StartAndWaitReady()) return 0;
    const int enables = run.UpdateEnables();
    for (int steps = 1; steps <= 20; ++steps) {
        if (!StepOnce(run.clock)) return 0;
        if (run.UpdateEnables() > enables) return steps;
    }
    return 0;
}

// UPDATE pressed after `steps` deadlines of a watch pass, then the run to
// its end. What the watch thread had under way at the press comes back.
std::string PressAfterSteps(bool routerInFactoryMode, int steps)
{
    PressRun run(routerInFactoryMode);
    EXPECT_TRUE(run.StartAndWaitReady());
    for (int i = 0; i < steps; ++i) EXPECT_TRUE(StepOnce(run.clock));
    const std::thread::id watchThread = run.router.ThreadOf("prepare port");
    EXPECT_NE(watchThread, std::thread::id());
    const std::string underWay = run.router.UnderWay();
    uint64_t pressSeq = 0;
    run.view.Call([&] {
        pressSeq = NextEventSeq();
        run.dialog->OnUpdatePressed();
    });
    EXPECT_TRUE(run.dialog->Busy());
    EXPECT_TRUE(DriveUntil(run.clock, [&] { return run.view.closeRequests == 1; }));

    // No request of the watch thread starts after the press, and what it had
    // under way has ended before the download thread's first request starts.
    const std::vector<RouterCall> calls = run.router.Calls();
    uint64_t watchEndSeq = 0;
    uint64_t watchEndMs = 0;
    for (const RouterCall& call : calls) {
        if (call.thread != watchThread) continue;
        EXPECT_LT(call.startSeq, pressSeq) << call.name << " of the watch thread started after the press";
        EXPECT_NE(call.endSeq, 0u) << call.name << " of the watch thread never ended";
        watchEndSeq = std::max(watchEndSeq, call.endSeq);
        watchEndMs = std::max(watchEndMs, call.endMs);
    }
    const std::thread::id downloadThread = run.router.ThreadOf("download");
    EXPECT_NE(downloadThread, std::thread::id());
    EXPECT_NE(downloadThread, watchThread);
    const auto first = std::find_if(calls.begin(), calls.end(), [&](const RouterCall& call) { return call.thread == downloadThread; });
    EXPECT_NE(first, calls.end());
    if (first != calls.end()) {
        // Work mode: the switch to factory mode over the web; factory mode: the link download.
        EXPECT_EQ(first->name, routerInFactoryMode ? "download" : "switch");
        EXPECT_GT(first->startSeq, watchEndSeq) << "the download thread's first request began before the watch thread's had ended";
        EXPECT_GE(first->startMs, watchEndMs);
    }
    EXPECT_EQ(run.router.overlappingRequests, 0);
    // The web requests follow one another, each a whole request (its ARP pause) after the last.
    const RouterCall* previousWeb = nullptr;
    for (const RouterCall& call : calls) {
        if (call.name != "mode query" && call.name != "version query" && call.name != "switch") continue;
        if (previousWeb != nullptr) {
            EXPECT_GE(call.startMs, previousWeb->startMs + FakeRouter::kWebRequestMs) << previousWeb->name << " then " << call.name;
        }
        previousWeb = &call;
    }

    // Nothing of the watch thread reaches the window after the press, and
    // nobody enables UPDATE again.
    for (const ViewWrite& write : run.view.Writes()) {
        if (write.sender == watchThread) {
            EXPECT_LT(write.seq, pressSeq) << "the watch thread's " << write.what << " of control " << write.controlId << " after the press";
        }
        if (write.seq > pressSeq && write.what == "enable" && write.controlId == IDC_UPDATE_BUTTON) {
            EXPECT_EQ(write.value, 0) << "UPDATE enabled again after the press";
        }
    }
    EXPECT_FALSE(run.view.Enabled(IDC_UPDATE_BUTTON));
    EXPECT_EQ(run.view.Text(IDC_DEVICE_STATE), u"<ID_HINT_NODEVICE>");
    EXPECT_EQ(run.view.Text(IDC_STATUS_LINE), u"<ID_HINT_SEARCHPORT>");
    EXPECT_EQ(run.router.downloadCalls, 1);
    EXPECT_EQ(run.dialog->DownloadResult(), 0);
    EXPECT_EQ(run.router.switchCalls, routerInFactoryMode ? 0 : 1);
    return underWay.empty() ? "pause" : underWay;
}

// Presses UPDATE at every deadline of a watch pass, each time in a fresh window.
std::set<std::string> PressAtEveryPointOfAWatchPass(bool routerInFactoryMode)
{
    const int steps = StepsPerWatchPass(routerInFactoryMode);
    EXPECT_GT(steps, 0);
    std::set<std::string> points;
    for (int k = 0; k < steps; ++k) {
        SCOPED_TRACE("UPDATE pressed after " + std::to_string(k) + " of " + std::to_string(steps) + " deadlines of a watch pass");
        points.insert(PressAfterSteps(routerInFactoryMode, k));
    }
    EXPECT_EQ(points.size(), static_cast<size_t>(steps)) << "two presses found the watch thread at the same point";
    return points;
}

TEST(UpdatePressDuringAWatchPass, WorkModeRouterWebPolling)
{
    testing_support::UsePrivateTempFolder("press-during-watch-work");
    const std::set<std::string> points = PressAtEveryPointOfAWatchPass(false);
    EXPECT_EQ(points, (std::set<std::string>{"pause", "mode query", "version query"}));
}

TEST(UpdatePressDuringAWatchPass, FactoryModeRouterLinkPolling)
{
    testing_support::UsePrivateTempFolder("press-during-watch-factory");
    const std::set<std::string> points = PressAtEveryPointOfAWatchPass(true);
    EXPECT_EQ(points, (std::set<std::string>{"pause", "link version"}));
}

}  // namespace
