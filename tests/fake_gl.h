#pragma once

// A recording stand-in for the GL, GLU and GLUT entry points that the drawing code, the viewer and
// the controls call. fake_gl.cpp defines each of them with C linkage; every call appends one
// record to a plain list that a test clears, runs the code under test, and inspects. No display,
// no GL library: the test binary resolves these names to the fake alone.

#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <string_view>
#include <vector>

namespace vellumry::fake_gl {

using IntCallback = void (*)(int);
using MouseCallback = void (*)(int, int, int, int);
using MotionCallback = void (*)(int, int);

/// One recorded call. Every argument is kept as a double: the program's doubles as they were,
/// its ints, enumerants and floats converted exactly (a double holds every 32-bit integer and every
/// float). glLightfv and glMaterialfv record their enumerants followed by the four floats.
struct Call {
  static constexpr std::size_t kMaxArgs = 9;  // gluLookAt

  std::string_view name;  ///< the entry point, e.g. "glVertex3d"; points at a string literal
  std::array<double, kMaxArgs> args{};
  int argCount = 0;
  std::string_view label;                 ///< glutAddMenuEntry only; a copy that the recorder keeps
  IntCallback intCallback = nullptr;      ///< glutTimerFunc, glutCreateMenu
  MouseCallback mouseCallback = nullptr;  ///< glutMouseFunc
  MotionCallback motionCallback = nullptr;  ///< glutMotionFunc

  [[nodiscard]] double arg(int i) const { return args.at(static_cast<std::size_t>(i)); }
};

/// Same name, same argument count, every argument the same bits (so -0.0 differs from 0.0 and a
/// NaN equals only the same NaN), same label and callbacks.
bool operator==(const Call& a, const Call& b);
void PrintTo(const Call& call, std::ostream* os);

/// A call as a test expects it, built from the name and the arguments.
Call expected(std::string_view name, std::initializer_list<double> args);
Call expectedLabel(std::string_view name, std::string_view label, double value);

/// The calls recorded since the last clear(), oldest first.
const std::vector<Call>& calls();
void clear();
/// The recorded calls, which are then cleared.
std::vector<Call> take();
/// How many recorded calls have this name.
int count(std::string_view name);

/// The bits of a double, for exact comparisons in messages.
std::uint64_t bits(double d);
/// A pointer as the client-array calls record it, and back.
double address(const void* p);
const char* pointer(double address);

/// Whether two call lists are equal; otherwise names the first difference and its neighbours.
testing::AssertionResult sameCalls(const std::vector<Call>& actual,
                                   const std::vector<Call>& wanted);

/// What the fake's queries answer: glutGetModifiers, and glGetIntegerv(GL_VIEWPORT),
/// glGetDoublev(GL_PROJECTION_MATRIX) and glGetDoublev(GL_MODELVIEW_MATRIX). Queries change
/// nothing and glutGetModifiers is not recorded, so that a plain press records nothing.
struct Answers {
  int modifiers = 0;
  std::array<int, 4> viewport{};
  std::array<double, 16> projection{};
  std::array<double, 16> modelview{};
};
Answers& answers();

/// The program as it starts: every viewer value at its initial value, the cloth empty (its
/// normals zero, as constructed), and nothing recorded.
void resetProgram();

}  // namespace vellumry::fake_gl
