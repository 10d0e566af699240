#include "output/result_writers.hpp"

#include <algorithm>
#include <cstddef>
#include <ostream>
#include <string_view>
#include <vector>

#include "common/console.hpp"
#include "output/result_file.hpp"

namespace tavrel {
namespace {

// Writes the identifier and a delimiter when the data carry identifiers:
// fixed-width ones byte for byte, ones from delimited data as fields.
template <class Out>
void identifier(Out& out, const ResultInputs& in, std::size_t i) {
    if (!in.ids.present()) return;
    if (in.ids.quoteOnOutput())
        out.field(in.ids[i]);
    else
        out.text(in.ids[i]);
    out.delimiter();
}

}  // namespace

void writeItemReferenceProfile(const std::string& fileName, const ResultInputs& in, std::ostream& console) {
    ResultFile out(fileName, in.delimiter);
    const std::size_t K = in.nranks;
    out.rankHeader("item", in.nranks);
    for (std::size_t j = 0; j < in.data.nitems; ++j) {
        out.integer(static_cast<std::int64_t>(j) + 1);
        const bool used = in.itemUse[j] == '1';
        for (std::size_t k = 0; k < K; ++k) {
            out.delimiter();
            if (used)
                out.number(in.profile[j * K + k]);
            else
                out.text("*");
        }
        out.endLine();
    }
    out.close();
    console << kNote << "Item reference profile is written to \"" << fileName << "\".\n";
}

void writeLatentRanks(const std::string& fileName, const ResultInputs& in, Workers& workers, std::ostream& console) {
    ResultFile out(fileName, in.delimiter);
    if (in.ids.present()) out.text("id"), out.delimiter(), out.text("rank"), out.endLine();
    writeRows(out, in.data.nexaminees, workers, [&](auto& row, std::size_t i) {
        identifier(row, in, i);
        row.integer(in.ranks[i] + 1);
        row.endLine();
    });
    out.close();
    console << kNote << in.data.nexaminees << " examinees' latetn ranks are written to \"" << fileName << "\".\n";
}

void writeRankMembershipProfiles(const std::string& fileName, const ResultInputs& in, Workers& workers,
                                 std::ostream& console) {
    ResultFile out(fileName, in.delimiter);
    const std::size_t K = in.nranks;
    if (in.ids.present()) out.rankHeader("id", in.nranks);
    writeRows(out, in.data.nexaminees, workers, [&](auto& row, std::size_t i) {
        identifier(row, in, i);
        const double* m = in.membership.data() + i * K;
        for (std::size_t k = 0; k < K; ++k) {
            if (k > 0) row.delimiter();
            row.number(m[k]);
        }
        row.endLine();
    });
    out.close();
    console << kNote << in.data.nexaminees << " examinees' rank membership profiles are written to \"" << fileName
            << "\".\n";
}

void writeWeightedObservationRatioProfile(const std::string& fileName, const ResultInputs& in, Workers& workers,
                                          std::ostream& console) {
    ResultFile out(fileName, in.delimiter);
    const std::span<const double> membership = in.membership;
    const std::size_t K = in.nranks;
    const std::size_t J = in.data.nitems;
    const std::size_t N = in.data.nexaminees;
    // Both sums of every cell run over the examinees in order; the block of
    // the first items also sums the denominators. Each block sums into its
    // own rows, so that no two workers write to one cache line per examinee.
    std::vector<double> denominator(K, 0.0);
    std::vector<double> numerator(J * K, 0.0);
    forEachRange(workers, J, 2, [&, K, N](std::size_t j0, std::size_t j1) {
        const ResponseView data = in.data;
        std::vector<double> block((j1 - j0) * K, 0.0);
        double* const sums = block.data();
        double* const total = j0 == 0 ? denominator.data() : nullptr;
        for (std::size_t i = 0; i < N; ++i) {
            const double* m = membership.data() + i * K;
            if (total != nullptr)
                for (std::size_t k = 0; k < K; ++k) total[k] = total[k] + m[k];
            const char* present = data.presenceOf(i);
            for (std::size_t j = j0; j < j1; ++j) {
                if (present[j] != '1') continue;
                double* n = sums + (j - j0) * K;
                for (std::size_t k = 0; k < K; ++k) n[k] = n[k] + m[k];
            }
        }
        std::copy(block.begin(), block.end(), numerator.begin() + static_cast<std::ptrdiff_t>(j0 * K));
    });
    out.rankHeader("item", in.nranks);
    for (std::size_t j = 0; j < J; ++j) {
        out.integer(static_cast<std::int64_t>(j) + 1);
        for (std::size_t k = 0; k < K; ++k) {
            out.delimiter();
            out.number(numerator[j * K + k] / denominator[k]);
        }
        out.endLine();
    }
    out.close();
    console << kNote << "Weighted observation ratio profile is written to \"" << fileName << "\".\n";
}

void writeUnweightedObservationRatioProfile(const std::string& fileName, const ResultInputs& in,
                                            std::span<const std::int64_t> answered, std::ostream& console) {
    ResultFile out(fileName, in.delimiter);
    const std::size_t K = in.nranks;
    const std::size_t J = in.data.nitems;
    // Every examinee counts here, also one with no response.
    std::vector<std::int64_t> assigned(K, 0);
    for (const std::int32_t rank : in.ranks) ++assigned[static_cast<std::size_t>(rank)];
    out.rankHeader("item", in.nranks);
    for (std::size_t j = 0; j < J; ++j) {
        out.integer(static_cast<std::int64_t>(j) + 1);
        for (std::size_t k = 0; k < K; ++k) {
            out.delimiter();
            out.number(double(answered[j * K + k]) / double(assigned[k]));
        }
        out.endLine();
    }
    out.close();
    console << kNote << "Unweighted observation ratio profile is written to \"" << fileName << "\".\n";
}

}  // namespace tavrel
