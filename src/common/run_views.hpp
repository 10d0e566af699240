#pragma once
// Named views of the run driver's arrays, lent to an operation for one call:
// the responses as every stage reads them, and the model that estimation
// changes.

#include <cstddef>
#include <span>

namespace tavrel {

// N examinees x J items, examinee-major (examinee i, item j at i*J + j). A
// response takes part where missingMask holds '1'; it is then '0' or '1'.
struct ResponseView {
    std::span<const char> responses;
    std::span<const char> missingMask;
    std::size_t nitems = 0;      // J
    std::size_t nexaminees = 0;  // N

    const char* responsesOf(std::size_t i) const { return responses.data() + i * nitems; }
    const char* presenceOf(std::size_t i) const { return missingMask.data() + i * nitems; }
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
