#pragma once
// Named views of the run driver's arrays, lent to an operation for one call:
// the responses as every stage reads them, and the model that estimation
// changes.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tavrel {

// Per examinee the items it answered, in item order, beside the dense
// matrix: examinee i's entries run from start[i] to start[i + 1], each
// 2j + 1 for a '1' to item j and 2j for a '0'. Where many cells are missing,
// the passes visit these instead of every cell.
struct PresentItems {
    std::vector<std::size_t> start;       // N + 1
    std::vector<std::uint32_t> entries;  // one per present response
};

// N examinees x J items, examinee-major (examinee i, item j at i*J + j). A
// response takes part where missingMask holds '1'; it is then '0' or '1'.
struct ResponseView {
    std::span<const char> responses;
    std::span<const char> missingMask;
    std::size_t nitems = 0;      // J
    std::size_t nexaminees = 0;  // N
    // The present items of the same responses and mask, or none: every cell
    // is visited. Either way every sum is the same to the bit.
    const PresentItems* presentItems = nullptr;

    const char* responsesOf(std::size_t i) const { return responses.data() + i * nitems; }
    const char* presenceOf(std::size_t i) const { return missingMask.data() + i * nitems; }

    // Examinee i's entries in presentItems of the items [first, last), in
    // item order; entries are 2j or 2j + 1, so the run's ends are found by
    // value.
    std::span<const std::uint32_t> entriesOf(std::size_t i, std::size_t first, std::size_t last) const {
        const std::uint32_t* begin = presentItems->entries.data() + presentItems->start[i];
        const std::uint32_t* end = presentItems->entries.data() + presentItems->start[i + 1];
        if (first > 0) begin = std::lower_bound(begin, end, static_cast<std::uint32_t>(2 * first));
        if (last < nitems) end = std::lower_bound(begin, end, static_cast<std::uint32_t>(2 * last));
        return {begin, end};
    }
};

// The item reference profile under estimation (J x K, item-major: item j,
// rank k at j*K + k), which of its cells are learned ('1' in fixedMask), and
// the prior probability of each rank.
struct Model {
    std::span<double> profile;
    std::span<const char> fixedMask;
    std::span<const double> prior;
    std::size_t nranks = 0;  // K
};

}  // namespace tavrel
