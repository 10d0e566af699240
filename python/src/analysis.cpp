// The analysis and its result: analyze() on a response table built by
// encode(), scoring new examinees under a finished profile, and the result's
// arrays and statistics tables for the package's data frames.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "bindings.hpp"

namespace tavrel::python {
namespace {

// The table of an N x J uint8 array of codes, as encode() gives it.
ResponseTable tableOf(const py::array& codes) {
    if (codes.ndim() != 2 || !py::isinstance<py::array_t<std::uint8_t>>(codes) ||
        !(codes.flags() & py::array::c_style))
        throw std::invalid_argument("the response codes must be a C-contiguous 2-D uint8 array");
    const auto N = static_cast<std::size_t>(codes.shape(0));
    const auto J = static_cast<std::size_t>(codes.shape(1));
    return ResponseTable{std::span<const char>(static_cast<const char*>(codes.data()), N * J), J, N};
}

Method methodOf(const std::string& word) {
    if (const std::optional<Method> method = methodFromWord(word)) return *method;
    throw std::invalid_argument("unknown method \"" + word + "\"");
}

template <class T>
py::array_t<T> copied(const std::vector<T>& values, std::vector<py::ssize_t> shape) {
    py::array_t<T> array(shape);
    std::copy(values.begin(), values.end(), array.mutable_data());
    return array;
}

// '1'/'0' flags as booleans.
py::array_t<bool> flags(const std::vector<char>& values, std::vector<py::ssize_t> shape) {
    py::array_t<bool> array(shape);
    bool* out = array.mutable_data();
    for (std::size_t i = 0; i < values.size(); ++i) out[i] = values[i] == '1';
    return array;
}

py::ssize_t size(std::size_t n) { return static_cast<py::ssize_t>(n); }

// The result, which must hold the statistics.
const Result& statisticsOf(const Fit& fit) {
    if (!fit.result.statistics) throw std::invalid_argument("the fit holds no statistics");
    return fit.result;
}

py::object testValue(const TestValue& value) {
    return std::visit(
        [](const auto& v) -> py::object {
            using V = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<V, std::monostate>)
                return py::none();
            else if constexpr (std::is_same_v<V, std::int64_t>)
                return py::int_(v);
            else if constexpr (std::is_same_v<V, double>)
                return py::float_(v);
            else if constexpr (std::is_same_v<V, std::string>)
                return py::str(v);
            else
                return py::bool_(v);
        },
        value);
}

// (name, is_count, values) per column; counts are doubles with NaN for NA.
py::list columns(std::vector<Column>&& table) {
    py::list out;
    for (Column& column : table) {
        const py::ssize_t n = size(column.values.size());
        out.append(py::make_tuple(column.name, column.kind == Column::Kind::Count,
                                  adoptVector(std::move(column.values), {n})));
    }
    return out;
}

// Options that own the arrays they lend to the library.
struct OwnedOptions {
    Options options;
    std::vector<double> prior, fixedValues;
    std::string itemUse, fixedMask;

    OwnedOptions() = default;
    OwnedOptions(const OwnedOptions&) = delete;
    OwnedOptions& operator=(const OwnedOptions&) = delete;
};

void fillOptions(OwnedOptions& owned, std::int32_t nranks, const std::string& method, std::int32_t maxiter,
                 std::int32_t seed, std::int32_t restarts, double alpha1, double alphat, double sigma1, double sigmat,
                 double diffcrit, bool increase, const std::optional<std::vector<double>>& prior,
                 const std::optional<std::string>& itemUse, const std::optional<std::vector<double>>& fixedValues,
                 const std::optional<std::string>& fixedMask, std::optional<double> phi, std::size_t threads) {
    Options& options = owned.options;
    options.nranks = nranks;
    options.method = methodOf(method);
    options.maxiter = maxiter;
    options.seed = seed;
    options.restarts = restarts;
    options.alpha1 = alpha1;
    options.alphat = alphat;
    options.sigma1 = sigma1;
    options.sigmat = sigmat;
    options.diffcrit = diffcrit;
    options.increase = increase;
    if (prior) options.prior = owned.prior = *prior;
    if (itemUse) options.itemUse = owned.itemUse = *itemUse;
    if (fixedValues) options.fixedValues = owned.fixedValues = *fixedValues;
    if (fixedMask) options.fixedMask = owned.fixedMask = *fixedMask;
    options.phi = phi;
    options.threads = threads;
}

Fit analyzeCodes(const py::array& codes, std::int32_t nranks, const std::string& method, std::int32_t maxiter,
                 std::int32_t seed, std::int32_t restarts, double alpha1, double alphat, double sigma1, double sigmat,
                 double diffcrit, bool increase, const std::optional<std::vector<double>>& prior,
                 const std::optional<std::string>& itemUse, const std::optional<std::vector<double>>& fixedValues,
                 const std::optional<std::string>& fixedMask, std::optional<double> phi, std::size_t threads,
                 bool verbose, const py::list& warnings) {
    const ResponseTable table = tableOf(codes);
    OwnedOptions owned;
    fillOptions(owned, nranks, method, maxiter, seed, restarts, alpha1, alphat, sigma1, sigmat, diffcrit, increase,
                prior, itemUse, fixedValues, fixedMask, phi, threads);
    Options& options = owned.options;
    options.requests = Requests::everything();

    PyObserver observer(verbose);
    Fit fit{callEngine(observer, warnings, [&] { return analyze(table, options, observer); }), {}};
    fit.parameters = describeOptions(options, fit.result);
    return fit;
}

// The rows of a rank sweep, each a tuple in the sweep file's column order
// (None for the NA of seed and converged; NaN for a number's NA).
py::list sweepCodes(const py::array& codes, const std::vector<std::int32_t>& rankCounts, const std::string& method,
                    std::int32_t maxiter, std::int32_t seed, std::int32_t restarts, double alpha1, double alphat,
                    double sigma1, double sigmat, double diffcrit, bool increase,
                    const std::optional<std::string>& itemUse, std::optional<double> phi, std::size_t threads,
                    bool verbose, const py::list& warnings) {
    if (rankCounts.empty()) throw std::invalid_argument("a rank sweep needs at least one rank count");
    const ResponseTable table = tableOf(codes);
    OwnedOptions owned;
    fillOptions(owned, rankCounts.front(), method, maxiter, seed, restarts, alpha1, alphat, sigma1, sigmat, diffcrit,
                increase, std::nullopt, itemUse, std::nullopt, std::nullopt, phi, threads);
    PyObserver observer(verbose);
    const std::vector<SweepRow> rows = callEngine(
        observer, warnings, [&] { return sweepRanks(table, owned.options, rankCounts, nullptr, observer); });
    py::list out;
    for (const SweepRow& row : rows) {
        const bool batch = row.method == Method::Batch;
        py::list values;
        values.append(row.nranks);
        values.append(std::string(methodWord(row.method)));
        values.append(batch ? py::none() : py::object(py::int_(row.seed)));
        values.append(row.passes);
        values.append(batch ? py::object(py::bool_(row.converged)) : py::none());
        values.append(row.loglikMarginal);
        const FitIndices& f = row.fit;
        for (const double v : {f.loglikModel, f.loglikBenchmark, f.loglikNull, f.chisqModel, f.chisqNull, f.dfModel,
                               f.dfNull, f.NFI, f.RFI, f.IFI, f.TLI, f.CFI, f.RMSEA, f.AIC, f.CAIC, f.BIC})
            values.append(v);
        values.append(row.weaklyOrdinal);
        values.append(row.stronglyOrdinal);
        values.append(row.smallestRankShare);
        values.append(row.rankScoreCorrelation);
        out.append(py::tuple(values));
    }
    return out;
}

py::array_t<double> marginalCodes(const Fit& fit, const py::array& codes, std::size_t threads, bool verbose,
                                  const py::list& warnings) {
    const ResponseTable table = tableOf(codes);
    if (table.nitems != fit.result.nitems)
        throw std::invalid_argument("the data have " + std::to_string(table.nitems) + " items, the fit " +
                                    std::to_string(fit.result.nitems));
    PyObserver observer(verbose);
    std::vector<double> values = callEngine(
        observer, warnings, [&] { return marginalLogLikelihoods(fit.result, table, threads, observer); });
    const py::ssize_t N = size(values.size());
    return adoptVector(std::move(values), {N});
}

py::tuple classifyCodes(const Fit& fit, const py::array& codes, bool ranks, bool memberships, std::size_t threads,
                        bool verbose, const py::list& warnings) {
    const ResponseTable table = tableOf(codes);
    if (table.nitems != fit.result.nitems)
        throw std::invalid_argument("the data have " + std::to_string(table.nitems) + " items, the fit " +
                                    std::to_string(fit.result.nitems));
    PyObserver observer(verbose);
    Ranking ranking = callEngine(observer, warnings, [&] {
        return classifyExaminees(fit.result, table, ranks, memberships, threads, observer);
    });
    const py::ssize_t N = size(table.nexaminees), K = size(fit.result.nranks);
    py::object r = ranks ? py::object(adoptVector(std::move(ranking.ranks), {N})) : py::none();
    py::object m = memberships ? py::object(adoptVector(std::move(ranking.memberships), {N, K})) : py::none();
    return py::make_tuple(r, m);
}

}  // namespace

void registerAnalysis(py::module_& m) {
    m.def("method_word", [](const std::string& word) -> py::object {
        if (const std::optional<Method> method = methodFromWord(word)) return py::str(std::string(methodWord(*method)));
        return py::none();
    }, py::arg("word"), "The result files' word for a method word (`ml`, `bayes`, `ls`, `batch`), or None.");

    m.def("analyze", &analyzeCodes, py::kw_only(), py::arg("codes"), py::arg("nranks"), py::arg("method"),
          py::arg("maxiter"), py::arg("seed"), py::arg("restarts"), py::arg("alpha1"), py::arg("alphat"), py::arg("sigma1"),
          py::arg("sigmat"), py::arg("diffcrit"), py::arg("increase"), py::arg("prior"), py::arg("item_use"),
          py::arg("fixed_values"), py::arg("fixed_mask"), py::arg("phi"), py::arg("threads"), py::arg("verbose"),
          py::arg("warnings"),
          "Analyzes an N x J table of codes under checked options; every result is computed.");

    m.def("sweep", &sweepCodes, py::kw_only(), py::arg("codes"), py::arg("rank_counts"), py::arg("method"),
          py::arg("maxiter"), py::arg("seed"), py::arg("restarts"), py::arg("alpha1"), py::arg("alphat"),
          py::arg("sigma1"), py::arg("sigmat"), py::arg("diffcrit"), py::arg("increase"), py::arg("item_use"),
          py::arg("phi"), py::arg("threads"), py::arg("verbose"), py::arg("warnings"),
          "The sweep file's rows (tuples, None for NA) of analyses at each rank count (ascending, each once).");

    m.def("marginal", &marginalCodes, py::kw_only(), py::arg("fit"), py::arg("codes"), py::arg("threads"),
          py::arg("verbose"), py::arg("warnings"),
          "Each examinee's marginal log-likelihood under the fit (NaN without responses that take part).");

    m.def("classify", &classifyCodes, py::kw_only(), py::arg("fit"), py::arg("codes"), py::arg("ranks"),
          py::arg("memberships"), py::arg("threads"), py::arg("verbose"), py::arg("warnings"),
          "(ranks 0-based, memberships) of the examinees of `codes` under the fit's profile; None where not asked.");

    py::class_<Fit>(m, "Fit", "A finished analysis (the library's result).")
        .def_property_readonly("nitems", [](const Fit& f) { return f.result.nitems; })
        .def_property_readonly("nexaminees", [](const Fit& f) { return f.result.nexaminees; })
        .def_property_readonly("nranks", [](const Fit& f) { return f.result.nranks; })
        .def_property_readonly("method", [](const Fit& f) { return std::string(methodWord(f.result.method)); })
        .def_property_readonly("phi", [](const Fit& f) { return f.result.phi; })
        .def_property_readonly("passes", [](const Fit& f) { return f.result.passes; })
        .def_property_readonly("converged", [](const Fit& f) { return f.result.converged; })
        .def_property_readonly("seed", [](const Fit& f) { return f.result.seed; })
        .def_property_readonly("loglik_marginal", [](const Fit& f) { return f.result.loglikMarginal; })
        .def_property_readonly("restarts",
                               [](const Fit& f) {
                                   py::list out;
                                   for (const RestartSummary& r : f.result.restarts)
                                       out.append(py::make_tuple(r.seed, r.loglikMarginal, r.weaklyOrdinal,
                                                                 r.sameRankShare, r.kept));
                                   return out;
                               },
                               "(seed, loglik_marginal, weakly_ordinal, same_rank_share, kept) per restart; empty "
                               "for one run.")
        .def_property_readonly("profile",
                               [](const Fit& f) {
                                   const Result& r = f.result;
                                   return copied(r.profile, {size(r.nitems), size(r.nranks)});
                               })
        .def_property_readonly("fixed_mask",
                               [](const Fit& f) {
                                   const Result& r = f.result;
                                   return flags(r.fixedMask, {size(r.nitems), size(r.nranks)});
                               })
        .def_property_readonly("item_use", [](const Fit& f) { return flags(f.result.itemUse, {size(f.result.nitems)}); })
        .def_property_readonly("prior", [](const Fit& f) { return copied(f.result.prior, {size(f.result.nranks)}); })
        .def_property_readonly("trace", [](const Fit& f) { return copied(f.result.trace, {size(f.result.trace.size())}); })
        .def_property_readonly("ranks", [](const Fit& f) { return copied(f.result.ranks, {size(f.result.ranks.size())}); })
        .def_property_readonly("memberships",
                               [](const Fit& f) {
                                   const Result& r = f.result;
                                   return copied(r.memberships, {size(r.nexaminees), size(r.nranks)});
                               })
        .def_property_readonly("distances",
                               [](const Fit& f) -> py::object {
                                   const Result& r = f.result;
                                   if (r.distances.empty()) return py::none();
                                   return copied(r.distances, {size(r.nexaminees), size(r.nranks)});
                               })
        .def("test_statistics",
             [](const Fit& f) {
                 py::list out;
                 for (const TestEntry& entry : testStatisticsTable(statisticsOf(f)))
                     out.append(py::make_tuple(entry.name, testValue(entry.value)));
                 return out;
             },
             "(name, value) of the test file's rows.")
        .def("item_statistics", [](const Fit& f) { return columns(itemStatisticsTable(statisticsOf(f))); },
             "(name, is_count, values) of the item file's columns after the first.")
        .def("rank_statistics", [](const Fit& f) { return columns(rankStatisticsTable(statisticsOf(f))); },
             "(name, is_count, values) of the rank file's columns after the first.")
        .def("examinee_statistics",
             [](const Fit& f) { return columns(examineeStatisticsTable(statisticsOf(f))); },
             "(name, is_count, values) of the examinee file's columns without the id.")
        .def_property_readonly("parameters",
                               [](const Fit& f) {
                                   py::list out;
                                   for (const ParameterText& p : f.parameters)
                                       out.append(py::make_tuple(p.key, p.value, p.byDefault, p.note));
                                   return out;
                               })
        .def(py::pickle(
            [](const Fit& f) {
                py::list parameters;
                for (const ParameterText& p : f.parameters)
                    parameters.append(py::make_tuple(p.key, p.value, p.byDefault, p.note));
                return py::make_tuple(py::bytes(saveResult(f.result)), parameters);
            },
            [](const py::tuple& state) {
                if (state.size() != 2) throw std::invalid_argument("the state is not that of a fitted estimator");
                Fit fit;
                try {
                    fit.result = loadResult(std::string_view(state[0].cast<py::bytes>()));
                } catch (const std::invalid_argument& failure) {
                    throw std::invalid_argument(std::string("cannot restore the fitted estimator: ") + failure.what() +
                                                "; fit it again");
                }
                for (const py::handle row : state[1].cast<py::list>()) {
                    const auto p = row.cast<py::tuple>();
                    if (p.size() != 4) throw std::invalid_argument("the state is not that of a fitted estimator");
                    fit.parameters.push_back({p[0].cast<std::string>(), p[1].cast<std::string>(), p[2].cast<bool>(),
                                              p[3].cast<std::string>()});
                }
                return fit;
            }));
}

}  // namespace tavrel::python
