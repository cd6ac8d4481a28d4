// What every step of a download works with: the request's port, its packet
// engine in the link container, the configuration with the firmware paths,
// the language table and the reports to the main window.
#pragma once

#include "download/language_manager.h"
#include "download/qualcomm_service.h"
#include "download/service_reporter.h"
#include "payload/download_service_config.h"

namespace download {

struct DownloadStep {
    CBIWcdmaQualcommService& link;
    devlink::CNetPacket& engine;
    int port;
    payload::DownloadServiceConfig& config;
    const CLanguageManager& language;
    ServiceReporter reporter;
};

}  // namespace download
