// routersim: the router's web interface and its link side on loopback, for
// scripts and manual runs of the host program. Prints "routersim web
// interface on ADDR:PORT" once it accepts connections, then "routersim link
// listening for announcements on ADDR:PORT", and "routersim link connected
// to ADDR:PORT" whenever the link side connects to the host. Runs until
// SIGINT or SIGTERM.
#include <signal.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "routersim/link_peer.h"
#include "routersim/log.h"
#include "routersim/options.h"
#include "routersim/router_state.h"
#include "routersim/web_server.h"

int main(int argc, char** argv)
{
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    std::string error;
    const auto options = routersim::ParseOptions(args, error);
    if (!options) {
        routersim::LogLine(error);
        std::fputs(routersim::UsageText().data(), stderr);
        return 2;
    }
    if (options->help) {
        std::fputs(routersim::UsageText().data(), stdout);
        return 0;
    }
    if (!options->filesFolder.empty()) {
        std::error_code failed;
        std::filesystem::create_directories(options->filesFolder, failed);
        if (failed) {
            routersim::LogLine("cannot create " + options->filesFolder + ": " + failed.message());
            return 1;
        }
    }

    // Blocked before any thread starts, so that only sigwait below sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    routersim::RouterState state;
    state.SetFactoryMode(options->factoryMode);
    state.SetFirmwareVersion(options->firmwareVersion);
    routersim::WebServer web(state);
    web.SetVerbose(options->verbose);
    web.RefuseSwitches(options->refuseSwitches);
    web.SetFault(options->webFault);
    if (!web.Start(options->webAddress, options->webPort)) return 1;
    std::printf("routersim web interface on %s:%u\n", options->webAddress.c_str(), static_cast<unsigned>(web.Port()));
    std::fflush(stdout);

    routersim::LinkPeer link;
    link.SetVerbose(options->verbose);
    link.SetEsn(options->esn);
    link.SetFaults(options->linkFaults);
    link.SetImageChecks(options->imageChecks);
    link.SetFilesFolder(options->filesFolder);
    link.OnConnected([](const std::string& address, uint16_t port) {
        std::printf("routersim link connected to %s:%u\n", address.c_str(), static_cast<unsigned>(port));
        std::fflush(stdout);
    });
    if (!link.Start(state, options->announceAddress, options->announcePort)) return 1;
    std::printf("routersim link listening for announcements on %s:%u\n", options->announceAddress.c_str(),
                static_cast<unsigned>(link.Port()));
    std::fflush(stdout);

    int received = 0;
    sigwait(&stopSignals, &received);
    if (options->verbose) routersim::LogLine(std::string("stopping on signal ") + std::to_string(received));
    link.Stop();
    web.Stop();
    return 0;
}
