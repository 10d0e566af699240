#include "estimation/sequential_learning.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <memory>
#include <numeric>
#include <optional>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "common/types.hpp"
#include "common/workers.hpp"
#include "estimation/rank_count.hpp"
#include "estimation/rank_measures.hpp"
#include "tavrel/observer.hpp"

namespace tavrel {
namespace {

// alpha and sigma of pass t, moving linearly from the first to the last pass.
// With a single pass the schedule stands at its start (T - 1 would be 0).
struct PassSchedule {
    double alpha;
    double sigma;
};

PassSchedule scheduleAt(std::int32_t t, const LearningSchedule& s) {
    const std::int32_t T = s.maxiter;
    if (T == 1) return {s.alpha1, s.sigma1};
    const double later = double(t);
    const double earlier = double(std::int64_t{T} - 1 - t);
    const double span = double(std::int64_t{T} - 1);
    return {(earlier * s.alpha1 + later * s.alphat) / span, (earlier * s.sigma1 + later * s.sigmat) / span};
}

// exp(-d2 / (2 K^2 sigma^2)); at sigma 0 the limit of the Gaussian: 1 at the
// winner, 0 elsewhere.
double neighbourhood(std::int64_t d2, std::int64_t KK, double sigma) {
    const double denominator = ((2.0 * double(KK)) * sigma) * sigma;
    if (denominator == 0.0) return d2 == 0 ? 1.0 : 0.0;
    return std::exp((-double(d2)) / denominator);
}

double rateAt(std::int32_t k, std::int32_t w, const PassSchedule& pass, std::int32_t K, std::int32_t N) {
    const std::int64_t d = std::int64_t{k} - w;
    const std::int64_t KK = std::int64_t{K} * K;
    return ((double(K) * pass.alpha) / double(N)) * neighbourhood(d * d, KK, pass.sigma);
}

}  // namespace

void shuffleExaminees(std::span<std::int32_t> order, Lcg& generator) {
    const std::size_t n = order.size();
    for (std::size_t i = 0; i < n; ++i) {
        const auto m = static_cast<std::size_t>(generator.draw()) % n;
        std::swap(order[i], order[m]);
    }
}

double learningRate(std::int32_t k, std::int32_t w, std::int32_t t, const LearningSchedule& schedule,
                    std::int32_t nranks, std::int32_t nexaminees) {
    return rateAt(k, w, scheduleAt(t, schedule), nranks, nexaminees);
}

void sortProfileIncreasing(std::span<double> profile, std::size_t nranks) {
    const std::size_t K = nranks;
    const std::size_t J = profile.size() / K;
    for (std::size_t j = 0; j < J; ++j) {
        double* first = profile.data() + j * K;
        // Insertion sort for the usual handful of ranks; a merge sort beyond.
        // Both stay within the item's values whatever a NaN does to the order.
        if (K <= 32) {
            for (std::size_t a = 1; a < K; ++a) {
                const double v = first[a];
                std::size_t b = a;
                for (; b > 0 && v < first[b - 1]; --b) first[b] = first[b - 1];
                first[b] = v;
            }
        } else {
            std::stable_sort(first, first + K);
        }
    }
}

namespace {

// Moves the cells of examinee x's answered items toward the responses, each
// rank k at rate[k]. Items whose K cells are all learnable take a loop
// without the per-cell test. Inlined into each step's loop, where the rank
// count and the arrays stay in registers from one examinee to the next.
template <std::size_t KC>
[[gnu::always_inline]] inline void updateExaminee(const char* x, const char* present, const char* fixed, const bool* wholeItemLearnable,
                    const double* rate, double* profile, std::size_t Kr, std::size_t J) {
    const std::size_t K = rankCount<KC>(Kr);
    for (std::size_t j = 0; j < J; ++j) {
        if (present[j] != '1') continue;
        const double xj = double(x[j] - '0');
        double* p = profile + j * K;
        if (wholeItemLearnable[j]) {
            std::size_t k = 0;
#if defined(__SSE2__)
            // Two ranks at a time: the same operations in the same order on
            // each lane, with max and min equal to the selections of
            // clipProbability (NaN included).
            const __m128d floor = _mm_set1_pd(kDblMin), ceiling = _mm_set1_pd(1.0), response = _mm_set1_pd(xj);
            for (; k + 2 <= K; k += 2) {
                const __m128d v = _mm_loadu_pd(p + k);
                const __m128d moved = _mm_add_pd(v, _mm_mul_pd(_mm_loadu_pd(rate + k), _mm_sub_pd(response, v)));
                _mm_storeu_pd(p + k, _mm_min_pd(ceiling, _mm_max_pd(floor, moved)));
            }
#endif
            for (; k < K; ++k) p[k] = clipProbability(p[k] + rate[k] * (xj - p[k]));
        } else {
            const char* learnable = fixed + j * K;
            for (std::size_t k = 0; k < K; ++k)
                if (learnable[k] == '1') p[k] = clipProbability(p[k] + rate[k] * (xj - p[k]));
        }
    }
}

// Some ranks of every item (`width` of them, in increasing order), `width`
// values per item, with their learnable marks: the whole profile on one
// thread, or one team member's share when the ranks are split.
struct RankBand {
    const std::size_t* ranks = nullptr;  // null: all ranks, in order
    std::size_t width = 0;
    double* profile = nullptr;         // item j, rank ranks[r] at j * width + r
    const char* fixed = nullptr;       // the same layout
    const bool* wholeItem = nullptr;   // every cell of item j in the band is learnable
    const double* logPrior = nullptr;  // log(prior) of the band's ranks, 'B' only
    double* rate = nullptr;            // the band's rates at the current step
};

// Whether every cell of each item's band is learnable.
std::unique_ptr<bool[]> wholeItemFlags(const char* fixed, std::size_t width, std::size_t J) {
    // std::vector<bool> packs bits; a plain array of flags is read per item.
    std::unique_ptr<bool[]> flags(new bool[J]);
    for (std::size_t j = 0; j < J; ++j)
        flags[j] = std::all_of(fixed + j * width, fixed + (j + 1) * width, [](char c) { return c == '1'; });
    return flags;
}

// One examinee's step on a band once the winner w is known: the rates of the
// band's ranks, then the moves of its cells.
template <std::size_t KC>
void learnBand(const RankBand& band, const char* x, const char* present, std::size_t w,
               const double* rateByDistance, std::size_t J) {
    for (std::size_t r = 0; r < band.width; ++r) {
        const std::size_t k = band.ranks[r];
        band.rate[r] = rateByDistance[k > w ? k - w : w - k];
    }
    updateExaminee<KC>(x, present, band.fixed, band.wholeItem, band.rate, band.profile, band.width, J);
}

// Which member of a team holds which ranks. At first rank k goes to member
// k mod M: the cost of a logarithm depends on the probability, which rises
// with the rank, so that interleaved ranks share the work evenly. After a
// pass the shares may follow the members' speeds, so that a member whose
// processor is slowed by other work holds fewer ranks; the ranks stay
// interleaved in proportion.
class RankShares {
public:
    RankShares(std::size_t K, std::size_t members)
        : K_(K), owner_(K), position_(K), ranks_(members), speed_(members, 1.0) {
        assign();
    }
    std::span<const std::size_t> ranksOf(std::size_t member) const { return ranks_[member]; }
    std::size_t widest() const {
        std::size_t widest = 0;
        for (const auto& ranks : ranks_) widest = std::max(widest, ranks.size());
        return widest;
    }
    std::size_t owner(std::size_t k) const { return owner_[k]; }
    std::size_t position(std::size_t k) const { return position_[k]; }

    // After a pass in which member m worked busy[m] seconds (waits not
    // counted): moves ranks when that shortens the predicted pass by 5 %.
    bool rebalance(std::span<const double> busy) {
        const std::vector<std::size_t> before = owner_;
        for (std::size_t m = 0; m < ranks_.size(); ++m)
            if (!ranks_[m].empty() && busy[m] > 0.0) speed_[m] = double(ranks_[m].size()) / busy[m];
        const double slowest = longest();
        assign();
        if (longest() < 0.95 * slowest) return true;
        owner_ = before;
        index();
        return false;
    }

private:
    // The pass as long as its slowest member at the speeds measured.
    double longest() const {
        double longest = 0.0;
        for (std::size_t m = 0; m < ranks_.size(); ++m) longest = std::max(longest, double(ranks_[m].size()) / speed_[m]);
        return longest;
    }
    // Rank by rank, to the member furthest behind its share of the speed.
    void assign() {
        double total = 0.0;
        for (double v : speed_) total += v;
        std::vector<std::size_t> held(ranks_.size(), 0);
        for (std::size_t k = 0; k < K_; ++k) {
            std::size_t best = 0;
            double furthest = -1e300;
            for (std::size_t m = 0; m < ranks_.size(); ++m) {
                const double behind = speed_[m] / total * double(k + 1) - double(held[m]);
                if (behind > furthest) furthest = behind, best = m;
            }
            owner_[k] = best;
            ++held[best];
        }
        index();
    }
    void index() {
        for (auto& ranks : ranks_) ranks.clear();
        for (std::size_t k = 0; k < K_; ++k) {
            position_[k] = ranks_[owner_[k]].size();
            ranks_[owner_[k]].push_back(k);
        }
    }

    std::size_t K_;
    std::vector<std::size_t> owner_, position_;
    std::vector<std::vector<std::size_t>> ranks_;
    std::vector<double> speed_;  // ranks per second
};

// Values kept free around a buffer that one thread writes, a cache line on
// each side, so that no other thread's data shares its lines.
constexpr std::size_t kLine = kCacheLine / sizeof(double);

// A team member's band in buffers of its own for the length of a pass, with
// room for a step's K measures. The members update cells of every item that
// lie side by side: in the shared profile they would write the same cache
// lines at every step.
class OwnBand {
public:
    OwnBand(std::span<const std::size_t> ranks, const Model& model, std::size_t J, const double* logPrior)
        : K_(model.nranks), J_(J), ranks_(ranks.begin(), ranks.end()) {
        const std::size_t width = ranks_.size();
        band_.ranks = ranks_.data();
        band_.width = width;
        values_.assign(kLine + (J + 2) * width + K_ + kLine, 0.0);
        band_.profile = values_.data() + kLine;
        band_.rate = band_.profile + J * width;
        double* ownLogPrior = band_.rate + width;
        measures_ = ownLogPrior + width;
        fixed_.resize(J * width);
        for (std::size_t j = 0; j < J; ++j)
            for (std::size_t r = 0; r < width; ++r) fixed_[j * width + r] = model.fixedMask[j * K_ + ranks_[r]];
        band_.fixed = fixed_.data();
        whole_ = wholeItemFlags(band_.fixed, width, J);
        band_.wholeItem = whole_.get();
        if (logPrior != nullptr) {
            for (std::size_t r = 0; r < width; ++r) ownLogPrior[r] = logPrior[ranks_[r]];
            band_.logPrior = ownLogPrior;
        }
    }
    // The band points into the buffers, which a move keeps and a copy would not.
    OwnBand(const OwnBand&) = delete;
    OwnBand(OwnBand&&) = default;

    const RankBand& band() const { return band_; }
    double* measures() const { return measures_; }
    void load(std::span<const double> profile) {
        for (std::size_t j = 0; j < J_; ++j)
            for (std::size_t r = 0; r < band_.width; ++r) band_.profile[j * band_.width + r] = profile[j * K_ + ranks_[r]];
    }
    void store(std::span<double> profile) const {
        for (std::size_t j = 0; j < J_; ++j)
            for (std::size_t r = 0; r < band_.width; ++r) profile[j * K_ + ranks_[r]] = band_.profile[j * band_.width + r];
    }

private:
    std::size_t K_, J_;
    std::vector<std::size_t> ranks_;
    std::vector<double> values_;  // the band's cells, rates, log(prior) and measures
    std::vector<char> fixed_;
    std::unique_ptr<bool[]> whole_;
    RankBand band_;
    double* measures_;
};

// Chooses, pass by pass, whether the team or the calling thread alone runs
// the next pass. Both give the same numbers, but on a machine busy with other
// work the team's meetings can cost more than the team saves. Each way is
// timed and the faster taken; the other is timed again after 32 passes the
// same way, in case the machine has changed. The first pass, which warms
// caches and threads up, is not timed.
class WayChooser {
public:
    bool teamNext() const { return teamNext_; }
    void record(bool team, double seconds) {
        if (passes_++ == 0) return;
        seconds_[team] = seconds;
        sameWay_ = team == lastTeam_ ? sameWay_ + 1 : 1;
        lastTeam_ = team;
        teamNext_ = seconds_[!team] < 0.0 || sameWay_ >= 32 ? !team : seconds_[1] <= seconds_[0];
    }

private:
    double seconds_[2] = {-1.0, -1.0};  // the last pass alone, with the team
    bool teamNext_ = true;
    bool lastTeam_ = true;
    std::uint32_t passes_ = 0;
    std::uint32_t sameWay_ = 0;  // passes in a row the same way
};

// Whether the method's steps are worth splitting by ranks: the likelihood
// measures take a logarithm per cell; a step of the distance (about 0.4 us for
// 50 items and 10 ranks) is shorter than what a meeting of two threads costs.
bool splitsRanks(char method) { return method != 'L'; }

// What every step of a pass reads.
struct PassInputs {
    const ResponseView& data;
    std::span<const std::int32_t> order;  // the visiting order of the pass
    const double* rateByDistance;         // the rate at each rank distance
    char method;
    std::size_t K;
    const Workers& workers;  // polled for a stop every kPollSteps examinees, on the calling thread
};

// Examinees between two polls for a stop within a pass.
constexpr std::size_t kPollSteps = 1024;

// One pass on the calling thread alone, on the shared profile.
void passAlone(const PassInputs& in, const RankBand& whole, double* measures) {
    const ResponseView& data = in.data;
    const std::size_t K = in.K;
    const std::size_t J = data.nitems;
    const char method = in.method;
    const double* rateByDistance = in.rateByDistance;
    double* profile = whole.profile;
    const char* fixed = whole.fixed;
    const bool* wholeItem = whole.wholeItem;
    const double* logPrior = whole.logPrior;
    double* rate = whole.rate;
    withRankCount(K, [&](auto KC) {
        for (std::size_t s = 0; s < in.order.size(); ++s) {
            if (s % kPollSteps == 0) in.workers.poll();
            const auto e = static_cast<std::size_t>(in.order[s]);
            const char* x = data.responsesOf(e);
            const char* present = data.presenceOf(e);
            sweepRankMeasures(x, present, profile, logPrior, K, J, method, measures);
            const auto w = static_cast<std::size_t>(bestRank(measures, K));
            for (std::size_t k = 0; k < K; ++k) rate[k] = rateByDistance[k > w ? k - w : w - k];
            updateExaminee<KC>(x, present, fixed, wholeItem, rate, profile, K, J);
        }
    });
}

// The ranks of a run split over a team: who holds which, the members' own
// copies of their cells, and how long each worked in the last pass.
class RankTeam {
public:
    RankTeam(std::size_t members, const Model& model, std::size_t J, const double* logPrior)
        : model_(model), J_(J), logPrior_(logPrior), shares_(model.nranks, members), busy_(members) {
        makeBands();
    }

    // One pass: each member measures its ranks, the members meet and hand
    // over their measures with the meeting itself, each finds the same
    // winner and moves its own ranks' cells. The next measure of a rank reads
    // only cells its own member moved, so one meeting per step suffices.
    // Every 8th step each member times its own work; then the shares follow.
    void pass(const PassInputs& in, Workers& workers) {
        using Clock = std::chrono::steady_clock;
        const std::size_t K = in.K;
        const std::size_t J = J_;
        workers.runTeam(bands_.size(), shares_.widest(), [&](Team& team) {
            OwnBand& own = bands_[team.member()];
            own.load(model_.profile);
            const RankBand& band = own.band();
            double* row = own.measures();
            Clock::duration worked{};
            withRankCount(band.width, [&](auto KC) {
                for (std::size_t s = 0; s < in.order.size(); ++s) {
                    if (s % kPollSteps == 0 && team.member() == 0) workers.poll();
                    const bool timed = s % 8 == 0;
                    const Clock::time_point t0 = timed ? Clock::now() : Clock::time_point();
                    const auto e = static_cast<std::size_t>(in.order[s]);
                    const char* x = in.data.responsesOf(e);
                    const char* present = in.data.presenceOf(e);
                    // Measured apart from the message: the others may be
                    // watching its cache line already.
                    sweepRankMeasures(x, present, band.profile, band.logPrior, band.width, J, in.method, row);
                    std::copy_n(row, band.width, team.message());
                    const Clock::time_point t1 = timed ? Clock::now() : Clock::time_point();
                    team.sync();
                    const Clock::time_point t2 = timed ? Clock::now() : Clock::time_point();
                    for (std::size_t k = 0; k < K; ++k) row[k] = team.messageOf(shares_.owner(k))[shares_.position(k)];
                    const auto w = static_cast<std::size_t>(bestRank(row, K));
                    learnBand<KC>(band, x, present, w, in.rateByDistance, J);
                    if (timed) worked += (t1 - t0) + (Clock::now() - t2);
                }
            });
            own.store(model_.profile);
            busy_[team.member()] = std::chrono::duration<double>(worked).count();
        });
        if (shares_.rebalance(busy_)) makeBands();
    }

private:
    void makeBands() {
        bands_.clear();
        for (std::size_t m = 0; m < busy_.size(); ++m) bands_.emplace_back(shares_.ranksOf(m), model_, J_, logPrior_);
    }

    const Model& model_;
    std::size_t J_;
    const double* logPrior_;
    RankShares shares_;
    std::vector<OwnBand> bands_;
    std::vector<double> busy_;  // seconds, in the timed steps
};

}  // namespace

std::int32_t learnSequential(const ResponseView& data, const Model& model, const SequentialSettings& settings,
                             Workers& workers, Observer& observer) {
    const std::size_t K = model.nranks;
    const std::size_t J = data.nitems;
    const std::size_t N = data.nexaminees;
    const LearningSchedule& schedule = settings.schedule;
    const std::int32_t T = schedule.maxiter;
    const char method = settings.method;
    // Counts as the rate's formula takes them.
    const auto nranks = static_cast<std::int32_t>(K);
    const auto nexaminees = static_cast<std::int32_t>(N);

    std::vector<std::int32_t> order(N);
    std::iota(order.begin(), order.end(), 0);
    std::int32_t seed = settings.seed;
    if (seed <= 0) seed = static_cast<std::int32_t>(std::time(nullptr));
    Lcg generator(seed);

    if (settings.progress == nullptr) observer.progress("Now calculating ");
    // The rate depends on the winner only through |k - w|: one neighbourhood
    // factor per rank distance and pass, the same values learningRate gives.
    std::vector<double> rateByDistance(K);
    std::vector<double> logPrior(method == 'B' ? K : 0);
    for (std::size_t k = 0; k < logPrior.size(); ++k) logPrior[k] = std::log(model.prior[k]);

    // Each examinee's step may be split by ranks over a team (RankTeam).
    const std::size_t members = splitsRanks(method) && J * K >= settings.splitRanksFromCells ? workers.teamSize(K) : 1;
    std::vector<double> rate(K);
    std::vector<double> measures(K);
    const std::unique_ptr<bool[]> wholeItem = wholeItemFlags(model.fixedMask.data(), K, J);
    const RankBand whole{nullptr, K, model.profile.data(), model.fixedMask.data(), wholeItem.get(), logPrior.data(),
                         rate.data()};
    std::optional<RankTeam> team;
    if (members > 1) team.emplace(members, model, J, logPrior.empty() ? nullptr : logPrior.data());
    WayChooser way;
    const PassInputs in{data, order, rateByDistance.data(), method, K, workers};

    for (std::int32_t t = 0; t < T; ++t) {
        shuffleExaminees(order, generator);
        const PassSchedule pass = scheduleAt(t, schedule);
        for (std::size_t d = 0; d < K; ++d)
            rateByDistance[d] = rateAt(static_cast<std::int32_t>(d), 0, pass, nranks, nexaminees);
        if (!team) {
            passAlone(in, whole, measures.data());
        } else {
            const bool together = way.teamNext();
            const auto start = std::chrono::steady_clock::now();
            if (together)
                team->pass(in, workers);
            else
                passAlone(in, whole, measures.data());
            way.record(together, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        }
        if (settings.increase) sortProfileIncreasing(model.profile, K);
        if (settings.progress != nullptr)
            settings.progress->passDone();
        else if ((std::int64_t{t} * 20 + 20) % T == 0)
            observer.progress(".");
        workers.ask();
    }
    if (settings.progress == nullptr) observer.progress("\n");
    return seed;
}

PassProgress::PassProgress(Observer& observer, std::int64_t totalPasses)
    : observer_(observer), total_(totalPasses), owner_(std::this_thread::get_id()) {}

void PassProgress::passDone() {
    done_.fetch_add(1, std::memory_order_relaxed);
    if (std::this_thread::get_id() == owner_) tellOwed();
}

void PassProgress::finish() {
    tellOwed();
    observer_.progress("\n");
}

void PassProgress::tellOwed() {
    const std::int64_t done = done_.load(std::memory_order_relaxed);
    for (; told_ < done; ++told_)
        if ((told_ * 20 + 20) % total_ == 0) observer_.progress(".");
}

}  // namespace tavrel
