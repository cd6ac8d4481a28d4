// Received files on disk: "<folder>/<number>-<kind>.bin", where the kind is
// modem-image, modem-checksum or linux-image and the number counts the
// transfers since the link side started.
#pragma once

#include <string>

#include "routersim/link_recorder.h"

namespace routersim {

std::string ReceivedFileName(int number, uint8_t type);
// Returns false with a logged reason.
bool SaveReceivedFile(const std::string& folder, int number, const ReceivedFile& file);

}  // namespace routersim
