#include "collide/collider.h"

#include <algorithm>
#include <cmath>

#include "cloth/cloth.h"
#include "collide/contact_geometry.h"
#include "collide/contact_pairs.h"
#include "collide/solid_inside.h"

namespace vellumry {

namespace {

// Sweeps of crossing checks before the impact zones take over.
constexpr int kCrossingSweeps = 4;

}  // namespace

void Collider::setSolid(const SolidMesh* solid, const MeshPlacement& placement) {
  solidPoints_.clear();
  solidTriangles_.clear();
  solidTree_.clear();
  solidFaces_.clear();
  solidFriction_ = placement.friction;
  closed_ = false;
  if (solid == nullptr) {
    return;
  }
  placed_ = true;
  closed_ = isClosed(solid->triangles);
  solidPoints_.reserve(solid->points.size());
  for (const Vec3& p : solid->points) {
    solidPoints_.push_back(placePoint(placement, p));
  }
  solidTriangles_ = solid->triangles;
  solidTree_.build(solidPoints_, solidTriangles_);
  for (const auto& t : solidTriangles_) {
    solidFaces_.push_back(faceOf(solidPoints_[static_cast<std::size_t>(t[0])],
                                 solidPoints_[static_cast<std::size_t>(t[1])],
                                 solidPoints_[static_cast<std::size_t>(t[2])]));
  }
}

void Collider::prepare(const Cloth& cloth) {
  const auto count = static_cast<std::size_t>(cloth.particleCount);
  placed_ = true;  // a cloth built afresh may lie inside the solid
  if (tree_.gridSize() != cloth.gridSize) {
    tree_.build(cloth.gridSize);
  }
  if (start_.size() < count) {
    for (auto* v : {&start_, &end_, &stepped_, &zoneMotion_, &zoneVelocity_}) {
      v->resize(count);
    }
    yields_.resize(count);
    zone_.resize(count);
    zoneCount_.resize(count);
    marks_.resize(count);
    stirred_.resize(count);
  }
}

void Collider::beginTick(const Cloth& cloth) {
  bool continues = lastCloth_ == &cloth && lastStep_ == cloth.stepCount &&
                   tree_.gridSize() == cloth.gridSize &&
                   start_.size() >= static_cast<std::size_t>(cloth.particleCount);
  // Only pinned particles move between ticks (the mounts, the held one): a free particle
  // elsewhere than the last contacts left it means another cloth, or one stepped without them.
  for (int i = 0; continues && i < cloth.particleCount; ++i) {
    const Particle& p = cloth.particles[static_cast<std::size_t>(i)];
    const Vec3& was = start_[static_cast<std::size_t>(i)];
    continues = p.pinned || (p.position.x == was.x && p.position.y == was.y &&
                             p.position.z == was.z);
  }
  if (continues) {
    return;
  }
  prepare(cloth);
  for (int i = 0; i < cloth.particleCount; ++i) {
    start_[static_cast<std::size_t>(i)] = cloth.particles[static_cast<std::size_t>(i)].position;
  }
  lastCloth_ = &cloth;
  lastStep_ = -1;
  normalsCarried_ = false;
}

void Collider::collide(Cloth& cloth, const ContactSettings& settings) {
  if (lastCloth_ != &cloth || start_.size() < static_cast<std::size_t>(cloth.particleCount)) {
    beginTick(cloth);
  }
  cloth_ = &cloth;
  settings_ = settings;
  report_ = ContactReport();
  const int count = cloth.particleCount;
  for (int i = 0; i < count; ++i) {
    const Particle& p = cloth.particles[static_cast<std::size_t>(i)];
    const auto j = static_cast<std::size_t>(i);
    end_[j] = p.position;
    stepped_[j] = p.position;
    yields_[j] = p.pinned ? 0.0 : 1.0;
    zone_[j] = -1;
    marks_[j] = 0;
  }
  if (placed_) {
    placed_ = false;
    leaveSolid();
  }
  // The first sweep checks every pair for a crossing and pushes apart what is near; when it
  // moved nothing, its checks stand. Else crossing checks follow until one finds none.
  int hits = sweep(Pass::kNear, !normalsCarried_);
  report_.crossings = hits;
  report_.pushes = moved_;
  if (hits > 0 || moved_ > 0) {
    for (int k = 0; k < kCrossingSweeps; ++k) {
      hits = sweep(Pass::kCross, false);
      if (hits == 0) {
        break;
      }
    }
  }
  if (hits > 0) {
    resolveByZones();
  }
  settleVelocities();
  for (int i = 0; i < count; ++i) {
    const auto j = static_cast<std::size_t>(i);
    cloth.particles[j].position = end_[j];
    start_[j] = end_[j];
  }
  lastStep_ = cloth.stepCount;
  normalsCarried_ = settings.self || hasSolid();
  if (normalsCarried_) {
    tree_.carryNormals();
  }
  cloth_ = nullptr;
}

int Collider::sweep(Pass pass, bool newStart) {
  pass_ = pass;
  hits_ = 0;
  moved_ = 0;
  partBoxes_ = PartBoxes();
  ++report_.sweeps;
  if (pass == Pass::kNear) {
    keepFromBall();
    keepAboveFloor();
  }
  if (!settings_.self && !hasSolid()) {
    return 0;
  }
  // The first pass pushes apart whatever is nearer than the thickness; the crossing checks
  // need only what touches over the motion.
  // A crossing sweep refits and walks only the cells that moved since the last sweep: a pair
  // whose corners all kept still was met then as it would be now, and found nothing to stop.
  if (pass == Pass::kCross) {
    tree_.refitMoved(start_.data(), end_.data(), stirred_.data(), !settings_.recordedV4);
  } else {
    using Directions = ClothTree::Directions;
    const Directions directions = pass != Pass::kNear ? Directions::kNone
                                  : settings_.self    ? Directions::kCones
                                                      : Directions::kCells;
    tree_.refit(start_.data(), end_.data(), newStart, directions, cloth_);
  }
  std::fill_n(stirred_.begin(), cloth_->particleCount, std::uint8_t{0});
  const double margin = pass == Pass::kNear ? settings_.thickness : kTouching * settings_.thickness;
  const double layerMargin = pass == Pass::kNear ? settings_.layers : kTouching * settings_.layers;
  if (settings_.self) {
    tree_.selfPairs(
        layerMargin, [this](int cell) { cellAlone(cell); },
        [this](int a, int b) { cellPair(a, b); });
  }
  if (hasSolid()) {
    tree_.solidPairs(solidTree_, margin, [this](int cell, int node) { cellSolid(cell, node); });
  }
  return hits_;
}

// Each triangle nearer the ball's centre than its radius and the thickness moves straight out,
// all three corners together, until its nearest point is that far: every point of it moves
// away from the centre, so the triangles after it only gain.
void Collider::keepFromBall() {
  if (!settings_.ball) {
    return;
  }
  const Vec3& centre = settings_.centre;
  const double keep = settings_.radius + settings_.thickness;
  const std::uint32_t* t = cloth_->mesh.triangles.data();
  for (int i = 0; i + 2 < cloth_->mesh.triangleCount; i += 3) {
    Vec3& a = end_[t[i]];
    Vec3& b = end_[t[i + 1]];
    Vec3& c = end_[t[i + 2]];
    const Vec3 out = pointOf(nearestOnTriangle(centre, a, b, c), a, b, c) - centre;
    const double dd = out.lengthSquared();
    if (dd >= keep * keep || !(dd > 0.0)) {
      continue;
    }
    const double d = std::sqrt(dd);
    const Vec3 move = ((keep - d) / d) * out;
    for (const std::uint32_t k : {t[i], t[i + 1], t[i + 2]}) {
      if (yields_[k] > 0.0) {
        end_[k] += move;
      }
    }
  }
}

void Collider::keepAboveFloor() {
  if (!settings_.floor) {
    return;
  }
  const double lowest = settings_.height + settings_.thickness;
  for (int i = 0; i < cloth_->particleCount; ++i) {
    Vec3& p = end_[static_cast<std::size_t>(i)];
    if (p.y < lowest && yields_[static_cast<std::size_t>(i)] > 0.0) {
      p.y = lowest;
    }
  }
}

// A solid set or moved onto the cloth leaves particles inside it, where the contacts, which keep
// each particle on the side it started from, would hold them. Each goes out, the thickness beyond
// the nearest point of the surface, and its tick starts there: nothing crossed on the way out.
void Collider::leaveSolid() {
  if (!closed_) {
    return;
  }
  const SolidView solid{solidPoints_, solidTriangles_, solidTree_};
  for (int i = 0; i < cloth_->particleCount; ++i) {
    const auto j = static_cast<std::size_t>(i);
    if (yields_[j] == 0.0 || !insideSolid(solid, end_[j])) {
      continue;
    }
    const Vec3 q = nearestOnSolid(solid, end_[j]);
    Vec3 out = q - end_[j];
    const double ll = out.lengthSquared();
    if (!(ll > 0.0)) {
      continue;
    }
    out /= std::sqrt(ll);
    const Vec3 placed = plus(q, settings_.thickness * out);
    end_[j] = placed;
    stepped_[j] = placed;
    start_[j] = placed;
    normalsCarried_ = false;
  }
}

// A particle moved by the contacts keeps no velocity against the way it was moved, and one that
// met the solid loses the solid's share of the rest. Impact zones move as one: their members
// take the zone's mean velocity, or none where the zone is held still.
void Collider::settleVelocities() {
  const double keep = 1.0 - solidFriction_;
  for (int i = 0; i < cloth_->particleCount; ++i) {
    const auto j = static_cast<std::size_t>(i);
    Particle& p = cloth_->particles[j];
    if (p.pinned) {
      continue;
    }
    if (zone_[j] >= 0) {
      const auto root = static_cast<std::size_t>(rootOf(i));
      const bool still = (marks_[root] & 2U) != 0 || zoneCount_[root] == 0;
      p.velocity = still ? Vec3() : zoneVelocity_[root] / static_cast<double>(zoneCount_[root]);
      continue;
    }
    Vec3 moved = end_[j] - stepped_[j];
    const double mm = moved.lengthSquared();
    if (!(mm > 0.0)) {
      continue;
    }
    moved /= std::sqrt(mm);
    const double against = dot(p.velocity, moved);
    const Vec3 normal = std::max(against, 0.0) * moved;
    Vec3 slide = p.velocity - against * moved;
    if ((marks_[j] & 1U) != 0) {
      slide = keep * slide;
    }
    p.velocity = plus(normal, slide);
  }
}

}  // namespace vellumry
