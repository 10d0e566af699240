#pragma once
// Large working arrays backed by transparent huge pages where the system
// offers them on request: filling a matrix of hundreds of megabytes then
// takes one page fault per 2 MiB instead of one per 4 KiB.

#include <cstddef>
#include <string>
#include <vector>

namespace tavrel {

// Asks the kernel to back the whole 2 MiB pages inside [data, data + bytes)
// with huge pages. Call it before the memory is first written. A hint only:
// a no-op where unsupported or for small arrays.
void adviseHugePages(const void* data, std::size_t bytes);

// A vector of n copies of value whose memory was advised before it was filled.
template <class T>
std::vector<T> largeArray(std::size_t n, const T& value = T()) {
    std::vector<T> array;
    array.reserve(n);
    adviseHugePages(array.data(), n * sizeof(T));
    array.assign(n, value);
    return array;
}

// Reserves room for n characters in text, advised likewise.
inline void reserveLarge(std::string& text, std::size_t n) {
    text.reserve(n);
    adviseHugePages(text.data(), n);
}

}  // namespace tavrel
