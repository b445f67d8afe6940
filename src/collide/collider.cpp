#include "collide/collider.h"

namespace vellumry {

void Collider::setSolid(const SolidMesh* solid, const MeshPlacement& placement) {
  solidPoints_.clear();
  solidTriangles_.clear();
  solidFriction_ = placement.friction;
  if (solid == nullptr) {
    return;
  }
  solidPoints_.reserve(solid->points.size());
  for (const Vec3& p : solid->points) {
    solidPoints_.push_back(placePoint(placement, p));
  }
  solidTriangles_ = solid->triangles;
}

}  // namespace vellumry
