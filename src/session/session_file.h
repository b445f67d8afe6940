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
inline constexpr std::string_view kSessionHeader = "vellumry-session 3";
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

/// The record as one line with its newline; returns the length written.
int formatRecord(const Record& record, char (&line)[kMaxRecordLength]);
/// What a recording starts with: the header, then the scene it starts from, every parameter.
[[nodiscard]] std::string formatSessionStart(const Scene& scene);

/// Where and why a session text was refused.
struct ParseError {
  int line = 0;  ///< 1-based
  std::string message;
};

/// Parses a whole session file into the scene it starts from and its records. On a malformed
/// file returns false with the first fault in error; records then holds what came before it.
bool parseSession(std::string_view text, Scene& scene, std::vector<Record>& records,
                  ParseError& error);
/// The same, for a caller that replays from the scene in force: the file's scene is checked
/// and dropped.
bool parseSession(std::string_view text, std::vector<Record>& records, ParseError& error);

}  // namespace vellumry
