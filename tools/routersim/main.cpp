// routersim: the router's web interface on loopback, for scripts and manual
// runs of the host program. Prints "routersim web interface on ADDR:PORT"
// once it accepts connections and runs until SIGINT or SIGTERM.
#include <signal.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

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

    int received = 0;
    sigwait(&stopSignals, &received);
    if (options->verbose) routersim::LogLine(std::string("stopping on signal ") + std::to_string(received));
    web.Stop();
    return 0;
}
