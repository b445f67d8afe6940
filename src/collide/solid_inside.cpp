#include "collide/solid_inside.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "collide/contact_geometry.h"

namespace vellumry {

namespace {

// Along no axis nor diagonal, so that a ray seldom meets the solid's edges or corners exactly.
const Vec3 kRay{0.8017837257372732, 0.5345224838248488, 0.2672612419124244};

// Whether the ray from p along kRay meets the box.
bool rayMeets(const Box& box, const Vec3& p) {
  double enter = 0.0;
  double leave = HUGE_VAL;
  const double lo[3] = {box.lo.x, box.lo.y, box.lo.z};
  const double hi[3] = {box.hi.x, box.hi.y, box.hi.z};
  const double from[3] = {p.x, p.y, p.z};
  const double d[3] = {kRay.x, kRay.y, kRay.z};
  for (int a = 0; a < 3; ++a) {
    const double t0 = (lo[a] - from[a]) / d[a];
    const double t1 = (hi[a] - from[a]) / d[a];
    enter = std::max(enter, std::min(t0, t1));
    leave = std::min(leave, std::max(t0, t1));
  }
  return enter <= leave;
}

// Whether the ray from p along kRay passes through triangle abc (its far side included, so
// that a ray through an edge shared by two faces is counted once in most cases).
bool rayCrosses(const Vec3& p, const Vec3& a, const Vec3& b, const Vec3& c) {
  const Vec3 e1 = b - a;
  const Vec3 e2 = c - a;
  const Vec3 q = cross(kRay, e2);
  const double det = dot(e1, q);
  if (det == 0.0) {
    return false;
  }
  const Vec3 s = p - a;
  const double u = dot(s, q) / det;
  const Vec3 r = cross(s, e1);
  const double v = dot(kRay, r) / det;
  const double t = dot(e2, r) / det;
  return u >= 0.0 && v >= 0.0 && u + v < 1.0 && t > 0.0;
}

double squaredDistance(const Box& box, const Vec3& p) {
  const double dx = std::max({box.lo.x - p.x, 0.0, p.x - box.hi.x});
  const double dy = std::max({box.lo.y - p.y, 0.0, p.y - box.hi.y});
  const double dz = std::max({box.lo.z - p.z, 0.0, p.z - box.hi.z});
  return (dx * dx + dy * dy) + dz * dz;
}

// triangle(t) for each triangle in a leaf of the solid's hierarchy that enter(box) lets the
// walk reach.
template <typename Enter, typename Triangle>
void eachTriangle(const SolidTree& tree, Enter enter, Triangle triangle) {
  if (tree.empty() || !enter(tree.node(0).box)) {
    return;
  }
  tree.walk(0, enter, [&](int leaf) {
    const SolidTree::Node& node = tree.node(leaf);
    for (int k = node.first; k < node.first + node.count; ++k) {
      triangle(tree.order()[k]);
    }
  });
}

}  // namespace

bool isClosed(const std::vector<std::array<std::int32_t, 3>>& triangles) {
  std::vector<std::pair<std::int32_t, std::int32_t>> edges;
  edges.reserve(3 * triangles.size());
  for (const auto& t : triangles) {
    for (int k = 0; k < 3; ++k) {
      const std::int32_t a = t[static_cast<std::size_t>(k)];
      const std::int32_t b = t[static_cast<std::size_t>((k + 1) % 3)];
      edges.emplace_back(std::min(a, b), std::max(a, b));
    }
  }
  std::sort(edges.begin(), edges.end());
  for (std::size_t i = 0; i < edges.size(); i += 2) {
    const bool pair = i + 1 < edges.size() && edges[i + 1] == edges[i];
    if (!pair || (i + 2 < edges.size() && edges[i + 2] == edges[i])) {
      return false;
    }
  }
  return !edges.empty();
}

bool insideSolid(const SolidView& solid, const Vec3& p) {
  int crossings = 0;
  eachTriangle(
      solid.tree, [&p](const Box& box) { return rayMeets(box, p); },
      [&](int triangle) {
        const auto& t = solid.triangles[static_cast<std::size_t>(triangle)];
        crossings += rayCrosses(p, solid.points[static_cast<std::size_t>(t[0])],
                                solid.points[static_cast<std::size_t>(t[1])],
                                solid.points[static_cast<std::size_t>(t[2])])
                         ? 1
                         : 0;
      });
  return crossings % 2 == 1;
}

Vec3 nearestOnSolid(const SolidView& solid, const Vec3& p) {
  double best = HUGE_VAL;
  Vec3 nearest = p;
  eachTriangle(
      solid.tree, [&](const Box& box) { return squaredDistance(box, p) < best; },
      [&](int triangle) {
        const auto& t = solid.triangles[static_cast<std::size_t>(triangle)];
        const Vec3& a = solid.points[static_cast<std::size_t>(t[0])];
        const Vec3& b = solid.points[static_cast<std::size_t>(t[1])];
        const Vec3& c = solid.points[static_cast<std::size_t>(t[2])];
        const Vec3 q = pointOf(nearestOnTriangle(p, a, b, c), a, b, c);
        const double dd = (q - p).lengthSquared();
        if (dd < best) {
          best = dd;
          nearest = q;
        }
      });
  return nearest;
}

}  // namespace vellumry
