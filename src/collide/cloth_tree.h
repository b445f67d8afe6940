#pragma once

#include <cstdint>
#include <vector>

#include "collide/bounds.h"
#include "collide/solid_tree.h"
#include "math/vec3.h"

namespace vellumry {

class Cloth;

/// A quadtree over the cloth's grid cells: each node bounds its cells over a motion (a box) and,
/// from blocks of two by two cells up, the directions of their normals (a cone). A patch whose normals all lie within a
/// narrow cone is too flat to meet itself, and two touching patches flat together cannot meet
/// each other: that culls the smooth cloth almost whole, and what is left are the folds.
class ClothTree final {
 public:
  /// Sizes the tree to an n by n grid (allocating): at a build, never in a step.
  void build(int n);
  /// What a refit reckons besides the boxes: nothing, the cells' end normals (which the next
  /// motion starts from), or those and the cones above them, which only meeting itself needs.
  enum class Directions : std::uint8_t { kNone, kCells, kCones };
  /// Bounds every cell over the motion from start to end, and the directions asked for. The
  /// start normals are reckoned again only when asked: they stay the same through the sweeps of
  /// one tick. With `share`, the cells are bounded on the cloth's threads.
  void refit(const Vec3* start, const Vec3* end, bool newStart, Directions directions,
             Cloth* share = nullptr);
  /// Bounds again only the cells with a corner marked in `moved` (one flag a particle) and the
  /// nodes above them, as refit would with no cones; the rest keep their boxes, which the same
  /// positions would give again. Only the nodes so refitted are walked, until touch marks more.
  /// With `forgetCones` those nodes take any direction: their patches may have folded since.
  void refitMoved(const Vec3* start, const Vec3* end, const std::uint8_t* moved, bool forgetCones);
  /// The particle moved after the last refit: the walks visit its cells again.
  void touch(int particle);
  /// The end normals of the last refit with directions become the next motion's start normals.
  void carryNormals();
  [[nodiscard]] int gridSize() const { return n_; }

  /// Calls leaf(cell) for each cell not culled alone, and pair(cellA, cellB) for each pair of
  /// cells whose boxes come within margin and that flatness does not cull; in a fixed order.
  /// After refitMoved, only those with a moved cell among them.
  template <class Leaf, class Pair>
  void selfPairs(double margin, Leaf&& leaf, Pair&& pair) const {
    if (n_ >= 2) {
      selfWalk({0, 0, 0}, margin, leaf, pair);
    }
  }
  /// Calls pair(cell, solidNode) for each cell and solid leaf whose boxes come within margin;
  /// after refitMoved, for moved cells only.
  template <class Pair>
  void solidPairs(const SolidTree& solid, double margin, Pair&& pair) const {
    if (n_ >= 2 && !solid.empty() && !nodes_[0].box.empty() && moved_[0] != 0 &&
        near(nodes_[0].box, solid.node(0).box, margin)) {
      solidWalk({0, 0, 0}, solid, 0, margin, pair);
    }
  }
  /// The box of a cell over the motion.
  [[nodiscard]] const Box& cellBox(int cell) const;

 private:
  struct Place {
    int level;
    int x;
    int y;
  };
  struct Node {
    Box box;
    Cone cone;
  };
  [[nodiscard]] static std::size_t index(const Place& p) {
    const std::size_t before = ((std::size_t{1} << (2 * p.level)) - 1) / 3;
    return before + static_cast<std::size_t>(p.x) + (std::size_t{1} << p.level) * p.y;
  }
  [[nodiscard]] const Node& at(const Place& p) const { return nodes_[index(p)]; }
  [[nodiscard]] bool moved(const Place& p) const { return moved_[index(p)] != 0; }
  [[nodiscard]] bool isLeaf(const Place& p) const { return p.level == levels_; }
  [[nodiscard]] int cellOf(const Place& p) const { return p.x + (n_ - 1) * p.y; }
  [[nodiscard]] static Place child(const Place& p, int k) {
    return {p.level + 1, 2 * p.x + (k & 1), 2 * p.y + (k >> 1)};
  }
  [[nodiscard]] bool flatTogether(const Place& a, const Place& b) const;
  struct LeafRefit {
    ClothTree* tree;
    const Vec3* start;
    const Vec3* end;
    bool newStart;
    Directions directions;
    int bands;
  };
  static void refitBand(void* context, int band);
  void refitRows(const LeafRefit& job, int firstRow, int endRow);
  [[nodiscard]] Cone blockCone(const Place& p) const;
  void refitNode(const Place& p, bool cones);
  void refitIfMoved(const Place& p, bool forgetCones);
  void boundCell(const Vec3* start, const Vec3* end, int x, int y);

  template <class Leaf, class Pair>
  void selfWalk(const Place& p, double margin, Leaf& leaf, Pair& pair) const {
    const Node& node = at(p);
    if (node.box.empty() || node.cone.cosSpread >= kFlat || !moved(p)) {
      return;
    }
    if (isLeaf(p)) {
      leaf(cellOf(p));
      return;
    }
    for (int k = 0; k < 4; ++k) {
      selfWalk(child(p, k), margin, leaf, pair);
    }
    for (int a = 0; a < 4; ++a) {
      for (int b = a + 1; b < 4; ++b) {
        pairWalk(child(p, a), child(p, b), margin, pair);
      }
    }
  }

  template <class Pair>
  void pairWalk(const Place& a, const Place& b, double margin, Pair& pair) const {
    const Node& na = at(a);
    const Node& nb = at(b);
    if (na.box.empty() || nb.box.empty() || (!moved(a) && !moved(b)) ||
        !near(na.box, nb.box, margin) || flatTogether(a, b)) {
      return;
    }
    if (isLeaf(a) && isLeaf(b)) {
      pair(cellOf(a), cellOf(b));
    } else if (a.level <= b.level && !isLeaf(a)) {
      for (int k = 0; k < 4; ++k) {
        pairWalk(child(a, k), b, margin, pair);
      }
    } else {
      for (int k = 0; k < 4; ++k) {
        pairWalk(a, child(b, k), margin, pair);
      }
    }
  }

  // The pair's boxes come within margin (the caller checked); each pair below is checked before
  // it is visited, in the same order as it would be visited.
  template <class Pair>
  void solidWalk(const Place& p, const SolidTree& solid, int s, double margin, Pair& pair) const {
    const Node& node = at(p);
    const SolidTree::Node& other = solid.node(s);
    const bool solidLeaf = other.count > 0;
    if (isLeaf(p)) {
      cellWalk(node.box, cellOf(p), solid, s, margin, pair);
    } else if (solidLeaf || (!isLeaf(p) && node.box.size() >= other.box.size())) {
      for (int k = 0; k < 4; ++k) {
        const Place c = child(p, k);
        const Node& n = at(c);
        if (!n.box.empty() && moved(c) && near(n.box, other.box, margin)) {
          solidWalk(c, solid, s, margin, pair);
        }
      }
    } else {
      for (int t = other.first; t < other.first + 2; ++t) {
        if (near(node.box, solid.node(t).box, margin)) {
          solidWalk(p, solid, t, margin, pair);
        }
      }
    }
  }

  // A cell against the solid's subtree from s, whose box comes within margin: its leaves in the
  // order the walk takes them, first child first.
  template <class Pair>
  static void cellWalk(const Box& box, int cell, const SolidTree& solid, int s, double margin,
                       Pair& pair) {
    solid.walk(
        s, [&](const Box& other) { return near(box, other, margin); },
        [&](int leaf) { pair(cell, leaf); });
  }

  /// Normals within about 45 degrees of one axis: flat enough that no two triangles of the patch
  /// sharing no corner come within a thickness below a third of the rest spacing.
  static constexpr double kFlat = 0.7;
  /// Cells a thread bounds at least in a refit: fewer are not worth waking it for.
  static constexpr int kCellsPerBand = 1024;

  std::vector<Node> nodes_;
  std::vector<std::uint8_t> moved_;  ///< one a node: a cell under it moved since it was last walked clean
  std::vector<Vec3> startNormals_;  ///< one a cell, as a unit vector; zero where none
  std::vector<Vec3> endNormals_;
  int n_ = 0;
  int levels_ = 0;  ///< the leaves' level; 2^levels_ leaves a side cover the n - 1 cells
};

}  // namespace vellumry
