// A long run of the main window's device-watch loop with time scaled: the
// real web commands against the router simulator's web interface, the real
// download service and rendezvous server against its link side, all on
// loopback. The router changes every few minutes (work mode, factory mode
// and, when asked, gone) and what the process holds is sampled along the way. The run
// reports what it saw; the test and the benchmark judge it.
#pragma once

#include <cstdint>
#include <vector>

#include "../support/process_resources.h"

namespace watch_soak {

struct SoakSettings {
    double timeScale = 60.0;
    uint32_t scaledMinutes = 60;
    // Samples are taken at the start of every this many minutes; a multiple
    // of the router's cycle puts every sample at the same point of it.
    uint32_t sampleEveryMinutes = 6;
    uint32_t phaseMinutes = 2;
    // Whether the cycle has a third phase in which the router is gone: its
    // web interface refuses connections and its link connection ends.
    bool routerGoes = true;
};

struct SoakSample {
    uint32_t scaledMinute = 0;
    double realSeconds = 0;
    testing_support::ProcessResources resources;
    int webModeQueries = 0;   // mode queries the web interface has answered so far
    int linkConnections = 0;  // connections the link side has made so far
    int linkBlocks = 0;       // blocks the link side has received so far
};

struct SoakFigures {
    bool started = false;
    std::vector<SoakSample> samples;
    int phases = 0;
    int readyPhases = 0;  // work-mode and factory-mode phases that ended with UPDATE enabled
    int goneDetected = 0;  // gone phases that ended with UPDATE disabled
    int routerFaults = 0;  // phase changes the simulator could not make
    testing_support::ProcessResources before;  // before anything of the run existed
    testing_support::ProcessResources after;   // once all of it was gone again
    double seconds = 0;
};

// Needs a private temporary folder (the window's work folder and its
// instance lock live there).
SoakFigures RunWatchSoak(const SoakSettings& settings);

}  // namespace watch_soak
