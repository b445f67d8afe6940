#pragma once

// The scene file's keys that are not parameters (the pin list, the mesh file) and the words of
// messages both kinds use. Not for use outside src/scene.

#include <toml++/toml.h>

#include <string>
#include <string_view>

#include "scene/scene.h"

namespace vellumry::scene_text {

/// The shortest text that reads back to the same double.
[[nodiscard]] std::string numberText(double v);
/// A TOML float: TOML reads "3" as an integer, so a number always has a point or an exponent.
[[nodiscard]] std::string floatText(double v);
/// A TOML value as a message names it: "3", "an array of 2", "a string".
[[nodiscard]] std::string describe(const toml::node& node);
/// The text without its leading and trailing spaces.
[[nodiscard]] std::string_view trimmed(std::string_view text);
/// cloth.pins in a scene file, over scene's list; false with why and the node at fault.
bool readPins(const toml::node& node, Scene& scene, const toml::node*& where, std::string& why);
/// The pin list as a scene file writes it, its comment first; nothing more for the default.
[[nodiscard]] std::string pinsText(const PinList& pins);
/// cloth.pins=C,R;C,R;... as --set gives it; empty: none; "mounts": the default.
bool parsePins(std::string_view text, PinList& pins, std::string& error);
/// mesh.file in the scene file `name`; false with why.
bool readMeshKey(const toml::node& node, std::string_view name, Scene& scene, std::string& why);
/// cloth.texture in the scene file `name`; false with why.
bool readTextureKey(const toml::node& node, std::string_view name, Scene& scene, std::string& why);
/// The texture as a scene file writes it, its comment first.
[[nodiscard]] std::string textureText(const MeshFile& file);
/// The mesh file as a scene file writes it, its comment first.
[[nodiscard]] std::string meshFileText(const MeshFile& file);

}  // namespace vellumry::scene_text
