#include "common/text_file.hpp"

#include <sys/stat.h>

#include <cstring>

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

OutputFile::OutputFile(const std::string& fileName) : file_(std::fopen(fileName.c_str(), "wb")), fileName_(fileName) {
    if (file_ == nullptr) throw FileFailure(fileName);
    buffer_.resize(kWriteChunk);
}

void OutputFile::put(std::string_view text) {
    while (!text.empty()) {
        if (used_ == buffer_.size()) flush();
        const std::size_t n = std::min(text.size(), buffer_.size() - used_);
        std::memcpy(buffer_.data() + used_, text.data(), n);
        used_ += n;
        text.remove_prefix(n);
    }
}

void OutputFile::flush() {
    if (used_ != 0 && std::fwrite(buffer_.data(), 1, used_, file_.get()) != used_) failed_ = true;
    used_ = 0;
}

void OutputFile::close() {
    flush();
    const bool closeFailed = std::fclose(file_.release()) != 0;
    if (failed_ || closeFailed) throw FileFailure(fileName_);
}

}  // namespace tavrel
