// A Result as bytes and back: every field in one fixed order, numbers as
// their bytes, so that the result read back writes the same files. The bytes
// begin with the library version and the sizes of the statistics records;
// bytes of another build are refused.

#include <cstdint>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "tavrel/result_bytes.hpp"
#include "tavrel/version.hpp"

namespace tavrel {
namespace {

constexpr std::string_view kMagic = "tavrel-result 2\n";

template <class T>
concept Plain = std::is_trivially_copyable_v<T> && !std::is_pointer_v<T>;

// Every field of each record, for a writer and a reader alike (S is the
// record, const or not).
template <class V, class S>
void visitScores(V& v, S& s) {
    v(s.responses);
    v(s.score);
    v(s.scored);
}

template <class V, class S>
void visitStatistics(V& v, S& s) {
    visitScores(v, s.scores);
    v(s.scoreStatistics);
    v(s.items);
    v(s.irp);
    v(s.itemFit);
    v(s.testFit);
    v(s.ranks.testReferenceProfile);
    v(s.ranks.latentRankDistribution);
    v(s.ranks.rankMembershipDistribution);
    v(s.itemsInUse);
    v(s.weaklyOrdinal);
    v(s.stronglyOrdinal);
}

// Field by field: the record has padding, whose bytes are not its value.
template <class V, class S>
void visitRestart(V& v, S& r) {
    v(r.seed);
    v(r.loglikMarginal);
    v(r.weaklyOrdinal);
    v(r.sameRankShare);
    v(r.kept);
}

template <class V, class S>
void visitCounts(V& v, S& s) {
    v(s.answered);
    v(s.correct);
    v(s.scoreRank);
    v(s.maxScore);
}

template <class V, class S>
void visitResult(V& v, S& r) {
    v(r.nitems);
    v(r.nexaminees);
    v(r.nranks);
    v(r.method);
    v(r.profile);
    v(r.fixedMask);
    v(r.itemUse);
    v(r.prior);
    v(r.filter);
    v(r.phi);
    v(r.passes);
    v(r.converged);
    v(r.trace);
    v(r.seed);
    v(r.loglikMarginal);
    v(r.restarts);
    v(r.ranks);
    v(r.memberships);
    v(r.distances);
    v(r.statistics);
    v(r.weightedRatios);
    v(r.unweightedRatios);
    v(r.counts);
}

class Writer {
public:
    std::string bytes;

    template <Plain T>
    void operator()(const T& value) {
        bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
    }
    template <Plain T>
    void operator()(const std::vector<T>& values) {
        (*this)(std::uint64_t{values.size()});
        bytes.append(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(T));
    }
    void operator()(const std::optional<RunStatistics>& statistics) {
        (*this)(statistics.has_value());
        if (statistics) visitStatistics(*this, *statistics);
    }
    void operator()(const std::optional<RankCounts>& counts) {
        (*this)(counts.has_value());
        if (counts) visitCounts(*this, *counts);
    }
    void operator()(const std::vector<RestartSummary>& restarts) {
        (*this)(std::uint64_t{restarts.size()});
        for (const RestartSummary& r : restarts) visitRestart(*this, r);
    }
};

class Reader {
public:
    explicit Reader(std::string_view bytes) : bytes_(bytes) {}

    template <Plain T>
    void operator()(T& value) {
        std::memcpy(&value, take(sizeof value), sizeof value);
    }
    void operator()(bool& value) {
        std::uint8_t byte = 0;
        (*this)(byte);
        if (byte > 1) fail();
        value = byte == 1;
    }
    template <Plain T>
    void operator()(std::vector<T>& values) {
        std::uint64_t n = 0;
        (*this)(n);
        if (n > (bytes_.size() - pos_) / sizeof(T)) fail();
        values.resize(n);
        if (n > 0) std::memcpy(values.data(), take(n * sizeof(T)), n * sizeof(T));
    }
    void operator()(std::optional<RunStatistics>& statistics) {
        if (present()) visitStatistics(*this, statistics.emplace());
    }
    void operator()(std::optional<RankCounts>& counts) {
        if (present()) visitCounts(*this, counts.emplace());
    }
    void operator()(std::vector<RestartSummary>& restarts) {
        std::uint64_t n = 0;
        (*this)(n);
        // Each restart takes 22 bytes: a bound before allocating.
        if (n > (bytes_.size() - pos_) / 22) fail();
        restarts.resize(n);
        for (RestartSummary& r : restarts) visitRestart(*this, r);
    }

    std::string_view text(std::size_t n) { return std::string_view(take(n), n); }
    bool atEnd() const { return pos_ == bytes_.size(); }
    [[noreturn]] static void fail() { throw std::invalid_argument("the bytes do not hold a tavrel result"); }

private:
    bool present() {
        bool flag = false;
        (*this)(flag);
        return flag;
    }
    const char* take(std::size_t n) {
        if (n > bytes_.size() - pos_) fail();
        const char* p = bytes_.data() + pos_;
        pos_ += n;
        return p;
    }

    std::string_view bytes_;
    std::size_t pos_ = 0;
};

// The build's signature: version and record sizes.
std::string signature() {
    Writer w;
    w.bytes = std::string(kMagic) + std::string(kProgramVersion) + '\n';
    for (const std::uint64_t n : {sizeof(ScoreStatistics), sizeof(ItemStatistics), sizeof(IrpIndices),
                                  sizeof(FitIndices), sizeof(Method), sizeof(std::size_t)})
        w(n);
    return w.bytes;
}

// The sizes the writers rely on; anything else is a damaged state.
void checkSizes(const Result& r) {
    const std::size_t J = r.nitems, N = r.nexaminees, K = r.nranks;
    const auto sized = [](std::size_t actual, std::size_t expected) {
        if (actual != expected) Reader::fail();
    };
    const auto sizedOrEmpty = [](std::size_t actual, std::size_t expected) {
        if (actual != 0 && actual != expected) Reader::fail();
    };
    if (r.method != Method::Likelihood && r.method != Method::Bayes && r.method != Method::Distance &&
        r.method != Method::Batch)
        Reader::fail();
    if (K == 0 || (J != 0 && K > SIZE_MAX / J) || (N != 0 && K > SIZE_MAX / N)) Reader::fail();
    sized(r.profile.size(), J * K);
    sized(r.fixedMask.size(), J * K);
    sized(r.itemUse.size(), J);
    sized(r.prior.size(), K);
    sizedOrEmpty(r.filter.size(), K * K);
    sizedOrEmpty(r.ranks.size(), N);
    sizedOrEmpty(r.memberships.size(), N * K);
    sizedOrEmpty(r.distances.size(), N * K);
    sizedOrEmpty(r.weightedRatios.size(), J * K);
    sizedOrEmpty(r.unweightedRatios.size(), J * K);
    for (const std::int32_t rank : r.ranks)
        if (rank < 0 || static_cast<std::size_t>(rank) >= K) Reader::fail();
    if (r.statistics) {
        const RunStatistics& s = *r.statistics;
        sized(s.scores.responses.size(), N);
        sized(s.scores.score.size(), N);
        sized(s.items.size(), J);
        sized(s.irp.size(), J);
        sized(s.itemFit.size(), J);
        sized(s.ranks.testReferenceProfile.size(), K);
        sized(s.ranks.latentRankDistribution.size(), K);
        sized(s.ranks.rankMembershipDistribution.size(), K);
        if (r.ranks.size() != N || r.memberships.size() != N * K) Reader::fail();
    }
    if (r.counts) {
        const RankCounts& c = *r.counts;
        sized(c.answered.size(), J * K);
        sized(c.correct.size(), J * K);
        if (c.maxScore > J) Reader::fail();
        sized(c.scoreRank.size(), (c.maxScore + 1) * K);
    }
}

}  // namespace

std::string saveResult(const Result& result) {
    Writer w;
    w.bytes = signature();
    visitResult(w, result);
    return std::move(w.bytes);
}

Result loadResult(std::string_view bytes) {
    const std::string expected = signature();
    if (bytes.substr(0, kMagic.size()) != kMagic) Reader::fail();
    if (bytes.substr(0, expected.size()) != expected) {
        const std::string_view rest = bytes.substr(kMagic.size());
        const std::string_view version = rest.substr(0, rest.find('\n'));
        throw std::invalid_argument("the result was saved by tavrel " + std::string(version) +
                                    " (another build); this is tavrel " + std::string(kProgramVersion));
    }
    Reader reader(bytes.substr(expected.size()));
    Result result;
    visitResult(reader, result);
    if (!reader.atEnd()) Reader::fail();
    checkSizes(result);
    return result;
}

}  // namespace tavrel
