// tavrel: latent rank estimation for test data.
#include <iostream>
#include <string>
#include <vector>

#include "driver/run.hpp"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    // std::cerr is unit-buffered: every message reaches the console at once.
    return tavrel::runProgram(args, std::cin, std::cout, std::cerr);
}
