// The columns of a data frame or matrix as the response table: one byte per
// cell, examinee-major, '1' correct, '0' incorrect, '.' missing. Blocks of
// rows are converted on several threads; they read R's memory through plain
// pointers taken beforehand and never call R.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <optional>
#include <thread>
#include <vector>

#include "common/processors.hpp"
#include "glue.hpp"

namespace tavrel::r {
namespace {

constexpr char kMissing = '.';

// One column as the conversion reads it; a column of another type is not
// answers at all (its first row is reported).
struct Source {
    enum class Kind { Logical, Integer, Double, Other } kind = Kind::Other;
    const int* ints = nullptr;
    const double* doubles = nullptr;
};

// Writes the codes of rows [begin, end) of one column into out (row i at
// out[i * J]); returns true when a value is not an answer. Without branches
// on the values: answers come in no order a branch could predict.
bool encodeRows(const Source& c, std::size_t begin, std::size_t end, char* out, std::size_t J) {
    bool bad = false;
    char* o = out + begin * J;
    constexpr int kOne = '1' - kMissing, kZero = '0' - kMissing;
    switch (c.kind) {
        case Source::Kind::Logical:
        case Source::Kind::Integer:
            for (std::size_t i = begin; i < end; ++i, o += J) {
                const int v = c.ints[i];
                const bool one = v == 1, zero = v == 0;
                *o = static_cast<char>(kMissing + kOne * one + kZero * zero);
                bad |= !one & !zero & (v != NA_INTEGER);  // NA_LOGICAL is NA_INTEGER
            }
            break;
        case Source::Kind::Double:
            for (std::size_t i = begin; i < end; ++i, o += J) {
                const double v = c.doubles[i];
                const bool one = v == 1.0, zero = v == 0.0;
                *o = static_cast<char>(kMissing + kOne * one + kZero * zero);
                bad |= !one & !zero & (v == v);  // NA and NaN are missing
            }
            break;
        case Source::Kind::Other:
            return end > begin;
    }
    return bad;
}

bool badCell(const Source& c, std::size_t i) {
    switch (c.kind) {
        case Source::Kind::Logical:
        case Source::Kind::Integer: {
            const int v = c.ints[i];
            return v != 1 && v != 0 && v != NA_INTEGER;
        }
        case Source::Kind::Double: {
            const double v = c.doubles[i];
            return v != 1.0 && v != 0.0 && v == v;
        }
        case Source::Kind::Other: break;
    }
    return true;
}

struct BadCell {
    std::size_t row, column;
};

// Rows per block: a block of every column stays in the caches while its
// columns are read one after another.
constexpr std::size_t kBlockRows = 512;

// Rows [begin, end); the first cell in row-major order that is not an answer.
std::optional<BadCell> encodeRange(const std::vector<Source>& columns, std::size_t begin, std::size_t end, char* out,
                                   const std::atomic<std::size_t>& firstBadRow) {
    const std::size_t J = columns.size();
    for (std::size_t from = begin; from < end; from += kBlockRows) {
        if (from > firstBadRow.load(std::memory_order_relaxed)) return std::nullopt;  // an earlier block failed
        const std::size_t to = std::min(end, from + kBlockRows);
        bool bad = false;
        for (std::size_t j = 0; j < J; ++j) bad |= encodeRows(columns[j], from, to, out + j, J);
        if (!bad) continue;
        for (std::size_t i = from; i < to; ++i)
            for (std::size_t j = 0; j < J; ++j)
                if (badCell(columns[j], i)) return BadCell{i, j};
    }
    return std::nullopt;
}

Source sourceOf(SEXP x, std::size_t offset) {
    Source c;
    if (Rf_getAttrib(x, R_ClassSymbol) != R_NilValue) return c;  // a factor, a date...
    switch (TYPEOF(x)) {
        case LGLSXP: c.kind = Source::Kind::Logical, c.ints = LOGICAL(x) + offset; break;
        case INTSXP: c.kind = Source::Kind::Integer, c.ints = INTEGER(x) + offset; break;
        case REALSXP: c.kind = Source::Kind::Double, c.doubles = REAL(x) + offset; break;
        default: break;
    }
    return c;
}

}  // namespace

}  // namespace tavrel::r

using namespace tavrel;
using namespace tavrel::r;

// The response table of `data`: a matrix (N x J) or a list of J columns of N
// rows each (a data frame), columns taken in `order` (1-based; NULL: as they
// are). Returns list(codes = raw N x J or NULL, bad = c(row, column) of the
// first value that is not an answer, or NULL; seconds = the conversion's time).
// [[Rcpp::export(name = ".encode_responses")]]
SEXP tavrel_encode_responses(SEXP data, SEXP nrows, SEXP order, SEXP threads) {
    RObserver observer(false);
    return guarded(observer, "read", [&]() -> SEXP {
        const auto start = std::chrono::steady_clock::now();
        const std::size_t N = static_cast<std::size_t>(Rf_asReal(nrows));
        const bool matrix = TYPEOF(data) != VECSXP;
        std::vector<std::size_t> take;
        if (order != R_NilValue) {
            for (R_xlen_t j = 0; j < XLENGTH(order); ++j) take.push_back(std::size_t(INTEGER(order)[j] - 1));
        } else {
            const std::size_t count = matrix ? std::size_t(Rf_ncols(data)) : std::size_t(XLENGTH(data));
            for (std::size_t j = 0; j < count; ++j) take.push_back(j);
        }
        const std::size_t J = take.size();
        std::vector<Source> columns;
        for (const std::size_t j : take) {
            if (matrix) {
                columns.push_back(sourceOf(data, j * N));
                continue;
            }
            SEXP column = VECTOR_ELT(data, R_xlen_t(j));
            if (std::size_t(Rf_xlength(column)) != N)
                throw std::invalid_argument("the columns of the data must all have one value per row");
            columns.push_back(sourceOf(column, 0));
        }
        if (matrix && Rf_getAttrib(data, R_ClassSymbol) != R_NilValue)
            for (Source& c : columns) c.kind = Source::Kind::Other;

        Protected p;
        SEXP codes = p(allocate(RAWSXP, R_xlen_t(N * J)));
        char* out = reinterpret_cast<char*>(RAW(codes));
        const std::size_t wanted = Rf_asInteger(threads) > 0 ? std::size_t(Rf_asInteger(threads)) : availableProcessors();
        // A thread for at least 64 blocks of rows.
        const std::size_t parts = std::clamp<std::size_t>(N / (64 * kBlockRows), 1, std::min<std::size_t>(wanted, 64));
        std::vector<std::optional<BadCell>> found(parts);
        std::atomic<std::size_t> firstBadRow{N};
        const auto run = [&](std::size_t part) {
            const std::size_t begin = N * part / parts, end = N * (part + 1) / parts;
            found[part] = encodeRange(columns, begin, end, out, firstBadRow);
            if (!found[part]) return;
            std::size_t row = firstBadRow.load();
            while (found[part]->row < row && !firstBadRow.compare_exchange_weak(row, found[part]->row)) {
            }
        };
        {
            std::vector<std::jthread> workers;
            for (std::size_t part = 1; part < parts; ++part) workers.emplace_back(run, part);
            run(0);
        }
        std::optional<BadCell> bad;
        for (const std::optional<BadCell>& cell : found)
            if (cell && (!bad || cell->row < bad->row)) bad = cell;
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

        SEXP where = R_NilValue;
        if (bad) {
            where = p(allocate(REALSXP, 2));
            REAL(where)[0] = double(bad->row + 1);
            REAL(where)[1] = double(take[bad->column] + 1);
        }
        SEXP time = p(allocate(REALSXP, 1));
        REAL(time)[0] = seconds;
        return namedList({{"codes", bad ? R_NilValue : codes}, {"bad", where}, {"seconds", time}});
    });
}

