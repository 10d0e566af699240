#pragma once
// Test helpers: a temporary folder, and a run of the built tavrel binary in
// one, as a user would start it from a shell.

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace tavrel::testing {

namespace fs = std::filesystem;

// A fresh folder under the system's temporary folder, removed with its content.
class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "tavrel-test-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // Writes the file (creating its folders) and returns its full path.
    std::string write(const std::string& name, const std::string& text) const {
        const fs::path file = path_ / name;
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << text;
        return file.string();
    }
    std::string read(const std::string& name) const {
        std::ifstream in(path_ / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    bool exists(const std::string& name) const { return fs::exists(path_ / name); }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

// One run of the binary in a fresh working folder holding `files`, with
// `input` as its standard input.
struct TavrelRun {
    TempDir dir;
    int status = -1;
    std::string err;
    std::string out;

    TavrelRun(const std::map<std::string, std::string>& files, const std::vector<std::string>& args,
              const std::string& input = "") {
        for (const auto& [name, text] : files) dir.write(name, text);
        const TempDir io;
        std::string command = "cd";
        const auto word = [&command](const std::string& prefix, const std::string& s) {
            command.append(prefix).append("'").append(s).append("'");
        };
        word(" ", dir.path().string());
        word(" && ", TAVREL_BINARY);
        for (const std::string& arg : args) word(" ", arg);
        word(" <", io.write("in", input));
        word(" >", (io.path() / "out").string());
        word(" 2>", (io.path() / "err").string());
        const int raw = std::system(command.c_str());
        status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        err = io.read("err");
        out = io.read("out");
    }
    std::string file(const std::string& name) const { return dir.read(name); }
};

// The lines of a text whose every line ends with "\n".
inline std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t from = 0, end; from < text.size(); from = end + 1) {
        end = text.find('\n', from);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(from, end - from));
    }
    return lines;
}

}  // namespace tavrel::testing
