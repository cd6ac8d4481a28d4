// One line per check on standard output: "PASS name" or "FAIL name: detail".
#pragma once

#include <string>

namespace gui_test {

class CheckLog {
public:
    // Prints the line; returns `ok`.
    bool Check(bool ok, const std::string& name, const std::string& detail = {});
    // Prints the closing count line.
    void Summary() const;
    int Failures() const { return failed_; }

private:
    int passed_ = 0;
    int failed_ = 0;
};

// UTF-16 text in UTF-8 for the log.
std::string Narrow(const std::wstring& text);

}  // namespace gui_test
