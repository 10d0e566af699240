#pragma once
// Delimited result files with the number formats of the program: a field
// formatter over a byte sink, the result file it writes to, and a memory
// buffer for rows formatted apart and written to the file later, in order.

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/text_file.hpp"
#include "common/workers.hpp"
#include "output/field_quoting.hpp"
#include "common/number_format.hpp"

namespace tavrel {

// Writes fields to a sink with put(char), put(std::string_view),
// reserve(n) and commit(n) (OutputFile, RowBuffer).
template <class Sink>
class FieldFormatter {
public:
    FieldFormatter(Sink& sink, char delimiter) : sink_(sink), delimiter_(delimiter) {}

    void delimiter() { sink_.put(delimiter_); }
    void text(std::string_view s) { sink_.put(s); }
    void endLine() { sink_.put('\n'); }
    void integer(std::int64_t v) { sink_.commit(formatInteger(v, sink_.reserve(kMaxNumberText))); }
    // General notation with 6 significant digits, as a default-state stream.
    void number(double v) { sink_.commit(formatGeneral(v, sink_.reserve(kMaxNumberText))); }
    // A statistic: NA for a value that does not exist (NaN), Inf or -Inf for
    // an infinite one, as R and pandas read them; otherwise as number().
    void statistic(double v) { sink_.commit(formatStatistic(v, 6, sink_.reserve(kMaxNumberText))); }
    // A text field, in double quotes (each quote doubled) when it holds the
    // delimiter, a double quote, CR or LF.
    void field(std::string_view s) { writeField(sink_, s, delimiter_); }
    char delimiterChar() const { return delimiter_; }

    // The first header field, then the rank numbers 1..K, and the line end.
    void rankHeader(std::string_view first, std::size_t K) {
        text(first);
        for (std::size_t k = 1; k <= K; ++k) {
            delimiter();
            integer(static_cast<std::int64_t>(k));
        }
        endLine();
    }

private:
    Sink& sink_;
    char delimiter_;
};

// A growable memory buffer with the sink operations of OutputFile. Each on
// a cache line of its own: buffers side by side are written by different
// workers.
class alignas(kCacheLine) RowBuffer {
public:
    void put(char c) { *reserve(1) = c, ++used_; }
    void put(std::string_view s);
    char* reserve(std::size_t n) {
        if (bytes_.size() - used_ < n) bytes_.resize(2 * bytes_.size() + n);
        return bytes_.data() + used_;
    }
    void commit(std::size_t n) { used_ += n; }
    std::string_view view() const { return {bytes_.data(), used_}; }
    void clear() { used_ = 0; }

private:
    std::vector<char> bytes_;
    std::size_t used_ = 0;
};

namespace detail {
struct OpenFile {
    explicit OpenFile(const std::string& fileName) : file(fileName) {}
    OutputFile file;
};
}  // namespace detail

class ResultFile : private detail::OpenFile, public FieldFormatter<OutputFile> {
public:
    // Creates or truncates the file; FileFailure when it cannot be opened.
    ResultFile(const std::string& fileName, char delimiter)
        : detail::OpenFile(fileName), FieldFormatter<OutputFile>(file, delimiter) {}

    // Rows formatted apart, as they are.
    void put(const RowBuffer& rows) { file.put(rows.view()); }
    // Raises FileFailure when a write failed.
    void close() { file.close(); }
};

// Writes rows 0..n-1 in order, row i formatted by format(out, i) into a
// FieldFormatter. One worker formats straight into the file. Several format
// rounds of row blocks into buffers of their own; while the workers format one
// round, one of them writes the round before to the file, in order, so the
// bytes are the same. A round holds at most 128 blocks, so the buffers stay
// a few tens of MB however many workers there are.
template <class Format>
void writeRows(ResultFile& file, std::size_t n, Workers& workers, Format&& format) {
    if (workers.count() == 1) {
        for (std::size_t i = 0; i < n; ++i) format(file, i);
        return;
    }
    constexpr std::size_t kRowsPerBlock = 512;
    constexpr std::size_t kMostBlocksPerRound = 128;
    const std::size_t perRound = std::min(workers.count() * 16, kMostBlocksPerRound);
    const char delimiter = file.delimiterChar();
    const std::size_t roundRows = perRound * kRowsPerBlock;
    std::vector<RowBuffer> buffers(2 * perRound);  // this round's and the last round's
    std::size_t waiting = 0;                       // blocks of the last round not yet written
    for (std::size_t round = 0, first = 0; first < n || waiting > 0; ++round, first += roundRows) {
        const std::size_t rows = first < n ? std::min(n - first, roundRows) : 0;
        const std::size_t blocks = (rows + kRowsPerBlock - 1) / kRowsPerBlock;
        RowBuffer* current = buffers.data() + (round % 2) * perRound;
        const RowBuffer* last = buffers.data() + (round + 1) % 2 * perRound;
        const std::size_t writing = waiting;
        // Block 0 writes the last round (when there is one); the others format.
        const std::size_t offset = writing > 0 ? 1 : 0;
        workers.forEachBlock(blocks + offset, [&](std::size_t b) {
            if (b < offset) {
                for (std::size_t w = 0; w < writing; ++w) file.put(last[w]);
                return;
            }
            const std::size_t block = b - offset;
            current[block].clear();
            FieldFormatter<RowBuffer> out(current[block], delimiter);
            const std::size_t begin = first + block * kRowsPerBlock;
            const std::size_t end = std::min(begin + kRowsPerBlock, first + rows);
            for (std::size_t i = begin; i < end; ++i) format(out, i);
        });
        waiting = blocks;
    }
}

}  // namespace tavrel
