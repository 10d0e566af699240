#pragma once
// Test helpers: a temporary folder, and a run of the built tavrel binary in
// one, started as a user starts it from a shell.

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace tavrel::testing {

namespace fs = std::filesystem;

// A fresh folder under the system's temporary folder, removed with its content.
class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "tavrel-test-XXXXXX").string();
        path = ::mkdtemp(pattern.data());
    }
    TempDir(const TempDir&) = delete;
    ~TempDir() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }

    // Writes the file, creating its folders; returns its full path.
    std::string write(const std::string& name, const std::string& text) const {
        fs::create_directories((path / name).parent_path());
        std::ofstream(path / name, std::ios::binary) << text;
        return (path / name).string();
    }
    std::string read(const std::string& name) const {
        std::ostringstream text;
        text << std::ifstream(path / name, std::ios::binary).rdbuf();
        return text.str();
    }

    fs::path path;
};

// One run of the binary in a fresh working folder holding `files`, with
// `input` as its standard input and `environment` ("NAME=value ...") added to
// its environment; arguments hold no single quote.
struct TavrelRun {
    TempDir dir;
    int status = -1;
    std::string err, out;

    TavrelRun(const std::map<std::string, std::string>& files, const std::vector<std::string>& args,
              const std::string& input = "", const std::string& environment = "") {
        for (const auto& [name, text] : files) dir.write(name, text);
        // Standard streams go through files in the working folder.
        dir.write(".stdin", input);
        std::string command = "cd '";
        command += dir.path.string() + "' && " + environment + " '" TAVREL_BINARY "'";
        for (const std::string& arg : args) command += " '" + arg + "'";
        command += " <.stdin >.stdout 2>.stderr";
        const int raw = std::system(command.c_str());
        status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        err = dir.read(".stderr");
        out = dir.read(".stdout");
    }
    std::string file(const std::string& name) const { return dir.read(name); }
};

}  // namespace tavrel::testing
