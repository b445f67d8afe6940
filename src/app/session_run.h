#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "session/event.h"
#include "session/session_file.h"

namespace vellumry {

struct Options;

/// Opens the files the options name and starts recording or replaying. Returns 0, or the exit
/// status after a message on standard error.
int startSession(const Options& options);
/// Reads the session file at path, puts its scene in force and replays it from now on. Returns 0,
/// or the exit status after a message on standard error.
int openReplay(const std::string& path);
/// Whether a session is being recorded or replayed.
[[nodiscard]] bool sessionActive();
/// Records the scene in force and every event applied from now on to file (path names it in
/// messages); closes it at the end.
void startRecording(std::FILE* file, std::string path);
/// Plays these records back from now on; live input is ignored.
void startReplay(std::vector<Record> records, std::string path);
[[nodiscard]] bool replaying();
/// The tick a replayed session ends at: the number of ticks it runs, unless it stops early.
[[nodiscard]] std::uint64_t replayLength();
/// Writes an event with the tick it is applied before, when recording.
void recordEvent(const Event& event);
/// Applies the replayed records due before the next tick; false once the session is over.
bool beforeTick();
/// Writes the cloth's checksum every kChecksumInterval ticks and flushes the recording.
void afterTick();
/// Ends the session: the recording's last record, the replay's verdict. Returns the exit status.
int finishSession();

}  // namespace vellumry
