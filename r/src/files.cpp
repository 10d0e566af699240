// The files: the result files and the report written from a fit, and the
// console program's readers of response data.

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "glue.hpp"

namespace tavrel::r {
namespace {

// The labels of a fit's files: its ids and, when the data had them, its
// item names.
struct FitLabels {
    ExamineeIds ids;
    std::vector<std::string> itemNames;

    FitLabels(SEXP idVector, SEXP nameVector, const State& state)
        : ids(idsOf(idVector)), itemNames(state.itemNamesGiven ? namesOf(nameVector) : std::vector<std::string>{}) {
        const Result& r = state.result;
        if (ids.present() && ids.size() != r.nexaminees)
            throw std::invalid_argument("the fit's ranks must be named by one id per examinee, as lra() made them");
        if (!itemNames.empty() && itemNames.size() != r.nitems)
            throw std::invalid_argument("the fit's profile must have one row name per item, as lra() made it");
    }
    Labels view() const { return Labels{ids, itemNames}; }
};

// The rows of a sweep as lra_sweep() gives them, its 26 columns in the sweep
// file's order with the types lra_sweep() makes (NA of the seed and
// converged where the file writes NA).
std::vector<SweepRow> sweepRowsOf(SEXP sweep) {
    static constexpr SEXPTYPE kTypes[26] = {INTSXP,  STRSXP,  INTSXP,  INTSXP,  LGLSXP,  REALSXP, REALSXP,
                                            REALSXP, REALSXP, REALSXP, REALSXP, REALSXP, REALSXP, REALSXP,
                                            REALSXP, REALSXP, REALSXP, REALSXP, REALSXP, REALSXP, REALSXP,
                                            REALSXP, LGLSXP,  LGLSXP,  REALSXP, REALSXP};
    if (TYPEOF(sweep) != VECSXP || XLENGTH(sweep) != 26)
        throw std::invalid_argument("the sweep must be the 26 columns of lra_sweep()");
    const R_xlen_t n = XLENGTH(VECTOR_ELT(sweep, 0));
    for (R_xlen_t c = 0; c < 26; ++c)
        if (SEXPTYPE(TYPEOF(VECTOR_ELT(sweep, c))) != kTypes[c] || XLENGTH(VECTOR_ELT(sweep, c)) != n)
            throw std::invalid_argument("the sweep's columns must have the types and lengths of lra_sweep()'s");
    const auto column = [&](R_xlen_t c) { return VECTOR_ELT(sweep, c); };
    std::vector<SweepRow> rows(static_cast<std::size_t>(n));
    for (R_xlen_t i = 0; i < n; ++i) {
        SweepRow& row = rows[std::size_t(i)];
        row.nranks = INTEGER(column(0))[i];
        const std::optional<Method> method =
            STRING_ELT(column(1), i) == NA_STRING ? std::nullopt : methodFromWord(textOf(column(1), i));
        if (!method || row.nranks < 1) throw std::invalid_argument("a row of the sweep lacks its rank count or method");
        row.method = *method;
        const int seed = INTEGER(column(2))[i];
        row.seed = seed == NA_INTEGER ? 0 : seed;
        row.passes = INTEGER(column(3))[i];
        row.converged = LOGICAL(column(4))[i] == TRUE;
        row.loglikMarginal = REAL(column(5))[i];
        FitIndices& f = row.fit;
        double* fields[] = {&f.loglikModel, &f.loglikBenchmark, &f.loglikNull, &f.chisqModel, &f.chisqNull, &f.dfModel,
                            &f.dfNull,      &f.NFI,             &f.RFI,        &f.IFI,        &f.TLI,       &f.CFI,
                            &f.RMSEA,       &f.AIC,             &f.CAIC,       &f.BIC};
        R_xlen_t c = 6;
        for (double* field : fields) *field = REAL(column(c++))[i];
        row.weaklyOrdinal = LOGICAL(column(22))[i] == TRUE;
        row.stronglyOrdinal = LOGICAL(column(23))[i] == TRUE;
        row.smallestRankShare = REAL(column(24))[i];
        row.rankScoreCorrelation = REAL(column(25))[i];
    }
    return rows;
}

}  // namespace

}  // namespace tavrel::r

using namespace tavrel;
using namespace tavrel::r;

// Writes the result files of `paths` (a character vector in the files' order,
// NA for a file not written).
// [[Rcpp::export(name = ".write_results")]]
SEXP tavrel_write_results(SEXP state, SEXP ranks, SEXP memberships, SEXP distances, SEXP ids, SEXP itemNames, SEXP paths,
                  std::string delimiter, int threads, bool verbose) {
    RObserver observer(verbose);
    return guarded(observer, "write", [&]() -> SEXP {
        const State fit = loadFit(state, ranks, memberships, distances);
        const FitLabels labels(ids, itemNames, fit);
        ResultFileNames files;
        std::optional<std::string>* slots[] = {&files.outfile,  &files.rankfile, &files.rmpfile,
                                               &files.worpfile, &files.uorpfile, &files.testfile,
                                               &files.itemfile, &files.trpfile,  &files.examineefile};
        if (TYPEOF(paths) != STRSXP || XLENGTH(paths) != 9)
            throw std::invalid_argument("nine file paths are needed");
        for (R_xlen_t f = 0; f < 9; ++f)
            if (STRING_ELT(paths, f) != NA_STRING) *slots[f] = std::string(textOf(paths, f));
        writeResultFiles(files, fit.result, labels.view(), delimiter.at(0), std::size_t(std::max(threads, 0)),
                         observer);
        return R_NilValue;
    });
}

// Writes the report page, with the fit's options as its run parameters and
// a rank sweep's rows (NULL: none).
// [[Rcpp::export(name = ".write_report")]]
SEXP tavrel_write_report(SEXP state, SEXP ranks, SEXP memberships, SEXP distances, SEXP ids, SEXP itemNames,
                     SEXP path, SEXP dataName, SEXP sweep, bool verbose) {
    RObserver observer(verbose);
    return guarded(observer, "write", [&]() -> SEXP {
        const State fit = loadFit(state, ranks, memberships, distances);
        const FitLabels labels(ids, itemNames, fit);
        const std::string data(textOf(dataName, 0));
        const std::vector<SweepRow> rows = sweep == R_NilValue ? std::vector<SweepRow>{} : sweepRowsOf(sweep);
        const ReportContext context{data, fit.parameters, rows};
        writeReport(std::string(textOf(path, 0)), fit.result, labels.view(), context, observer);
        return R_NilValue;
    });
}

// Writes the sweep file of a rank sweep's rows.
// [[Rcpp::export(name = ".write_sweep")]]
SEXP tavrel_write_sweep(SEXP sweep, SEXP path, std::string delimiter, bool verbose) {
    RObserver observer(verbose);
    return guarded(observer, "write", [&]() -> SEXP {
        const std::vector<SweepRow> rows = sweepRowsOf(sweep);
        writeSweepFile(std::string(textOf(path, 0)), rows, delimiter.at(0), observer);
        return R_NilValue;
    });
}

// The canonical word of an encoding's name, or NULL for an unknown one.
// [[Rcpp::export(name = ".encoding_word")]]
SEXP tavrel_encoding_word(SEXP word) {
    if (TYPEOF(word) != STRSXP || XLENGTH(word) != 1 || STRING_ELT(word, 0) == NA_STRING) return R_NilValue;
    const std::optional<TextEncoding> encoding = encodingNamed(textOf(word, 0));
    return encoding ? stringOf(encodingWord(*encoding)) : R_NilValue;
}

// Reads a response data file with the data keys given (NULL: not given), the
// layout completed as a setting file's data keys are: list(columns = J integer
// vectors 1/0/NA, ids = character or NULL, names = character, empty without a
// header).
// [[Rcpp::export(name = ".read_responses")]]
SEXP tavrel_read_responses(SEXP path, std::string delimiter, SEXP idbegin, SEXP idlength, SEXP databegin,
                           SEXP nitems, SEXP firstobs, SEXP nobs, SEXP header, SEXP na, SEXP encoding, bool verbose) {
    RObserver observer(verbose);
    return guarded(observer, "read", [&]() -> SEXP {
        const auto whole = [](SEXP x) -> std::optional<std::int64_t> {
            if (x == R_NilValue) return std::nullopt;
            return static_cast<std::int64_t>(Rf_asReal(x));
        };
        const auto narrow = [&](SEXP x) -> std::optional<std::int32_t> {
            if (const std::optional<std::int64_t> v = whole(x)) return static_cast<std::int32_t>(*v);
            return std::nullopt;
        };
        DataKeys keys;
        keys.infile = std::string(textOf(path, 0));
        keys.delimiter = delimiter.empty() ? '\0' : delimiter[0];
        keys.idbegin = whole(idbegin);
        keys.idlength = narrow(idlength);
        keys.databegin = whole(databegin);
        keys.nitems = narrow(nitems);
        keys.firstobs = whole(firstobs);
        keys.nobs = whole(nobs);
        if (header != R_NilValue) keys.header = Rf_asLogical(header) == TRUE;
        if (na != R_NilValue) keys.na = std::string(textOf(na, 0));
        const std::optional<TextEncoding> named = encodingNamed(textOf(encoding, 0));
        if (!named) throw std::invalid_argument("the encoding is unknown");
        keys.encoding = *named;
        ResponseData data = readResponses(completeDataLayout(keys, observer), observer);

        const std::size_t N = std::size_t(data.nexaminees), J = std::size_t(data.nitems);
        Protected p;
        SEXP columns = p(allocate(VECSXP, R_xlen_t(J)));
        for (std::size_t j = 0; j < J; ++j) {
            SEXP column = allocate(INTSXP, R_xlen_t(N));
            SET_VECTOR_ELT(columns, R_xlen_t(j), column);
            int* out = INTEGER(column);
            const char* in = data.responses.data() + j;
            for (std::size_t i = 0; i < N; ++i, in += J) out[i] = *in == '1' ? 1 : *in == '0' ? 0 : NA_INTEGER;
        }
        data.responses = std::string();
        SEXP ids = R_NilValue;
        if (data.ids.present()) {
            std::vector<std::string_view> texts;
            texts.reserve(data.ids.size());
            for (std::size_t i = 0; i < data.ids.size(); ++i) texts.push_back(data.ids[i]);
            ids = p(stringsOf(texts));
        }
        SEXP names = p(stringsOf(std::vector<std::string_view>(data.itemNames.begin(), data.itemNames.end())));
        return namedList({{"columns", columns}, {"ids", ids}, {"names", names}});
    });
}

