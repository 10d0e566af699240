#pragma once
// Compile-time rank counts for the hot loops. Runs usually have a handful of
// ranks; with K known to the compiler, a row of K values is unrolled and held
// in registers instead of being reloaded for every item.

#include <cstddef>
#include <utility>

namespace tavrel {

// The largest K given its own instantiation; larger K run the generic loops.
inline constexpr std::size_t kMaxFixedRanks = 16;

// Calls f(std::integral_constant<std::size_t, K>) for K up to kMaxFixedRanks,
// and f(std::integral_constant<std::size_t, 0>) (K known only at run time)
// otherwise.
template <class F>
void withRankCount(std::size_t K, F&& f) {
    [&]<std::size_t... C>(std::index_sequence<C...>) {
        if (!((K == C + 1 ? (f(std::integral_constant<std::size_t, C + 1>{}), true) : false) || ...))
            f(std::integral_constant<std::size_t, 0>{});
    }(std::make_index_sequence<kMaxFixedRanks>{});
}

// The rank count a kernel works with: the compile-time one when there is one.
template <std::size_t KC>
constexpr std::size_t rankCount(std::size_t K) {
    return KC > 0 ? KC : K;
}

}  // namespace tavrel
