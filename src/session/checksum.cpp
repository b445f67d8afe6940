#include "session/checksum.h"

#include <bit>

namespace vellumry {

namespace {

constexpr std::uint64_t kFnvOffset = 0xcbf29ce484222325ULL;
constexpr std::uint64_t kFnvPrime = 0x100000001b3ULL;

std::uint64_t mix(std::uint64_t hash, double value) {
  auto bits = std::bit_cast<std::uint64_t>(value);
  for (int i = 0; i < 8; ++i) {
    hash = (hash ^ (bits & 0xffU)) * kFnvPrime;
    bits >>= 8U;
  }
  return hash;
}

std::uint64_t mix(std::uint64_t hash, const Vec3& v) { return mix(mix(mix(hash, v.x), v.y), v.z); }

}  // namespace

std::uint64_t clothChecksum(const Cloth& cloth) {
  std::uint64_t hash = kFnvOffset;
  for (int j = 0; j < cloth.particleCount; ++j) {
    hash = mix(hash, cloth.particles[j].position);
    hash = mix(hash, cloth.particles[j].velocity);
  }
  return hash;
}

}  // namespace vellumry
