#pragma once
// An observer that keeps the console's text, as the program would print it.

#include <sstream>
#include <string>

#include "driver/console_observer.hpp"

namespace tavrel {

namespace detail {
struct RecordText {
    std::ostringstream text;
};
}  // namespace detail

class ConsoleRecord : private detail::RecordText, public ConsoleObserver {
public:
    ConsoleRecord() : ConsoleObserver(text) {}
    std::string str() const { return text.str(); }
};

}  // namespace tavrel
