#include "scene/scene_keys.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <filesystem>
#include <sstream>
#include <system_error>

#include "scene/scene_file.h"

namespace vellumry {

namespace scene_text {

std::string numberText(double v) {
  char text[32];
  return {text, std::to_chars(text, text + sizeof text, v).ptr};
}

std::string floatText(double v) {
  std::string text = numberText(v);
  if (text.find_first_of(".en") == std::string::npos) {
    text += ".0";
  }
  return text;
}

std::string describe(const toml::node& node) {
  if (const auto* i = node.as_integer()) {
    return std::to_string(i->get());
  }
  if (const auto* f = node.as_floating_point()) {
    return floatText(f->get());
  }
  if (const auto* a = node.as_array()) {
    return "an array of " + std::to_string(a->size());
  }
  std::ostringstream type;
  type << node.type();
  return "a " + type.str();
}

constexpr char kPinsForm[] = " must be an array of [column, row] pairs of whole numbers";

// cloth.pins = [[0, 0], [0, 31]]: checked against the grid read so far, which is the file's own,
// as toml++ keeps a table's keys in order and "grid" comes before "pins".
bool readPins(const toml::node& node, Scene& scene, const toml::node*& where, std::string& why) {
  where = &node;
  const toml::array* list = node.as_array();
  if (list == nullptr) {
    why = std::string(kPinsKey) + kPinsForm + ", not " + describe(node);
    return false;
  }
  if (list->size() > static_cast<std::size_t>(kMaxPins)) {
    why = std::string(kPinsKey) + " lists at most " + std::to_string(kMaxPins) + " particles";
    return false;
  }
  scene.pins = PinList{false, 0, {}};
  for (const toml::node& item : *list) {
    where = &item;
    const toml::array* pair = item.as_array();
    const toml::value<std::int64_t>* c =
        pair != nullptr && pair->size() == 2 ? (*pair)[0].as_integer() : nullptr;
    const toml::value<std::int64_t>* r = c != nullptr ? (*pair)[1].as_integer() : nullptr;
    if (r == nullptr) {
      why = std::string(kPinsKey) + kPinsForm + ", not " + describe(item);
      return false;
    }
    // Beyond any grid either way, and still itself in the message.
    const auto held = [](std::int64_t v) {
      return static_cast<std::int16_t>(std::clamp<std::int64_t>(v, INT16_MIN, INT16_MAX));
    };
    PinList& pins = scene.pins;
    pins.at[static_cast<std::size_t>(pins.count++)] = {held(c->get()), held(r->get())};
    if (badPin(scene, why) >= 0) {
      return false;
    }
  }
  return true;
}

// mesh.file = "table.obj": a string, relative to the scene file's folder.
bool readMeshKey(const toml::node& node, std::string_view name, Scene& scene, std::string& why) {
  const auto* text = node.as_string();
  if (text == nullptr) {
    why = std::string(kMeshFileKey) + " must be a path in quotes (\"\" for none), not " +
          describe(node);
    return false;
  }
  const std::string folder = std::filesystem::path(name).parent_path().string();
  return resolveMeshPath(text->get(), folder, scene.meshFile, why);
}

// cloth.texture = "flag.png": a string, relative to the scene file's folder.
bool readTextureKey(const toml::node& node, std::string_view name, Scene& scene, std::string& why) {
  const auto* text = node.as_string();
  if (text == nullptr) {
    why = std::string(kTextureKey) + " must be a path in quotes (\"\" for none), not " +
          describe(node);
    return false;
  }
  const std::string folder = std::filesystem::path(name).parent_path().string();
  return resolvePath(kTextureKey, text->get(), folder, scene.look.texture, why);
}

std::string textureText(const MeshFile& file) {
  std::ostringstream quoted;
  quoted << toml::value<std::string>(std::string(meshPath(file)));
  return "# a PNG picture printed on both sides, times their colours (at most " +
         std::to_string(kMaxTextureSide) +
         " pixels a side),\n# relative to this file's folder; "
         "\"\": none\ntexture = " +
         quoted.str() + "\n";
}

std::string meshFileText(const MeshFile& file) {
  std::ostringstream quoted;
  quoted << toml::value<std::string>(std::string(meshPath(file)));
  return "# the solid's mesh file (OBJ, STL, PLY, glTF, GLB, ...), relative to this file's "
         "folder;\n# \"\": no solid\nfile = " +
         quoted.str() + "\n";
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && text.front() == ' ') {
    text.remove_prefix(1);
  }
  while (!text.empty() && text.back() == ' ') {
    text.remove_suffix(1);
  }
  return text;
}

// Eight pairs a line.
std::string pinsText(const PinList& pins) {
  std::string out =
      "# particles pinned when the cloth is built, [column, row] pairs from 0 to grid - 1; left "
      "out:\n# the two mount points, [0, 0] and [0, grid - 1]\n";
  if (pins.mounts) {
    return out;
  }
  constexpr int kPerLine = 8;
  const bool wrap = pins.count > kPerLine;
  out += "pins = [";
  for (int i = 0; i < pins.count; ++i) {
    const GridPin& pin = pins.at[static_cast<std::size_t>(i)];
    out += i % kPerLine == 0 ? (wrap ? "\n  " : "") : " ";
    out += "[" + std::to_string(pin.column) + ", " + std::to_string(pin.row) + "]" +
           (wrap || i + 1 < pins.count ? "," : "");
  }
  return out + (wrap ? "\n]\n" : "]\n");
}

// cloth.pins=C,R;C,R;...; empty: none; "mounts": the default.
bool parsePins(std::string_view text, PinList& pins, std::string& error) {
  pins = PinList{text == "mounts", 0, {}};
  std::string_view rest = text == "mounts" ? std::string_view() : text;
  while (!rest.empty()) {
    const std::size_t semicolon = rest.find(';');
    const std::string_view pair = rest.substr(0, semicolon);
    rest = semicolon == std::string_view::npos ? std::string_view() : rest.substr(semicolon + 1);
    const std::size_t comma = pair.find(',');
    int c[2] = {-1, -1};
    bool ok =
        comma != std::string_view::npos && (semicolon == std::string_view::npos || !rest.empty());
    for (int i = 0; i < 2 && ok; ++i) {
      const std::string_view piece =
          trimmed(i == 0 ? pair.substr(0, comma) : pair.substr(comma + 1));
      const char* end = piece.data() + piece.size();
      const auto [stop, ec] = std::from_chars(piece.data(), end, c[i]);
      ok = ec == std::errc() && stop == end;
    }
    if (!ok || !addPin(pins, c[0], c[1])) {
      error = std::string(kPinsKey) +
              " must be COLUMN,ROW pairs of whole numbers from 0 to grid - 1 separated by ';' "
              "(at most " +
              std::to_string(kMaxPins) +
              "), nothing for none, or 'mounts' for the two mount points; not '" +
              std::string(text) + "'";
      return false;
    }
  }
  return true;
}

}  // namespace scene_text

bool resolveMeshPath(std::string_view path, const std::string& folder, MeshFile& file,
                     std::string& why) {
  return resolvePath(kMeshFileKey, path, folder, file, why);
}

bool resolvePath(std::string_view key, std::string_view path, const std::string& folder,
                 MeshFile& file, std::string& why) {
  if (path.empty()) {
    file = MeshFile();
    return true;
  }
  std::error_code fault;
  const std::filesystem::path absolute =
      std::filesystem::absolute(std::filesystem::path(folder) / path, fault).lexically_normal();
  if (fault || !setMeshPath(file, absolute.string())) {
    why = std::string(key) + " must be a path of at most " + std::to_string(kMaxMeshPath) +
          " bytes, not '" + std::string(path) + "'";
    return false;
  }
  return true;
}

}  // namespace vellumry
