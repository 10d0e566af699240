// The analysis of a response table into the R object of a fit, scoring other
// examinees under a fit, and what the plots take from the fit's state.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "glue.hpp"

namespace tavrel::r {
namespace {

constexpr double kIntMax = double(std::numeric_limits<int>::max());

bool fitsInteger(double v) { return std::isnan(v) || (v >= -kIntMax && v <= kIntMax); }

// The engine's "does not exist" (NaN) as R's NA.
double naOf(double v) { return std::isnan(v) ? NA_REAL : v; }

SEXP doubleOf(double v) {
    SEXP x = allocate(REALSXP, 1);
    REAL(x)[0] = naOf(v);
    return x;
}

// A data frame of `first` (the key column, R_NilValue for none) and the
// table's columns: counts copied into integers, numbers kept where the
// engine left them (NaN turned into NA). A column named membership_k is
// column k of `memberships` instead, the same numbers.
SEXP statisticsFrame(std::string_view firstName, SEXP first, std::vector<Column>& table, R_xlen_t rows,
                     SEXP rowNames, SEXP memberships = R_NilValue) {
    Protected p;
    SEXP list = p(allocate(VECSXP, R_xlen_t(table.size()) + (first != R_NilValue ? 1 : 0)));
    std::vector<std::string_view> names;
    R_xlen_t at = 0;
    if (first != R_NilValue) {
        SET_VECTOR_ELT(list, at++, first);
        names.push_back(firstName);
    }
    std::size_t membership = 0;
    for (Column& column : table) {
        names.push_back(column.name);
        if (memberships != R_NilValue && column.name == "membership_" + std::to_string(membership + 1)) {
            SET_VECTOR_ELT(list, at++, viewColumn(memberships, R_xlen_t(membership) * rows, rows));
            ++membership;
            continue;
        }
        const std::vector<double>& values = column.values;
        if (column.kind == Column::Kind::Count && std::all_of(values.begin(), values.end(), fitsInteger)) {
            SEXP out = allocate(INTSXP, R_xlen_t(values.size()));
            SET_VECTOR_ELT(list, at++, out);
            int* q = INTEGER(out);
            for (std::size_t i = 0; i < values.size(); ++i) q[i] = std::isnan(values[i]) ? NA_INTEGER : int(values[i]);
            continue;
        }
        for (double& v : column.values) v = naOf(v);
        SET_VECTOR_ELT(list, at++, wrapColumn(std::move(column.values)));
    }
    std::vector<std::pair<std::string_view, SEXP>> columns;
    for (R_xlen_t c = 0; c < at; ++c) columns.emplace_back(names[std::size_t(c)], VECTOR_ELT(list, c));
    return dataFrame(columns, rows, rowNames);
}

// The test file's rows as a named list.
SEXP testList(const Result& result) {
    const std::vector<TestEntry> entries = testStatisticsTable(result);
    Protected p;
    SEXP out = p(allocate(VECSXP, R_xlen_t(entries.size())));
    std::vector<std::string_view> names;
    for (std::size_t e = 0; e < entries.size(); ++e) {
        names.push_back(entries[e].name);
        SEXP value = std::visit(
            [](const auto& v) -> SEXP {
                using T = std::decay_t<decltype(v)>;
                if constexpr (std::is_same_v<T, std::monostate>) {
                    SEXP x = allocate(LGLSXP, 1);
                    LOGICAL(x)[0] = NA_LOGICAL;
                    return x;
                } else if constexpr (std::is_same_v<T, std::int64_t>) {
                    if (fitsInteger(double(v))) {
                        SEXP x = allocate(INTSXP, 1);
                        INTEGER(x)[0] = int(v);
                        return x;
                    }
                    SEXP x = allocate(REALSXP, 1);
                    REAL(x)[0] = double(v);
                    return x;
                } else if constexpr (std::is_same_v<T, double>) {
                    return doubleOf(v);
                } else if constexpr (std::is_same_v<T, std::string>) {
                    return stringOf(v);
                } else {
                    SEXP x = allocate(LGLSXP, 1);
                    LOGICAL(x)[0] = v ? TRUE : FALSE;
                    return x;
                }
            },
            entries[e].value);
        SET_VECTOR_ELT(out, R_xlen_t(e), value);
    }
    setNames(out, names);
    return out;
}

// The rank labels "1".."K".
SEXP rankLabels(std::size_t K) {
    std::vector<std::string> texts;
    for (std::size_t k = 1; k <= K; ++k) texts.push_back(std::to_string(k));
    return stringsOf(std::vector<std::string_view>(texts.begin(), texts.end()));
}

// An R matrix rows x K (column-major) of the engine's rows (row-major),
// with the dimnames given.
SEXP matrixOf(const std::vector<double>& values, std::size_t rows, std::size_t K, SEXP rowNames, SEXP rankNames,
              std::size_t threads, const std::vector<char>* rowUse = nullptr) {
    Protected keep;
    SEXP out = keep(allocate(REALSXP, R_xlen_t(rows * K)));
    double* p = REAL(out);
    // Row blocks keep the reads of the engine's rows and the writes of R's
    // columns in the caches.
    forRanges(rows, threads, [&](std::size_t begin, std::size_t end) {
        constexpr std::size_t kBlock = 1024;
        for (std::size_t from = begin; from < end; from += kBlock) {
            const std::size_t to = std::min(end, from + kBlock);
            for (std::size_t k = 0; k < K; ++k)
                for (std::size_t i = from; i < to; ++i)
                    p[k * rows + i] = rowUse && (*rowUse)[i] != '1' ? NA_REAL : values[i * K + k];
        }
    });
    SEXP dim = keep(allocate(INTSXP, 2));
    INTEGER(dim)[0] = int(rows);
    INTEGER(dim)[1] = int(K);
    setAttribute(out, R_DimSymbol, dim);
    SEXP dimnames = keep(allocate(VECSXP, 2));
    SET_VECTOR_ELT(dimnames, 0, rowNames);
    SET_VECTOR_ELT(dimnames, 1, rankNames);
    setAttribute(out, R_DimNamesSymbol, dimnames);
    return out;
}

SEXP integerOf(int v) {
    SEXP x = allocate(INTSXP, 1);
    INTEGER(x)[0] = v;
    return x;
}

SEXP logicalOf(int v) {
    SEXP x = allocate(LGLSXP, 1);
    LOGICAL(x)[0] = v;
    return x;
}

// The restarts, one row each in the order of their seeds: seed,
// loglik_marginal, kept, weakly_ordinal, same_rank_share.
SEXP restartFrame(const std::vector<RestartSummary>& runs) {
    const R_xlen_t n = R_xlen_t(runs.size());
    Protected p;
    SEXP seed = p(allocate(INTSXP, n));
    SEXP loglik = p(allocate(REALSXP, n));
    SEXP kept = p(allocate(LGLSXP, n));
    SEXP weakly = p(allocate(LGLSXP, n));
    SEXP share = p(allocate(REALSXP, n));
    for (R_xlen_t i = 0; i < n; ++i) {
        const RestartSummary& run = runs[std::size_t(i)];
        INTEGER(seed)[i] = run.seed;
        REAL(loglik)[i] = naOf(run.loglikMarginal);
        LOGICAL(kept)[i] = run.kept;
        LOGICAL(weakly)[i] = run.weaklyOrdinal;
        REAL(share)[i] = naOf(run.sameRankShare);
    }
    return dataFrame({{"seed", seed},
                      {"loglik_marginal", loglik},
                      {"kept", kept},
                      {"weakly_ordinal", weakly},
                      {"same_rank_share", share}},
                     n, R_NilValue);
}

// The R object of a fit (without its call and class, which lra() adds).
SEXP fitObject(State& state, SEXP ids, SEXP itemNames, std::size_t threads) {
    Result& r = state.result;
    const std::size_t J = r.nitems, N = r.nexaminees, K = r.nranks;
    const bool batch = r.method == Method::Batch;
    Protected p;

    SEXP ranks = p(rankLabels(K));
    SEXP items = itemNames;
    SEXP itemColumn = itemNames;
    if (itemNames == R_NilValue) {
        std::vector<std::string> texts;
        for (std::size_t j = 1; j <= J; ++j) texts.push_back(std::to_string(j));
        items = p(stringsOf(std::vector<std::string_view>(texts.begin(), texts.end())));
        itemColumn = p(allocate(INTSXP, R_xlen_t(J)));
        for (std::size_t j = 0; j < J; ++j) INTEGER(itemColumn)[j] = int(j + 1);
    }
    SEXP profile = p(matrixOf(r.profile, J, K, items, ranks, threads, &r.itemUse));
    SEXP memberships = p(matrixOf(r.memberships, N, K, ids, ranks, threads));
    SEXP distances = r.method == Method::Distance ? p(matrixOf(r.distances, N, K, ids, ranks, threads)) : R_NilValue;
    SEXP rankVector = p(allocate(INTSXP, R_xlen_t(N)));
    for (std::size_t i = 0; i < N; ++i) INTEGER(rankVector)[i] = r.ranks[i] + 1;
    if (ids != R_NilValue) setAttribute(rankVector, R_NamesSymbol, ids);

    SEXP test = p(testList(r));
    std::vector<Column> itemColumns = itemStatisticsTable(r);
    SEXP itemTable = p(statisticsFrame("item", itemColumn, itemColumns, R_xlen_t(J), itemNames));
    SEXP rankColumn = p(allocate(INTSXP, R_xlen_t(K)));
    for (std::size_t k = 0; k < K; ++k) INTEGER(rankColumn)[k] = int(k + 1);
    std::vector<Column> rankColumns = rankStatisticsTable(r);
    SEXP rankTable = p(statisticsFrame("rank", rankColumn, rankColumns, R_xlen_t(K), R_NilValue));
    std::vector<Column> examineeColumns = examineeStatisticsTable(r);
    SEXP examinees = p(statisticsFrame("id", ids, examineeColumns, R_xlen_t(N), R_NilValue, memberships));
    examineeColumns = {};
    SEXP trace = p(allocate(REALSXP, R_xlen_t(r.trace.size())));
    std::copy(r.trace.begin(), r.trace.end(), REAL(trace));
    SEXP passes = p(integerOf(r.passes));
    SEXP converged = p(logicalOf(batch ? (r.converged ? TRUE : FALSE) : NA_LOGICAL));
    SEXP seed = batch ? R_NilValue : p(integerOf(r.seed));
    SEXP marginal = p(doubleOf(r.loglikMarginal));
    SEXP restarts = r.restarts.empty() ? R_NilValue : p(restartFrame(r.restarts));

    // The state holds everything else; the examinees' rows live in the object.
    r.ranks = {};
    r.memberships = {};
    r.distances = {};
    SEXP saved = p(saveState(state));
    return namedList({{"profile", profile},
                      {"ranks", rankVector},
                      {"memberships", memberships},
                      {"distances", distances},
                      {"test", test},
                      {"items", itemTable},
                      {"rank_statistics", rankTable},
                      {"examinees", examinees},
                      {"passes", passes},
                      {"converged", converged},
                      {"trace", trace},
                      {"seed", seed},
                      {"loglik_marginal", marginal},
                      {"restarts", restarts},
                      {"state", saved}});
}

// The sweep's rows as a data frame with the sweep file's columns: NA for the
// seed and converged where the file writes NA, numbers with NaN turned into NA.
SEXP sweepFrame(const std::vector<SweepRow>& rows) {
    const R_xlen_t n = R_xlen_t(rows.size());
    static constexpr const char* kNumbers[] = {
        "loglik_marginal", "loglik_model", "loglik_benchmark", "loglik_null", "chisq_model", "chisq_null",
        "df_model",        "df_null",      "NFI",              "RFI",         "IFI",         "TLI",
        "CFI",             "RMSEA",        "AIC",              "CAIC",        "BIC"};
    constexpr std::size_t kCount = std::size(kNumbers);
    Protected p;
    SEXP ranks = p(allocate(INTSXP, n));
    SEXP seed = p(allocate(INTSXP, n));
    SEXP passes = p(allocate(INTSXP, n));
    SEXP converged = p(allocate(LGLSXP, n));
    SEXP weakly = p(allocate(LGLSXP, n));
    SEXP strongly = p(allocate(LGLSXP, n));
    SEXP share = p(allocate(REALSXP, n));
    SEXP correlation = p(allocate(REALSXP, n));
    SEXP numbers[kCount];
    for (SEXP& column : numbers) column = p(allocate(REALSXP, n));
    std::vector<std::string_view> methods;
    for (R_xlen_t i = 0; i < n; ++i) {
        const SweepRow& row = rows[std::size_t(i)];
        const bool batch = row.method == Method::Batch;
        const FitIndices& f = row.fit;
        INTEGER(ranks)[i] = row.nranks;
        methods.push_back(methodWord(row.method));
        INTEGER(seed)[i] = batch ? NA_INTEGER : row.seed;
        INTEGER(passes)[i] = row.passes;
        LOGICAL(converged)[i] = batch ? (row.converged ? TRUE : FALSE) : NA_LOGICAL;
        const double values[kCount] = {row.loglikMarginal, f.loglikModel, f.loglikBenchmark, f.loglikNull,
                                       f.chisqModel,       f.chisqNull,   f.dfModel,         f.dfNull,
                                       f.NFI,              f.RFI,         f.IFI,             f.TLI,
                                       f.CFI,              f.RMSEA,       f.AIC,             f.CAIC,
                                       f.BIC};
        for (std::size_t c = 0; c < kCount; ++c) REAL(numbers[c])[i] = naOf(values[c]);
        LOGICAL(weakly)[i] = row.weaklyOrdinal;
        LOGICAL(strongly)[i] = row.stronglyOrdinal;
        REAL(share)[i] = naOf(row.smallestRankShare);
        REAL(correlation)[i] = naOf(row.rankScoreCorrelation);
    }
    SEXP method = p(stringsOf(methods));
    std::vector<std::pair<std::string_view, SEXP>> columns{
        {"ranks", ranks}, {"method", method}, {"seed", seed}, {"passes", passes}, {"converged", converged}};
    for (std::size_t c = 0; c < kCount; ++c) columns.emplace_back(kNumbers[c], numbers[c]);
    columns.insert(columns.end(), {{"weakly_ordinal", weakly},
                                   {"strongly_ordinal", strongly},
                                   {"smallest_rank_share", share},
                                   {"rank_score_correlation", correlation}});
    return dataFrame(columns, n, R_NilValue);
}

Method methodOf(SEXP word) {
    const std::optional<Method> method =
        TYPEOF(word) == STRSXP && XLENGTH(word) == 1 ? methodFromWord(textOf(word, 0)) : std::nullopt;
    if (!method) throw std::invalid_argument("the method is unknown");
    return *method;
}

std::span<const double> doublesOf(SEXP x) {
    if (x == R_NilValue) return {};
    return {REAL(x), std::size_t(XLENGTH(x))};
}

std::span<const char> bytesOf(SEXP x) {
    if (x == R_NilValue) return {};
    return {reinterpret_cast<const char*>(RAW(x)), std::size_t(XLENGTH(x))};
}

// The options a fit and a sweep share, as lra() and lra_sweep() checked them.
struct SharedOptions {
    Method method;
    int maxiter, seed, restarts;
    double alpha1, alphat, sigma1, sigmat, diffcrit;
    bool increase;
    SEXP itemUse;  // raw flags '1'/'0' or NULL
    SEXP phi;      // NULL or a double
    int threads;
};

Options runOptions(const SharedOptions& given) {
    Options options;
    options.method = given.method;
    options.maxiter = given.maxiter;
    options.seed = given.seed;
    options.restarts = given.restarts;
    options.alpha1 = given.alpha1;
    options.alphat = given.alphat;
    options.sigma1 = given.sigma1;
    options.sigmat = given.sigmat;
    options.diffcrit = given.diffcrit;
    options.increase = given.increase;
    options.itemUse = bytesOf(given.itemUse);
    if (given.phi != R_NilValue) options.phi = Rf_asReal(given.phi);
    options.threads = std::size_t(std::max(given.threads, 0));
    return options;
}

}  // namespace

}  // namespace tavrel::r

using namespace tavrel;
using namespace tavrel::r;

// The word the result files name a method by, or NULL for an unknown word.
// [[Rcpp::export(name = ".method_word")]]
SEXP tavrel_method_word(SEXP word) {
    if (TYPEOF(word) != STRSXP || XLENGTH(word) != 1 || STRING_ELT(word, 0) == NA_STRING) return R_NilValue;
    const std::optional<Method> method = methodFromWord(textOf(word, 0));
    return method ? stringOf(methodWord(*method)) : R_NilValue;
}

// Analyzes N x J codes under options checked by lra(): every result is
// computed. `prior`, `fixedValues` (J x K, item-major) are double or NULL;
// `itemUse`, `fixedMask` raw flags '1'/'0' or NULL; `phi` NULL or a double.
// [[Rcpp::export(name = ".fit")]]
SEXP tavrel_fit(SEXP codes, double nexaminees, double nitems, int nranks, SEXP method, int maxiter, int seed,
         int restarts, double alpha1, double alphat, double sigma1, double sigmat, double diffcrit, bool increase, SEXP prior,
         SEXP itemUse, SEXP fixedValues, SEXP fixedMask, SEXP phi, int threads, SEXP ids, SEXP itemNames,
         bool verbose) {
    RObserver observer(verbose);
    return guarded(observer, "read", [&]() -> SEXP {
        const ResponseTable table = tableOf(codes, std::size_t(nexaminees), std::size_t(nitems));
        Options options = runOptions({methodOf(method), maxiter, seed, restarts, alpha1, alphat, sigma1, sigmat,
                                      diffcrit, increase, itemUse, phi, threads});
        options.nranks = nranks;
        options.prior = doublesOf(prior);
        options.fixedValues = doublesOf(fixedValues);
        options.fixedMask = bytesOf(fixedMask);
        options.requests = Requests::everything();

        State state;
        state.result = analyze(table, options, observer);
        state.parameters = describeOptions(options, state.result);
        state.itemNamesGiven = itemNames != R_NilValue;
        return fitObject(state, ids, itemNames, options.threads);
    });
}

// Analyses of N x J codes at each of `rankCounts` (ascending, each once),
// side by side on the workers, under options checked by lra_sweep(): a data
// frame with the sweep file's columns.
// [[Rcpp::export(name = ".sweep")]]
SEXP tavrel_sweep(SEXP codes, double nexaminees, double nitems, SEXP rankCounts, SEXP method, int maxiter, int seed,
                  int restarts, double alpha1, double alphat, double sigma1, double sigmat, double diffcrit,
                  bool increase, SEXP itemUse, SEXP phi, int threads, bool verbose) {
    RObserver observer(verbose);
    return guarded(observer, "read", [&]() -> SEXP {
        const ResponseTable table = tableOf(codes, std::size_t(nexaminees), std::size_t(nitems));
        if (TYPEOF(rankCounts) != INTSXP || XLENGTH(rankCounts) == 0)
            throw std::invalid_argument("the rank counts must be an integer vector of one count or more");
        const std::vector<std::int32_t> counts(INTEGER(rankCounts), INTEGER(rankCounts) + XLENGTH(rankCounts));
        Options options = runOptions({methodOf(method), maxiter, seed, restarts, alpha1, alphat, sigma1, sigmat,
                                      diffcrit, increase, itemUse, phi, threads});
        options.nranks = counts.front();
        return sweepFrame(sweepRanks(table, options, counts, nullptr, observer));
    });
}

// The fit's marginal log-likelihood, the parameters it stands on and the
// examinees it sums over: list(loglik, df, nobs). The parameters are counted
// as the test's df_model counts them: the learned cells of the items in use
// that have respondents, each weighted under the batch method by the
// smoothing filter's weight of its own rank.
// [[Rcpp::export(name = ".likelihood")]]
SEXP tavrel_likelihood(SEXP state) {
    RObserver observer(false);
    return guarded(observer, "read", [&]() -> SEXP {
        const State fit = loadState(state);
        const Result& r = fit.result;
        const RunStatistics& s = *r.statistics;
        const std::size_t J = r.nitems, K = r.nranks;
        double parameters = 0.0;
        for (std::size_t j = 0; j < J; ++j) {
            if (r.itemUse[j] != '1' || s.items[j].respondents == 0) continue;
            double item = 0.0;
            for (std::size_t k = 0; k < K; ++k)
                if (r.fixedMask[j * K + k] == '1') item = item + (r.filter.empty() ? 1.0 : r.filter[k * K + k]);
            parameters = parameters + item;
        }
        Protected p;
        SEXP loglik = p(doubleOf(r.loglikMarginal));
        SEXP df = p(doubleOf(parameters));
        SEXP nobs = p(doubleOf(double(s.scores.scored)));
        return namedList({{"loglik", loglik}, {"df", df}, {"nobs", nobs}});
    });
}

// Ranks (1..K) and memberships (N x K) of the examinees of `codes` under the
// fit's profile, used as it stands; NULL where not asked for.
// [[Rcpp::export(name = ".classify")]]
SEXP tavrel_classify(SEXP state, SEXP codes, double nexaminees, bool ranks, bool memberships, int threads, SEXP ids,
              bool verbose) {
    RObserver observer(verbose);
    return guarded(observer, "read", [&]() -> SEXP {
        const State fit = loadState(state);
        const std::size_t N = std::size_t(nexaminees), K = fit.result.nranks;
        const ResponseTable table = tableOf(codes, N, fit.result.nitems);
        Ranking ranking =
            classifyExaminees(fit.result, table, ranks, memberships, std::size_t(std::max(threads, 0)), observer);
        Protected p;
        SEXP rankVector = R_NilValue;
        if (ranks) {
            rankVector = p(allocate(INTSXP, R_xlen_t(N)));
            for (std::size_t i = 0; i < N; ++i) INTEGER(rankVector)[i] = ranking.ranks[i] + 1;
            if (ids != R_NilValue) setAttribute(rankVector, R_NamesSymbol, ids);
        }
        SEXP labels = p(rankLabels(K));
        SEXP rows = memberships ? p(matrixOf(ranking.memberships, N, K, ids, labels, std::size_t(std::max(threads, 0))))
                                : R_NilValue;
        return namedList({{"ranks", rankVector}, {"memberships", rows}});
    });
}

// What the plots draw beyond the R object: the examinees of each estimated
// rank who answered each item and who answered it correctly (J x K), and
// the examinees by number-right score and rank ((max score + 1) x K).
// [[Rcpp::export(name = ".plot_counts")]]
SEXP tavrel_plot_counts(SEXP state) {
    RObserver observer(false);
    return guarded(observer, "read", [&]() -> SEXP {
        const State fit = loadState(state);
        const Result& r = fit.result;
        const RankCounts& c = *r.counts;
        const std::size_t J = r.nitems, K = r.nranks, S = c.maxScore + 1;
        const auto counts = [&](const std::vector<std::int64_t>& values, std::size_t rows) {
            std::vector<double> asDoubles(values.begin(), values.end());
            return matrixOf(asDoubles, rows, K, R_NilValue, R_NilValue, 1);
        };
        Protected p;
        SEXP answered = p(counts(c.answered, J));
        SEXP correct = p(counts(c.correct, J));
        SEXP scoreRank = p(counts(c.scoreRank, S));
        return namedList({{"answered", answered}, {"correct", correct}, {"score_rank", scoreRank}});
    });
}

