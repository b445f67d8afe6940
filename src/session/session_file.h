#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "scene/scene.h"
#include "session/event.h"

namespace vellumry {

/// First line of every session file; the number is the format's version. Version 2 adds the
/// scene a session starts from and parameter changes; version 1 files start from the defaults.
/// Version 3 adds the wind, ball, floor and tear parameters, the pin list, pins and cuts.
/// Version 4 adds the collision and mesh parameters, the solid's mesh file, the view, the cloth's
/// colours and its texture. Version 5 has version 4's lines; its contacts keep the cloth from
/// crossing a solid's slightest folds and judge a patch's flatness afresh after it moved, where
/// a version 4 file replays with the contacts it was recorded with.
inline constexpr std::string_view kSessionHeader = "vellumry-session 5";
/// A recording writes the cloth's checksum after every this many ticks, and at the end.
inline constexpr std::uint64_t kChecksumInterval = 50;
/// Latest tick a file may name: about 23 days at 50 ticks a second.
inline constexpr std::uint64_t kMaxTick = 100'000'000;
/// Longest line formatRecord writes, newline included.
inline constexpr int kMaxRecordLength = 128;

enum class RecordKind : std::uint8_t {
  kEvent,  ///< an input, applied before the tick
  kCheck,  ///< the cloth's checksum at this point of the session
  kEnd,    ///< the session ends here, with a final checksum if it has one
};

/// One line of a session. Records are applied in file order; a record with tick t takes effect
/// once t ticks have run, before tick t runs.
struct Record {
  std::uint64_t tick = 0;
  RecordKind kind = RecordKind::kEvent;
  Event event;                 ///< kEvent
  std::uint64_t checksum = 0;  ///< kCheck, and kEnd when hasChecksum
  bool hasChecksum = false;
};

/// A solid's mesh file as a session names it: its path (relative to the session's folder, or
/// absolute) and the digest of the solid read from it (meshDigest); 0 for a file named without
/// one, whose solid is not checked.
struct MeshRef {
  std::string path;
  std::uint64_t digest = 0;
};

/// The record as one line with its newline; returns the length written. A kMesh event takes
/// formatMeshRecord.
int formatRecord(const Record& record, char (&line)[kMaxRecordLength]);
/// A kMesh record at tick, "TICK mesh DIGEST PATH", or "TICK mesh none" for no mesh, with its
/// newline.
[[nodiscard]] std::string formatMeshRecord(std::uint64_t tick, const MeshRef* mesh);
/// What a recording starts with: the header, then the scene it starts from, every parameter, its
/// mesh file named by meshPath and its texture by texturePath (the scene's own paths when empty).
[[nodiscard]] std::string formatSessionStart(const Scene& scene, std::string_view meshPath = {},
                                             std::string_view texturePath = {});

/// Where and why a session text was refused.
struct ParseError {
  int line = 0;  ///< 1-based
  std::string message;
};

/// Parses a whole session file into the scene it starts from and its records. On a malformed
/// file returns false with the first fault in error; records then holds what came before it.
/// The scene's mesh file keeps its path as written, with its digest; each kMesh record's value
/// is the index in meshes of the file it names, each file listed once.
bool parseSession(std::string_view text, Scene& scene, std::vector<Record>& records,
                  std::vector<MeshRef>& meshes, ParseError& error);
/// The same, for a caller that reads no mesh files.
bool parseSession(std::string_view text, Scene& scene, std::vector<Record>& records,
                  ParseError& error);
/// The same, for a caller that replays from the scene in force: the file's scene is checked
/// and dropped.
bool parseSession(std::string_view text, std::vector<Record>& records, ParseError& error);

}  // namespace vellumry
