#pragma once

#include <GL/gl.h>

#include <string>

namespace vellumry {

/// Reads the picture the scene's cloth.texture names, if any, and keeps it for the drawing.
/// Returns 0, or 2 after one line on standard error naming the file.
int loadSceneTexture();
/// Reads the picture at path (absolute, or relative to the working directory) and keeps it; false
/// with one line in error naming the file and what is wrong.
bool loadTexture(const std::string& path, std::string& error);
/// Forgets the picture kept (for tests).
void forgetTexture();
/// Hands the picture kept to GL, in the context just made current; no call without one.
void prepareClothLook();
/// Around the cloth's drawing in drawMode: its two colours (two-sided lighting) and its picture
/// (texture coordinates of the OBJ export's: column / (n - 1), row / (n - 1)). With the default
/// colours and no picture, and in the wireframe, no GL call at all.
void beginClothLook(GLenum drawMode);
void endClothLook(GLenum drawMode);

}  // namespace vellumry
