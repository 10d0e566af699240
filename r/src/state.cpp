// The fit's state as a raw vector and back, exactly: every field in one fixed
// order, numbers as their bytes, so that a fit saved with saveRDS and read
// back writes the same files. The bytes begin with the library version and
// the sizes of the numbers; a state of another build is refused. Padding is
// never copied: the same fit gives the same bytes (identical() holds).

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "glue.hpp"

namespace tavrel::r {
namespace {

constexpr std::string_view kMagic = "tavrel fit\n";

[[noreturn]] void damaged() {
    throw std::invalid_argument(
        "the fit's state is damaged or was made by another version of tavrel; fit the data again");
}

// Writes (Writer) or reads (Reader) every field; each record's fields are
// listed once, in visit().
template <class T>
concept Number = std::is_arithmetic_v<T> || std::is_enum_v<T>;

// Counts the bytes (out null), then writes them.
class Writer {
public:
    char* out = nullptr;
    std::size_t size = 0;

    void put(const void* bytes, std::size_t n) {
        if (out != nullptr && n > 0) std::memcpy(out + size, bytes, n);
        size += n;
    }
    template <Number T>
    void operator()(const T& value) {
        put(&value, sizeof value);
    }
    void operator()(const bool& value) {
        const char byte = value ? 1 : 0;
        put(&byte, 1);
    }
    template <Number T>
    void operator()(const std::vector<T>& values) {
        (*this)(std::uint64_t{values.size()});
        put(values.data(), values.size() * sizeof(T));
    }
    void operator()(const std::string& text) {
        (*this)(std::uint64_t{text.size()});
        put(text.data(), text.size());
    }
    template <class T>
        requires(!Number<T>)
    void operator()(const std::vector<T>& records) {
        (*this)(std::uint64_t{records.size()});
        for (const T& record : records) visit(*this, record);
    }
    template <class T>
    void operator()(const std::optional<T>& value) {
        (*this)(value.has_value());
        if (value) visit(*this, *value);
    }
    void operator()(const std::optional<std::size_t>& value) {
        (*this)(value.has_value());
        (*this)(value.value_or(0));
    }
};

class Reader {
public:
    explicit Reader(std::string_view bytes) : bytes_(bytes) {}

    template <Number T>
    void operator()(T& value) {
        std::memcpy(&value, take(sizeof value), sizeof value);
    }
    void operator()(bool& value) {
        const char byte = *take(1);
        if (byte != 0 && byte != 1) damaged();
        value = byte == 1;
    }
    template <Number T>
    void operator()(std::vector<T>& values) {
        const std::size_t n = count(sizeof(T));
        values.resize(n);
        if (n > 0) std::memcpy(values.data(), take(n * sizeof(T)), n * sizeof(T));
    }
    void operator()(std::string& text) {
        const std::size_t n = count(1);
        text.assign(take(n), n);
    }
    template <class T>
        requires(!Number<T>)
    void operator()(std::vector<T>& records) {
        const std::size_t n = count(1);
        records.resize(n);
        for (T& record : records) visit(*this, record);
    }
    template <class T>
    void operator()(std::optional<T>& value) {
        bool present = false;
        (*this)(present);
        if (present) visit(*this, value.emplace());
    }
    void operator()(std::optional<std::size_t>& value) {
        bool present = false;
        std::size_t v = 0;
        (*this)(present);
        (*this)(v);
        if (present) value = v;
    }

    std::string_view text(std::size_t n) { return std::string_view(take(n), n); }
    bool atEnd() const { return pos_ == bytes_.size(); }

private:
    // A count of elements of `size` bytes each that the rest can hold.
    std::size_t count(std::size_t size) {
        std::uint64_t n = 0;
        (*this)(n);
        if (n > (bytes_.size() - pos_) / size) damaged();
        return std::size_t(n);
    }
    const char* take(std::size_t n) {
        if (n > bytes_.size() - pos_) damaged();
        const char* p = bytes_.data() + pos_;
        pos_ += n;
        return p;
    }

    std::string_view bytes_;
    std::size_t pos_ = 0;
};

// The fields of every record, for the writer (const records) and the reader.
template <class V, class S>
    requires std::is_same_v<std::remove_const_t<S>, ScoreStatistics>
void visit(V& v, S& s) {
    v(s.mean), v(s.seMean), v(s.sd), v(s.skewness), v(s.kurtosis), v(s.min), v(s.max), v(s.rateMean), v(s.rateSd);
}

template <class V, class S>
    requires std::is_same_v<std::remove_const_t<S>, ItemStatistics>
void visit(V& v, S& s) {
    v(s.respondents), v(s.correct), v(s.correctRate), v(s.threshold), v(s.itemTotalCorrelation);
}

template <class V, class S>
    requires std::is_same_v<std::remove_const_t<S>, IrpIndices>
void visit(V& v, S& s) {
    v(s.alpha), v(s.a), v(s.beta), v(s.b), v(s.gamma), v(s.c);
}

template <class V, class S>
    requires std::is_same_v<std::remove_const_t<S>, FitIndices>
void visit(V& v, S& s) {
    v(s.loglikModel), v(s.loglikBenchmark), v(s.loglikNull), v(s.chisqModel), v(s.chisqNull), v(s.dfModel);
    v(s.dfNull), v(s.NFI), v(s.RFI), v(s.IFI), v(s.TLI), v(s.CFI), v(s.RMSEA), v(s.AIC), v(s.CAIC), v(s.BIC);
}

template <class V, class S>
    requires std::is_same_v<std::remove_const_t<S>, RunStatistics>
void visit(V& v, S& s) {
    v(s.scores.responses), v(s.scores.score), v(s.scores.scored);
    visit(v, s.scoreStatistics);
    v(s.items), v(s.irp), v(s.itemFit);
    visit(v, s.testFit);
    v(s.ranks.testReferenceProfile), v(s.ranks.latentRankDistribution), v(s.ranks.rankMembershipDistribution);
    v(s.itemsInUse), v(s.weaklyOrdinal), v(s.stronglyOrdinal);
}

template <class V, class S>
    requires std::is_same_v<std::remove_const_t<S>, RankCounts>
void visit(V& v, S& s) {
    v(s.answered), v(s.correct), v(s.scoreRank), v(s.maxScore);
}

template <class V, class S>
    requires std::is_same_v<std::remove_const_t<S>, RestartSummary>
void visit(V& v, S& s) {
    v(s.seed), v(s.loglikMarginal), v(s.weaklyOrdinal), v(s.sameRankShare), v(s.kept);
}

template <class V, class S>
    requires std::is_same_v<std::remove_const_t<S>, ParameterText>
void visit(V& v, S& s) {
    v(s.key), v(s.value), v(s.byDefault), v(s.note);
}

// The examinees' rows (ranks, memberships, distances) stay out: the R
// object holds them.
template <class V, class S>
    requires std::is_same_v<std::remove_const_t<S>, State>
void visit(V& v, S& s) {
    auto& r = s.result;
    v(r.nitems), v(r.nexaminees), v(r.nranks), v(r.method);
    v(r.profile), v(r.fixedMask), v(r.itemUse), v(r.prior), v(r.filter), v(r.phi);
    v(r.passes), v(r.converged), v(r.trace), v(r.seed), v(r.loglikMarginal), v(r.restarts);
    v(r.statistics), v(r.weightedRatios), v(r.unweightedRatios), v(r.counts);
    v(s.parameters), v(s.itemNamesGiven);
}

// The build's signature: version and the sizes of the numbers.
std::string signature() {
    std::string text = std::string(kMagic) + std::string(kProgramVersion) + '\n';
    for (const std::uint64_t n : {std::uint64_t{sizeof(std::size_t)}, std::uint64_t{sizeof(Method)},
                                  std::uint64_t{sizeof(double)}})
        text.append(reinterpret_cast<const char*>(&n), sizeof n);
    return text;
}

// The sizes the writers rely on.
void checkSizes(const Result& r) {
    const std::size_t J = r.nitems, N = r.nexaminees, K = r.nranks;
    const auto sized = [](std::size_t actual, std::size_t expected) {
        if (actual != expected) damaged();
    };
    if (r.method != Method::Likelihood && r.method != Method::Bayes && r.method != Method::Distance &&
        r.method != Method::Batch)
        damaged();
    if (K == 0 || (J != 0 && K > SIZE_MAX / J) || (N != 0 && K > SIZE_MAX / N)) damaged();
    sized(r.profile.size(), J * K);
    sized(r.fixedMask.size(), J * K);
    sized(r.itemUse.size(), J);
    sized(r.prior.size(), K);
    sized(r.weightedRatios.size(), J * K);
    sized(r.unweightedRatios.size(), J * K);
    if (r.method == Method::Batch) sized(r.filter.size(), K * K);
    if (!r.statistics || !r.counts) damaged();
    const RunStatistics& s = *r.statistics;
    sized(s.scores.responses.size(), N);
    sized(s.scores.score.size(), N);
    sized(s.items.size(), J);
    sized(s.irp.size(), J);
    sized(s.itemFit.size(), J);
    sized(s.ranks.testReferenceProfile.size(), K);
    sized(s.ranks.latentRankDistribution.size(), K);
    sized(s.ranks.rankMembershipDistribution.size(), K);
    const RankCounts& c = *r.counts;
    sized(c.answered.size(), J * K);
    sized(c.correct.size(), J * K);
    if (c.maxScore > J) damaged();
    sized(c.scoreRank.size(), (c.maxScore + 1) * K);
}

}  // namespace

SEXP saveState(const State& state) {
    const std::string head = signature();
    Writer w;
    w.put(head.data(), head.size());
    visit(w, state);
    SEXP out = allocate(RAWSXP, R_xlen_t(w.size));
    w.out = reinterpret_cast<char*>(RAW(out));
    w.size = 0;
    w.put(head.data(), head.size());
    visit(w, state);
    return out;
}

State loadState(SEXP bytes) {
    if (TYPEOF(bytes) != RAWSXP) damaged();
    Reader reader(std::string_view(reinterpret_cast<const char*>(RAW(bytes)), std::size_t(XLENGTH(bytes))));
    const std::string expected = signature();
    if (reader.text(std::min(expected.size(), std::size_t(XLENGTH(bytes)))) != expected) damaged();
    State state;
    visit(reader, state);
    if (!reader.atEnd()) damaged();
    checkSizes(state.result);
    return state;
}

namespace {

// An N x K double matrix of R (column-major) as the engine's rows (item- or
// examinee-major).
std::vector<double> rowsOf(SEXP matrix, std::size_t N, std::size_t K, const char* what) {
    if (TYPEOF(matrix) != REALSXP || !Rf_isMatrix(matrix) || std::size_t(Rf_nrows(matrix)) != N ||
        std::size_t(Rf_ncols(matrix)) != K)
        throw std::invalid_argument(std::string("the fit's ") + what + " must be a numeric matrix of " +
                                    std::to_string(N) + " x " + std::to_string(K) +
                                    " (examinees x ranks), as lra() made it");
    const double* in = REAL(matrix);
    std::vector<double> out(N * K);
    for (std::size_t k = 0; k < K; ++k)
        for (std::size_t i = 0; i < N; ++i) out[i * K + k] = in[k * N + i];
    return out;
}

}  // namespace

State loadFit(SEXP bytes, SEXP ranks, SEXP memberships, SEXP distances) {
    State state = loadState(bytes);
    Result& r = state.result;
    const std::size_t N = r.nexaminees, K = r.nranks;
    if (TYPEOF(ranks) != INTSXP || std::size_t(XLENGTH(ranks)) != N)
        throw std::invalid_argument("the fit's ranks must be an integer vector of " + std::to_string(N) +
                                    " ranks, as lra() made it");
    r.ranks.resize(N);
    for (std::size_t i = 0; i < N; ++i) {
        const int rank = INTEGER(ranks)[i];
        if (rank == NA_INTEGER || rank < 1 || std::size_t(rank) > K)
            throw std::invalid_argument("the fit's ranks must lie in 1.." + std::to_string(K));
        r.ranks[i] = rank - 1;
    }
    r.memberships = rowsOf(memberships, N, K, "memberships");
    if (r.method == Method::Distance) r.distances = rowsOf(distances, N, K, "distances");
    return state;
}

}  // namespace tavrel::r
