// The benchmarks' command lines: options "--name N", each N a whole number
// in the option's range, read with CLI11. Unknown words, a missing or bad
// number and a value the option refuses are usage errors.
#pragma once

#include <functional>
#include <vector>

namespace bench {

struct CountOption {
    const char* name;
    long long minimum;
    long long maximum;
    // Takes the number; false when the option refuses it.
    std::function<bool(long long)> set;
};

bool ParseCountOptions(int argc, char** argv, const std::vector<CountOption>& options);

}  // namespace bench
