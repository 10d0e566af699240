#include "common/text_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "tavrel/failures.hpp"

namespace tavrel {
namespace {

constexpr std::size_t kWriteChunk = std::size_t{1} << 20;

}  // namespace

InputFile openForReading(const std::string& fileName) {
    InputFile in{FileHandle(std::fopen(fileName.c_str(), "rb"))};
    if (in.file == nullptr) throw FileFailure(fileName);
    struct stat info {};
    if (fstat(fileno(in.file.get()), &info) != 0 || S_ISDIR(info.st_mode)) throw FileFailure(fileName);
    in.size = S_ISREG(info.st_mode) ? static_cast<long long>(info.st_size) : 0;
    return in;
}

LineReader::LineReader(const std::string& fileName, std::size_t chunk) : input_(openForReading(fileName)) {
    buffer_.resize(chunk > 0 ? chunk : 1);
}

bool LineReader::fill() {
    if (eof_) return false;
    if (begin_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    if (end_ == buffer_.size()) buffer_.resize(buffer_.size() * 2);
    const std::size_t got = std::fread(buffer_.data() + end_, 1, buffer_.size() - end_, input_.file.get());
    if (got == 0) {
        // A read error ends the input like the end of the file does.
        eof_ = true;
        return false;
    }
    end_ += got;
    return true;
}

bool LineReader::next(std::string_view& line) {
    std::size_t scanned = begin_;
    for (;;) {
        const char* from = buffer_.data() + scanned;
        const void* lf = std::memchr(from, '\n', end_ - scanned);
        if (lf != nullptr) {
            const std::size_t at = static_cast<std::size_t>(static_cast<const char*>(lf) - buffer_.data());
            std::size_t stop = at;
            if (stop > begin_ && buffer_[stop - 1] == '\r') --stop;
            line = std::string_view(buffer_.data() + begin_, stop - begin_);
            begin_ = at + 1;
            return true;
        }
        const std::size_t offset = end_ - begin_;  // bytes scanned so far
        if (!fill()) break;
        scanned = begin_ + offset;
    }
    if (begin_ == end_) return false;
    line = std::string_view(buffer_.data() + begin_, end_ - begin_);
    begin_ = end_;
    return true;
}

std::string_view LineReader::peek(std::size_t n) {
    while (end_ - begin_ < n && fill()) {
    }
    return {buffer_.data() + begin_, std::min(n, end_ - begin_)};
}

namespace {

// Where an OutputFile writes: the temporary file and the target it renames
// over, or nothing for a file written directly.
struct Staging {
    std::string temporary;
    std::string target;
    mode_t mode = 0666;  // the new file's permissions before the umask
    bool keepMode = false;  // the target existed: its mode carries over
};

std::optional<Staging> stagingFor(const std::string& fileName) {
    if (fileName.empty()) return std::nullopt;
    // The file a symbolic link names is the one replaced, in its own folder.
    std::string target = fileName;
    if (char* resolved = ::realpath(fileName.c_str(), nullptr)) {
        target = resolved;
        std::free(resolved);
    }
    struct stat info {};
    const bool exists = ::stat(target.c_str(), &info) == 0;
    if (exists && !S_ISREG(info.st_mode)) return std::nullopt;
    // An existing file that may not be written is not replaced either.
    if (exists && ::access(target.c_str(), W_OK) != 0) throw FileFailure(fileName);
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    if (name.empty()) return std::nullopt;
    const long nameMax = ::pathconf(folder.c_str(), _PC_NAME_MAX);
    Staging staging;
    staging.temporary = (folder == "/" ? "" : folder) + "/" +
                        temporaryName(name, static_cast<long>(::getpid()), nameMax > 0 ? std::size_t(nameMax) : 255);
    staging.target = std::move(target);
    if (exists) staging.mode = info.st_mode & 07777, staging.keepMode = true;
    return staging;
}

// Creates the temporary file afresh (an old one of this name, left by a
// killed run, is replaced; a link in its place is not followed); null when
// the folder takes no new file.
std::FILE* createTemporary(const Staging& staging) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int fd = ::open(staging.temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                              staging.mode);
        if (fd >= 0) {
            if (staging.keepMode) ::fchmod(fd, staging.mode);
            if (std::FILE* file = ::fdopen(fd, "wb")) return file;
            ::close(fd);
            ::unlink(staging.temporary.c_str());
            return nullptr;
        }
        if (errno != EEXIST || ::unlink(staging.temporary.c_str()) != 0) return nullptr;
    }
    return nullptr;
}

}  // namespace

std::string temporaryName(std::string_view name, long processId, std::size_t nameMax) {
    const std::string suffix = ".tavrel-" + std::to_string(processId);
    const std::size_t room = nameMax > suffix.size() + 1 ? nameMax - suffix.size() - 1 : 1;
    std::string temporary(1, '.');
    temporary.append(name.substr(0, room));
    temporary.append(suffix);
    return temporary;
}

OutputFile::OutputFile(const std::string& fileName) : fileName_(fileName) {
    if (const std::optional<Staging> staging = stagingFor(fileName)) {
        file_.reset(createTemporary(*staging));
        if (file_ != nullptr) temporary_ = staging->temporary, target_ = staging->target;
    }
    if (file_ == nullptr) file_.reset(std::fopen(fileName.c_str(), "wb"));
    if (file_ == nullptr) throw FileFailure(fileName);
    try {
        buffer_ = std::make_unique_for_overwrite<char[]>(kWriteChunk);
        capacity_ = kWriteChunk;
    } catch (...) {
        if (!temporary_.empty()) ::unlink(temporary_.c_str());
        throw;
    }
}

OutputFile::~OutputFile() {
    // Not closed: a failure or a stop came first; the target stays as it was.
    if (file_ != nullptr && !temporary_.empty()) {
        file_.reset();
        ::unlink(temporary_.c_str());
    }
}

void OutputFile::put(std::string_view text) {
    // Text of a chunk or more goes to the file as it is, after what is buffered.
    if (text.size() >= capacity_) {
        flush();
        if (std::fwrite(text.data(), 1, text.size(), file_.get()) != text.size()) failed_ = true;
        return;
    }
    while (!text.empty()) {
        if (used_ == capacity_) flush();
        const std::size_t n = std::min(text.size(), capacity_ - used_);
        std::memcpy(buffer_.get() + used_, text.data(), n);
        used_ += n;
        text.remove_prefix(n);
    }
}

void OutputFile::flush() {
    if (used_ != 0 && std::fwrite(buffer_.get(), 1, used_, file_.get()) != used_) failed_ = true;
    used_ = 0;
}

void OutputFile::close() {
    flush();
    const bool closeFailed = std::fclose(file_.release()) != 0;
    if (temporary_.empty()) {
        if (failed_ || closeFailed) throw FileFailure(fileName_);
        return;
    }
    if (failed_ || closeFailed || ::rename(temporary_.c_str(), target_.c_str()) != 0) {
        ::unlink(temporary_.c_str());
        throw FileFailure(fileName_);
    }
}

}  // namespace tavrel
