#include "scene/scene_file.h"

#include <toml++/toml.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <optional>
#include <sstream>

#include "scene/scene_keys.h"

namespace vellumry {

namespace {

using namespace scene_text;

constexpr std::size_t kMaxSceneBytes = 1 << 20;

// What every fault of a value says: "cloth.grid must be a whole number from 2 to 256".
std::string mustBe(const Param& p) {
  const char* what = p.type == ParamType::kNumber   ? "a number "
                     : p.type == ParamType::kVector ? "three numbers x, y, z, "
                                                    : "";
  return std::string(p.key) + " must be " + what + rangeText(p);
}

std::string valueText(const Param& p, const Vec3& v) {
  switch (p.type) {
    case ParamType::kInt:
      return std::to_string(static_cast<long long>(v.x));
    case ParamType::kNumber:
      return floatText(v.x);
    case ParamType::kVector:
      return "[" + floatText(v.x) + ", " + floatText(v.y) + ", " + floatText(v.z) + "]";
    case ParamType::kBool:
      return v.x != 0.0 ? "true" : "false";
  }
  return {};
}

// "grid, width, ..." for one table, or "cloth.grid, cloth.width, ..." for every table.
std::string keyList(std::string_view table = {}) {
  std::string list;
  for (const Param& p : sceneParams()) {
    if (table.empty() || p.table == table) {
      list += (list.empty() ? "" : ", ") + std::string(table.empty() ? p.key : p.name);
    }
  }
  if (table.empty() || table == "cloth") {
    list += table.empty() ? ", cloth.pins, cloth.texture" : ", pins, texture";
  }
  if (table.empty() || table == "mesh") {
    list += table.empty() ? ", mesh.file" : ", file";
  }
  return list;
}

// "[cloth], [world], [time]", each table once, in the table's order.
std::string tableList() {
  std::string list;
  for (const Param& p : sceneParams()) {
    const std::string name = "[" + std::string(p.table) + "]";
    if (list.find(name) == std::string::npos) {
      list += (list.empty() ? "" : ", ") + name;
    }
  }
  return list;
}

bool isTable(std::string_view name) {
  return std::any_of(sceneParams().begin(), sceneParams().end(),
                     [&](const Param& p) { return p.table == name; });
}

// A TOML integer, or a float unless only whole numbers will do.
std::optional<double> tomlNumber(const toml::node& node, bool wholeOnly) {
  if (const auto* i = node.as_integer()) {
    return static_cast<double>(i->get());
  }
  if (const auto* f = node.as_floating_point(); f != nullptr && !wholeOnly) {
    return f->get();
  }
  return std::nullopt;
}

bool readValue(const Param& p, const toml::node& node, Vec3& value, std::string& why) {
  const toml::node* wrong = nullptr;
  if (p.type == ParamType::kVector) {
    const toml::array* a = node.as_array();
    wrong = a == nullptr || a->size() != 3 ? &node : nullptr;
    double c[3] = {0.0, 0.0, 0.0};
    for (std::size_t i = 0; wrong == nullptr && i < 3; ++i) {
      const auto v = tomlNumber((*a)[i], false);
      c[i] = v.value_or(0.0);
      wrong = v ? nullptr : &(*a)[i];
    }
    value = {c[0], c[1], c[2]};
  } else if (p.type == ParamType::kBool) {
    const auto* b = node.as_boolean();
    value = {b != nullptr && b->get() ? 1.0 : 0.0, 0.0, 0.0};
    wrong = b != nullptr ? nullptr : &node;
  } else {
    const auto v = tomlNumber(node, p.type == ParamType::kInt);
    value = {v.value_or(0.0), 0.0, 0.0};
    wrong = v ? nullptr : &node;
  }
  if (wrong == nullptr && inRange(p, value)) {
    return true;
  }
  const bool vector = wrong == nullptr && p.type == ParamType::kVector;
  why = mustBe(p) + ", not " +
        (vector ? valueText(p, value) : describe(wrong != nullptr ? *wrong : node));
  return false;
}

// A name from the file as a message shows it: a quoted TOML key may hold any character, and a
// control character would break the message's one line.
std::string shown(std::string_view name) {
  std::string text;
  for (const char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02x", u);
      text += escape;
    } else {
      text += c;
    }
  }
  return text;
}

// One key of a table: the pins, the mesh file or a parameter; false with why and where.
bool readKey(const std::string& table, const toml::key& key, const toml::node& node,
             std::string_view name, Scene& scene, const toml::node*& where, std::string& why) {
  const std::string full = table + "." + std::string(key.str());
  if (full == kPinsKey) {
    return readPins(node, scene, where, why);
  }
  if (full == kMeshFileKey) {
    return readMeshKey(node, name, scene, why);
  }
  if (full == kTextureKey) {
    return readTextureKey(node, name, scene, why);
  }
  const int index = findParam(full);
  if (index < 0) {
    where = nullptr;
    why =
        "unknown key '" + shown(key.str()) + "' in [" + table + "]; its keys are " + keyList(table);
    return false;
  }
  const Param& p = sceneParams()[static_cast<std::size_t>(index)];
  Vec3 value;
  if (!readValue(p, node, value, why)) {
    return false;
  }
  p.set(scene, value);
  return true;
}

}  // namespace

bool readScene(std::string_view text, std::string_view name, Scene& scene, std::string& error) {
  const auto fail = [&](const toml::source_region& where, const std::string& why) {
    error = std::string(name) + ":" + std::to_string(where.begin.line) + ": " + why;
    return false;
  };
  toml::table root;
  try {
    root = toml::parse(text, name);
  } catch (const toml::parse_error& e) {
    std::string why(e.description());
    std::replace(why.begin(), why.end(), '\n', ' ');
    return fail(e.source(), "syntax error: " + why);
  }
  for (const auto& [tableKey, tableNode] : root) {
    const std::string table(tableKey.str());
    if (!tableNode.is_table() || !isTable(table)) {
      return fail(tableKey.source(),
                  tableNode.is_table()
                      ? "unknown table [" + shown(table) + "]; the tables are " + tableList()
                      : "'" + shown(table) + "' outside the tables " + tableList());
    }
    for (const auto& [key, node] : *tableNode.as_table()) {
      const toml::node* where = &node;
      std::string why;
      if (!readKey(table, key, node, name, scene, where, why)) {
        return fail(where != nullptr ? where->source() : key.source(), why);
      }
    }
  }
  return true;
}

bool loadScene(const std::string& path, Scene& scene, std::string& error) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    error = "cannot read " + path + ": " + std::strerror(errno);
    return false;
  }
  std::string text;
  char buffer[1 << 14];
  std::size_t n = 0;
  while (text.size() <= kMaxSceneBytes && (n = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
    text.append(buffer, n);
  }
  const int fault = std::ferror(file) != 0 ? errno : 0;
  std::fclose(file);
  if (fault != 0 || text.size() > kMaxSceneBytes) {
    error = "cannot read " + path + ": " +
            (fault != 0 ? std::strerror(fault) : "larger than 1 MiB, not a scene file");
    return false;
  }
  return readScene(text, path, scene, error);
}

std::string formatScene(const Scene& scene) {
  std::string out =
      "# A Vellumry scene: vellumry --scene FILE reads it; a key left out keeps its default.\n";
  const std::span<const Param> params = sceneParams();
  for (auto first = params.begin(); first != params.end(); ++first) {
    const auto sameTable = [&](const Param& p) { return p.table == first->table; };
    if (std::find_if(params.begin(), first, sameTable) != first) {
      continue;  // its table is written already
    }
    out += "\n[" + std::string(first->table) + "]\n";
    for (const Param& p : params) {
      if (sameTable(p)) {
        out += "# " + std::string(p.help) + "; " + rangeText(p) + "\n" + std::string(p.name) +
               " = " + valueText(p, p.get(scene)) + "\n";
      }
    }
    if (first->table == "cloth") {
      out += pinsText(scene.pins) + textureText(scene.look.texture);
    }
    if (first->table == "mesh") {
      out += meshFileText(scene.meshFile);
    }
  }
  return out;
}

bool parseValue(const Param& param, std::string_view text, Vec3& value, std::string& error) {
  const int count = param.type == ParamType::kVector ? 3 : 1;
  double c[3] = {0.0, 0.0, 0.0};
  std::string_view rest = text;
  bool ok = true;
  if (param.type == ParamType::kBool && (text == "true" || text == "false")) {
    value = {text == "true" ? 1.0 : 0.0, 0.0, 0.0};
    return true;
  }
  for (int i = 0; i < count && ok; ++i) {
    const std::size_t comma = i + 1 < count ? rest.find(',') : std::string_view::npos;
    const std::string_view piece = trimmed(rest.substr(0, comma));
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    const char* end = piece.data() + piece.size();
    const auto [stop, ec] = std::from_chars(piece.data(), end, c[i]);
    ok = ec == std::errc() && stop == end && (i + 1 == count || comma != std::string_view::npos);
  }
  value = {c[0], c[1], c[2]};
  if (!ok || !inRange(param, value)) {
    error = mustBe(param) + ", not '" + std::string(text) + "'";
    return false;
  }
  return true;
}

bool readSetting(std::string_view setting, Scene& scene, std::string& error) {
  const std::string option = "--set " + std::string(setting) + ": ";
  const std::size_t equals = setting.find('=');
  if (equals == std::string_view::npos) {
    error = "--set '" + std::string(setting) +
            "': KEY=VALUE expected (--print-scene shows every key and its value)";
    return false;
  }
  const std::string_view key = setting.substr(0, equals);
  std::string why;
  if (key == kPinsKey) {
    if (!parsePins(setting.substr(equals + 1), scene.pins, why)) {
      error = option + why;
      return false;
    }
    return true;
  }
  if (key == kMeshFileKey || key == kTextureKey) {
    MeshFile& file = key == kTextureKey ? scene.look.texture : scene.meshFile;
    if (!resolvePath(key, setting.substr(equals + 1), "", file, why)) {
      error = option + why;
      return false;
    }
    return true;
  }
  const int index = findParam(key);
  if (index < 0) {
    error = option + "unknown key '" + std::string(key) + "'; the keys are " + keyList();
    return false;
  }
  const Param& p = sceneParams()[static_cast<std::size_t>(index)];
  Vec3 value;
  if (!parseValue(p, setting.substr(equals + 1), value, why)) {
    error = option + why;
    return false;
  }
  p.set(scene, value);
  return true;
}

bool commandLineScene(const std::string& path, std::span<const std::string> settings, Scene& scene,
                      std::string& error) {
  scene = Scene();
  if (!path.empty() && !loadScene(path, scene, error)) {
    return false;
  }
  for (const std::string& setting : settings) {
    if (!readSetting(setting, scene, error)) {
      return false;
    }
  }
  return checkScene(scene, error) && checkPins(scene, error);
}

}  // namespace vellumry
