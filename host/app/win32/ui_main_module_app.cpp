#include "app/win32/ui_main_module_app.h"

#include <commctrl.h>

#include "app/service_link_ports.h"
#include "app/ui_main_module_dlg.h"
#include "app/win32/command_line.h"
#include "app/win32/main_window.h"
#include "download/download_service.h"
#include "download/download_service_settings.h"
#include "payload/firmware_payload.h"
#include "platform/files.h"
#include "web/router_web_client.h"

namespace app::winui {

CUIMainModuleApp::CUIMainModuleApp(HINSTANCE instance, Options options) : instance_(instance), options_(std::move(options)) {}

bool CUIMainModuleApp::InitInstance()
{
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), 0xFF};
    InitCommonControlsEx(&controls);

    web::RouterWebClient webClient(web::RouterAddress(options_.endpoints.router), web::PlatformArpCommand(options_.endpoints.arpCommand));
    payload::EmbeddedPayload files;
    // The server's session log goes to "Logs" under the current folder.
    download::CDownloadService service(download::ServiceSettingsFor(options_.endpoints, u"."));
    ServiceLinkPorts link(service);
    MainWindow window(instance_, options_.yes);
    // Run() returns once the window is destroyed, so when the core's
    // destructor joins the workers, their RunOnViewThread calls fail at once.
    CUIMainModuleDlg core(window, WorkflowPorts{webClient, service, link, files}, ProgramName());
    service.SetWindow(&core);
    core.SetKeptLogsRoot(platform::KeptLogsRoot());
    if (!window.Run(core)) {
        exitCode_ = 1;
    } else if (core.DownloadFinished()) {
        exitCode_ = core.DownloadResult() == 0 ? 0 : 1;
    }
    return false;
}

}  // namespace app::winui
