#include <GL/gl.h>

#include <cstdint>
#include <type_traits>

#include "cloth/cloth.h"

namespace vellumry {

namespace {

// The arrays hand GL the pools' own doubles: positions inside each particle, normals packed.
static_assert(sizeof(Vec3) == 3 * sizeof(double) && std::is_standard_layout_v<Particle>);

void positionArray(const std::vector<Particle>& particles) {
  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(3, GL_DOUBLE, sizeof(Particle), &particles[0].position);
}

void vertexWithNormal(const Vec3& normal, const Vec3& position) {
  glNormal3d(normal.x, normal.y, normal.z);
  glVertex3d(position.x, position.y, position.z);
}

}  // namespace

// Two passes over every row of cells, with the same vertices: pass 0 declares the clockwise side
// front-facing and lights it with reversed normals, pass 1 the counter-clockwise side with the
// stored ones. Each column step sends its own four vertices; the repeated pair between steps only
// makes zero-area triangles, and every step adds an even count, so the strip keeps one winding.
void Cloth::drawShaded() {
  computeNormals();
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  glShadeModel(GL_SMOOTH);
  const int n = gridSize;
  for (int row = 0; row < n - 1; ++row) {
    for (int pass = 0; pass < 2; ++pass) {
      const bool reversed = pass == 0;
      glFrontFace(reversed ? GL_CW : GL_CCW);
      glBegin(GL_TRIANGLE_STRIP);
      for (int column = 0; column < n - 1; ++column) {
        const int columns[4] = {column, column, column + 1, column + 1};
        const int rows[4] = {row, row + 1, row, row + 1};
        for (int v = 0; v < 4; ++v) {
          const Vec3 normal = normalAt(columns[v], rows[v]);
          vertexWithNormal(reversed ? -normal : normal, particleAt(columns[v], rows[v]).position);
        }
      }
      glEnd();
    }
  }
}

// One separate line per spring, structural and shear alike; no normals, no colour.
void Cloth::drawWireframe() const {
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  glShadeModel(GL_FLAT);
  for (int i = 0; i < springCount; ++i) {
    const Vec3& a = springs[i].particleA->position;
    const Vec3& b = springs[i].particleB->position;
    glBegin(GL_LINES);
    glVertex3d(a.x, a.y, a.z);
    glVertex3d(b.x, b.y, b.z);
    glEnd();
  }
}

// The passes of drawShaded, each one strip over every row: the same triangles, sides and normals.
// Each pass draws all rows before the next pass, which changes no pixel: the second pass still
// meets the first one's depths and fails. So a large grid, whose every triangle costs the
// rasteriser, draws the first pass alone: the same picture in half the triangles.
void Cloth::drawShadedArrays() {
  computeArrayNormals();
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  glShadeModel(GL_SMOOTH);
  if (mesh.stripCount == 0) {
    return;
  }
  positionArray(particles);
  glEnableClientState(GL_NORMAL_ARRAY);
  if (texCoords != nullptr) {
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(2, GL_FLOAT, 0, texCoords);
  }
  // A torn cloth draws its living triangles, in the strip's order and winding, one by one.
  const bool torn = brokenCount > 0;
  const GLenum mode = torn ? GL_TRIANGLES : GL_TRIANGLE_STRIP;
  const int count = torn ? mesh.triangleCount : mesh.stripCount;
  const std::uint32_t* indices = torn ? mesh.triangles.data() : mesh.strip.data();
  const int passes = gridSize > kOnePassGridSize ? 1 : 2;
  for (int pass = 0; pass < passes && count > 0; ++pass) {
    glFrontFace(pass == 0 ? GL_CW : GL_CCW);
    glNormalPointer(GL_DOUBLE, 0, pass == 0 ? mesh.reversed.data() : normals.data());
    glDrawElements(mode, count, GL_UNSIGNED_INT, indices);
  }
  if (texCoords != nullptr) {
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  }
  glDisableClientState(GL_NORMAL_ARRAY);
  glDisableClientState(GL_VERTEX_ARRAY);
  // Immediate mode leaves its last normal current, and a lit wireframe drawn next shows it; an
  // array draw leaves the current normal undefined.
  const Vec3& last = normals[particleCount - 1];
  glNormal3d(last.x, last.y, last.z);
}

void Cloth::drawWireframeArrays() const {
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  glShadeModel(GL_FLAT);
  if (mesh.lineCount == 0) {
    return;
  }
  positionArray(particles);
  glDrawElements(GL_LINES, mesh.lineCount, GL_UNSIGNED_INT, mesh.lines.data());
  glDisableClientState(GL_VERTEX_ARRAY);
}

}  // namespace vellumry
