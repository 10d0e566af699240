#pragma once
// The program's own pseudo-random generator: a 32-bit linear congruential
// generator whose sequence does not depend on the platform's library.

#include <cstdint>

namespace tavrel {

class Lcg {
public:
    explicit Lcg(std::int32_t seed) : state_(static_cast<std::uint32_t>(seed)) {}

    // A value from 0 to 32767.
    std::int32_t draw() {
        state_ = state_ * 214013u + 2531011u;
        return static_cast<std::int32_t>((state_ >> 16) & 32767u);
    }

private:
    std::uint32_t state_;
};

}  // namespace tavrel
