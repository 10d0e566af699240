#include "estimation/batch_estimation.hpp"

#include <algorithm>
#include <cmath>
#include <exception>
#include <new>
#include <vector>

#include "common/large_array.hpp"
#include "common/messages.hpp"
#include "common/types.hpp"
#include "estimation/rank_count.hpp"
#include "estimation/rank_measures.hpp"
#include "estimation/sequential_learning.hpp"

namespace tavrel {

double defaultPhi(std::int32_t nranks, Observer& observer) {
    const double K = double(nranks);
    double phi;
    if (nranks <= 0)
        phi = 1.0;
    else if (nranks <= 5)
        phi = 1.05 - 0.05 * K;
    else if (nranks <= 10)
        phi = 1.0 - 0.04 * K;
    else if (nranks <= 20)
        phi = 0.8 - 0.02 * K;
    else
        phi = 0.0;
    note(observer, "phi = ", phi, ".");
    return phi;
}

void buildSmoothingFilter(std::span<double> filter, std::int32_t nranks, double phi) {
    const auto K = static_cast<std::size_t>(nranks);
    const auto at = [&](std::size_t row, std::size_t column) -> double& { return filter[row * K + column]; };
    std::fill(filter.begin(), filter.end(), 0.0);
    // A single rank keeps its membership whatever phi is: the band needs two.
    if (phi >= 1.0 || K == 1) {
        for (std::size_t k = 0; k < K; ++k) at(k, k) = 1.0;
    } else if (phi >= 1.0 / 3.0) {
        const double side = (1.0 - phi) / 2.0;
        at(0, 0) = at(1, 0) = 0.5;
        at(K - 2, K - 1) = at(K - 1, K - 1) = 0.5;
        for (std::size_t c = 1; c + 1 < K; ++c) {
            at(c - 1, c) = side;
            at(c, c) = phi;
            at(c + 1, c) = side;
        }
    } else {
        std::fill(filter.begin(), filter.end(), 1.0 / double(K));
    }
}

namespace {

// Replaces every membership row m by its smoothed row w, where
// w(c) = sum over l in order of m(l) * filter(l, c).
void smoothMemberships(std::span<double> membership, std::span<const double> filter, std::size_t nranks) {
    const std::size_t K = nranks;
    const std::size_t N = membership.size() / K;
    std::vector<double> row(K);
    withRankCount(K, [&](auto KC) {
        const std::size_t Kc = rankCount<KC>(K);
        for (std::size_t i = 0; i < N; ++i) {
            double* m = membership.data() + i * Kc;
            std::copy(m, m + Kc, row.begin());
            for (std::size_t c = 0; c < Kc; ++c) {
                double w = 0.0;
                for (std::size_t l = 0; l < Kc; ++l) w = w + row[l] * filter[l * Kc + c];
                m[c] = w;
            }
        }
    });
}

// Adds every examinee's smoothed row to the sums of items [first, last) that
// it answered: rows 2(j - first) and 2(j - first) + 1 of `sums` hold item j's
// denominators and numerators, and the row after them takes the additions of
// missing and incorrect responses, so the loop chooses a row instead of
// branching on each response.
template <std::size_t KC>
void accumulateRows(const ResponseView& data, const double* smoothed, double* sums, std::size_t Kr,
                    BlockRange items, BlockRange examinees) {
    const std::size_t K = rankCount<KC>(Kr);
    const std::size_t J = data.nitems;
    const char* const responses = data.responses.data();
    const char* const missingMask = data.missingMask.data();
    double* const discard = sums + 2 * (items.end - items.begin) * K;
    for (std::size_t i = examinees.begin; i < examinees.end; ++i) {
        const char* x = responses + i * J;
        const char* present = missingMask + i * J;
        const double* w = smoothed + i * K;
        for (std::size_t j = items.begin; j < items.end; ++j) {
            const bool answered = present[j] == '1';
            const bool correct = answered && x[j] == '1';
            double* d = answered ? sums + 2 * (j - items.begin) * K : discard;
            double* n = correct ? sums + (2 * (j - items.begin) + 1) * K : discard;
            for (std::size_t c = 0; c < K; ++c) d[c] = d[c] + w[c];
            for (std::size_t c = 0; c < K; ++c) n[c] = n[c] + w[c];
        }
    }
}

// accumulateRows over the present items alone: the missing responses'
// additions, which only the discarded row takes, are left out. An incorrect
// response still adds to the discarded row: a branch on the response would be
// mispredicted about as often as answers are wrong. Kept out of line: inlined,
// it changes the dense loop's code for the worse.
template <std::size_t KC>
[[gnu::noinline]] void accumulatePresentRows(const PresentItems& list, const double* smoothed, double* sums, std::size_t Kr,
                           BlockRange items, BlockRange examinees) {
    const std::size_t K = rankCount<KC>(Kr);
    const std::uint32_t* const entries = list.entries.data();
    // Entries are 2j or 2j + 1 in item order: the block's run is found by value.
    const std::uint32_t first = static_cast<std::uint32_t>(2 * items.begin);
    const std::uint64_t last = 2 * std::uint64_t(items.end);
    double* const discard = sums + 2 * (items.end - items.begin) * K;
    for (std::size_t i = examinees.begin; i < examinees.end; ++i) {
        const std::uint32_t* e = entries + list.start[i];
        const std::uint32_t* const end = entries + list.start[i + 1];
        if (first > 0) e = std::lower_bound(e, end, first);
        // A local copy of the row: the sums cannot alias it, so each row's
        // additions compile to packed instructions (lane by lane the same).
        double w[KC > 0 ? KC : 1];
        const double* const row = smoothed + i * K;
        if constexpr (KC > 0)
            for (std::size_t c = 0; c < K; ++c) w[c] = row[c];
        const double* const add = KC > 0 ? w : row;
        for (; e < end && *e < last; ++e) {
            double* d = sums + 2 * ((*e >> 1) - items.begin) * K;
            double* n = (*e & 1u) != 0 ? d + K : discard;
            for (std::size_t c = 0; c < K; ++c) d[c] = d[c] + add[c];
            for (std::size_t c = 0; c < K; ++c) n[c] = n[c] + add[c];
        }
    }
}

// Every learnable cell of items [first, last) becomes the smoothed-membership-
// weighted share of correct responses among the examinees who answered the
// item, clipped to [DBL_MIN, 1]; a cell of an item nobody answered keeps its
// value.
void updateItems(const ResponseView& data, std::span<const char> fixedMask, std::span<double> profile,
                 std::span<const double> smoothed, std::size_t nranks, BlockRange items, const Workers& workers) {
    const std::size_t K = nranks;
    const std::size_t N = data.nexaminees;
    // Every cell's sums run over the examinees in order, as cell by cell;
    // taken in consecutive runs of examinees, with a poll between them.
    std::vector<double> sums((2 * (items.end - items.begin) + 1) * K, 0.0);
    withRankCount(K, [&](auto KC) {
        for (std::size_t i = 0; i < N; i += kPollRows) {
            workers.poll();
            const BlockRange rows{i, std::min(N, i + kPollRows)};
            if (data.presentItems)
                accumulatePresentRows<KC>(*data.presentItems, smoothed.data(), sums.data(), K, items, rows);
            else
                accumulateRows<KC>(data, smoothed.data(), sums.data(), K, items, rows);
        }
    });
    for (std::size_t j = items.begin; j < items.end; ++j) {
        const double* den = sums.data() + 2 * (j - items.begin) * K;
        const double* num = den + K;
        for (std::size_t c = 0; c < K; ++c) {
            const std::size_t cell = j * K + c;
            if (fixedMask[cell] != '1' || den[c] == 0.0) continue;
            profile[cell] = clipProbability(num[c] / den[c]);
        }
    }
}

// The smoothed posterior memberships of examinees [first, last).
void smoothedMembershipRows(const RankScorer& scorer, const ResponseView& data, std::span<const double> filter,
                            std::size_t K, BlockRange examinees, std::span<double> membership) {
    for (std::size_t i = examinees.begin; i < examinees.end; ++i)
        scorer.membershipRow(i, data, membership.data() + i * K);
    smoothMemberships(membership.subspan(examinees.begin * K, (examinees.end - examinees.begin) * K), filter, K);
}

// The log-likelihood of a pass: one running sum in the order examinee, rank,
// item, which may be taken over consecutive ranges of examinees, one after
// another. Adding a range allocates nothing.
class LogLikelihood {
public:
    LogLikelihood(std::size_t nitems, std::size_t nranks)
        : J_(nitems), K_(nranks), logs_(3 * nranks * nitems, 0.0), codes_(nitems) {}

    // Starts the sum at 0 with the logarithms of `profile`: once per cell,
    // rank-major so that the item loop is contiguous, three per cell in the
    // rows responseCode picks.
    void start(std::span<const double> profile) {
        for (std::size_t j = 0; j < J_; ++j) {
            for (std::size_t c = 0; c < K_; ++c) {
                const double p = profile[j * K_ + c];
                logs_[3 * (c * J_ + j)] = logIncorrect(p);
                logs_[3 * (c * J_ + j) + 1] = logCorrect(p);
            }
        }
        sum_ = 0.0;
    }

    // Kept out of line: inlined beside the caller's polls, its inner loop
    // compiles to more instructions per cell.
    [[gnu::noinline]] void add(const ResponseView& data, std::span<const double> smoothed, BlockRange examinees) {
        // Locals: the stores into the codes, characters, may alias any member.
        const std::size_t J = J_;
        const std::size_t K = K_;
        const double* const logs = logs_.data();
        unsigned char* const codes = codes_.data();
        if (data.presentItems) return addPresent(*data.presentItems, smoothed, examinees);
        double L = sum_;
        for (std::size_t i = examinees.begin; i < examinees.end; ++i) {
            const char* x = data.responsesOf(i);
            const char* present = data.presenceOf(i);
            for (std::size_t j = 0; j < J; ++j) codes[j] = static_cast<unsigned char>(responseCode(x[j], present[j]));
            for (std::size_t c = 0; c < K; ++c) {
                const double w = smoothed[i * K + c];
                if (!(w > kDblMin)) continue;
                // A missing response adds w * 0.0 = +0.0, which leaves L unchanged.
                const double* table = logs + 3 * c * J;
                for (std::size_t j = 0; j < J; ++j) L = L + w * table[3 * j + codes[j]];
            }
        }
        sum_ = L;
    }

    double sum() const { return sum_; }

private:
    // add over the present items alone: a missing one adds w * 0.0 = +0.0 to
    // a sum that starts at +0.0 and so is never -0.0, which changes no bit.
    [[gnu::noinline]] void addPresent(const PresentItems& list, std::span<const double> smoothed,
                                      BlockRange examinees) {
        const std::size_t J = J_;
        const std::size_t K = K_;
        const double* const logs = logs_.data();
        const std::uint32_t* const entries = list.entries.data();
        const std::size_t* const start = list.start.data();
        double L = sum_;
        for (std::size_t i = examinees.begin; i < examinees.end; ++i) {
            for (std::size_t c = 0; c < K; ++c) {
                const double w = smoothed[i * K + c];
                if (!(w > kDblMin)) continue;
                const double* table = logs + 3 * c * J;
                // Entry 2j + b picks row 3j + b: the entry plus j.
                for (std::size_t e = start[i]; e < start[i + 1]; ++e)
                    L = L + w * table[entries[e] + (entries[e] >> 1)];
            }
        }
        sum_ = L;
    }

    std::size_t J_, K_;
    std::vector<double> logs_;
    std::vector<unsigned char> codes_;
    double sum_ = 0.0;
};

// Prints a pass's line of the trace; true when the change meets the criterion.
bool traceLine(std::int32_t t, double v, double previous, const BatchSettings& settings, Observer& observer) {
    if (t == 0) {
        observer.progress(messageText(t + 1, '\t', v, "\tchange\n"));
        return false;
    }
    const double d = std::fabs(v - previous);
    observer.progress(messageText(t + 1, '\t', v, '\t', d, '\n'));
    return d <= settings.diffcrit;
}

}  // namespace

BatchOutcome estimateBatch(const ResponseView& data, const Model& model, std::span<const double> filter,
                           const BatchSettings& settings, Workers& workers, Observer& observer) {
    const std::size_t K = model.nranks;
    const std::size_t J = data.nitems;
    const std::size_t N = data.nexaminees;
    const std::span<double> profile = model.profile;
    // Memberships by blocks of examinees, a few per worker so that one held
    // up by the machine delays the rest little; the profile by blocks of
    // items, one per worker, as each block reads every membership row.
    const std::size_t rowBlocks = workers.blocksFor(N, 8, kPollRows);
    const std::size_t itemBlocks = workers.blocksFor(J, 1);
    const auto fillMemberships = [&](std::span<double> membership, std::span<const double> from) {
        const RankScorer scorer(from, model.prior, K, J, 'B');
        workers.forEachBlock(rowBlocks, [&](std::size_t b) {
            smoothedMembershipRows(scorer, data, filter, K, blockRange(N, rowBlocks, b), membership);
        });
    };
    const auto update = [&](std::span<const double> membership) {
        workers.forEachBlock(itemBlocks, [&](std::size_t b) {
            updateItems(data, model.fixedMask, profile, membership, K, blockRange(J, itemBlocks, b), workers);
        });
        if (settings.increase) sortProfileIncreasing(profile, K);
    };

    std::vector<double> membership = largeArray<double>(N * K);
    // With several workers the passes overlap: while one worker sums pass t's
    // log-likelihood, the others already run pass t + 1's memberships (into a
    // second matrix) and profile update. The log-likelihood reads the profile
    // of pass t from a copy, which becomes the result again when pass t meets
    // the criterion. With one worker, or without room for the second matrix,
    // the sum comes first and pass t + 1 after pass t's line.
    std::vector<double> ahead;
    if (workers.count() > 1) {
        try {
            ahead = largeArray<double>(N * K);
        } catch (const std::bad_alloc&) {
            // `ahead` stays empty: the passes run one step after another.
        }
    }
    const bool overlap = !ahead.empty();

    observer.progress("iter\tLog-likelihood/(nN)\n");
    // J * N as an integer product over all cells, present or not.
    const double cells = double(J * N);
    BatchOutcome outcome;
    double previous = 0.0;
    LogLikelihood L(J, K);
    std::vector<double> passProfile(profile.size());
    if (settings.maxiter > 0) {
        fillMemberships(membership, profile);
        update(membership);
    }
    for (std::int32_t t = 0; t < settings.maxiter; ++t) {
        // `membership` and the profile are pass t's.
        std::copy(profile.begin(), profile.end(), passProfile.begin());
        L.start(passProfile);
        std::size_t summed = 0;  // examinees in the sum so far
        // In runs of examinees, one after another, with a poll between them.
        const auto sumTo = [&](std::size_t end) {
            for (; summed < end; summed = std::min(end, summed + kPollRows)) {
                workers.poll();
                L.add(data, membership, {summed, std::min(end, summed + kPollRows)});
            }
        };
        const bool goesOn = t + 1 < settings.maxiter;
        // A failure in pass t + 1 is reported where one thread meets it:
        // after pass t's line, when pass t + 1 runs.
        std::exception_ptr nextPassFailure;
        if (overlap && goesOn) {
            try {
                // Block 0 of each step continues the sum, in order.
                const RankScorer scorer(passProfile, model.prior, K, J, 'B');
                workers.forEachBlock(1 + rowBlocks, [&](std::size_t b) {
                    if (b == 0) return sumTo(N / 2);
                    smoothedMembershipRows(scorer, data, filter, K, blockRange(N, rowBlocks, b - 1), ahead);
                });
                workers.forEachBlock(1 + itemBlocks, [&](std::size_t b) {
                    if (b == 0) return sumTo(N);
                    updateItems(data, model.fixedMask, profile, ahead, K, blockRange(J, itemBlocks, b - 1), workers);
                });
                if (settings.increase) sortProfileIncreasing(profile, K);
            } catch (...) {
                nextPassFailure = std::current_exception();
            }
        }
        if (summed < N) sumTo(N);

        const double v = L.sum() / cells;
        outcome.passes = t + 1;
        outcome.trace.push_back(v);
        if (traceLine(t, v, previous, settings, observer)) {
            outcome.converged = true;
            std::copy(passProfile.begin(), passProfile.end(), profile.begin());
            return outcome;
        }
        previous = v;
        if (t >= settings.maxiter - 1)
            note(observer, "Convergence has not been reached to criterion = ", settings.diffcrit, ".");
        if (nextPassFailure) std::rethrow_exception(nextPassFailure);
        workers.ask();
        if (overlap) {
            std::swap(membership, ahead);
        } else if (goesOn) {
            fillMemberships(membership, profile);
            update(membership);
        }
    }
    return outcome;
}

}  // namespace tavrel
