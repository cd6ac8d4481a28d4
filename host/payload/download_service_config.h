// The download job that download.xml describes: the keys of its
// "DOWNLOADBL" element read into one record, plus the paths that the
// mode-0 download fills in from its request and its file check.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/report_sink.h"

namespace payload {

struct EfsItemEntry {
    int32_t itemId = 0;
    std::u16string efsPath;
};

struct DownloadFileEntry {
    static constexpr size_t kPathCapacity = 256;  // characters, terminator included
    std::u16string path;                          // folder, separator and file name; at most 255 characters
    uint32_t size = 0;                            // low 32 bits of the file size
    uint32_t openCode = 0;
    int32_t bHdFile = 0;
    int32_t dlType = 0;
    int32_t labelFlag = 0;
    std::u16string label;
};

class DownloadServiceConfig {
public:
    DownloadServiceConfig();
    virtual ~DownloadServiceConfig();
    DownloadServiceConfig(const DownloadServiceConfig&) = delete;
    DownloadServiceConfig& operator=(const DownloadServiceConfig&) = delete;

    // Reads `folder`/download.xml: 1 when the reading loop ended normally,
    // 0 when it stopped at an empty firmware folder or a missing list file.
    int Load(const std::u16string& folder);

    int32_t m_nMode = 0;
    int32_t m_nNvOption = 0;
    std::u16string m_strVersionFilePath;
    std::u16string m_strNvFilePath;
    int32_t m_bLockSoftWare = 0;
    int32_t m_bSaveLockData = 0;
    int32_t m_bDvbhCertification = 0;
    int32_t m_bValid = 0;
    int32_t m_nCheckDownloadMode = 0;
    uint8_t m_byAutorunSubId = 0;
    int32_t m_nRandomCheck = 0;
    uint8_t m_byVerifySubSysId = 0;
    std::u16string m_strSecDataFile;
    std::vector<std::u16string> m_vecSecData;
    uint8_t m_byCertificationSubId = 0;
    std::u16string m_strDvbhEfsPath;
    std::u16string m_strArmprgFile;
    int32_t m_nHsUsb = 0;
    uint8_t m_byTrustFlag = 0;
    int32_t m_nPartitionDL = 0;
    int32_t m_nUpgradeModem = 0;
    int32_t m_nUpgradeLinux = 0;
    int32_t m_nUpgradeUboot = 0;
    int32_t m_nCheckEraseCpe = 0;
    std::u16string m_strLinuxPath;
    std::u16string m_strLinuxFile;
    std::u16string m_strUbootPath;
    std::u16string m_strUbootFile;
    std::u16string m_strModemImagePath;
    std::u16string m_strModemMd5Path;
    uint32_t m_nTotalSize = 0;
    std::unique_ptr<std::vector<int32_t>> m_pCommonNv;
    std::unique_ptr<std::vector<int32_t>> m_pRfNv;
    std::unique_ptr<std::vector<int32_t>> m_pLockNv;
    std::unique_ptr<std::vector<int32_t>> m_pEfsNv;
    std::unique_ptr<std::vector<EfsItemEntry>> m_pEfsRfNvOver6w;
    std::vector<std::u16string> m_vecFileListTokens;
    std::vector<DownloadFileEntry> m_vecDownloadFiles;
    // The main window, which receives the reader's reports; may be null.
    platform::ReportSink* m_hWnd = nullptr;

private:
    // A kind-4 report to the main window.
    void Report(const std::u16string& text) const;
    // Checks and records the entries of the file list; false at the first
    // entry that is refused.
    bool ReadFileList(const std::u16string& value);
};

}  // namespace payload
