#include "collide/solid_tree.h"

#include <algorithm>
#include <cmath>
#include <tuple>

#include "collide/contact_geometry.h"

namespace vellumry {

namespace {

constexpr int kLeafTriangles = 4;

double axisOf(const Vec3& v, int axis) { return axis == 0 ? v.x : (axis == 1 ? v.y : v.z); }

// Faces meeting at less than this cosine (about 20 degrees apart) make a sharp edge.
constexpr double kSmooth = 0.94;

// A face's far corner nearer the other face's plane than this share of its distance from the
// edge lies in that plane: rounding, not a fold.
constexpr double kFlat = 1e-9;

Vec3 faceNormal(const std::vector<Vec3>& points, const std::array<std::int32_t, 3>& t) {
  const Vec3& a = points[static_cast<std::size_t>(t[0])];
  Vec3 n = cross(points[static_cast<std::size_t>(t[1])] - a, points[static_cast<std::size_t>(t[2])] - a);
  const double ll = n.lengthSquared();
  if (ll > 0.0) {
    n /= std::sqrt(ll);
  }
  return n;
}

// Whether the edge from a to b folds at all: the far corner d of the face beyond it is off the
// plane of face t on this side. However slight the fold, a cloth coarser than the solid that
// keeps from both faces may still have the fold poke up between its particles.
bool folds(const std::vector<Vec3>& points, const std::array<std::int32_t, 3>& t, std::int32_t a,
           std::int32_t d) {
  const Vec3 off = points[static_cast<std::size_t>(d)] - points[static_cast<std::size_t>(a)];
  return std::abs(dot(faceNormal(points, t), off)) > kFlat * std::sqrt(off.lengthSquared());
}

// The far corner of the triangle: the one not on the edge from a to b.
std::int32_t farCorner(const std::array<std::int32_t, 3>& t, std::int32_t a, std::int32_t b) {
  for (const std::int32_t k : t) {
    if (k != a && k != b) {
      return k;
    }
  }
  return t[0];
}

// How the edge from a to b between faces t and u folds: 2 sharp (the faces meet more than about
// 20 degrees apart), 1 slightly, 0 not at all.
std::uint8_t foldOf(const std::vector<Vec3>& points, const std::array<std::int32_t, 3>& t,
                    const std::array<std::int32_t, 3>& u, std::int32_t a, std::int32_t b) {
  if (dot(faceNormal(points, t), faceNormal(points, u)) < kSmooth) {
    return 2;
  }
  return folds(points, t, a, farCorner(u, a, b)) ? 1 : 0;
}

// The triangle speaks for the part of its bit; a slight one is marked so.
void speakFor(std::uint8_t& owns, std::uint8_t& slight, unsigned bit, std::uint8_t level) {
  owns = static_cast<std::uint8_t>(owns | bit);
  if (level == 1) {
    slight = static_cast<std::uint8_t>(slight | bit);
  }
}

// The solid's sharp edges (its faces meet more than about 20 degrees apart there, or it has
// one face or more than two), its folds (faces meeting at any lesser angle) and the points on
// them: only there can the solid poke through a cloth that keeps from its faces. A fold, and a
// point on folds alone, is slight. The triangle that first names a point or edge speaks for it.
void owners(const std::vector<std::array<std::int32_t, 3>>& triangles,
            const std::vector<Vec3>& points, std::vector<std::uint8_t>& owns,
            std::vector<std::uint8_t>& slight) {
  owns.assign(triangles.size(), 0);
  slight.assign(triangles.size(), 0);
  std::vector<std::uint8_t> kind(points.size(), 0);  // as foldOf, the most any edge to it has
  using Edge = std::tuple<std::int32_t, std::int32_t, std::int32_t, int>;
  std::vector<Edge> edges;
  edges.reserve(3 * triangles.size());
  for (std::size_t t = 0; t < triangles.size(); ++t) {
    for (int k = 0; k < 3; ++k) {
      const std::int32_t a = triangles[t][static_cast<std::size_t>(k)];
      const std::int32_t b = triangles[t][static_cast<std::size_t>((k + 1) % 3)];
      edges.emplace_back(std::min(a, b), std::max(a, b), static_cast<std::int32_t>(t), k);
    }
  }
  std::sort(edges.begin(), edges.end());
  for (std::size_t i = 0; i < edges.size();) {
    std::size_t j = i + 1;
    while (j < edges.size() && std::get<0>(edges[j]) == std::get<0>(edges[i]) &&
           std::get<1>(edges[j]) == std::get<1>(edges[i])) {
      ++j;
    }
    const auto t = static_cast<std::size_t>(std::get<2>(edges[i]));
    const std::int32_t a = std::get<0>(edges[i]);
    const std::int32_t b = std::get<1>(edges[i]);
    const auto u = static_cast<std::size_t>(std::get<2>(edges[j - 1]));
    const std::uint8_t level = j - i == 2 ? foldOf(points, triangles[t], triangles[u], a, b) : 2;
    if (level > 0) {
      speakFor(owns[t], slight[t], 8U << std::get<3>(edges[i]), level);
      for (const std::int32_t end : {a, b}) {
        auto& k = kind[static_cast<std::size_t>(end)];
        k = std::max(k, level);
      }
    }
    i = j;
  }
  for (std::size_t t = 0; t < triangles.size(); ++t) {
    for (int k = 0; k < 3; ++k) {
      auto& level = kind[static_cast<std::size_t>(triangles[t][static_cast<std::size_t>(k)])];
      if (level == 1 || level == 2) {
        speakFor(owns[t], slight[t], 1U << k, level);
        level = 3;  // spoken for
      }
    }
  }
}

}  // namespace

void SolidTree::clear() {
  nodes_.clear();
  order_.clear();
  owns_.clear();
  slight_.clear();
  entryBoxes_.clear();
  leafOwns_.clear();
}

// Halves the entries at their centres' median along the centres' longest extent; ties go by
// triangle index, so the tree depends on the triangles alone.
int SolidTree::split(const std::vector<Vec3>& centres, int first, int count) {
  Box spread;
  for (int i = first; i < first + count; ++i) {
    spread.add(centres[static_cast<std::size_t>(order_[static_cast<std::size_t>(i)])]);
  }
  const Vec3 e = spread.hi - spread.lo;
  const int axis = e.x >= e.y && e.x >= e.z ? 0 : (e.y >= e.z ? 1 : 2);
  std::sort(order_.begin() + first, order_.begin() + first + count,
            [&centres, axis](std::int32_t a, std::int32_t b) {
              const double va = axisOf(centres[static_cast<std::size_t>(a)], axis);
              const double vb = axisOf(centres[static_cast<std::size_t>(b)], axis);
              return va < vb || (va == vb && a < b);
            });
  return count / 2;
}

void SolidTree::build(const std::vector<Vec3>& points,
                      const std::vector<std::array<std::int32_t, 3>>& triangles) {
  clear();
  if (triangles.empty()) {
    return;
  }
  const auto count = static_cast<std::int32_t>(triangles.size());
  std::vector<Vec3> centres(triangles.size());
  std::vector<Box> triangleBoxes(triangles.size());
  order_.resize(triangles.size());
  for (std::size_t t = 0; t < triangles.size(); ++t) {
    Box& b = triangleBoxes[t];
    for (const std::int32_t k : triangles[t]) {
      b.add(points[static_cast<std::size_t>(k)]);
    }
    centres[t] = 0.5 * plus(b.lo, b.hi);
    order_[t] = static_cast<std::int32_t>(t);
  }
  nodes_.push_back({Box(), 0, count});
  std::vector<int> pending{0};
  while (!pending.empty()) {
    const int at = pending.back();
    pending.pop_back();
    const Node whole = nodes_[static_cast<std::size_t>(at)];
    if (whole.count <= kLeafTriangles) {
      continue;
    }
    const int half = split(centres, whole.first, whole.count);
    const auto child = static_cast<std::int32_t>(nodes_.size());
    nodes_.push_back({Box(), whole.first, half});
    nodes_.push_back({Box(), whole.first + half, whole.count - half});
    nodes_[static_cast<std::size_t>(at)] = {Box(), child, 0};
    pending.push_back(child);
    pending.push_back(child + 1);
  }
  entryBoxes_.resize(triangles.size());
  for (std::size_t k = 0; k < order_.size(); ++k) {
    entryBoxes_[k] = triangleBoxes[static_cast<std::size_t>(order_[k])];
  }
  for (std::size_t i = nodes_.size(); i-- > 0;) {
    Node& n = nodes_[i];
    if (n.count > 0) {
      for (int k = n.first; k < n.first + n.count; ++k) {
        n.box.add(entryBoxes_[static_cast<std::size_t>(k)]);
      }
    } else {
      n.box.add(nodes_[static_cast<std::size_t>(n.first)].box);
      n.box.add(nodes_[static_cast<std::size_t>(n.first) + 1].box);
    }
  }
  owners(triangles, points, owns_, slight_);
  leafOwns_.assign(nodes_.size(), 0);
  for (std::size_t i = 0; i < nodes_.size(); ++i) {
    const Node& n = nodes_[i];
    for (int k = n.first; k < n.first + n.count; ++k) {
      leafOwns_[i] = static_cast<std::uint8_t>(
          leafOwns_[i] | owns_[static_cast<std::size_t>(order_[static_cast<std::size_t>(k)])]);
    }
  }
}

}  // namespace vellumry
