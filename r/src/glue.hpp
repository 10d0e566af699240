#pragma once
// Shared by the package's compiled functions: the observer that shows the
// engine's messages in R, the guard that turns every failure into an outcome
// the R side raises after the call, R objects made without a long jump
// through C++ frames, and the fit's state.
//
// Every entry point returns list(value, warnings, error, interrupted); the R
// function .engine() raises the warnings, then the error or the interrupt.
// No C++ exception leaves an entry point but Rcpp's LongjumpException, which
// Rcpp's wrapper turns back into the R error it came from (memory).

#include <Rcpp.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tavrel/tavrel.hpp"

namespace tavrel::r {

// Shows messages and progress on R's error stream (verbose) exactly as the
// console does, keeps the warnings for the R side to raise, and stops the
// analysis when the user interrupts R. Called by the library on the thread
// that called it: R's.
class RObserver final : public Observer {
public:
    explicit RObserver(bool verbose) : verbose_(verbose) {}

    void message(MessageKind kind, std::string_view text) override;
    void progress(std::string_view text) override;
    bool stopRequested() override;

    const std::vector<std::string>& warnings() const { return warnings_; }
    bool interrupted() const { return interrupted_; }

private:
    bool verbose_;
    bool interrupted_ = false;
    std::vector<std::string> warnings_;
};

// Keeps the objects given to it protected from R's garbage collector while
// it lives, also when an exception unwinds the frame.
class Protected {
public:
    Protected() = default;
    Protected(const Protected&) = delete;
    Protected& operator=(const Protected&) = delete;
    ~Protected() { UNPROTECT(count_); }
    SEXP operator()(SEXP x) {
        PROTECT(x);
        ++count_;
        return x;
    }

private:
    int count_ = 0;
};

// The outcome of a guarded body: its value, or the text of the failure.
// `fileVerb` completes the message of a file failure ("read", "write").
SEXP guarded(RObserver& observer, const char* fileVerb, const std::function<SEXP()>& body);

// R's allocators and setters, run so that an R error (memory) unwinds the
// C++ frames as an exception instead of jumping over them. The results are
// unprotected, like R's own.
SEXP allocate(SEXPTYPE type, R_xlen_t n);
SEXP stringsOf(const std::vector<std::string_view>& texts);
SEXP stringOf(std::string_view text);
void setAttribute(SEXP x, SEXP name, SEXP value);
void setNames(SEXP x, const std::vector<std::string_view>& names);
// A list of named elements; an element may be R_NilValue.
SEXP namedList(const std::vector<std::pair<std::string_view, SEXP>>& elements);
// A data frame of the columns (all of n rows); `rowNames` R_NilValue for
// automatic row names.
SEXP dataFrame(const std::vector<std::pair<std::string_view, SEXP>>& columns, R_xlen_t n, SEXP rowNames);

// Numeric columns without a copy (columns.cpp): one that keeps `values`, and
// one that views `length` numbers of a double vector from `offset`.
SEXP wrapColumn(std::vector<double>&& values);
SEXP viewColumn(SEXP vector, R_xlen_t offset, R_xlen_t length);

// Runs body(begin, end) over [0, n) cut into parts on up to `threads` threads
// (0: every processor), the calling thread among them. The bodies must not
// call R.
void forRanges(std::size_t n, std::size_t threads, const std::function<void(std::size_t, std::size_t)>& body);

// The bytes of one string of a character vector: UTF-8, or as stored when it
// is marked as bytes.
std::string_view textOf(SEXP strings, R_xlen_t i);

// A character vector (or NULL) as labels for the files.
ExamineeIds idsOf(SEXP ids);
std::vector<std::string> namesOf(SEXP names);

// The response table lent by a raw vector of N x J codes.
ResponseTable tableOf(SEXP codes, std::size_t nexaminees, std::size_t nitems);

// A fit as the package keeps it between calls: the engine's result but for
// the examinees' ranks, memberships and distances, which the R object holds,
// the options as the report lists them, and whether the items had names.
struct State {
    Result result;
    std::vector<ParameterText> parameters;
    bool itemNamesGiven = false;
};

SEXP saveState(const State& state);  // a raw vector
// Fails with std::invalid_argument on bytes of another build or damaged ones.
State loadState(SEXP bytes);
// The state with the examinees' rows taken back from the R object: ranks
// 1..K (integer), memberships and distances N x K (double matrices; distances
// only under "ls").
State loadFit(SEXP bytes, SEXP ranks, SEXP memberships, SEXP distances);

}  // namespace tavrel::r
