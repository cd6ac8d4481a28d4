#include "watch_soak.h"

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "app/control_ids.h"
#include "app/service_link_ports.h"
#include "app/ui_main_module_dlg.h"
#include "download/download_service.h"
#include "fake_router.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "routersim/link_peer.h"
#include "routersim/router_state.h"
#include "routersim/web_server.h"
#include "test_view.h"
#include "web/router_web_client.h"

namespace watch_soak {
namespace {

using Clock = std::chrono::steady_clock;
using testing_support::SampleProcessResources;

constexpr uint64_t kMinuteMs = 60000;

enum class Phase { kWorkMode, kFactoryMode, kGone };

// The router's web interface and link side, changed phase by phase.
class Router {
public:
    bool Start()
    {
        if (!web_.Start("127.0.0.1", 0) || !link_.Start(state_, "127.0.0.1", 0)) return false;
        announcePort_ = link_.Port();
        linkRunning_ = true;
        return true;
    }
    void Stop()
    {
        link_.Stop();
        web_.Stop();
    }
    // Gone: the web interface refuses connections and the link side has
    // ended its connection. Otherwise both answer, in the phase's mode.
    bool Enter(Phase phase)
    {
        state_.SetFactoryMode(phase == Phase::kFactoryMode);
        if (phase == Phase::kGone) {
            link_.Stop();
            linkRunning_ = false;
            return web_.SetFault(routersim::WebFault::kRefuse);
        }
        if (!web_.SetFault(routersim::WebFault::kNone)) return false;
        if (!linkRunning_) linkRunning_ = link_.Start(state_, "127.0.0.1", announcePort_);
        return linkRunning_;
    }
    uint16_t WebPort() const { return web_.Port(); }
    uint16_t AnnouncePort() const { return announcePort_; }
    // Since the start, across restarts of the link side.
    routersim::LinkCounters LinkCounters() const { return link_.Counters(); }
    int ModeQueries() const { return web_.Counters().modeQueries; }

private:
    routersim::RouterState state_;
    routersim::WebServer web_{state_};
    routersim::LinkPeer link_;
    uint16_t announcePort_ = 0;
    bool linkRunning_ = false;
};

download::DownloadServiceSettings ServiceSettings(uint16_t announcePort)
{
    download::DownloadServiceSettings settings;
    settings.server.listenPort = 0;
    settings.server.announceHost = "127.0.0.1";
    settings.server.announcePort = announcePort;
    settings.server.hostFilter = "127.0";
    const std::u16string temp = platform::TempFolder();
    settings.server.logFolder = temp.substr(0, temp.size() - 1);
    settings.arpCommand = web::ArpCommand{u"true", u""};
    return settings;
}

// A wait on the clock in force.
void WaitUntilMinute(uint64_t startMs, uint32_t minute) { platform::CurrentClock().WaitUntil(startMs + minute * kMinuteMs, nullptr); }

// What the update button shows at the end of a phase.
void JudgePhase(Phase phase, bool updateEnabled, SoakFigures& figures)
{
    ++figures.phases;
    if (phase == Phase::kGone) {
        if (!updateEnabled) ++figures.goneDetected;
    } else if (updateEnabled) {
        ++figures.readyPhases;
    }
}

void RunPhases(const SoakSettings& settings, Router& router, TestView& view, const Clock::time_point begin, SoakFigures& figures)
{
    const uint64_t startMs = platform::MonotonicMs();
    const int phaseCount = settings.routerGoes ? 3 : 2;
    Phase phase = Phase::kWorkMode;
    for (uint32_t minute = 0; minute <= settings.scaledMinutes; ++minute) {
        WaitUntilMinute(startMs, minute);
        if (minute % settings.sampleEveryMinutes == 0) {
            SoakSample sample;
            sample.scaledMinute = minute;
            sample.realSeconds = std::chrono::duration<double>(Clock::now() - begin).count();
            sample.resources = SampleProcessResources();
            sample.webModeQueries = router.ModeQueries();
            const routersim::LinkCounters link = router.LinkCounters();
            sample.linkConnections = link.connections;
            sample.linkBlocks = link.blocks;
            figures.samples.push_back(sample);
        }
        if (minute == 0 || minute % settings.phaseMinutes != 0) continue;
        JudgePhase(phase, view.Enabled(IDC_UPDATE_BUTTON), figures);
        if (minute == settings.scaledMinutes) break;
        phase = static_cast<Phase>((static_cast<int>(phase) + 1) % phaseCount);
        if (!router.Enter(phase)) ++figures.routerFaults;
    }
}

void RunWindow(const SoakSettings& settings, Router& router, const Clock::time_point begin, SoakFigures& figures)
{
    download::CDownloadService service(ServiceSettings(router.AnnouncePort()));
    app::ServiceLinkPorts link(service);
    web::RouterWebClient client("127.0.0.1:" + std::to_string(router.WebPort()), web::ArpCommand{u"true", u""});
    // Only its payload side: there is nothing to unpack.
    FakeRouter payload;
    TestView view;
    view.keepWrites = false;  // the run watches its memory
    {
        app::CUIMainModuleDlg dialog(view, app::WorkflowPorts{client, service, link, payload}, u"flashdesk");
        service.SetWindow(&dialog);
        app::CUIMainModuleDlg::InitOutcome outcome{};
        view.Call([&] { outcome = dialog.OnInitDialog(); });
        figures.started = outcome == app::CUIMainModuleDlg::InitOutcome::kRunning && !dialog.WorkDir().empty();
        if (figures.started) RunPhases(settings, router, view, begin, figures);
    }
    service.SetWindow(nullptr);
    view.Shutdown();
}

}  // namespace

SoakFigures RunWatchSoak(const SoakSettings& settings)
{
    SoakFigures figures;
    const double previousScale = platform::TimeScale();
    platform::SetTimeScale(settings.timeScale);
    const Clock::time_point begin = Clock::now();
    figures.before = SampleProcessResources();
    {
        Router router;
        if (router.Start()) RunWindow(settings, router, begin, figures);
        router.Stop();
    }
    figures.after = SampleProcessResources();
    figures.seconds = std::chrono::duration<double>(Clock::now() - begin).count();
    platform::SetTimeScale(previousScale);
    return figures;
}

}  // namespace watch_soak
