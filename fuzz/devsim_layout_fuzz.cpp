// Bytes as a devsim layout file may hold them: the reader must end without
// harm, keep every rule in what it accepts, and read its own written form
// back to the same layout.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "layout.h"

namespace {

void check(bool condition)
{
    if (!condition) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    devsim::layout parsed;
    std::string error;
    if (!devsim::parse_layout(text, parsed, error)) {
        check(!error.empty());
        return 0;
    }
    check(!parsed.empty() && parsed.size() <= 32);
    uint64_t total = 0;
    for (const devsim::layout_partition& part : parsed) {
        check(part.writesize != 0 && (part.writesize & (part.writesize - 1)) == 0);
        check(part.erasesize % part.writesize == 0 && part.size % part.erasesize == 0);
        check(part.image.empty() || part.mount.empty());
        check(part.folder.empty() || !part.mount.empty());
        total += part.size;
    }
    check(total <= 1024ull * 1024 * 1024);
    devsim::layout again;
    check(devsim::parse_layout(devsim::format_layout(parsed), again, error));
    check(again == parsed);
    return 0;
}
