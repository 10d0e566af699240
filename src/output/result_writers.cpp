#include "output/result_writers.hpp"

#include <ostream>
#include <string_view>
#include <vector>

#include "common/console.hpp"
#include "output/result_file.hpp"

namespace tavrel {
namespace {

std::size_t ranksOf(const ResultInputs& in) { return in.nranks; }
std::size_t itemsOf(const ResultInputs& in) { return in.data.nitems; }
std::size_t examineesOf(const ResultInputs& in) { return in.data.nexaminees; }

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
    const std::size_t K = ranksOf(in);
    out.rankHeader("item", in.nranks);
    for (std::size_t j = 0; j < itemsOf(in); ++j) {
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
    writeRows(out, examineesOf(in), in.delimiter, workers, [&](auto& row, std::size_t i) {
        identifier(row, in, i);
        row.integer(in.ranks[i] + 1);
        row.endLine();
    });
    out.close();
    console << kNote << examineesOf(in) << " examinees' latetn ranks are written to \"" << fileName << "\".\n";
}

void writeRankMembershipProfiles(const std::string& fileName, const ResultInputs& in, Workers& workers,
                                 std::ostream& console) {
    ResultFile out(fileName, in.delimiter);
    const std::size_t K = ranksOf(in);
    if (in.ids.present()) out.rankHeader("id", in.nranks);
    writeRows(out, examineesOf(in), in.delimiter, workers, [&](auto& row, std::size_t i) {
        identifier(row, in, i);
        const double* m = in.membership.data() + i * K;
        for (std::size_t k = 0; k < K; ++k) {
            if (k > 0) row.delimiter();
            row.number(m[k]);
        }
        row.endLine();
    });
    out.close();
    console << kNote << examineesOf(in) << " examinees' rank membership profiles are written to \"" << fileName
            << "\".\n";
}

void writeWeightedObservationRatioProfile(const std::string& fileName, const ResultInputs& in, Workers& workers,
                                          std::ostream& console) {
    ResultFile out(fileName, in.delimiter);
    const std::span<const double> membership = in.membership;
    const std::size_t K = ranksOf(in);
    const std::size_t J = itemsOf(in);
    const std::size_t N = examineesOf(in);
    // Both sums of every cell run over the examinees in order; the block of
    // the first items also sums the denominators.
    std::vector<double> denominator(K, 0.0);
    std::vector<double> numerator(J * K, 0.0);
    forEachRange(workers, J, 2, [&, K, N](std::size_t j0, std::size_t j1) {
        const ResponseView data = in.data;
        double* const sums = numerator.data();
        double* const total = j0 == 0 ? denominator.data() : nullptr;
        for (std::size_t i = 0; i < N; ++i) {
            const double* m = membership.data() + i * K;
            if (total != nullptr)
                for (std::size_t k = 0; k < K; ++k) total[k] = total[k] + m[k];
            const char* present = data.presenceOf(i);
            for (std::size_t j = j0; j < j1; ++j) {
                if (present[j] != '1') continue;
                double* n = sums + j * K;
                for (std::size_t k = 0; k < K; ++k) n[k] = n[k] + m[k];
            }
        }
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

void writeUnweightedObservationRatioProfile(const std::string& fileName, const ResultInputs& in, Workers& workers,
                                            std::ostream& console) {
    ResultFile out(fileName, in.delimiter);
    const std::size_t K = ranksOf(in);
    const std::size_t J = itemsOf(in);
    const std::size_t N = examineesOf(in);
    std::vector<std::int64_t> assigned(K, 0);
    for (std::size_t i = 0; i < N; ++i) ++assigned[static_cast<std::size_t>(in.ranks[i])];
    std::vector<std::int64_t> present(J * K, 0);
    forEachRange(workers, J, 2, [&, K, N](std::size_t j0, std::size_t j1) {
        const ResponseView data = in.data;
        const std::int32_t* const rank = in.ranks.data();
        std::int64_t* const counts = present.data();
        for (std::size_t i = 0; i < N; ++i) {
            const auto k = static_cast<std::size_t>(rank[i]);
            const char* mask = data.presenceOf(i);
            for (std::size_t j = j0; j < j1; ++j)
                if (mask[j] == '1') ++counts[j * K + k];
        }
    });
    out.rankHeader("item", in.nranks);
    for (std::size_t j = 0; j < J; ++j) {
        out.integer(static_cast<std::int64_t>(j) + 1);
        for (std::size_t k = 0; k < K; ++k) {
            out.delimiter();
            out.number(double(present[j * K + k]) / double(assigned[k]));
        }
        out.endLine();
    }
    out.close();
    console << kNote << "Unweighted observation ratio profile is written to \"" << fileName << "\".\n";
}

}  // namespace tavrel
