#pragma once

#include <span>
#include <string>
#include <string_view>

#include "scene/scene.h"

namespace vellumry {

/// Reads a scene file's text (TOML: tables [cloth], [world], [time], [wind], [ball], [floor],
/// [tear], [collision], [mesh]) over scene: the keys it names change, the others keep their
/// values; cloth.pins is an array of [column, row] pairs inside the file's grid; mesh.file a
/// path relative to the folder of the file `name`. On a fault returns false with one line in
/// error, "NAME:LINE: what is wrong", naming the key and its range; scene is then partly read.
bool readScene(std::string_view text, std::string_view name, Scene& scene, std::string& error);
/// Puts a mesh file's path in file as the scene holds it: absolute, a relative one taken from
/// folder ("" for the working directory); "" for none. False with why when it is too long.
bool resolveMeshPath(std::string_view path, const std::string& folder, MeshFile& file,
                     std::string& why);
/// The same for the file named by any path key (mesh.file, cloth.texture), which why names.
bool resolvePath(std::string_view key, std::string_view path, const std::string& folder,
                 MeshFile& file, std::string& why);
/// Reads the scene file at path over scene, as readScene does.
bool loadScene(const std::string& path, Scene& scene, std::string& error);
/// The scene as a scene file: every parameter, its help and range as a comment above it, each
/// value written so that it reads back to the same bits.
[[nodiscard]] std::string formatScene(const Scene& scene);

/// Parses a parameter's value from text: a number, or for a vector three separated by commas
/// ("0,-2,0"). On a fault returns false with "KEY must be ..., not 'TEXT'" in error.
bool parseValue(const Param& param, std::string_view text, Vec3& value, std::string& error);
/// Applies one "KEY=VALUE" setting, as --set gives it, to scene; on a fault error names the
/// setting, the key and its range. cloth.pins=C,R;C,R lists the pins, cloth.pins= none and
/// cloth.pins=mounts the default; their grid is checked once the whole command line is read;
/// mesh.file=PATH is relative to the working directory.
bool readSetting(std::string_view setting, Scene& scene, std::string& error);
/// The scene the command line asks for: the defaults, then the scene file (if path is not
/// empty), then each "KEY=VALUE" setting in order; the result is checked whole (checkScene,
/// checkPins).
bool commandLineScene(const std::string& path, std::span<const std::string> settings, Scene& scene,
                      std::string& error);

}  // namespace vellumry
