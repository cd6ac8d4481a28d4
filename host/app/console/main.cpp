// flashdesk in a terminal: the same start-up, watch and download workflow as
// the window, with a status line and progress bar.
#include <cstdio>
#include <string>
#include <vector>

#include "app/console/console_report_sink.h"
#include "app/console/console_view.h"
#include "app/options.h"
#include "app/service_link_ports.h"
#include "app/ui_main_module_dlg.h"
#include "download/download_service.h"
#include "download/download_service_settings.h"
#include "payload/firmware_payload.h"
#include "platform/files.h"
#include "platform/text.h"
#include "web/router_web_client.h"

int main(int argc, char** argv)
{
    const std::string programName = "flashdesk";
    const app::ParsedOptions parsed = app::ParseOptions(std::vector<std::string>(argv + 1, argv + argc), app::FrontEnd::kConsole);
    if (!parsed.options) {
        std::fprintf(stderr, "%s: %s\n%s", programName.c_str(), parsed.error.c_str(), app::UsageText(programName, app::FrontEnd::kConsole).c_str());
        return 2;
    }
    const app::Options& options = *parsed.options;
    if (options.help) {
        std::fputs(app::UsageText(programName, app::FrontEnd::kConsole).c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("%s\n", platform::Utf16ToUtf8(app::ProductTitle()).c_str());
        return 0;
    }

    std::printf("%s\n\n", platform::Utf16ToUtf8(app::ProductTitle()).c_str());
    web::RouterWebClient webClient(web::RouterAddress(options.endpoints.router), web::PlatformArpCommand(options.endpoints.arpCommand));
    payload::EmbeddedPayload files;
    // The server's session log goes to "Logs" under the current folder.
    download::CDownloadService service(download::ServiceSettingsFor(options.endpoints, u"."));
    app::ServiceLinkPorts link(service);
    app::ConsoleView view(options.yes, options.language, stdout);
    app::CUIMainModuleDlg dialog(view, app::WorkflowPorts{webClient, service, link, files}, platform::Utf8ToUtf16(programName),
                                 options.language);
    app::ConsoleReportSink reports(dialog, view);
    service.SetWindow(&reports);
    dialog.SetKeptLogsRoot(platform::KeptLogsRoot());
    if (!view.Run(dialog)) return 0;
    if (!dialog.KeptRunFolder().empty()) {
        std::printf("Registros desta execucao guardados em %s\n", platform::Utf16ToUtf8(dialog.KeptRunFolder()).c_str());
    }
    return dialog.DownloadFinished() && dialog.DownloadResult() == 0 ? 0 : 1;
}
