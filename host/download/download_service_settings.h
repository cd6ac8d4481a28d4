// Where the download service listens, whom it announces itself to and the
// ARP cache flush it runs once its server is up.
#pragma once

#include <string>

#include "link/sock_producer.h"
#include "platform/endpoints.h"
#include "web/arp_flush.h"

namespace download {

struct DownloadServiceSettings {
    // Listen port, announcement destination, host filter and log folder.
    devlink::SockProducerSettings server;
    // The ARP cache flush that follows the server start.
    web::ArpCommand arpCommand;
};

// The settings for the endpoints of the command line; the session log goes
// to the "Logs" folder under `logFolder`.
DownloadServiceSettings ServiceSettingsFor(const platform::Endpoints& endpoints, std::u16string logFolder);

}  // namespace download
