#include "output/result_writers.hpp"

#include "common/messages.hpp"
#include "output/result_file.hpp"

namespace tavrel {
namespace {

// Writes the identifier and a delimiter when the data carry identifiers:
// fixed-width ones byte for byte, ones of their own length as fields.
template <class Out>
void identifier(Out& out, const ExamineeIds& ids, std::size_t i) {
    if (!ids.present()) return;
    if (ids.quoteOnOutput())
        out.field(ids[i]);
    else
        out.text(ids[i]);
    out.delimiter();
}

// "item" and the rank numbers, then a row of K numbers per item; an item
// out of use (itemUse '0', when given) shows "*" in every rank.
void writeItemTable(const std::string& fileName, std::span<const double> table, std::span<const char> itemUse,
                    std::size_t K, char delimiter) {
    ResultFile out(fileName, delimiter);
    out.rankHeader("item", K);
    const std::size_t J = K == 0 ? 0 : table.size() / K;
    for (std::size_t j = 0; j < J; ++j) {
        out.integer(static_cast<std::int64_t>(j) + 1);
        const bool used = itemUse.empty() || itemUse[j] == '1';
        for (std::size_t k = 0; k < K; ++k) {
            out.delimiter();
            if (used)
                out.number(table[j * K + k]);
            else
                out.text("*");
        }
        out.endLine();
    }
    out.close();
}

}  // namespace

void writeItemReferenceProfile(const std::string& fileName, std::span<const double> profile,
                               std::span<const char> itemUse, std::size_t nranks, char delimiter,
                               Observer& observer) {
    writeItemTable(fileName, profile, itemUse, nranks, delimiter);
    note(observer, "Item reference profile is written to \"", fileName, "\".");
}

void writeWeightedObservationRatioProfile(const std::string& fileName, std::span<const double> ratios,
                                          std::size_t nranks, char delimiter, Observer& observer) {
    writeItemTable(fileName, ratios, {}, nranks, delimiter);
    note(observer, "Weighted observation ratio profile is written to \"", fileName, "\".");
}

void writeUnweightedObservationRatioProfile(const std::string& fileName, std::span<const double> ratios,
                                            std::size_t nranks, char delimiter, Observer& observer) {
    writeItemTable(fileName, ratios, {}, nranks, delimiter);
    note(observer, "Unweighted observation ratio profile is written to \"", fileName, "\".");
}

void writeLatentRanks(const std::string& fileName, const ExamineeIds& ids, std::span<const std::int32_t> ranks,
                      char delimiter, Workers& workers, Observer& observer) {
    ResultFile out(fileName, delimiter);
    if (ids.present()) out.text("id"), out.delimiter(), out.text("rank"), out.endLine();
    writeRows(out, ranks.size(), workers, [&](auto& row, std::size_t i) {
        identifier(row, ids, i);
        row.integer(ranks[i] + 1);
        row.endLine();
    });
    out.close();
    note(observer, ranks.size(), " examinees' latetn ranks are written to \"", fileName, "\".");
}

void writeRankMembershipProfiles(const std::string& fileName, const ExamineeIds& ids, std::span<const double> rows,
                                 std::size_t nranks, char delimiter, Workers& workers, Observer& observer) {
    ResultFile out(fileName, delimiter);
    const std::size_t K = nranks;
    const std::size_t N = K == 0 ? 0 : rows.size() / K;
    if (ids.present()) out.rankHeader("id", K);
    writeRows(out, N, workers, [&](auto& row, std::size_t i) {
        identifier(row, ids, i);
        const double* m = rows.data() + i * K;
        for (std::size_t k = 0; k < K; ++k) {
            if (k > 0) row.delimiter();
            row.number(m[k]);
        }
        row.endLine();
    });
    out.close();
    note(observer, N, " examinees' rank membership profiles are written to \"", fileName, "\".");
}

}  // namespace tavrel
