#pragma once
// Buffered text files: line input and unformatted output, both raising
// FileFailure with the file name as the settings gave it.

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel {

// Bytes the readers read at a time; a longer line or record grows the buffer.
inline constexpr std::size_t kReadChunk = std::size_t{1} << 20;

// An open C file, closed when the handle goes.
struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// A file opened for reading in binary mode, and its size in bytes (0 when the
// system does not know it).
struct InputFile {
    FileHandle file;
    long long size = 0;
};

// A missing file or a directory, which opens on POSIX systems but reads as
// nothing, raises FileFailure: a wrong path must not pass for an empty file.
InputFile openForReading(const std::string& fileName);

// Reads a file line by line. A line ends at LF or at a CR LF pair, neither of
// which belongs to it; a last line without a line end is read too.
class LineReader {
public:
    // Opens the file; a missing file or a directory raises FileFailure.
    // `chunk` (at least 1) is the number of bytes read at a time.
    explicit LineReader(const std::string& fileName, std::size_t chunk = kReadChunk);

    // The next line, valid until the next call; false at the end of the file.
    bool next(std::string_view& line);
    // The next n bytes unread (fewer at the end of the file), valid until the
    // next call of next().
    std::string_view peek(std::size_t n);

    // Size of the file in bytes, as far as the system knows it (0 if not).
    long long fileSize() const { return input_.size; }

private:
    bool fill();

    InputFile input_;
    std::vector<char> buffer_;
    std::size_t begin_ = 0;  // first unread byte
    std::size_t end_ = 0;    // one past the last byte read
    bool eof_ = false;
};

// Writes a file through a large buffer. close() reports a write that failed
// (a full device, an I/O error) as FileFailure, so no result file is ever
// announced as written when it is not.
//
// A file is complete or as it was: the bytes go to a temporary file beside
// the target (after following symbolic links), named "." + the target's name
// + ".tavrel-" + the process id, which close() renames over the target once
// everything is written; an OutputFile destroyed before close() removes it.
// A target that exists and is not a regular file (a device, a pipe) is
// written directly, and so is one whose folder takes no new file; a target
// that exists and is not writable is the file failure.
class OutputFile {
public:
    explicit OutputFile(const std::string& fileName);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void put(char c) {
        if (used_ == capacity_) flush();
        buffer_[used_++] = c;
    }
    void put(std::string_view text);
    // Room for at least n more bytes at the returned pointer; commit(m) keeps m.
    char* reserve(std::size_t n) {
        if (capacity_ - used_ < n) flush();
        return buffer_.get() + used_;
    }
    void commit(std::size_t n) { used_ += n; }

    void close();

private:
    void flush();

    FileHandle file_;
    std::string fileName_;   // as given: the name every failure carries
    std::string temporary_;  // empty: the target is written directly
    std::string target_;     // what the temporary file replaces
    // Not zeroed: a page put whole goes past it to the file, untouched.
    std::unique_ptr<char[]> buffer_;
    std::size_t capacity_ = 0;
    std::size_t used_ = 0;
    bool failed_ = false;
};

// The temporary name OutputFile writes `target` under, in `folder`: "." + its
// name + ".tavrel-" + the process id, the name shortened to fit `nameMax`.
std::string temporaryName(std::string_view name, long processId, std::size_t nameMax);

}  // namespace tavrel
