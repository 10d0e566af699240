#pragma once
// Messages to the observer, formatted as a default-state stream in the
// classic locale formats them, whatever locale the process has set.

#include <locale>
#include <sstream>
#include <string>
#include <utility>

#include "tavrel/observer.hpp"

namespace tavrel {

// The parts written one after another, as `stream << part` writes each.
template <class... Parts>
std::string messageText(Parts&&... parts) {
    std::ostringstream text;
    text.imbue(std::locale::classic());
    (text << ... << std::forward<Parts>(parts));
    return std::move(text).str();
}

template <class... Parts>
void note(Observer& observer, Parts&&... parts) {
    observer.message(MessageKind::Note, messageText(std::forward<Parts>(parts)...));
}

template <class... Parts>
void warn(Observer& observer, Parts&&... parts) {
    observer.message(MessageKind::Warning, messageText(std::forward<Parts>(parts)...));
}

}  // namespace tavrel
