// The check before a mode-0 download: the four firmware files must be in
// the firmware folder, each larger than 1 byte. Their full paths go into
// the configuration; the first one missing is shown in a message box.
#pragma once

#include "download/language_manager.h"
#include "download/service_reporter.h"
#include "payload/download_service_config.h"

namespace download {

// Looks in `config.m_strVersionFilePath`; 1 with the four paths set, or 0
// after the message box for the first file missing.
int CheckBeforeDownload(payload::DownloadServiceConfig& config, const CLanguageManager& language, const ServiceReporter& reporter);

}  // namespace download
