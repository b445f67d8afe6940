#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "collide/bounds.h"
#include "math/vec3.h"

namespace vellumry {

/// A static bounding-volume hierarchy over a solid's triangles, and which triangle speaks for
/// each of the solid's sharp points and edges so that each is met once. Built when the solid is set
/// (allocating); the cloth queries it every tick.
class SolidTree final {
 public:
  struct Node {
    Box box;
    std::int32_t first = 0;  ///< a leaf's first entry of order(); an inner node's left child
    std::int32_t count = 0;  ///< a leaf's triangles; 0 for an inner node (right child: first + 1)
  };

  /// Levels below the root at most: halving a count of 32 bits goes no deeper.
  static constexpr int kMaxDepth = 32;

  void build(const std::vector<Vec3>& points,
             const std::vector<std::array<std::int32_t, 3>>& triangles);
  void clear();
  [[nodiscard]] bool empty() const { return nodes_.empty(); }
  [[nodiscard]] const Node& node(int i) const { return nodes_[static_cast<std::size_t>(i)]; }
  /// Triangle indices, leaf by leaf.
  [[nodiscard]] const std::int32_t* order() const { return order_.data(); }
  /// Bit k (0 to 2) set: the triangle speaks for its corner k, a point on a sharp edge or a
  /// fold; bit 3 + k: for its edge from corner k to corner k + 1, a sharp one or a fold.
  [[nodiscard]] std::uint8_t owns(int triangle) const {
    return owns_[static_cast<std::size_t>(triangle)];
  }
  /// Of owns(), the bits of the parts only slightly folded: the cloth is kept from crossing them,
  /// not the thickness from them.
  [[nodiscard]] std::uint8_t slight(int triangle) const {
    return slight_[static_cast<std::size_t>(triangle)];
  }
  /// Whether a triangle of the leaf speaks for a sharp or folded point or edge.
  [[nodiscard]] bool leafOwns(int leaf) const {
    return leafOwns_[static_cast<std::size_t>(leaf)] != 0;
  }
  /// The box of the triangle at entry k of order().
  [[nodiscard]] const Box& entryBox(int k) const { return entryBoxes_[static_cast<std::size_t>(k)]; }

  /// leaf(node) for each leaf under node `from` (taken as entered) whose box and every box above
  /// it up to `from` enter(box) accepts, first child first; a node's children are asked before
  /// either is walked.
  template <class Enter, class Leaf>
  void walk(int from, Enter enter, Leaf leaf) const {
    int pending[kMaxDepth + 2];  // one a level and one more
    int count = 0;
    pending[count++] = from;
    while (count > 0) {
      const int at = pending[--count];
      const Node& node = nodes_[static_cast<std::size_t>(at)];
      if (node.count > 0) {
        leaf(at);
        continue;
      }
      const bool second = enter(nodes_[static_cast<std::size_t>(node.first) + 1].box);
      const bool first = enter(nodes_[static_cast<std::size_t>(node.first)].box);
      if (second) {
        pending[count++] = node.first + 1;
      }
      if (first) {
        pending[count++] = node.first;
      }
    }
  }

 private:
  int split(const std::vector<Vec3>& centres, int first, int count);

  std::vector<Node> nodes_;
  std::vector<std::int32_t> order_;
  std::vector<std::uint8_t> owns_;
  std::vector<std::uint8_t> slight_;
  std::vector<Box> entryBoxes_;  ///< as order(): a leaf's boxes side by side
  std::vector<std::uint8_t> leafOwns_;  ///< one a node: its leaf triangles' owns() together
};

}  // namespace vellumry
