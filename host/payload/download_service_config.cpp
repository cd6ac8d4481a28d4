#include "payload/download_service_config.h"

#include "payload/config_values.h"
#include "payload/firmware_payload.h"
#include "payload/markup_document.h"
#include "platform/files.h"

namespace payload {
namespace {

constexpr int32_t kConfigReportPort = 100;

// Reads the keys of one "DOWNLOADBL" element in their fixed order. Each key
// is looked for after the one found last; a key that is not found leaves
// the position, so the previous key's data is read in its place.
class KeyReader {
public:
    explicit KeyReader(MarkupDocument& document) : document_(document) {}

    std::u16string Text(std::u16string_view key)
    {
        document_.FindChild(key);
        return document_.ChildData();
    }
    int32_t Integer(std::u16string_view key) { return ParseInteger(Text(key)); }
    uint8_t Byte(std::u16string_view key) { return ParseByte(Text(key)); }

    void IdList(std::u16string_view key, std::vector<int32_t>& ids)
    {
        for (const std::u16string& piece : SplitKeepingEmpty(Text(key), u',')) ids.push_back(ParseInteger(piece));
    }

private:
    MarkupDocument& document_;
};

}  // namespace

DownloadServiceConfig::DownloadServiceConfig()
    : m_pCommonNv(std::make_unique<std::vector<int32_t>>()),
      m_pRfNv(std::make_unique<std::vector<int32_t>>()),
      m_pLockNv(std::make_unique<std::vector<int32_t>>()),
      m_pEfsNv(std::make_unique<std::vector<int32_t>>()),
      m_pEfsRfNvOver6w(std::make_unique<std::vector<EfsItemEntry>>())
{
}

DownloadServiceConfig::~DownloadServiceConfig() = default;

void DownloadServiceConfig::Report(const std::u16string& text) const
{
    if (m_hWnd == nullptr) return;
    const auto size = static_cast<int32_t>((text.size() + 1) * sizeof(char16_t));
    m_hWnd->SendReport(platform::ServiceReport{platform::kReportMain, kConfigReportPort, text.c_str(), size});
}

bool DownloadServiceConfig::ReadFileList(const std::u16string& value)
{
    m_vecFileListTokens = SplitKeepingEmpty(value, u';');
    for (const std::u16string& token : m_vecFileListTokens) {
        const std::vector<std::u16string> fields = SplitKeepingEmpty(token, u',');
        const std::u16string path = m_strVersionFilePath + platform::kPathSeparator + TrimSpaces(fields[0]);
        const uint32_t size = platform::FileExists(path) ? static_cast<uint32_t>(platform::FileSize(path).value_or(0)) : 0;
        // An entry without its three download fields, or with a path longer
        // than an entry holds, is refused like a missing file.
        const bool usable = fields.size() >= 4 && path.size() < DownloadFileEntry::kPathCapacity;
        if (!usable || size <= 1) {
            Report(path + u" is not exist.");  // wording kept as the device's software expects it
            return false;
        }
        Report(path + u" is exist.");
        DownloadFileEntry entry;
        entry.path = path;
        entry.size = size;
        m_nTotalSize += entry.size;
        entry.openCode = ParseHex(fields[1]);
        entry.bHdFile = ParseInteger(fields[2]);
        entry.dlType = ParseInteger(fields[3]);
        if (fields.size() > 4) entry.labelFlag = ParseInteger(fields[4]);
        if (fields.size() > 5) entry.label = fields[5];
        m_vecDownloadFiles.push_back(std::move(entry));
    }
    return true;
}

int DownloadServiceConfig::Load(const std::u16string& folder)
{
    m_vecFileListTokens.clear();
    m_pCommonNv->clear();
    m_pRfNv->clear();
    m_pLockNv->clear();
    m_pEfsNv->clear();
    m_pEfsRfNvOver6w->clear();
    m_vecSecData.clear();
    m_vecDownloadFiles.clear();
    m_nTotalSize = 0;

    MarkupDocument document;
    document.LoadFile(folder + platform::kPathSeparator + std::u16string(kConfigFile));
    KeyReader keys(document);
    while (document.FindChild(u"DOWNLOADBL")) {
        document.EnterChild();
        keys.Text(u"ITEM_MODE");
        m_nNvOption = keys.Integer(u"ITEM_NVOPTION");
        m_strVersionFilePath = keys.Text(u"ITEM_VERSIONFILE_PATH");
        if (m_strVersionFilePath.empty()) {
            m_bValid = 0;
            return 0;
        }
        m_strNvFilePath = keys.Text(u"ITEM_NVFILE_PATH");
        m_bLockSoftWare = keys.Integer(u"ITEM_LockSoftWare");
        m_bSaveLockData = keys.Integer(u"ITEM_SAVELOCKDATA");
        m_bDvbhCertification = keys.Integer(u"ITEM_DVBH_Certificatioin");
        keys.IdList(u"ITEM_COMMONNV", *m_pCommonNv);
        keys.IdList(u"ITEM_RFNV", *m_pRfNv);
        keys.IdList(u"ITEM_LOCKNV", *m_pLockNv);
        keys.IdList(u"ITEM_EFSNV", *m_pEfsNv);
        for (const std::u16string& entry : SplitKeepingEmpty(keys.Text(u"ITEM_EFS_RFNV_OVER6W"), u';')) {
            const std::vector<std::u16string> fields = SplitKeepingEmpty(entry, u',');
            m_pEfsRfNvOver6w->push_back(EfsItemEntry{ParseInteger(fields[0]), fields.size() > 1 ? fields[1] : u""});
        }
        m_nCheckDownloadMode = keys.Integer(u"ITEM_CHECKDOWNLOADMODE");
        m_byAutorunSubId = keys.Byte(u"ITEM_Autorun_sub_ID");
        m_byVerifySubSysId = keys.Byte(u"ITEM_VERIFY_SUB_SYS_ID");
        m_strSecDataFile = keys.Text(u"ITEM_SECDATA_FILE");
        for (std::u16string& piece : SplitKeepingEmpty(keys.Text(u"ITEM_SECDATA"), u',')) {
            m_vecSecData.push_back(std::move(piece));
        }
        m_nRandomCheck = keys.Integer(u"ITEM_RANDOMCHECK");
        m_byCertificationSubId = keys.Byte(u"ITEM_Certificatioin_sub_ID");
        m_strDvbhEfsPath = keys.Text(u"ITEM_DVBH_EFS_PATH");
        m_strArmprgFile = keys.Text(u"ITEM_DL_armprg");
        m_nHsUsb = keys.Integer(u"ITEM_HSUSB");
        m_byTrustFlag = keys.Byte(u"ITEM_trustmode");
        m_nPartitionDL = keys.Integer(u"ITEM_PartitionDL");
        if (!ReadFileList(keys.Text(u"ITEM_DOWNLOAD_FILELIST"))) {
            m_bValid = 0;
            return 0;
        }
        m_nUpgradeModem = keys.Integer(u"ITEM_UpgradeModem");
        m_nUpgradeLinux = keys.Integer(u"ITEM_UpgradeLinux");
        m_strLinuxFile = keys.Text(u"ITEM_LinuxFile");
        m_strLinuxPath = m_strVersionFilePath + platform::kPathSeparator + m_strLinuxFile;
        m_nUpgradeUboot = keys.Integer(u"ITEM_UpgradeuBOOT");
        m_strUbootFile = keys.Text(u"ITEM_uBOOTFile");
        m_strUbootPath = m_strVersionFilePath + platform::kPathSeparator + m_strUbootFile;
        m_nCheckEraseCpe = keys.Integer(u"ITEM_CheckEraseCPE");
        document.LeaveElement();
        m_bValid = 1;
    }
    return 1;
}

}  // namespace payload
