// rendezvous_load_bench: the rendezvous server with four routers that are
// claimed by ports and exchange data blocks, while extra connections
// arrive (a burst at once, the rest spread over the exchange); then the
// routers leave, the connections that waited are cleared and four new
// routers connect. Everything runs in this process on 127.0.0.1.
//
//   rendezvous_load_bench [--rounds N] [--burst N] [--spread N] [--gap-ms N] [--rounds-again N]
//
// Defaults: 500 blocks per session, 25 + 25 extra connections 40 ms apart, 50 blocks at the end.
#include <stdlib.h>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <string>
#include <type_traits>

#include "count_options.h"
#include "platform/text.h"
#include "rendezvous_load.h"

namespace {

bool ParseSettings(int argc, char** argv, link_load::LoadSettings& settings)
{
    const auto to = [](auto& field) {
        return [&field](long long value) {
            field = static_cast<std::remove_reference_t<decltype(field)>>(value);
            return true;
        };
    };
    return bench::ParseCountOptions(argc, argv, {{"--rounds", 0, INT_MAX, to(settings.rounds)},
                                                 {"--burst", 0, INT_MAX, to(settings.burstConnections)},
                                                 {"--spread", 0, INT_MAX, to(settings.spreadConnections)},
                                                 {"--gap-ms", 0, INT_MAX, to(settings.spreadGapMs)},
                                                 {"--rounds-again", 0, INT_MAX, to(settings.roundsAgain)}});
}

void PrintSessions(const char* title, const std::array<link_load::SessionFigures, devlink::kSessionSlots>& sessions)
{
    std::printf("%s\n", title);
    for (size_t slot = 0; slot < sessions.size(); ++slot) {
        const link_load::SessionFigures& session = sessions[slot];
        std::printf("  session %zu: %d requests, %d correct replies, %d wrong, %d unanswered\n", slot, session.requests,
                    session.correctReplies, session.wrongReplies, session.unanswered);
    }
}

void Print(const link_load::LoadSettings& settings, const link_load::LoadFigures& figures)
{
    std::printf("rendezvous_load_bench: time scale %.0f, %d blocks per session under load, %d + %d extra connections (%d ms apart)\n\n",
                settings.timeScale, settings.rounds, settings.burstConnections, settings.spreadConnections, settings.spreadGapMs);
    std::printf("Routers claimed by ports: %d of %d\n", figures.routersOpened, devlink::kSessionSlots);
    PrintSessions("Under load:", figures.sessions);
    std::printf("Extra connections: %d tried, %d connected (queued by the system), %d refused, %d served by the server\n",
                figures.extrasTried, figures.extrasConnected, figures.extrasRefused, figures.extrasServed);
    std::printf("  session count while loaded: min %d, max %d; accepted and unclaimed at most %zu; announcements %d\n",
                figures.minSessionCount, figures.maxSessionCount, figures.maxAcceptedWaiting, figures.announcementsWhileFull);
    std::printf("Routers left: slots freed %s; waiting connections accepted afterwards, claimed and closed: %d\n",
                figures.slotsFreedWhenRoutersLeft ? "yes" : "no", figures.waitingClaimedAfterwards);
    std::printf("  then: session count %d, accepted %zu; announcements since the routers left %d\n", figures.sessionCountAfterClaims,
                figures.acceptedAfterClaims, figures.announcementsAfterwards);
    std::printf("New routers claimed by ports: %d of %d\n", figures.routersOpenedAgain, devlink::kSessionSlots);
    PrintSessions("New routers:", figures.sessionsAgain);
    std::printf("At the end: session count %d, accepted %zu\n", figures.sessionCountAtEnd, figures.acceptedAtEnd);
    std::printf("Process before: %s\n", testing_support::Describe(figures.before).c_str());
    std::printf("Process after:  %s\n", testing_support::Describe(figures.after).c_str());
    std::printf("Duration: %.2f s\n", figures.seconds);
}

}  // namespace

int main(int argc, char** argv)
{
    link_load::LoadSettings settings;
    settings.rounds = 500;
    settings.spreadGapMs = 40;
    settings.roundsAgain = 50;
    if (!ParseSettings(argc, argv, settings)) {
        std::fprintf(stderr, "usage: rendezvous_load_bench [--rounds N] [--burst N] [--spread N] [--gap-ms N] [--rounds-again N]\n");
        return 2;
    }
    char folderTemplate[] = "/tmp/rendezvous_load_bench.XXXXXX";
    if (mkdtemp(folderTemplate) == nullptr) {
        std::fprintf(stderr, "rendezvous_load_bench: cannot create a temporary folder\n");
        return 1;
    }
    settings.logFolder = platform::Utf8ToUtf16(folderTemplate);
    const link_load::LoadFigures figures = link_load::RunRendezvousLoad(settings);
    std::filesystem::remove_all(folderTemplate);
    if (!figures.serverStarted) {
        std::fprintf(stderr, "rendezvous_load_bench: the rendezvous server did not start\n");
        return 1;
    }
    Print(settings, figures);
    return 0;
}
