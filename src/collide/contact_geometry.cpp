#include "collide/contact_geometry.h"

#include <algorithm>
#include <cmath>

namespace vellumry {

// By the Voronoi regions of the triangle's corners, edges and face, in that order.
TrianglePoint nearestOnTriangle(const Vec3& p, const Vec3& a, const Vec3& b, const Vec3& c) {
  const Vec3 ab = b - a;
  const Vec3 ac = c - a;
  const Vec3 ap = p - a;
  const double d1 = dot(ab, ap);
  const double d2 = dot(ac, ap);
  if (d1 <= 0.0 && d2 <= 0.0) {
    return {1.0, 0.0, 0.0};
  }
  const Vec3 bp = p - b;
  const double d3 = dot(ab, bp);
  const double d4 = dot(ac, bp);
  if (d3 >= 0.0 && d4 <= d3) {
    return {0.0, 1.0, 0.0};
  }
  const double vc = d1 * d4 - d3 * d2;
  if (vc <= 0.0 && d1 >= 0.0 && d3 <= 0.0) {
    const double v = d1 / (d1 - d3);
    return {1.0 - v, v, 0.0};
  }
  const Vec3 cp = p - c;
  const double d5 = dot(ab, cp);
  const double d6 = dot(ac, cp);
  if (d6 >= 0.0 && d5 <= d6) {
    return {0.0, 0.0, 1.0};
  }
  const double vb = d5 * d2 - d1 * d6;
  if (vb <= 0.0 && d2 >= 0.0 && d6 <= 0.0) {
    const double w = d2 / (d2 - d6);
    return {1.0 - w, 0.0, w};
  }
  const double va = d3 * d6 - d5 * d4;
  if (va <= 0.0 && (d4 - d3) >= 0.0 && (d5 - d6) >= 0.0) {
    const double w = (d4 - d3) / ((d4 - d3) + (d5 - d6));
    return {0.0, 1.0 - w, w};
  }
  const double sum = (va + vb) + vc;
  if (!(sum > 0.0)) {  // a triangle without area: its nearest corner
    const double da = ap.lengthSquared();
    const double db = bp.lengthSquared();
    const double dc = cp.lengthSquared();
    if (da <= db && da <= dc) {
      return {1.0, 0.0, 0.0};
    }
    return db <= dc ? TrianglePoint{0.0, 1.0, 0.0} : TrianglePoint{0.0, 0.0, 1.0};
  }
  const double v = vb / sum;
  const double w = vc / sum;
  return {(1.0 - v) - w, v, w};
}

Vec3 pointOf(const TrianglePoint& w, const Vec3& a, const Vec3& b, const Vec3& c) {
  return {(w.wa * a.x + w.wb * b.x) + w.wc * c.x, (w.wa * a.y + w.wb * b.y) + w.wc * c.y,
          (w.wa * a.z + w.wb * b.z) + w.wc * c.z};
}

SegmentPoints nearestOnSegments(const Vec3& p0, const Vec3& p1, const Vec3& q0, const Vec3& q1) {
  constexpr double kTiny = 1e-300;
  const Vec3 d1 = p1 - p0;
  const Vec3 d2 = q1 - q0;
  const Vec3 r = p0 - q0;
  const double a = dot(d1, d1);
  const double e = dot(d2, d2);
  const double f = dot(d2, r);
  if (a <= kTiny && e <= kTiny) {
    return {};
  }
  if (a <= kTiny) {
    return {0.0, std::clamp(f / e, 0.0, 1.0)};
  }
  const double c = dot(d1, r);
  if (e <= kTiny) {
    return {std::clamp(-c / a, 0.0, 1.0), 0.0};
  }
  const double b = dot(d1, d2);
  const double denom = a * e - b * b;
  double s = denom > 0.0 ? std::clamp((b * f - c * e) / denom, 0.0, 1.0) : 0.0;
  double t = (b * s + f) / e;
  if (t < 0.0) {
    t = 0.0;
    s = std::clamp(-c / a, 0.0, 1.0);
  } else if (t > 1.0) {
    t = 1.0;
    s = std::clamp((b - c) / a, 0.0, 1.0);
  }
  return {s, t};
}

namespace {

constexpr int kBisections = 48;

double tripleAt(const Vec3& a0, const Vec3& a1, const Vec3& b0, const Vec3& b1, const Vec3& c0,
                const Vec3& c1, double t) {
  return dot(cross(along(a0, a1, t), along(b0, b1, t)), along(c0, c1, t));
}

// The root in [lo, hi] of (a x b) . c, which has the sign `below` (negative) at lo and not at hi.
double rootBetween(const Vec3& a0, const Vec3& a1, const Vec3& b0, const Vec3& b1, const Vec3& c0,
                   const Vec3& c1, double lo, double hi, bool below) {
  for (int k = 0; k < kBisections; ++k) {
    const double mid = 0.5 * (lo + hi);
    const double fm = tripleAt(a0, a1, b0, b1, c0, c1, mid);
    if ((fm < 0.0) == below && fm != 0.0) {
      lo = mid;
    } else {
      hi = mid;
    }
  }
  return hi;
}

// The turning points of (a x b) . c inside (0, 1), ascending, into cuts; how many.
int turningPoints(const Vec3& a0, const Vec3& a1, const Vec3& b0, const Vec3& b1, const Vec3& c0,
                  const Vec3& c1, double cuts[2]) {
  const Vec3 da = a1 - a0;
  const Vec3 db = b1 - b0;
  const Vec3 dc = c1 - c0;
  const Vec3 k0 = cross(a0, b0);
  const Vec3 k1 = plus(cross(a0, db), cross(da, b0));
  const Vec3 k2 = cross(da, db);
  // The derivative's coefficients.
  const double q2 = 3.0 * dot(k2, dc);
  const double q1 = 2.0 * (dot(k1, dc) + dot(k2, c0));
  const double q0 = dot(k0, dc) + dot(k1, c0);
  int count = 0;
  const auto add = [&](double t) {
    if (t > 0.0 && t < 1.0) {
      cuts[count++] = t;
    }
  };
  if (q2 != 0.0) {
    const double disc = q1 * q1 - 4.0 * q2 * q0;
    if (disc >= 0.0) {
      const double root = std::sqrt(disc);
      const double u = -0.5 * (q1 + (q1 >= 0.0 ? root : -root));
      if (u != 0.0) {
        add(std::min(u / q2, q0 / u));
        add(std::max(u / q2, q0 / u));
      }
    }
  } else if (q1 != 0.0) {
    add(-q0 / q1);
  }
  return count;
}

}  // namespace

// f(t) = (a x b) . c is a cubic in t. Its turning points, roots of the derivative's quadratic,
// split [0, 1] into pieces on which it is monotone; each piece whose ends differ in sign (or
// touch zero) holds one root, which bisection on f itself (never on the rounded coefficients)
// finds to within 2^-48.
int coplanarTimes(const Vec3& a0, const Vec3& a1, const Vec3& b0, const Vec3& b1, const Vec3& c0,
                  const Vec3& c1, double times[3]) {
  double cuts[4] = {0.0, 1.0, 1.0, 1.0};
  int cutCount = 1 + turningPoints(a0, a1, b0, b1, c0, c1, cuts + 1);
  cuts[cutCount++] = 1.0;
  int found = 0;
  double lo = 0.0;
  double flo = tripleAt(a0, a1, b0, b1, c0, c1, 0.0);
  for (int i = 1; i < cutCount; ++i) {
    const double hi = cuts[i];
    const double fhi = tripleAt(a0, a1, b0, b1, c0, c1, hi);
    if (flo == 0.0) {
      times[found++] = lo;
    } else if ((flo < 0.0) != (fhi < 0.0) || fhi == 0.0) {
      times[found++] = rootBetween(a0, a1, b0, b1, c0, c1, lo, hi, flo < 0.0);
    }
    lo = hi;
    flo = fhi;
    if (found == 3) {
      break;
    }
  }
  return found;
}

}  // namespace vellumry
