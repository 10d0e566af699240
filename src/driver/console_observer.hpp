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
    explicit ConsoleObserver(std::ostream& console) : console_(console) {}

    void message(MessageKind kind, std::string_view text) override {
        std::string line(kind == MessageKind::Note ? kNote : kWarning);
        line.append(text);
        line.push_back('\n');
        console_ << line;
    }
    void progress(std::string_view text) override { console_ << text; }

private:
    std::ostream& console_;
};

}  // namespace tavrel
