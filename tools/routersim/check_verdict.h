// The outcome of one check of a received image, and what the log says of it.
#pragma once

#include <string>

namespace routersim {

struct CheckVerdict {
    bool passed = false;
    std::string text;
};

}  // namespace routersim
