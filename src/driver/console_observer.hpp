#pragma once
// The console's observer: messages with the program's prefixes, one line
// each, and progress text as it is, on the console stream.

#include <ostream>
#include <string>
#include <string_view>

#include "common/console.hpp"
#include "tavrel/observer.hpp"

namespace tavrel {

class ConsoleObserver : public Observer {
public:
    // `stop`, when given, says whether the run is to stop (an interrupt).
    explicit ConsoleObserver(std::ostream& console, bool (*stop)() = nullptr) : console_(console), stop_(stop) {}

    void message(MessageKind kind, std::string_view text) override {
        std::string line(kind == MessageKind::Note ? kNote : kWarning);
        line.append(text);
        line.push_back('\n');
        console_ << line;
    }
    void progress(std::string_view text) override { console_ << text; }
    bool stopRequested() override { return stop_ != nullptr && stop_(); }

private:
    std::ostream& console_;
    bool (*stop_)();
};

}  // namespace tavrel
