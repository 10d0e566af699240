#pragma once
// What a running analysis tells its client, and how the client stops it.
//
// The library never writes to standard output or error. Every message and
// every piece of progress text goes to an Observer that the client supplies;
// the console client prints them as the program always has, a package shows
// them in its own way. The observer is called only on the thread that called
// the operation.

#include <exception>
#include <string_view>

namespace tavrel {

enum class MessageKind {
    Note,     // the console shows "tavrel.exe: Note: " + text
    Warning,  // the console shows "tavrel.exe: Warning: " + text
};

// The base shows nothing and never stops: `Observer quiet;` is a silent one.
class Observer {
public:
    virtual ~Observer() = default;

    // One message line: its text, without the program's prefix and line end.
    virtual void message(MessageKind kind, std::string_view text) { (void)kind, (void)text; }

    // Progress text exactly as the console shows it, line ends included: the
    // sequential methods' "Now calculating " and dots, the batch method's
    // trace lines.
    virtual void progress(std::string_view text) { (void)text; }

    // Asked once per pass and at least every 0.1 s while an analysis runs
    // (between blocks of examinees); true stops it with Cancelled.
    virtual bool stopRequested() { return false; }
};

// Thrown out of an operation whose observer asked it to stop.
class Cancelled : public std::exception {
public:
    const char* what() const noexcept override { return "the analysis was stopped"; }
};

}  // namespace tavrel
