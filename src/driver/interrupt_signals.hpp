#pragma once
// SIGINT and SIGTERM during a run: the handler only notes the signal, and the
// run stops at its next check (between passes and blocks of examinees, between
// chunks of input, between result files), so that no result file is left
// half written. A second signal ends the program at once.

#include <csignal>

namespace tavrel {

class InterruptSignals {
public:
    // Installs the handlers (without SA_RESTART: a blocked read of standard
    // input ends too); the destructor restores the ones before.
    InterruptSignals();
    ~InterruptSignals();
    InterruptSignals(const InterruptSignals&) = delete;
    InterruptSignals& operator=(const InterruptSignals&) = delete;

    // The signal that came, or 0.
    static int received();

private:
    struct sigaction previousInterrupt_ {};
    struct sigaction previousTerminate_ {};
};

}  // namespace tavrel
