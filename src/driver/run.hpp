#pragma once
// The run driver: obtains the settings, runs the guarded sequence and turns
// every failure into its Error line and exit status.

#include <iosfwd>
#include <span>
#include <string>

namespace tavrel {

// One run. `args` are the command-line arguments after the program name;
// all console output goes to `console`, all input comes from `input`. Only a
// first argument of exactly `--help` or `--version` writes to `output` (the
// usage or the version) and ends the run at once. Returns the exit status.
int runProgram(std::span<const std::string> args, std::istream& input, std::ostream& output, std::ostream& console);

}  // namespace tavrel
