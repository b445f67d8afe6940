// The last resort against crossings the pushes leave: impact zones. The particles of every
// remaining crossing join one zone, and a zone moves as one rigid piece by its members' mean
// displacement, so nothing inside it can cross; zones that still cross merge and move again,
// and after a few rounds every zone still crossing stays where the tick started, which the last
// tick left free of crossings; should crossings still remain, the whole cloth does. So a tick
// takes a bounded number of sweeps, and ends free of crossings.
#include "cloth/cloth.h"
#include "collide/collider.h"

namespace vellumry {

namespace {

constexpr int kRigidRounds = 3;
constexpr int kFrozenRounds = 3;

}  // namespace

int Collider::rootOf(int particle) {
  auto at = static_cast<std::size_t>(particle);
  while (zone_[at] != static_cast<std::int32_t>(at)) {
    const auto up = static_cast<std::size_t>(zone_[at]);
    zone_[at] = zone_[up];  // halve the path
    at = static_cast<std::size_t>(zone_[at]);
  }
  return static_cast<int>(at);
}

void Collider::joinZone(const int corners[4]) {
  int root = -1;
  for (int i = 0; i < 4; ++i) {
    if (corners[i] < 0) {
      continue;
    }
    const auto j = static_cast<std::size_t>(corners[i]);
    if (zone_[j] < 0) {
      zone_[j] = corners[i];
    }
    const int r = rootOf(corners[i]);
    if (root < 0) {
      root = r;
    } else if (r != root) {  // the lower index roots the merged zone: the same in any order
      const int low = std::min(r, root);
      zone_[static_cast<std::size_t>(std::max(r, root))] = low;
      root = low;
    }
  }
}

void Collider::moveZones(bool freeze) {
  const int count = cloth_->particleCount;
  for (int i = 0; i < count; ++i) {
    const auto j = static_cast<std::size_t>(i);
    zoneMotion_[j] = Vec3();
    zoneVelocity_[j] = Vec3();
    zoneCount_[j] = 0;
    marks_[j] = static_cast<std::uint8_t>(marks_[j] & ~2U);
  }
  for (int i = 0; i < count; ++i) {
    const auto j = static_cast<std::size_t>(i);
    if (zone_[j] < 0) {
      continue;
    }
    const auto root = static_cast<std::size_t>(rootOf(i));
    if (freeze || yields_[j] == 0.0) {
      marks_[root] = static_cast<std::uint8_t>(marks_[root] | 2U);
    }
    zoneMotion_[root] += stepped_[j] - start_[j];
    zoneVelocity_[root] += cloth_->particles[j].velocity;
    ++zoneCount_[root];
  }
  for (int i = 0; i < count; ++i) {
    const auto j = static_cast<std::size_t>(i);
    if (zone_[j] < 0) {
      continue;
    }
    const auto root = static_cast<std::size_t>(rootOf(i));
    end_[j] = start_[j];
    if ((marks_[root] & 2U) == 0) {
      end_[j] += zoneMotion_[root] / static_cast<double>(zoneCount_[root]);
    } else {
      ++report_.frozen;
    }
  }
}

void Collider::resolveByZones() {
  for (int round = 0; round < kRigidRounds + kFrozenRounds; ++round) {
    if (sweep(Pass::kDetect, false) == 0) {
      return;
    }
    report_.zoneRounds = round + 1;
    report_.frozen = 0;
    moveZones(round >= kRigidRounds);
  }
  if (sweep(Pass::kDetect, false) == 0) {
    return;
  }
  // Still crossing: the whole cloth stays where the tick started, which had no crossing.
  for (int i = 0; i < cloth_->particleCount; ++i) {
    const auto j = static_cast<std::size_t>(i);
    end_[j] = start_[j];
    zone_[j] = 0;
  }
  marks_[0] = static_cast<std::uint8_t>(marks_[0] | 2U);
  report_.frozen = cloth_->particleCount;
}

}  // namespace vellumry
