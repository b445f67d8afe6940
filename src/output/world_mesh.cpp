#include "output/world_mesh.h"

#include <cmath>
#include <cstddef>
#include <numbers>

namespace vellumry {

namespace {

// Point k of the mesh on the unit sphere: the top pole, the rings from the top, the bottom pole.
void unitPoint(int k, double out[3]) {
  if (k == 0 || k == kBallPoints - 1) {
    out[0] = 0.0;
    out[1] = k == 0 ? 1.0 : -1.0;
    out[2] = 0.0;
    return;
  }
  const int ring = (k - 1) / kBallSegments;
  const int segment = (k - 1) % kBallSegments;
  const double polar = std::numbers::pi * (ring + 1) / (kBallRings + 1);
  const double around = 2.0 * std::numbers::pi * segment / kBallSegments;
  out[0] = std::sin(polar) * std::cos(around);
  out[1] = std::cos(polar);
  out[2] = std::sin(polar) * std::sin(around);
}

// OBJ number (from 1) of point `segment` of ring `ring`, after `before` vertices.
int ringPoint(int before, int ring, int segment) {
  return before + 2 + ring * kBallSegments + segment % kBallSegments;
}

void face(std::FILE* file, const int* corners, int count) {
  std::fputc('f', file);
  for (int i = 0; i < count; ++i) {
    std::fprintf(file, " %d//%d", corners[i], corners[i]);
  }
  std::fputc('\n', file);
}

void writeBall(std::FILE* file, const WorldFrame& world, int before) {
  float points[3 * kBallPoints];
  ballPoints(world, points);
  std::fprintf(file, "o ball\n");
  for (std::size_t k = 0; k < std::size_t{3} * kBallPoints; k += 3) {
    std::fprintf(file, "v %.9g %.9g %.9g\n", points[k], points[k + 1], points[k + 2]);
  }
  for (int k = 0; k < kBallPoints; ++k) {
    double n[3];
    unitPoint(k, n);
    std::fprintf(file, "vn %.9g %.9g %.9g\n", static_cast<float>(n[0]), static_cast<float>(n[1]),
                 static_cast<float>(n[2]));
  }
  const int top = before + 1;
  const int bottom = before + kBallPoints;
  for (int s = 0; s < kBallSegments; ++s) {
    const int cap[3] = {top, ringPoint(before, 0, s + 1), ringPoint(before, 0, s)};
    face(file, cap, 3);
    for (int r = 0; r + 1 < kBallRings; ++r) {
      const int quad[4] = {ringPoint(before, r, s), ringPoint(before, r, s + 1),
                           ringPoint(before, r + 1, s + 1), ringPoint(before, r + 1, s)};
      face(file, quad, 4);
    }
    const int last = kBallRings - 1;
    const int foot[3] = {bottom, ringPoint(before, last, s), ringPoint(before, last, s + 1)};
    face(file, foot, 3);
  }
}

void writeFloor(std::FILE* file, const WorldFrame& world, int before) {
  const double low = world.floorCentre - world.floorHalfSize;
  const double high = world.floorCentre + world.floorHalfSize;
  const double corners[4][2] = {{low, low}, {low, high}, {high, high}, {high, low}};
  std::fprintf(file, "o floor\n");
  for (const auto& c : corners) {
    std::fprintf(file, "v %.9g %.9g %.9g\n", static_cast<float>(c[0]),
                 static_cast<float>(world.floorHeight), static_cast<float>(c[1]));
  }
  std::fprintf(file, "vn 0 1 0\n");
  std::fprintf(file, "f %d//%d %d//%d %d//%d %d//%d\n", before + 1, before + 1, before + 2,
               before + 1, before + 3, before + 1, before + 4, before + 1);
}

// One normal a triangle, counter-clockwise corners facing it.
void writeSolid(std::FILE* file, const WorldFrame& world, int vertices, int normals) {
  const std::vector<Vec3>& points = *world.solidPoints;
  std::fprintf(file, "o solid\n");
  for (const Vec3& p : points) {
    std::fprintf(file, "v %.9g %.9g %.9g\n", static_cast<float>(p.x), static_cast<float>(p.y),
                 static_cast<float>(p.z));
  }
  for (const auto& t : *world.solidTriangles) {
    const Vec3& a = points[static_cast<std::size_t>(t[0])];
    const Vec3 n = cross(points[static_cast<std::size_t>(t[1])] - a,
                         points[static_cast<std::size_t>(t[2])] - a);
    const double length = std::sqrt(n.lengthSquared());
    const Vec3 unit = length > 0.0 ? n / length : n;
    std::fprintf(file, "vn %.9g %.9g %.9g\n", static_cast<float>(unit.x),
                 static_cast<float>(unit.y), static_cast<float>(unit.z));
  }
  for (const auto& t : *world.solidTriangles) {
    ++normals;
    std::fprintf(file, "f %d//%d %d//%d %d//%d\n", vertices + t[0] + 1, normals,
                 vertices + t[1] + 1, normals, vertices + t[2] + 1, normals);
  }
}

}  // namespace

void ballPoints(const WorldFrame& world, float* out) {
  for (int k = 0; k < kBallPoints; ++k) {
    double u[3];
    unitPoint(k, u);
    for (int i = 0; i < 3; ++i) {
      out[3 * k + i] = static_cast<float>(world.centre[i] + world.radius * u[i]);
    }
  }
}

bool writeWorldObjects(std::FILE* file, const WorldFrame& world, int before) {
  int vertices = before;
  int normals = before;
  if (world.ball) {
    writeBall(file, world, before);
    vertices += kBallPoints;
    normals += kBallPoints;
  }
  if (world.floor) {
    writeFloor(file, world, vertices);
    vertices += 4;
    normals += 1;
  }
  if (world.solidPoints != nullptr && world.solidTriangles != nullptr &&
      !world.solidTriangles->empty()) {
    writeSolid(file, world, vertices, normals);
  }
  return std::ferror(file) == 0;
}

}  // namespace vellumry
