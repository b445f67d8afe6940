#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "collide/cloth_tree.h"
#include "collide/contact_pairs.h"
#include "collide/solid_faces.h"
#include "collide/solid_mesh.h"
#include "collide/solid_tree.h"
#include "math/vec3.h"

namespace vellumry {

class Cloth;

/// What the cloth keeps its distance from in one tick's contacts.
struct ContactSettings {
  double thickness = 0.0;  ///< kept from every solid; above 0
  double layers = 0.0;     ///< kept between layers of the cloth; above 0, at most thickness
  bool self = false;       ///< whether the cloth meets itself
  bool recordedV4 = false; ///< as a version 4 session was recorded: see Collision
  bool ball = false;
  Vec3 centre;
  double radius = 0.0;
  bool floor = false;
  double height = 0.0;
};

/// How the last tick's contacts went.
struct ContactReport {
  int sweeps = 0;      ///< passes over the pairs, the first (proximity) included
  int crossings = 0;   ///< crossings the first sweep found
  int pushes = 0;      ///< pairs the first sweep pushed apart
  int zoneRounds = 0;  ///< rounds of impact zones it took after the sweeps, 0: none needed
  int frozen = 0;      ///< particles held where they started, as a last resort
};

/// What keeps the cloth from passing through itself and through the solids it meets.
///
/// Once a tick, over the tick's motion of every particle from where the last tick left it to
/// where the step took it: the ball's surface and the floor keep the cloth's triangles the
/// thickness away; then a sweep over the pairs near each other stops each crossing and pushes
/// apart every point nearer a triangle, and every edge nearer an edge, than the thickness; then,
/// where it moved anything, continuous checks (the instants four moving
/// points are coplanar, from a cubic) that stop every crossing with an inelastic push back to
/// the side it came from, repeated until a sweep finds none; and if some remain, impact zones:
/// the particles involved move together as one rigid piece, and at last stay where they started.
/// Serial and in a fixed order: the same bits at any thread count.
class Collider final {
 public:
  /// The solid the cloth meets from now on, placed in the cloth's coordinates; null for none.
  /// Copies what it needs at once and builds its hierarchy (allocating): on a load or a move of
  /// the solid, never in a step.
  void setSolid(const SolidMesh* solid, const MeshPlacement& placement);
  [[nodiscard]] bool hasSolid() const { return !solidTriangles_.empty(); }
  /// The solid's points in cloth coordinates, as the collisions see them, and its triangles.
  [[nodiscard]] const std::vector<Vec3>& solidPoints() const { return solidPoints_; }
  [[nodiscard]] const std::vector<std::array<std::int32_t, 3>>& solidTriangles() const {
    return solidTriangles_;
  }
  [[nodiscard]] double solidFriction() const { return solidFriction_; }

  /// Sizes every array to the cloth's grid (allocating): when the cloth is built.
  void prepare(const Cloth& cloth);
  /// Before the tick's step: where the motion starts. The end of the last tick's contacts when
  /// they ran on this cloth just before, else the positions as they are.
  void beginTick(const Cloth& cloth);
  /// After the tick's step: the contacts over the motion since beginTick; positions and
  /// velocities of the free particles change. Allocates nothing once prepared.
  void collide(Cloth& cloth, const ContactSettings& settings);
  [[nodiscard]] const ContactReport& report() const { return report_; }

 private:
  enum class Pass : std::uint8_t { kNear, kCross, kDetect };
  struct CellParts {
    int points[4];
    int pointCount = 0;
    int edges[5][2];
    int edgeCount = 0;
    int triangles[2][3];
    int triangleCount = 0;
  };

  int sweep(Pass pass, bool newStart);
  void keepFromBall();
  void keepAboveFloor();
  [[nodiscard]] CellParts partsOf(int cell) const;
  [[nodiscard]] CellParts pointsOf(int cell) const;
  void cellAlone(int cell);
  void cellPair(int a, int b);
  void cellSolid(int cell, int solidNode);
  struct PartBoxes {
    Box corners;
    Box triangles[2];
    Box edges[5];
    CellParts parts;
    bool partsKnown = false;
    int cell = -1;
    int cornersSeen = -1;  ///< the pushes and crossings counted when last bounded; -1: never
    int partsSeen = -1;
  };
  void bound(int cell, PartBoxes& b, bool parts) const;
  [[nodiscard]] Box sweptBox(const int* particles, int count) const;
  [[nodiscard]] FaceReach planeReach(const SolidFace& f, const int* corners, int count) const;
  void sharpParts(int cell, int triangle, PartBoxes& b, double margin);
  void gather(const int corners[4], Corner c[4], bool& moving, bool& solid) const;
  bool pushApart(Corner c[4], bool pointTriangle, double gap, bool moving, bool mayEndNear);
  bool stopCrossing(Corner c[4], bool pointTriangle, double gap, const int corners[4]);
  void meet(bool pointTriangle, const int corners[4], FaceReach reach);
  void stir(const int corners[4]);
  void meet(bool pointTriangle, const int corners[4]) { meet(pointTriangle, corners, {true, true}); }
  void joinZone(const int corners[4]);
  int rootOf(int particle);
  void resolveByZones();
  void moveZones(bool freeze);
  void settleVelocities();
  void leaveSolid();

  std::vector<Vec3> solidPoints_;
  std::vector<std::array<std::int32_t, 3>> solidTriangles_;
  double solidFriction_ = 0.0;
  SolidTree solidTree_;
  std::vector<SolidFace> solidFaces_;  ///< one a triangle

  ClothTree tree_;
  std::vector<Vec3> start_;     ///< where the tick's motion starts
  std::vector<Vec3> end_;       ///< where the contacts have moved the particles so far
  std::vector<Vec3> stepped_;   ///< where the step left them
  std::vector<double> yields_;  ///< inverse masses: 1 free, 0 pinned
  std::vector<std::int32_t> zone_;   ///< union-find parent; -1: in no impact zone
  std::vector<Vec3> zoneMotion_;     ///< at a zone's root: its members' summed displacement
  std::vector<Vec3> zoneVelocity_;   ///< at a zone's root: its free members' summed velocity
  std::vector<std::int32_t> zoneCount_;
  std::vector<std::uint8_t> marks_;  ///< bit 0: met the solid; bit 1: a zone's root is pinned
  std::vector<std::uint8_t> stirred_;  ///< 1: moved, or in a crossing, since the tree's last refit
  Cloth* cloth_ = nullptr;
  ContactSettings settings_;
  ContactReport report_;
  PartBoxes partBoxes_;  ///< of the cell the solid's walk is in; forgotten at each sweep
  Pass pass_ = Pass::kNear;
  int hits_ = 0;   ///< crossings the sweep found
  int moved_ = 0;  ///< pairs the sweep pushed apart
  bool normalsCarried_ = false;  ///< the tree holds the normals where this tick starts
  long long lastStep_ = -1;  ///< the cloth's step count when the last contacts ended
  const Cloth* lastCloth_ = nullptr;
  bool closed_ = false;  ///< the solid has an inside
  bool placed_ = false;  ///< the solid or the cloth was set, moved or built since the last contacts
};

}  // namespace vellumry
