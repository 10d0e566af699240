#pragma once
// Shared by the fuzz targets: the fuzzer's bytes as a file for the readers
// that take a file name, and the checks that stop the fuzzer.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

namespace tavrel::fuzz {

// One file per process, rewritten for every input and removed at exit.
class InputFile {
public:
    InputFile()
        : name_((std::filesystem::temp_directory_path() / ("tavrel_fuzz_" + std::to_string(getpid()))).string()) {}
    ~InputFile() { std::remove(name_.c_str()); }

    const std::string& write(const std::uint8_t* data, std::size_t size) {
        std::FILE* file = std::fopen(name_.c_str(), "wb");
        if (file == nullptr || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0) std::abort();
        return name_;
    }

private:
    std::string name_;
};

inline InputFile& inputFile() {
    static InputFile file;
    return file;
}

// Stops the fuzzer on a broken invariant, like a crash would.
inline void require(bool condition) {
    if (!condition) std::abort();
}

// Every diagnostic is one whole line with the program's prefix.
inline void requireMessageLines(const std::string& text) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) require(line.rfind("tavrel.exe: ", 0) == 0);
    require(text.empty() || text.back() == '\n');
}

}  // namespace tavrel::fuzz
