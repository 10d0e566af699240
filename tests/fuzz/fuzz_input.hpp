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
#include <string_view>

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

// Whether the text is UTF-8: shortest forms, no surrogates, nothing past U+10FFFF.
inline bool isUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
        const unsigned c = byte(0);
        const std::size_t n = c < 0x80                ? 1
                              : c >= 0xC2 && c < 0xE0 ? 2
                              : c >= 0xE0 && c < 0xF0 ? 3
                              : c >= 0xF0 && c < 0xF5 ? 4
                                                      : 0;
        if (n == 0 || i + n > text.size()) return false;
        for (std::size_t k = 1; k < n; ++k)
            if ((byte(k) & 0xC0) != 0x80) return false;
        if ((c == 0xE0 && byte(1) < 0xA0) || (c == 0xED && byte(1) >= 0xA0) || (c == 0xF0 && byte(1) < 0x90) ||
            (c == 0xF4 && byte(1) >= 0x90))
            return false;
        i += n;
    }
    return true;
}

// Every diagnostic is one whole line with the program's prefix.
inline void requireMessageLines(const std::string& text) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) require(line.rfind("tavrel.exe: ", 0) == 0);
    require(text.empty() || text.back() == '\n');
}

}  // namespace tavrel::fuzz
