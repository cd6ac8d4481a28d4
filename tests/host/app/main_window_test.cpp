#include "dialog_fixture.h"
#include "platform/files.h"
#include "platform/named_mutex.h"

namespace {

using platform::kPathSeparator;

using StartUp = DialogFixture;

TEST_F(StartUp, PreparesTheWorkFolderAndShowsPortugueseTexts)
{
    ASSERT_EQ(Start(), app::CUIMainModuleDlg::InitOutcome::kRunning);
    const std::u16string workDir = temp + u"KR880+NewVersion";
    EXPECT_EQ(dialog->WorkDir(), workDir);
    EXPECT_TRUE(platform::FolderExists(workDir + kPathSeparator + u"EFSNV"));
    EXPECT_EQ(view.Text(IDC_UPDATE_BUTTON), u"ATUALIZAR");
    EXPECT_EQ(view.Text(IDC_VERSION_LABEL), u"Versao:");
    EXPECT_EQ(view.Text(IDC_PROGRESS_LABEL), u"Progresso:");
    EXPECT_EQ(view.Text(IDC_TEXT_1133), u"ATENCAO!");
    EXPECT_EQ(dialog->Slot(0).versionPath, workDir);
    EXPECT_EQ(dialog->Slot(0).xmlLogPath, workDir);
    EXPECT_EQ(dialog->Slot(0).nvPath, workDir);
    EXPECT_EQ(router.languageFile, workDir + kPathSeparator + u"lan_ENG.ini");
    EXPECT_EQ(router.loadConfigCalls, 2);
    EXPECT_EQ(router.rewriteCalls, 2);
}

TEST_F(StartUp, AChosenLanguageGivesTheWindowThatSetsTexts)
{
    dialog = std::make_unique<app::CUIMainModuleDlg>(view, router.Ports(), u"flashdesk", app::kLanguageEnglish);
    router.sink = dialog.get();
    ASSERT_EQ(Start(), app::CUIMainModuleDlg::InitOutcome::kRunning);
    EXPECT_EQ(view.Text(IDC_UPDATE_BUTTON), u"UPDATE");
    EXPECT_EQ(view.Text(IDC_VERSION_LABEL), u"Version:");
    EXPECT_EQ(view.Text(IDC_PROGRESS_LABEL), u"Progress:");
    EXPECT_EQ(view.Text(IDC_TEXT_1133), u"NOTE!");
}

TEST_F(StartUp, SecondInstanceShowsAindaProcessandoAndEnds)
{
    platform::NamedMutex first(u"KVRKR880+,CDC149A3-EA15-4a6c-ADA6-71F04D81FCF9");
    ASSERT_FALSE(first.AlreadyExisted());
    EXPECT_EQ(Start(), app::CUIMainModuleDlg::InitOutcome::kExitProcess);
    ASSERT_EQ(view.Messages().size(), 1u);
    EXPECT_EQ(view.Messages()[0].text, u"Ainda processando.");
    EXPECT_EQ(view.welcomeShown, 0);
    EXPECT_FALSE(platform::FolderExists(temp + u"KR880+NewVersion"));
}

TEST_F(StartUp, CancelledInstructionsEndWithoutAWorkFolder)
{
    view.welcomeAccepted = false;
    EXPECT_EQ(Start(), app::CUIMainModuleDlg::InitOutcome::kExitProcess);
    EXPECT_EQ(view.welcomeShown, 1);
    EXPECT_FALSE(platform::FolderExists(temp + u"KR880+NewVersion"));
    // The guard was let go: another start is not refused.
    platform::NamedMutex again(u"KVRKR880+,CDC149A3-EA15-4a6c-ADA6-71F04D81FCF9");
    EXPECT_FALSE(again.AlreadyExisted());
}

TEST_F(StartUp, UnusableTempFolderStopsSilentlyAndCloseRemovesNothing)
{
    const std::string missing = platform::Utf16ToUtf8(temp) + "absent";
    testing_support::SetEnv("TMPDIR", missing);
    testing_support::SetEnv("TMP", missing);
    testing_support::SetEnv("TEMP", missing);
    ASSERT_EQ(Start(), app::CUIMainModuleDlg::InitOutcome::kRunning);
    EXPECT_EQ(dialog->WorkDir(), u"");
    EXPECT_EQ(view.Text(IDC_UPDATE_BUTTON), u"ATUALIZAR");
    PressUpdate();
    ASSERT_FALSE(view.Messages().empty());
    EXPECT_EQ(view.Messages().back().text, u"Please insert your device");
    EXPECT_EQ(router.preparePortCalls, 0);
    bool closed = false;
    view.Call([&] { closed = dialog->OnClose(); });
    EXPECT_TRUE(closed);
    EXPECT_TRUE(platform::FolderExists(temp));
}

using Window = DialogFixture;

TEST_F(Window, ProgressZeroResetsRangeAndTextIsClampedAt100)
{
    view.Call([&] { dialog->SetProgress(0, 150); });
    EXPECT_EQ(view.progressPosition, 150);
    EXPECT_EQ(view.Text(IDC_PERCENT_TEXT), u"100%");
    view.Call([&] { dialog->SetProgress(0, 0); });
    EXPECT_EQ(view.progressLow, 0);
    EXPECT_EQ(view.progressHigh, 100);
    EXPECT_EQ(view.progressPosition, 0);
    EXPECT_EQ(view.Text(IDC_PERCENT_TEXT), u"0%");
    view.Call([&] { dialog->SetProgress(0, 42); });
    EXPECT_EQ(view.Text(IDC_PERCENT_TEXT), u"42%");
    view.Call([&] { dialog->SetProgress(1, 77); });
    EXPECT_EQ(view.progressPosition, 42);
    EXPECT_EQ(view.Text(IDC_PERCENT_TEXT), u"42%");
}

TEST_F(Window, ReportsGoToProgressLogAndVersionField)
{
    const int32_t percent = 64;
    dialog->SendReport(platform::ServiceReport{platform::kReportProgress, 0, &percent, 4});
    EXPECT_EQ(view.Text(IDC_PERCENT_TEXT), u"64%");

    dialog->SendReport(platform::ServiceReport{platform::kReportStatus, 0, u"line one", 0});
    dialog->SendReport(platform::ServiceReport{platform::kReportMain, 100, u"config", 0});
    dialog->SendReport(platform::ServiceReport{platform::kReportVersion, 0, u"KVR 4G Wireless Router", 0});
    dialog->SendReport(platform::ServiceReport{5, 0, u"ignored", 0});
    const platform::TransferBytes bytes{1350, 2700};
    dialog->SendReport(platform::ServiceReport{platform::kReportTransfer, 0, &bytes, sizeof bytes});
    dialog->SendReport(platform::ServiceReport{platform::kReportStatus, 9, u"no such slot", 0});
    EXPECT_EQ(view.Text(IDC_VERSION_FIELD), u"KVR 4G Wireless Router");
    EXPECT_EQ(view.Text(IDC_PERCENT_TEXT), u"64%");
    std::u16string log;
    view.Call([&] { log = dialog->LogBuffer(0); });
    // Three lines, each "HH:MM:SS:" + text + LF.
    ASSERT_EQ(log.size(), 3 * 9 + std::u16string(u"line oneconfigKVR 4G Wireless Router").size() + 3);
    EXPECT_EQ(log.substr(9, 9), u"line one\n");
    EXPECT_EQ(log[2], u':');
    EXPECT_EQ(log.find(u"ignored"), std::u16string::npos);
}

TEST_F(Window, LongReportTextsAreCutAt255Characters)
{
    const std::u16string longText(400, u'x');
    dialog->SendReport(platform::ServiceReport{platform::kReportVersion, 0, longText.c_str(), 0});
    EXPECT_EQ(view.Text(IDC_VERSION_FIELD), std::u16string(255, u'x'));
}

TEST_F(Window, StatusAnimationCyclesThroughSixTexts)
{
    const std::u16string expected[] = {u"Atualizando ..", u"Atualizando ...", u"Atualizando ....", u"Atualizando .....",
                                       u"Atualizando ......", u"Atualizando ."};
    for (const std::u16string& text : expected) {
        view.Call([&] { dialog->OnTimer(IDT_STATUS_ANIMATION); });
        EXPECT_EQ(view.Text(IDC_STATUS_LINE), text);
    }
    view.Call([&] { dialog->OnTimer(7); });
    EXPECT_EQ(view.Text(IDC_STATUS_LINE), u"Atualizando .");
}

using UpdatePress = DialogFixture;

TEST_F(UpdatePress, WithoutARouterAsksForTheDevice)
{
    router.webReachable = false;
    ASSERT_EQ(Start(), app::CUIMainModuleDlg::InitOutcome::kRunning);
    PressUpdate();
    ASSERT_EQ(view.Messages().size(), 1u);
    EXPECT_EQ(view.Messages()[0].text, u"Please insert your device");
    EXPECT_EQ(view.Messages()[0].caption, u"Prompt");
    EXPECT_FALSE(dialog->Busy());
}

TEST_F(UpdatePress, WrongVersionFailsTheCheckAndStartsNothing)
{
    router.SetWebVersion(u"OTHER_ROUTER_V2");
    ASSERT_EQ(Start(), app::CUIMainModuleDlg::InitOutcome::kRunning);
    ASSERT_TRUE(WaitReady());
    PressUpdate();
    EXPECT_TRUE(HasMessage(u"Version Check Fail , Please Check device and Retry!"));
    EXPECT_FALSE(dialog->Busy());
    EXPECT_EQ(router.switchCalls, 0);
    EXPECT_EQ(router.downloadCalls, 0);
}

TEST_F(UpdatePress, MissingFirmwareShowsTheFileCheckMessage)
{
    router.firmwarePresent = false;
    ASSERT_EQ(Start(), app::CUIMainModuleDlg::InitOutcome::kRunning);
    ASSERT_TRUE(WaitReady());
    PressUpdate();
    ASSERT_FALSE(view.Messages().empty());
    EXPECT_EQ(view.Messages().back().caption, u"Software flashdesk For KR880+");
    EXPECT_FALSE(dialog->Busy());
    view.Call([&] { EXPECT_TRUE(view.timers.empty()); });
}

TEST_F(UpdatePress, CloseIsRefusedWhileBusyAndRemovesTheWorkFolderAfterwards)
{
    router.linkOpens = false;
    ASSERT_EQ(Start(), app::CUIMainModuleDlg::InitOutcome::kRunning);
    ASSERT_TRUE(WaitReady());
    PressUpdate();
    EXPECT_TRUE(dialog->Busy());
    EXPECT_FALSE(view.closeMenuEnabled);
    EXPECT_FALSE(view.Enabled(IDC_UPDATE_BUTTON));
    bool closed = true;
    view.Call([&] { closed = dialog->OnClose(); });
    EXPECT_FALSE(closed);
    EXPECT_TRUE(HasMessage(u"Processando."));
    EXPECT_TRUE(platform::FolderExists(dialog->WorkDir()));

    ASSERT_TRUE(RunUntil([&] { return view.closeRequests == 1; }));
    view.Call([&] { closed = dialog->OnClose(); });
    EXPECT_TRUE(closed);
    EXPECT_FALSE(platform::FolderExists(temp + u"KR880+NewVersion"));
}

}  // namespace
