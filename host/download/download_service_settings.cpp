#include "download/download_service_settings.h"

namespace download {

DownloadServiceSettings ServiceSettingsFor(const platform::Endpoints& endpoints, std::u16string logFolder)
{
    DownloadServiceSettings settings;
    settings.server.listenPort = endpoints.listenPort;
    settings.server.announceHost = endpoints.announce.host;
    settings.server.announcePort = endpoints.announce.port;
    settings.server.routerHost = endpoints.router.host;
    settings.server.hostFilter = endpoints.hostFilter;
    settings.server.logFolder = std::move(logFolder);
    settings.arpCommand = web::PlatformArpCommand(endpoints.arpCommand);
    return settings;
}

}  // namespace download
