#include "fake_gl.h"

#include <GL/freeglut.h>
#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <bit>
#include <deque>
#include <initializer_list>
#include <iomanip>
#include <sstream>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>

#include "app/cloth_look.h"
#include "app/solids.h"
#include "app/viewer.h"

namespace vellumry::fake_gl {

// Plain values: a frame's thousands of records are cleared without running a destructor.
static_assert(std::is_trivially_destructible_v<Call>);

namespace {

std::vector<Call>& recorded() {
  static std::vector<Call> list;
  return list;
}

// Copies of the menu labels, so that records stay plain values whatever the caller's string was.
std::string_view keep(std::string_view label) {
  static std::deque<std::string> kept;
  return kept.emplace_back(label);
}

Call& record(std::string_view name, std::initializer_list<double> args) {
  Call& call = recorded().emplace_back();
  call.name = name;
  std::copy(args.begin(), args.end(), call.args.begin());
  call.argCount = static_cast<int>(args.size());
  return call;
}

void recordFloats(std::string_view name, GLenum a, GLenum b, const GLfloat* params) {
  record(name, {static_cast<double>(a), static_cast<double>(b), params[0], params[1], params[2],
                params[3]});
}

}  // namespace

bool operator==(const Call& a, const Call& b) {
  if (a.name != b.name || a.argCount != b.argCount || a.label != b.label ||
      a.intCallback != b.intCallback || a.mouseCallback != b.mouseCallback ||
      a.motionCallback != b.motionCallback) {
    return false;
  }
  for (int i = 0; i < a.argCount; ++i) {
    if (bits(a.arg(i)) != bits(b.arg(i))) {
      return false;
    }
  }
  return true;
}

void PrintTo(const Call& call, std::ostream* os) {
  *os << call.name << "(";
  if (!call.label.empty()) {
    *os << '"' << call.label << "\", ";
  }
  for (int i = 0; i < call.argCount; ++i) {
    *os << (i > 0 ? ", " : "") << std::setprecision(17) << call.arg(i);
  }
  if (call.intCallback != nullptr || call.mouseCallback != nullptr ||
      call.motionCallback != nullptr) {
    *os << (call.argCount > 0 ? ", " : "") << "<callback>";
  }
  *os << ")";
}

Call expected(std::string_view name, std::initializer_list<double> args) {
  if (args.size() > Call::kMaxArgs) {
    throw std::length_error("a recorded call has at most Call::kMaxArgs arguments");
  }
  Call call;
  call.name = name;
  std::copy(args.begin(), args.end(), call.args.begin());
  call.argCount = static_cast<int>(args.size());
  return call;
}

Call expectedLabel(std::string_view name, std::string_view label, double value) {
  Call call = expected(name, {value});
  call.label = keep(label);
  return call;
}

const std::vector<Call>& calls() { return recorded(); }

void clear() { recorded().clear(); }

std::vector<Call> take() { return std::exchange(recorded(), std::vector<Call>()); }

int count(std::string_view name) {
  return static_cast<int>(std::count_if(recorded().begin(), recorded().end(),
                                        [name](const Call& c) { return c.name == name; }));
}

std::uint64_t bits(double d) { return std::bit_cast<std::uint64_t>(d); }

double address(const void* p) { return static_cast<double>(reinterpret_cast<std::uintptr_t>(p)); }

const char* pointer(double address) {
  return reinterpret_cast<const char*>(static_cast<std::uintptr_t>(address));
}

testing::AssertionResult sameCalls(const std::vector<Call>& actual,
                                   const std::vector<Call>& wanted) {
  const std::size_t common = std::min(actual.size(), wanted.size());
  std::size_t first = 0;
  while (first < common && actual[first] == wanted[first]) {
    ++first;
  }
  if (first == common && actual.size() == wanted.size()) {
    return testing::AssertionSuccess();
  }
  std::ostringstream out;
  out << actual.size() << " calls recorded, " << wanted.size() << " wanted; first difference at "
      << first << ":";
  const std::size_t from = first < 3 ? 0 : first - 3;
  for (std::size_t i = from; i < first + 3 && i < std::max(actual.size(), wanted.size()); ++i) {
    out << "\n  [" << i << "] got ";
    if (i < actual.size()) {
      PrintTo(actual[i], &out);
    } else {
      out << "(nothing)";
    }
    out << ", wanted ";
    if (i < wanted.size()) {
      PrintTo(wanted[i], &out);
    } else {
      out << "(nothing)";
    }
  }
  return testing::AssertionFailure() << out.str();
}

Answers& answers() {
  static Answers a;
  return a;
}

void resetProgram() {
  cloth.reset();
  for (Vec3& normal : cloth.normals) {
    normal = Vec3();
  }
  mouseMode = -1;
  viewAngle = -80.0;
  drawMode = GL_SMOOTH;
  dragStartX = 0;
  dragStartY = 0;
  mountVelocity0 = Vec3();
  mountVelocity1 = Vec3();
  fullscreen = false;
  spinRate = 0.0;
  paused = false;
  grab = Grab();
  tickCount = 0;
  scene = Scene();
  forgetSolids();
  forgetTexture();
  substeps = 1;
  tickClock = steadyMillis;
  answers() = Answers();
  clear();
}

}  // namespace vellumry::fake_gl

using vellumry::fake_gl::record;

extern "C" {

// GL

void glClearColor(GLclampf red, GLclampf green, GLclampf blue, GLclampf alpha) {
  record("glClearColor", {red, green, blue, alpha});
}
void glClear(GLbitfield mask) { record("glClear", {static_cast<double>(mask)}); }
void glFrontFace(GLenum mode) { record("glFrontFace", {static_cast<double>(mode)}); }
void glPolygonMode(GLenum face, GLenum mode) {
  record("glPolygonMode", {static_cast<double>(face), static_cast<double>(mode)});
}
void glEnable(GLenum cap) { record("glEnable", {static_cast<double>(cap)}); }
void glDisable(GLenum cap) { record("glDisable", {static_cast<double>(cap)}); }
void glMatrixMode(GLenum mode) { record("glMatrixMode", {static_cast<double>(mode)}); }
void glViewport(GLint x, GLint y, GLsizei width, GLsizei height) {
  record("glViewport", {static_cast<double>(x), static_cast<double>(y), static_cast<double>(width),
                        static_cast<double>(height)});
}
void glPushMatrix() { record("glPushMatrix", {}); }
void glPopMatrix() { record("glPopMatrix", {}); }
void glLoadIdentity() { record("glLoadIdentity", {}); }
void glRotated(GLdouble angle, GLdouble x, GLdouble y, GLdouble z) {
  record("glRotated", {angle, x, y, z});
}
void glTranslated(GLdouble x, GLdouble y, GLdouble z) { record("glTranslated", {x, y, z}); }
void glBegin(GLenum mode) { record("glBegin", {static_cast<double>(mode)}); }
void glEnd() { record("glEnd", {}); }
void glVertex3d(GLdouble x, GLdouble y, GLdouble z) { record("glVertex3d", {x, y, z}); }
void glNormal3d(GLdouble nx, GLdouble ny, GLdouble nz) { record("glNormal3d", {nx, ny, nz}); }
// Client arrays: pointers are kept as their addresses (exact in a double) for a test to read.
void glEnableClientState(GLenum cap) { record("glEnableClientState", {static_cast<double>(cap)}); }
void glDisableClientState(GLenum cap) {
  record("glDisableClientState", {static_cast<double>(cap)});
}
void glVertexPointer(GLint size, GLenum type, GLsizei stride, const void* pointer) {
  record("glVertexPointer", {static_cast<double>(size), static_cast<double>(type),
                             static_cast<double>(stride), vellumry::fake_gl::address(pointer)});
}
void glNormalPointer(GLenum type, GLsizei stride, const void* pointer) {
  record("glNormalPointer", {static_cast<double>(type), static_cast<double>(stride),
                             vellumry::fake_gl::address(pointer)});
}
void glDrawElements(GLenum mode, GLsizei count, GLenum type, const void* indices) {
  record("glDrawElements", {static_cast<double>(mode), static_cast<double>(count),
                            static_cast<double>(type), vellumry::fake_gl::address(indices)});
}
void glDrawArrays(GLenum mode, GLint first, GLsizei count) {
  record("glDrawArrays",
         {static_cast<double>(mode), static_cast<double>(first), static_cast<double>(count)});
}
void glShadeModel(GLenum mode) { record("glShadeModel", {static_cast<double>(mode)}); }
void glPolygonOffset(GLfloat factor, GLfloat units) {
  record("glPolygonOffset", {static_cast<double>(factor), static_cast<double>(units)});
}
void glLightfv(GLenum light, GLenum pname, const GLfloat* params) {
  vellumry::fake_gl::recordFloats("glLightfv", light, pname, params);
}
void glMaterialfv(GLenum face, GLenum pname, const GLfloat* params) {
  vellumry::fake_gl::recordFloats("glMaterialfv", face, pname, params);
}

void glLightModeli(GLenum pname, GLint param) {
  record("glLightModeli", {static_cast<double>(pname), static_cast<double>(param)});
}
void glColor3f(GLfloat red, GLfloat green, GLfloat blue) {
  record("glColor3f", {red, green, blue});
}
void glColor3fv(const GLfloat* v) { record("glColor3fv", {v[0], v[1], v[2]}); }
void glScaled(GLdouble x, GLdouble y, GLdouble z) { record("glScaled", {x, y, z}); }
void glClipPlane(GLenum plane, const GLdouble* equation) {
  record("glClipPlane",
         {static_cast<double>(plane), equation[0], equation[1], equation[2], equation[3]});
}
void glLineWidth(GLfloat width) { record("glLineWidth", {width}); }
void glTexCoordPointer(GLint size, GLenum type, GLsizei stride, const void* pointer) {
  record("glTexCoordPointer", {static_cast<double>(size), static_cast<double>(type),
                               static_cast<double>(stride), vellumry::fake_gl::address(pointer)});
}
// Texture objects are numbered from 1, as GL hands them out.
void glGenTextures(GLsizei n, GLuint* textures) {
  static GLuint next = 1;
  record("glGenTextures", {static_cast<double>(n)});
  for (GLsizei i = 0; i < n; ++i) {
    textures[i] = next++;
  }
}
void glBindTexture(GLenum target, GLuint texture) {
  record("glBindTexture", {static_cast<double>(target), static_cast<double>(texture)});
}
void glTexParameteri(GLenum target, GLenum pname, GLint param) {
  record("glTexParameteri",
         {static_cast<double>(target), static_cast<double>(pname), static_cast<double>(param)});
}
void glTexEnvi(GLenum target, GLenum pname, GLint param) {
  record("glTexEnvi",
         {static_cast<double>(target), static_cast<double>(pname), static_cast<double>(param)});
}

void glGetIntegerv(GLenum pname, GLint* params) {
  record("glGetIntegerv", {static_cast<double>(pname)});
  if (pname == GL_VIEWPORT) {
    std::copy(vellumry::fake_gl::answers().viewport.begin(),
              vellumry::fake_gl::answers().viewport.end(), params);
  }
}
void glReadBuffer(GLenum mode) { record("glReadBuffer", {static_cast<double>(mode)}); }
void glPixelStorei(GLenum pname, GLint param) {
  record("glPixelStorei", {static_cast<double>(pname), static_cast<double>(param)});
}
void glReadPixels(GLint x, GLint y, GLsizei width, GLsizei height, GLenum /*format*/,
                  GLenum /*type*/, GLvoid* /*pixels*/) {
  record("glReadPixels", {static_cast<double>(x), static_cast<double>(y),
                          static_cast<double>(width), static_cast<double>(height)});
}
void glGetDoublev(GLenum pname, GLdouble* params) {
  record("glGetDoublev", {static_cast<double>(pname)});
  const auto& a = vellumry::fake_gl::answers();
  if (pname == GL_PROJECTION_MATRIX) {
    std::copy(a.projection.begin(), a.projection.end(), params);
  } else if (pname == GL_MODELVIEW_MATRIX) {
    std::copy(a.modelview.begin(), a.modelview.end(), params);
  }
}

// GLU (gluProject and gluUnProject are the library's own: plain arithmetic on what they are
// given)

void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar) {
  record("gluPerspective", {fovy, aspect, zNear, zFar});
}
void gluLookAt(GLdouble eyeX, GLdouble eyeY, GLdouble eyeZ, GLdouble centerX, GLdouble centerY,
               GLdouble centerZ, GLdouble upX, GLdouble upY, GLdouble upZ) {
  record("gluLookAt", {eyeX, eyeY, eyeZ, centerX, centerY, centerZ, upX, upY, upZ});
}

GLint gluBuild2DMipmaps(GLenum target, GLint internalFormat, GLsizei width, GLsizei height,
                        GLenum format, GLenum type, const void* data) {
  record("gluBuild2DMipmaps",
         {static_cast<double>(target), static_cast<double>(internalFormat),
          static_cast<double>(width), static_cast<double>(height), static_cast<double>(format),
          static_cast<double>(type), vellumry::fake_gl::address(data)});
  return 0;
}

GLUquadric* gluNewQuadric() {
  static int quadric = 0;
  record("gluNewQuadric", {});
  return reinterpret_cast<GLUquadric*>(&quadric);
}
void gluSphere(GLUquadric* quad, GLdouble radius, GLint slices, GLint stacks) {
  record("gluSphere", {vellumry::fake_gl::address(quad), radius, static_cast<double>(slices),
                       static_cast<double>(stacks)});
}

// GLUT

void glutReshapeWindow(int width, int height) {
  record("glutReshapeWindow", {static_cast<double>(width), static_cast<double>(height)});
}
void glutFullScreen() { record("glutFullScreen", {}); }
void glutSwapBuffers() { record("glutSwapBuffers", {}); }
int glutCreateMenu(void (*callback)(int menu)) {
  record("glutCreateMenu", {}).intCallback = callback;
  return 1;
}
void glutAddMenuEntry(const char* label, int value) {
  record("glutAddMenuEntry", {static_cast<double>(value)}).label = vellumry::fake_gl::keep(label);
}
void glutAttachMenu(int button) { record("glutAttachMenu", {static_cast<double>(button)}); }
void glutTimerFunc(unsigned int time, void (*callback)(int), int value) {
  record("glutTimerFunc", {static_cast<double>(time), static_cast<double>(value)}).intCallback =
      callback;
}
void glutMouseFunc(void (*callback)(int, int, int, int)) {
  record("glutMouseFunc", {}).mouseCallback = callback;
}
void glutMotionFunc(void (*callback)(int, int)) {
  record("glutMotionFunc", {}).motionCallback = callback;
}
void glutKeyboardFunc(void (* /*callback*/)(unsigned char, int, int)) {
  record("glutKeyboardFunc", {});
}
void glutSpecialFunc(void (* /*callback*/)(int, int, int)) { record("glutSpecialFunc", {}); }
int glutGetModifiers() { return vellumry::fake_gl::answers().modifiers; }
void glutLeaveMainLoop() { record("glutLeaveMainLoop", {}); }

}  // extern "C"
