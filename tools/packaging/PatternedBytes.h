#pragma once
// Repeatable pseudo-random bytes: contents that do not compress, the same on every run,
// for packages and downloads that must really be as large as they say.

#include <cstddef>
#include <cstdint>
#include <string>

namespace quillon::packaging {

/// Fills `size` bytes at `out` with the pattern of `seed` (different for every seed).
void fillPatterned(char *out, std::size_t size, std::uint64_t seed = 1);

/// `size` bytes of the pattern of `seed`.
std::string patternedBytes(std::size_t size, std::uint64_t seed = 1);

} // namespace quillon::packaging
