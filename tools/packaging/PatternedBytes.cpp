#include "packaging/PatternedBytes.h"

#include <algorithm>
#include <cstring>

namespace quillon::packaging {

void fillPatterned(char *out, std::size_t size, std::uint64_t seed) {
    std::uint64_t x = seed * 0x9E3779B97F4A7C15ull + 0x2545F4914F6CDD1Dull;
    for (std::size_t i = 0; i < size; i += 8) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        std::memcpy(out + i, &x, std::min<std::size_t>(8, size - i));
    }
}

std::string patternedBytes(std::size_t size, std::uint64_t seed) {
    std::string bytes(size, '\0');
    fillPatterned(bytes.data(), size, seed);
    return bytes;
}

} // namespace quillon::packaging
