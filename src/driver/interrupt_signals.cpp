#include "driver/interrupt_signals.hpp"

namespace tavrel {
namespace {

// The program's one piece of global state: a signal handler can reach no other.
volatile std::sig_atomic_t gReceived = 0;

extern "C" void noteSignal(int signal) {
    if (gReceived != 0) {
        // The second: the default action, at once.
        struct sigaction fallback {};
        fallback.sa_handler = SIG_DFL;
        sigemptyset(&fallback.sa_mask);
        sigaction(signal, &fallback, nullptr);
        raise(signal);
        return;
    }
    gReceived = signal;
}

}  // namespace

InterruptSignals::InterruptSignals() {
    gReceived = 0;
    struct sigaction action {};
    action.sa_handler = noteSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART
    sigaction(SIGINT, &action, &previousInterrupt_);
    sigaction(SIGTERM, &action, &previousTerminate_);
}

InterruptSignals::~InterruptSignals() {
    sigaction(SIGINT, &previousInterrupt_, nullptr);
    sigaction(SIGTERM, &previousTerminate_, nullptr);
}

int InterruptSignals::received() { return gReceived; }

}  // namespace tavrel
