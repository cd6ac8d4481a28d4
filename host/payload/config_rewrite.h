// Points the path keys of a download.xml at the work folder, keeping the
// rest of the file as it was.
#pragma once

#include <string>

namespace payload {

// Sets "ITEM_VERSIONFILE_PATH" and "ITEM_NVFILE_PATH" of the "DOWNLOADBL"
// element and saves the file in its own encoding. False, with the file left
// alone, when it cannot be read or has no "DOWNLOADBL" element.
bool RewriteConfigFile(const std::u16string& file, const std::u16string& versionPath, const std::u16string& nvPath);

}  // namespace payload
