// The result log of a markup document: one line per event, the event's name
// followed by its values.
#pragma once

#include <string>
#include <string_view>

namespace payload {

inline void AddLogEntry(std::u16string& log, std::u16string_view name, std::u16string_view values = {})
{
    log += name;
    if (!values.empty()) {
        log += u' ';
        log += values;
    }
    log += u'\n';
}

}  // namespace payload
