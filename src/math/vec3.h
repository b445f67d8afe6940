#pragma once

namespace vellumry {

/// Three-component double-precision vector; positions, velocities, forces and normals.
struct Vec3 {
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;

  constexpr Vec3() = default;
  constexpr Vec3(double x_, double y_, double z_) : x(x_), y(y_), z(z_) {}

  constexpr Vec3& operator+=(const Vec3& b) {
    x += b.x;
    y += b.y;
    z += b.z;
    return *this;
  }

  // Divides each component (never multiplies by a reciprocal: the bits differ).
  constexpr Vec3& operator/=(double s) {
    x = x / s;
    y = y / s;
    z = z / s;
    return *this;
  }

  [[nodiscard]] constexpr double lengthSquared() const { return x * x + y * y + z * z; }
};

/// Right-handed vector product p x q.
[[nodiscard]] constexpr Vec3 cross(const Vec3& p, const Vec3& q) {
  return {p.y * q.z - p.z * q.y, p.z * q.x - p.x * q.z, p.x * q.y - p.y * q.x};
}

[[nodiscard]] constexpr Vec3 operator-(const Vec3& a, const Vec3& b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}

[[nodiscard]] constexpr Vec3 operator-(const Vec3& a) { return {-a.x, -a.y, -a.z}; }

[[nodiscard]] constexpr Vec3 operator*(double s, const Vec3& a) {
  return {s * a.x, s * a.y, s * a.z};
}

[[nodiscard]] constexpr Vec3 operator*(const Vec3& a, double s) { return s * a; }

[[nodiscard]] constexpr Vec3 operator/(const Vec3& a, double s) {
  return {a.x / s, a.y / s, a.z / s};
}

}  // namespace vellumry
