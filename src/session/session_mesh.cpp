#include <algorithm>

#include "session/session_lines.h"

namespace vellumry {

namespace {

// A path as one field: '%' and every byte that would end or split a field as %XX.
std::string escapedPath(std::string_view path) {
  std::string out;
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= ' ' || byte == '%' || byte == 0x7f) {
      out += '%';
      out += "0123456789ABCDEF"[byte >> 4U];
      out += "0123456789ABCDEF"[byte & 0xfU];
    } else {
      out += c;
    }
  }
  return out;
}

bool unescapedPath(std::string_view field, std::string& path) {
  path.clear();
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '%') {
      path += field[i];
      continue;
    }
    unsigned byte = 0;
    const char* first = field.data() + i + 1;
    const char* last = field.data() + std::min(field.size(), i + 3);
    const auto [end, ec] = std::from_chars(first, last, byte, 16);
    if (ec != std::errc() || end != first + 2 || byte == 0) {
      return false;
    }
    path += static_cast<char>(byte);
    i += 2;
  }
  return true;
}

void writeChecksumHex(std::string& out, std::uint64_t value) {
  char digits[kChecksumDigits];
  for (int i = kChecksumDigits - 1; i >= 0; --i) {
    digits[i] = "0123456789abcdef"[value & 0xfU];
    value >>= 4U;
  }
  out.append(digits, kChecksumDigits);
}

}  // namespace

std::string pathText(const std::string& path) { return escapedPath(path); }

bool parseTexturePath(LineParser& p, Scene& scene) {
  std::string path;
  if (p.fieldCount() != 3) {
    return p.fail("'scene cloth.texture' takes one path");
  }
  if (!unescapedPath(p.field(2), path) || !setMeshPath(scene.look.texture, path)) {
    return p.fail("bad texture path '" + std::string(p.field(2)) + "': at most " +
                  std::to_string(kMaxMeshPath) +
                  " bytes, each of '%', space and control as %XX (not %00)");
  }
  return true;
}

std::string meshRefText(const MeshRef& mesh) {
  std::string text;
  writeChecksumHex(text, mesh.digest);
  return text + " " + escapedPath(mesh.path);
}

bool parseMeshRef(LineParser& p, int first, MeshRef& mesh) {
  const int given = p.fieldCount() - first;
  if (given != 1 && given != 2) {
    return p.fail("'mesh' takes a digest and a path, a path, or none");
  }
  mesh.digest = 0;
  if (given == 2) {
    if (p.field(first).size() != kChecksumDigits) {
      return p.fail("mesh digest '" + std::string(p.field(first)) + "' is not 16 hex digits");
    }
    const auto digest = p.integer<std::uint64_t>(first, 16);
    if (!digest) {
      return false;
    }
    mesh.digest = *digest;
  }
  const std::string_view field = p.field(first + given - 1);
  if (!unescapedPath(field, mesh.path) || mesh.path.size() > kMaxMeshPath ||
      mesh.path.find('\0') != std::string::npos) {
    return p.fail("bad mesh path '" + std::string(field) + "': at most " +
                  std::to_string(kMaxMeshPath) +
                  " bytes, each of '%', space and control as %XX (not %00)");
  }
  return true;
}

std::string formatMeshRecord(std::uint64_t tick, const MeshRef* mesh) {
  const std::string line = std::to_string(tick) + " " + std::string(kMeshWord) + " ";
  return line + (mesh == nullptr ? std::string(kNoMeshWord) : meshRefText(*mesh)) + "\n";
}

}  // namespace vellumry
