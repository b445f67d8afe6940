#include "session/session_file.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>
#include <optional>
#include <span>

#include "cloth/cloth.h"
#include "scene/scene.h"
#include "session/session_lines.h"

namespace vellumry {

namespace {

// How each event is written: its word and the numbers that follow it.
struct Syntax {
  EventKind kind;
  std::string_view word;
  int ints;     // menu value or particle index, then x y
  bool target;  // three coordinates after the ints
  int version;  // the first version of the format that has it
};

constexpr std::array<Syntax, 10> kSyntax = {{
    {EventKind::kMenu, "menu", 1, false, 1},
    {EventKind::kPress, "press", 2, false, 1},
    {EventKind::kRelease, "release", 2, false, 1},
    {EventKind::kMotion, "motion", 2, false, 1},
    {EventKind::kPause, "pause", 0, false, 1},
    {EventKind::kStep, "step", 0, false, 1},
    {EventKind::kGrab, "grab", 1, true, 1},
    {EventKind::kPull, "pull", 0, true, 1},
    {EventKind::kPin, "pin", 1, false, 3},
    {EventKind::kCut, "cut", 1, false, 3},
}};

constexpr std::string_view kCheckWord = "check";
constexpr std::string_view kEndWord = "end";
constexpr std::string_view kSetWord = "set";      // TICK set KEY VALUE...: a parameter changes
constexpr std::string_view kSceneWord = "scene";  // scene KEY VALUE...: the scene at the start
constexpr std::string_view kPinsWord = "pins";    // TICK pins clear|mounts|add C R; scene pins ...
constexpr std::string_view kPinsClearWord = "clear";
constexpr std::string_view kPinsMountsWord = "mounts";
constexpr std::string_view kPinsAddWord = "add";
constexpr int kFirstSceneVersion = 2;
constexpr int kWorldVersion = 3;  // wind, ball, floor, tearing and pins
constexpr int kSolidVersion = 4;  // collision, mesh parameters and the mesh file
// The contacts meet a solid's slight folds and find a moved patch's flatness again; the syntax is
// version 4's.
constexpr int kFoldsVersion = 5;
constexpr int kLatestVersion = kFoldsVersion;

const Syntax& syntaxOf(EventKind kind) {
  for (const Syntax& s : kSyntax) {
    if (s.kind == kind) {
      return s;
    }
  }
  return kSyntax[0];
}

// --- Writing ---

// KEY, then one number, or three for a vector; an unknown parameter as "?".
void writeParam(LineWriter& out, int index, const Vec3& value) {
  const std::span<const Param> params = sceneParams();
  if (index < 0 || index >= static_cast<int>(params.size())) {
    out.word("?");
    return;
  }
  const Param& param = params[static_cast<std::size_t>(index)];
  out.word(param.key);
  out.number(value.x);
  if (param.type == ParamType::kVector) {
    out.number(value.y);
    out.number(value.z);
  }
}

void writePins(LineWriter& out, const Event& e) {
  out.word(kPinsWord);
  if (e.value == kPinsAdd) {
    out.word(kPinsAddWord);
    out.number(e.x);
    out.number(e.y);
  } else {
    out.word(e.value == kPinsMounts ? kPinsMountsWord : kPinsClearWord);
  }
}

// The first version whose scene lines and set records may name this parameter.
int paramVersion(int index) {
  return index >= findParam("collision.thickness") ? kSolidVersion
         : index >= findParam("wind.velocity")     ? kWorldVersion
                                                   : kFirstSceneVersion;
}

std::string needs(std::string_view what, int version) {
  return "'" + std::string(what) + "' needs a version " + std::to_string(version) + " session";
}

// --- Reading ---

bool parseChecksum(LineParser& p, int i, Record& record) {
  if (p.field(i).size() != kChecksumDigits) {
    return p.fail("checksum '" + std::string(p.field(i)) + "' is not 16 hex digits");
  }
  const auto value = p.integer<std::uint64_t>(i, 16);
  record.checksum = value.value_or(0);
  record.hasChecksum = true;
  return value.has_value();
}

bool parseEvent(LineParser& p, const Syntax& syntax, Event& event) {
  event.kind = syntax.kind;
  const int wanted = 2 + syntax.ints + (syntax.target ? 3 : 0);
  if (p.fieldCount() != wanted) {
    return p.fail("'" + std::string(syntax.word) + "' takes " + std::to_string(wanted - 2) +
                  " numbers, not " + std::to_string(p.fieldCount() - 2));
  }
  int ints[2] = {0, 0};
  for (int i = 0; i < syntax.ints; ++i) {
    const auto value = p.integer<int>(2 + i);
    if (!value) {
      return false;
    }
    ints[i] = *value;
  }
  if (syntax.target) {
    double c[3] = {0.0, 0.0, 0.0};
    for (int i = 0; i < 3; ++i) {
      const auto value = p.coordinate(2 + syntax.ints + i);
      if (!value) {
        return false;
      }
      c[i] = *value;
    }
    event.target = Vec3(c[0], c[1], c[2]);
    if (!isValidTarget(event.target)) {
      return p.fail("target outside +-1e6 or not finite");
    }
  }
  if (syntax.kind == EventKind::kMenu) {
    event.value = ints[0];
    return isMenuValue(event.value) || p.fail("unknown menu value " + std::to_string(ints[0]));
  }
  if (syntax.kind == EventKind::kGrab || syntax.kind == EventKind::kPin) {
    event.value = ints[0];
    return (event.value >= 0 && event.value < kMaxGridSize * kMaxGridSize) ||
           p.fail("particle " + std::to_string(ints[0]) + " outside the cloth's pool");
  }
  if (syntax.kind == EventKind::kCut) {
    event.value = ints[0];
    return (event.value >= 0 && event.value < springsFor(kMaxGridSize, true)) ||
           p.fail("spring " + std::to_string(ints[0]) + " outside the cloth's pool");
  }
  event.x = ints[0];
  event.y = ints[1];
  return true;
}

// clear, mounts or add C R at field `first`, as pinsEvent makes them.
bool parsePins(LineParser& p, int first, Event& event) {
  const std::string_view change = p.field(first);
  const bool add = change == kPinsAddWord;
  if (!add && change != kPinsClearWord && change != kPinsMountsWord) {
    return p.fail("'pins' takes clear, mounts, or add and a column and a row");
  }
  if (p.fieldCount() != first + (add ? 3 : 1)) {
    return p.fail("'pins " + std::string(change) + "' takes " + (add ? "2" : "no") +
                  " numbers, not " + std::to_string(p.fieldCount() - first - 1));
  }
  event = pinsEvent(add ? kPinsAdd : change == kPinsMountsWord ? kPinsMounts : kPinsClear);
  for (int i = 0; add && i < 2; ++i) {
    const auto v = p.integer<int>(first + 1 + i);
    if (!v) {
      return false;
    }
    if (*v < 0 || *v >= kMaxGridSize) {
      return p.fail("pin " + std::string(i == 0 ? "column " : "row ") + std::to_string(*v) +
                    " outside every grid: from 0 to " + std::to_string(kMaxGridSize - 1));
    }
    (i == 0 ? event.x : event.y) = *v;
  }
  return true;
}

// A parameter's key at field `first` and its value after it, in range.
bool parseParam(LineParser& p, int first, int version, int& index, Vec3& value) {
  const std::string key(p.field(first));
  index = findParam(key);
  if (index < 0) {
    return p.fail("unknown scene key '" + key + "'");
  }
  if (version < paramVersion(index)) {
    return p.fail(needs(key, paramVersion(index)));
  }
  const Param& param = sceneParams()[static_cast<std::size_t>(index)];
  const int wanted = param.type == ParamType::kVector ? 3 : 1;
  const int given = p.fieldCount() - first - 1;
  if (given != wanted) {
    return p.fail("'" + key + "' takes " + std::to_string(wanted) + " number" +
                  (wanted == 1 ? "" : "s") + ", not " + std::to_string(given));
  }
  double c[3] = {0.0, 0.0, 0.0};
  std::string text;
  for (int i = 0; i < wanted; ++i) {
    const auto v = p.coordinate(first + 1 + i);
    if (!v) {
      return false;
    }
    c[i] = *v;
    text += (i == 0 ? "" : " ") + std::string(p.field(first + 1 + i));
  }
  value = Vec3(c[0], c[1], c[2]);
  return inRange(param, value) || p.fail(key + " must be " + rangeText(param) + ", not " + text);
}

// TICK mesh DIGEST PATH, or TICK mesh none; the path listed in meshes once.
bool parseMeshRecord(LineParser& p, int version, std::vector<MeshRef>& meshes, Event& event) {
  if (version < kSolidVersion) {
    return p.fail(needs(kMeshWord, kSolidVersion));
  }
  if (p.fieldCount() == 3 && p.field(2) == kNoMeshWord) {
    event = meshEvent(-1);
    return true;
  }
  MeshRef mesh;
  if (!parseMeshRef(p, 2, mesh)) {
    return false;
  }
  const auto same = [&](const MeshRef& m) {
    return m.path == mesh.path && m.digest == mesh.digest;
  };
  const auto at = std::find_if(meshes.begin(), meshes.end(), same);
  event = meshEvent(static_cast<int>(at - meshes.begin()));
  if (at == meshes.end()) {
    meshes.push_back(std::move(mesh));
  }
  return true;
}

// check CHECKSUM, or end [CHECKSUM].
bool parseCheck(LineParser& p, std::string_view word, Record& record) {
  record.kind = word == kCheckWord ? RecordKind::kCheck : RecordKind::kEnd;
  const int most = 3;
  const int least = record.kind == RecordKind::kCheck ? 3 : 2;
  if (p.fieldCount() < least || p.fieldCount() > most) {
    return p.fail("'" + std::string(word) + "' takes " +
                  (least == most ? "one checksum" : "at most one checksum"));
  }
  return p.fieldCount() == 2 || parseChecksum(p, 2, record);
}

bool parseBody(LineParser& p, int version, std::vector<MeshRef>& meshes, Record& record) {
  const std::string_view word = p.field(1);
  if (word == kMeshWord) {
    record.kind = RecordKind::kEvent;
    return parseMeshRecord(p, version, meshes, record.event);
  }
  if (word == kSetWord) {
    record.kind = RecordKind::kEvent;
    record.event.kind = EventKind::kSet;
    if (version < kFirstSceneVersion) {
      return p.fail(needs(kSetWord, kFirstSceneVersion));
    }
    return (p.fieldCount() > 2 || p.fail("'set' takes a key and its value")) &&
           parseParam(p, 2, version, record.event.value, record.event.target);
  }
  if (word == kPinsWord) {
    record.kind = RecordKind::kEvent;
    return (version >= kWorldVersion || p.fail(needs(word, kWorldVersion))) &&
           (p.fieldCount() > 2 || p.fail("'pins' takes clear, mounts, or add C R")) &&
           parsePins(p, 2, record.event);
  }
  if (word == kCheckWord || word == kEndWord) {
    return parseCheck(p, word, record);
  }
  for (const Syntax& syntax : kSyntax) {
    if (word == syntax.word) {
      record.kind = RecordKind::kEvent;
      return (version >= syntax.version || p.fail(needs(word, syntax.version))) &&
             parseEvent(p, syntax, record.event);
    }
  }
  return p.fail("unknown event '" + std::string(word) + "'");
}

// The format's version, or 0 after a fault.
int parseHeader(std::string_view line, ParseError& error) {
  error.line = 1;
  constexpr std::string_view kPrefix = "vellumry-session ";
  for (int version = 1; version <= kLatestVersion; ++version) {
    if (line.substr(0, kPrefix.size()) == kPrefix &&
        line.substr(kPrefix.size()) == std::to_string(version)) {
      return version;
    }
  }
  if (line.substr(0, kPrefix.size()) == kPrefix) {
    error.message = "unknown session version '" + std::string(line.substr(kPrefix.size())) +
                    "' (this program reads versions 1 to 5)";
  } else {
    error.message =
        "not a session file: the first line must be '" + std::string(kSessionHeader) + "'";
  }
  return 0;
}

// A line of the starting scene, before the first record.
bool parseSceneLine(LineParser& p, int version, bool afterRecords, Scene& scene) {
  if (p.fieldCount() > kMaxFields) {
    return p.fail("too many fields");
  }
  if (version < kFirstSceneVersion) {
    return p.fail(needs(kSceneWord, kFirstSceneVersion));
  }
  if (afterRecords) {
    return p.fail("a scene line after the first record");
  }
  int index = 0;
  Vec3 value;
  if (p.fieldCount() < 2) {
    return p.fail("'scene' takes a key and its value");
  }
  if (p.field(1) == kTextureKey) {
    return (version >= kSolidVersion || p.fail(needs(kTextureKey, kSolidVersion))) &&
           parseTexturePath(p, scene);
  }
  if (p.field(1) == kMeshFileKey) {
    MeshRef mesh;
    if (version < kSolidVersion) {
      return p.fail(needs(kMeshFileKey, kSolidVersion));
    }
    if (!parseMeshRef(p, 2, mesh)) {
      return false;
    }
    setMeshPath(scene.meshFile, mesh.path);
    scene.meshFile.digest = mesh.digest;
    return true;
  }
  if (p.field(1) == kPinsWord) {
    Event change;
    if (version < kWorldVersion) {
      return p.fail(needs("scene pins", kWorldVersion));
    }
    if (!parsePins(p, 2, change)) {
      return false;
    }
    if (change.value != kPinsAdd) {
      scene.pins = PinList{change.value == kPinsMounts, 0, {}};
    } else if (!addPin(scene.pins, change.x, change.y)) {
      return p.fail("more than " + std::to_string(kMaxPins) + " pins");
    }
    return true;
  }
  if (!parseParam(p, 1, version, index, value)) {
    return false;
  }
  sceneParams()[static_cast<std::size_t>(index)].set(scene, value);
  return true;
}

// One record line; `previous` is the record before it, if any.
bool parseRecord(LineParser& p, int version, const Record* previous, std::vector<MeshRef>& meshes,
                 Record& record) {
  if (p.fieldCount() > kMaxFields) {
    return p.fail("too many fields");
  }
  if (previous != nullptr && previous->kind == RecordKind::kEnd) {
    return p.fail("a record after the end of the session");
  }
  if (p.fieldCount() < 2) {
    return p.fail("a tick and an event expected");
  }
  const auto tick = p.integer<std::uint64_t>(0);
  if (!tick) {
    return false;
  }
  if (*tick > kMaxTick) {
    return p.fail("tick " + std::to_string(*tick) + " is beyond the last one allowed, " +
                  std::to_string(kMaxTick));
  }
  if (previous != nullptr && *tick < previous->tick) {
    return p.fail("tick " + std::to_string(*tick) + " goes backwards (the record before is at " +
                  std::to_string(previous->tick) + ")");
  }
  record.tick = *tick;
  return parseBody(p, version, meshes, record);
}

}  // namespace

int formatRecord(const Record& record, char (&line)[kMaxRecordLength]) {
  LineWriter out(line);
  out.number(record.tick);
  switch (record.kind) {
    case RecordKind::kCheck:
      out.word(kCheckWord);
      out.checksum(record.checksum);
      break;
    case RecordKind::kEnd:
      out.word(kEndWord);
      if (record.hasChecksum) {
        out.checksum(record.checksum);
      }
      break;
    case RecordKind::kEvent: {
      const Event& e = record.event;
      if (e.kind == EventKind::kSet) {
        out.word(kSetWord);
        writeParam(out, e.value, e.target);
        break;
      }
      if (e.kind == EventKind::kPins) {
        writePins(out, e);
        break;
      }
      if (e.kind == EventKind::kMesh) {
        out.word(kMeshWord);
        out.word(e.value < 0 ? kNoMeshWord : "?");  // a file's record takes formatMeshRecord
        break;
      }
      const Syntax& syntax = syntaxOf(e.kind);
      out.word(syntax.word);
      if (syntax.ints == 1) {
        out.number(e.value);
      } else if (syntax.ints == 2) {
        out.number(e.x);
        out.number(e.y);
      }
      if (syntax.target) {
        out.number(e.target.x);
        out.number(e.target.y);
        out.number(e.target.z);
      }
      break;
    }
  }
  return out.finish();
}

std::string formatSessionStart(const Scene& scene, std::string_view meshPath,
                               std::string_view texturePath) {
  std::string text = std::string(kSessionHeader) + "\n";
  const std::span<const Param> params = sceneParams();
  for (std::size_t i = 0; i < params.size(); ++i) {
    char line[kMaxRecordLength];
    LineWriter out(line);
    out.word(kSceneWord);
    writeParam(out, static_cast<int>(i), params[i].get(scene));
    text.append(line, static_cast<std::size_t>(out.finish()));
  }
  const PinList& pins = scene.pins;
  for (int i = -1; !pins.mounts && i < pins.count; ++i) {
    char line[kMaxRecordLength];
    LineWriter out(line);
    out.word(kSceneWord);
    const GridPin pin = i < 0 ? GridPin{} : pins.at[static_cast<std::size_t>(i)];
    writePins(out, i < 0 ? pinsEvent(kPinsClear) : pinsEvent(kPinsAdd, pin.column, pin.row));
    text.append(line, static_cast<std::size_t>(out.finish()));
  }
  const std::string_view path = meshPath.empty() ? vellumry::meshPath(scene.meshFile) : meshPath;
  if (!path.empty()) {
    text += std::string(kSceneWord) + " " + std::string(kMeshFileKey) + " " +
            meshRefText({std::string(path), scene.meshFile.digest}) + "\n";
  }
  const std::string_view texture =
      texturePath.empty() ? vellumry::meshPath(scene.look.texture) : texturePath;
  if (!texture.empty()) {
    text += std::string(kSceneWord) + " " + std::string(kTextureKey) + " " +
            pathText(std::string(texture)) + "\n";
  }
  return text;
}

bool parseSession(std::string_view text, Scene& scene, std::vector<Record>& records,
                  std::vector<MeshRef>& meshes, ParseError& error) {
  records.clear();
  meshes.clear();
  scene = Scene();
  if (text.empty()) {
    error = {1, "empty file"};
    return false;
  }
  int version = 0;
  int sceneLine = 0;  // the last line of the starting scene
  for (int lineNumber = 1; !text.empty(); ++lineNumber) {
    const std::size_t newline = text.find('\n');
    if (newline == std::string_view::npos) {
      error = {lineNumber, "the last line is cut off: no newline at its end"};
      return false;
    }
    const std::string_view line = text.substr(0, newline);
    text.remove_prefix(newline + 1);
    if (lineNumber == 1) {
      version = parseHeader(line, error);
      if (version == 0) {
        return false;
      }
      continue;
    }
    LineParser p(line, lineNumber, error);
    if (p.fieldCount() == 0 || p.field(0).front() == '#') {
      continue;  // blank lines and comments
    }
    if (p.field(0) == kSceneWord) {
      if (!parseSceneLine(p, version, !records.empty(), scene)) {
        return false;
      }
      sceneLine = lineNumber;
      continue;
    }
    Record record;
    if (!parseRecord(p, version, records.empty() ? nullptr : &records.back(), meshes, record)) {
      return false;
    }
    records.push_back(record);
  }
  std::string why;
  if (!checkScene(scene, why) || !checkPins(scene, why)) {
    error = {sceneLine, why};
    return false;
  }
  scene.world.collision.recordedV4 = version < kFoldsVersion;
  return true;
}

bool parseSession(std::string_view text, Scene& scene, std::vector<Record>& records,
                  ParseError& error) {
  std::vector<MeshRef> meshes;
  return parseSession(text, scene, records, meshes, error);
}

bool parseSession(std::string_view text, std::vector<Record>& records, ParseError& error) {
  Scene scene;
  return parseSession(text, scene, records, error);
}

}  // namespace vellumry
