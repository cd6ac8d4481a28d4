#include "platform/diagnostic_journal.h"

#include <deque>
#include <mutex>

#include "platform/text.h"

namespace platform {
namespace {

// About the lines of a whole update with every block sent and received.
constexpr size_t kJournalLimitChars = 8u << 20;

struct Journal {
    std::mutex mutex;
    std::deque<std::u16string> lines;
    size_t chars = 0;
};

Journal& TheJournal()
{
    static Journal journal;
    return journal;
}

}  // namespace

void RecordDiagnostic(std::u16string_view line)
{
    Journal& journal = TheJournal();
    std::lock_guard<std::mutex> lock(journal.mutex);
    journal.lines.emplace_back(line);
    journal.chars += line.size();
    while (journal.chars > kJournalLimitChars && journal.lines.size() > 1) {
        journal.chars -= journal.lines.front().size();
        journal.lines.pop_front();
    }
}

std::string DiagnosticText()
{
    Journal& journal = TheJournal();
    std::lock_guard<std::mutex> lock(journal.mutex);
    std::string text;
    for (const std::u16string& line : journal.lines) {
        text += Utf16ToUtf8(line);
        if (text.empty() || text.back() != '\n') text += '\n';
    }
    return text;
}

}  // namespace platform
