#include "payload/config_rewrite.h"

#include "payload/markup_document.h"
#include "platform/debug_output.h"

namespace payload {
namespace {

void ReplaceKey(MarkupDocument& document, std::u16string_view key, const std::u16string& value)
{
    if (!document.FindChild(key)) return;
    document.EnterChild();
    document.ReplaceData(value);
    document.LeaveElement();
}

}  // namespace

bool RewriteConfigFile(const std::u16string& file, const std::u16string& versionPath, const std::u16string& nvPath)
{
    MarkupDocument document;
    if (!document.LoadFile(file)) return false;
    if (!document.FindChild(u"DOWNLOADBL") || !document.EnterChild()) {
        platform::DebugOutput(u"download.xml: no DOWNLOADBL element in " + file);
        return false;
    }
    ReplaceKey(document, u"ITEM_VERSIONFILE_PATH", versionPath);
    ReplaceKey(document, u"ITEM_NVFILE_PATH", nvPath);
    return document.SaveFile(file);
}

}  // namespace payload
