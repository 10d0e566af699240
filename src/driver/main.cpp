// tavrel: latent rank estimation for test data.
#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "driver/run.hpp"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    // std::cerr is unit-buffered: every message reaches the console at once.
    const int status = tavrel::runProgram(args, std::cin, std::cout, std::cerr);
    // The run has ended and restored the default handlers: an interrupt from
    // now on stays pending, so that it changes neither the finished files nor
    // the exit status while the process winds down.
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    sigprocmask(SIG_BLOCK, &stops, nullptr);
    return status;
}
