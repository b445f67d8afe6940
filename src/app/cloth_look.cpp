#include "app/cloth_look.h"

#include <GL/glu.h>

#include <cstdio>
#include <vector>

#include "app/viewer.h"
#include "output/png_reader.h"
#include "scene/scene_file.h"

namespace vellumry {

namespace {

constexpr int kStatusBadInput = 2;

struct Texture {
  Image image;
  std::string path;
  GLuint name = 0;            ///< GL's texture object once prepared; 0 before
  std::vector<float> coords;  ///< two a vertex of the largest grid, made when it is read
  int coordsFor = 0;          ///< the grid coords holds now
};

Texture texture;

bool hasColours() {
  const ClothLook defaults;
  const ClothLook& look = scene.look;
  const auto same = [](const Vec3& a, const Vec3& b) {
    return a.x == b.x && a.y == b.y && a.z == b.z;
  };
  return !same(look.colour, defaults.colour) || !same(look.backColour, defaults.backColour);
}

bool textured() { return texture.name != 0 && scene.look.texture.path[0] != '\0'; }

void diffuse(GLenum face, const Vec3& colour) {
  const GLfloat rgba[] = {static_cast<GLfloat>(colour.x), static_cast<GLfloat>(colour.y),
                          static_cast<GLfloat>(colour.z), 1.0f};
  glMaterialfv(face, GL_DIFFUSE, rgba);
}

// The grid's coordinates in the buffer made at the load: no allocation in a frame.
const float* coordsFor(int n) {
  if (texture.coordsFor != n) {
    for (int row = 0; row < n; ++row) {
      for (int column = 0; column < n; ++column) {
        const auto at = 2 * static_cast<std::size_t>(column + n * row);
        texture.coords[at] = static_cast<float>(static_cast<double>(column) / (n - 1));
        texture.coords[at + 1] = static_cast<float>(static_cast<double>(row) / (n - 1));
      }
    }
    texture.coordsFor = n;
  }
  return texture.coords.data();
}

}  // namespace

bool loadTexture(const std::string& path, std::string& error) {
  Image image;
  std::string why;
  if (!readPng(path, kMaxTextureSide, image, why)) {
    error = std::string(kTextureKey) + " " + path + ": " + why;
    return false;
  }
  texture.image = std::move(image);
  texture.path = path;
  texture.coords.assign(2 * static_cast<std::size_t>(kMaxGridSize) * kMaxGridSize, 0.0f);
  texture.coordsFor = 0;
  texture.name = 0;
  return true;
}

int loadSceneTexture() {
  const std::string path(meshPath(scene.look.texture));
  std::string error;
  if (path.empty() || path == texture.path) {
    return 0;
  }
  if (!loadTexture(path, error)) {
    std::fprintf(stderr, "vellumry: %s\n", error.c_str());
    return kStatusBadInput;
  }
  return 0;
}

void forgetTexture() { texture = Texture(); }

void prepareClothLook() {
  const Image& image = texture.image;
  if (image.rgba.empty()) {
    return;
  }
  glGenTextures(1, &texture.name);
  glBindTexture(GL_TEXTURE_2D, texture.name);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  // The lit colour times the picture's; GLU scales a side that is not a power of two.
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  gluBuild2DMipmaps(GL_TEXTURE_2D, GL_RGBA, image.width, image.height, GL_RGBA, GL_UNSIGNED_BYTE,
                    image.rgba.data());
}

// The side facing away from the normals is the one seen at the start, drawn by the first pass
// with reversed normals as front faces: it takes the front material, the other side the back.
void beginClothLook(GLenum drawMode) {
  if (drawMode != GL_SMOOTH) {
    return;
  }
  if (hasColours()) {
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_TRUE);
    diffuse(GL_FRONT, scene.look.colour);
    diffuse(GL_BACK, scene.look.backColour);
  }
  if (textured()) {
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture.name);
    cloth.texCoords = coordsFor(cloth.gridSize);
  }
}

void endClothLook(GLenum drawMode) {
  if (drawMode != GL_SMOOTH) {
    return;
  }
  if (textured()) {
    cloth.texCoords = nullptr;
    glDisable(GL_TEXTURE_2D);
  }
  if (hasColours()) {
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_FALSE);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, kClothDiffuse);
  }
}

}  // namespace vellumry
