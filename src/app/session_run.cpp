#include "app/session_run.h"

#include <cerrno>
#include <cinttypes>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <span>
#include <system_error>
#include <utility>

#include "app/cloth_look.h"
#include "app/command_line.h"
#include "app/input.h"
#include "app/solids.h"
#include "app/viewer.h"
#include "scene/scene_file.h"
#include "session/checksum.h"

namespace vellumry {

namespace {

constexpr int kStatusWriteFailed = 1;
constexpr int kStatusBadInput = 2;
constexpr int kStatusMismatch = 3;
constexpr long kMaxSessionBytes = 64L << 20;

struct Recording {
  std::FILE* file = nullptr;
  std::string path;
  bool failed = false;
  std::filesystem::path folder;  ///< absolute: mesh files are named relative to it
};

struct Replay {
  bool active = false;
  bool over = false;
  std::vector<Record> records;
  std::size_t next = 0;
  std::string path;
  int checked = 0;
  int status = 0;
};

Recording recording;
Replay replay;

// Reports the first failure to write the recording; nothing more is written after it.
void writeFailed() {
  recording.failed = true;
  std::fprintf(stderr, "vellumry: writing %s failed: %s\n", recording.path.c_str(),
               std::strerror(errno));
}

void writeLine(const char* line, std::size_t length) {
  if (recording.file == nullptr || recording.failed) {
    return;
  }
  if (std::fwrite(line, 1, length, recording.file) != length) {
    writeFailed();
  }
}

void write(const Record& record) {
  char line[kMaxRecordLength];
  const int length = formatRecord(record, line);
  writeLine(line, static_cast<std::size_t>(length));
}

std::string folderOf(const std::string& path) {
  return std::filesystem::path(path).parent_path().string();
}

// A mesh file as the recording names it: relative to the recording's folder, when the two lie
// under one top directory (so that they move together); absolute otherwise.
std::string recordedPath(std::string_view absolute) {
  const std::filesystem::path mesh(absolute);
  const std::filesystem::path& folder = recording.folder;
  const bool near = std::distance(mesh.begin(), mesh.end()) > 1 &&
                    std::distance(folder.begin(), folder.end()) > 1 &&
                    *std::next(mesh.begin()) == *std::next(folder.begin());
  const std::filesystem::path relative = mesh.lexically_relative(folder);
  return near && !relative.empty() ? relative.string() : std::string(absolute);
}

void writeMesh(int index) {
  const LoadedSolid* solid = loadedSolid(index);
  if (solid == nullptr && index != -1) {
    return;  // no such solid: the event changes nothing
  }
  const MeshRef mesh =
      solid != nullptr ? MeshRef{recordedPath(solid->path), solid->digest} : MeshRef{};
  const std::string line = formatMeshRecord(tickCount, solid != nullptr ? &mesh : nullptr);
  writeLine(line.data(), line.size());
}

// Reads a mesh file the session names and checks it is the solid recorded. Returns its index,
// or -1 after a message naming the session and the file.
int sessionSolid(const std::string& session, const MeshRef& mesh) {
  MeshFile file;
  std::string error;
  const int index = resolveMeshPath(mesh.path, folderOf(session), file, error)
                        ? loadSolid(std::string(meshPath(file)), error)
                        : -1;
  if (index < 0) {
    std::fprintf(stderr, "vellumry: %s: its mesh %s\n", session.c_str(), error.c_str());
    return -1;
  }
  const LoadedSolid& solid = *loadedSolid(index);
  if (mesh.digest != 0 && solid.digest != mesh.digest) {
    std::fprintf(stderr,
                 "vellumry: %s: its mesh %s has changed since the recording (digest %016" PRIx64
                 ", recorded %016" PRIx64 ")\n",
                 session.c_str(), solid.path.c_str(), solid.digest, mesh.digest);
    return -1;
  }
  return index;
}

// Every mesh file the session names, read and checked before it starts; the records then name
// the solids kept. Returns the solid the session starts with (-1 for none), or -2 after a fault.
int sessionSolids(const std::string& session, const Scene& start,
                  const std::vector<MeshRef>& meshes, std::vector<Record>& records) {
  std::vector<int> kept;
  for (const MeshRef& mesh : meshes) {
    kept.push_back(sessionSolid(session, mesh));
    if (kept.back() < 0) {
      return -2;
    }
  }
  for (Record& r : records) {
    if (r.kind == RecordKind::kEvent && r.event.kind == EventKind::kMesh && r.event.value >= 0) {
      r.event.value = kept[static_cast<std::size_t>(r.event.value)];
    }
  }
  const std::string path(meshPath(start.meshFile));
  const int first = path.empty() ? -1 : sessionSolid(session, {path, start.meshFile.digest});
  return path.empty() || first >= 0 ? first : -2;
}

// The session's texture, from its folder, read before the replay starts; false after a message
// naming the session and the file.
bool sessionTexture(const std::string& session, Scene& start) {
  const std::string written(meshPath(start.look.texture));
  std::string error;
  if (written.empty()) {
    return true;
  }
  if (!resolvePath(kTextureKey, written, folderOf(session), start.look.texture, error) ||
      !loadTexture(std::string(meshPath(start.look.texture)), error)) {
    std::fprintf(stderr, "vellumry: %s: its %s\n", session.c_str(), error.c_str());
    return false;
  }
  return true;
}

void flush() {
  if (recording.file != nullptr && !recording.failed && std::fflush(recording.file) != 0) {
    writeFailed();
  }
}

Record checkRecord(RecordKind kind) {
  Record r;
  r.tick = tickCount;
  r.kind = kind;
  r.checksum = clothChecksum(cloth);
  r.hasChecksum = true;
  return r;
}

// Compares a recorded checksum with the cloth's; a difference ends the replay.
bool matches(const Record& record) {
  if (!record.hasChecksum) {
    return true;
  }
  const std::uint64_t now = clothChecksum(cloth);
  if (now == record.checksum) {
    ++replay.checked;
    return true;
  }
  std::fprintf(stderr,
               "vellumry: %s: the cloth differs at tick %" PRIu64 " (checksum %016" PRIx64
               ", recorded %016" PRIx64 ") after %d matching checksums\n",
               replay.path.c_str(), tickCount, now, record.checksum, replay.checked);
  replay.status = kStatusMismatch;
  return false;
}

bool readFile(const std::string& path, std::string& text, std::string& error) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    error = std::strerror(errno);
    return false;
  }
  char buffer[1 << 16];
  std::size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0 &&
         text.size() + n <= static_cast<std::size_t>(kMaxSessionBytes)) {
    text.append(buffer, n);
  }
  const bool tooLong = n > 0;
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  error = tooLong ? "larger than 64 MiB" : failed ? "read error" : "";
  return error.empty();
}

}  // namespace

int openReplay(const std::string& path) {
  std::string text;
  std::string error;
  if (!readFile(path, text, error)) {
    std::fprintf(stderr, "vellumry: cannot read %s: %s\n", path.c_str(), error.c_str());
    return kStatusBadInput;
  }
  std::vector<Record> records;
  std::vector<MeshRef> meshes;
  Scene start;
  ParseError fault;
  if (!parseSession(text, start, records, meshes, fault)) {
    std::fprintf(stderr, "vellumry: %s:%d: %s\n", path.c_str(), fault.line, fault.message.c_str());
    return kStatusBadInput;
  }
  const int solid = sessionSolids(path, start, meshes, records);
  if (solid < -1) {
    return kStatusBadInput;
  }
  if (!sessionTexture(path, start)) {
    return kStatusBadInput;
  }
  scene = start;
  useSolid(solid);
  startReplay(std::move(records), path);
  return 0;
}

namespace {

int openRecording(const std::string& path, bool force) {
  std::FILE* file = std::fopen(path.c_str(), force ? "w" : "wx");
  if (file == nullptr) {
    const bool exists = errno == EEXIST;
    std::fprintf(stderr, "vellumry: cannot write %s: %s\n", path.c_str(),
                 exists ? "it exists (--force overwrites it)" : std::strerror(errno));
    return exists ? kStatusBadInput : kStatusWriteFailed;
  }
  startRecording(file, path);
  return 0;
}

}  // namespace

int startSession(const Options& options) {
  if (!options.replayPath.empty()) {
    if (const int status = openReplay(options.replayPath); status != 0) {
      return status;
    }
  }
  return options.recordPath.empty() ? 0 : openRecording(options.recordPath, options.force);
}

bool sessionActive() { return replay.active || recording.file != nullptr; }

void startRecording(std::FILE* file, std::string path) {
  std::error_code fault;
  const std::filesystem::path folder =
      std::filesystem::absolute(path, fault).lexically_normal().parent_path();
  recording = {file, std::move(path), false, folder};
  const std::string_view mesh = meshPath(scene.meshFile);
  const std::string written = mesh.empty() ? std::string() : recordedPath(mesh);
  const std::string_view texture = meshPath(scene.look.texture);
  const std::string picture = texture.empty() ? std::string() : recordedPath(texture);
  if (std::fputs(formatSessionStart(scene, written, picture).c_str(), file) < 0) {
    writeFailed();
  }
  flush();
}

void startReplay(std::vector<Record> records, std::string path) {
  replay = Replay();
  replay.active = true;
  replay.records = std::move(records);
  replay.path = std::move(path);
}

bool replaying() { return replay.active; }

std::uint64_t replayLength() { return replay.records.empty() ? 0 : replay.records.back().tick; }

void recordEvent(const Event& event) {
  const std::span<const Param> params = sceneParams();
  if (event.kind == EventKind::kSet &&
      (event.value < 0 || event.value >= static_cast<int>(params.size()) ||
       !inRange(params[static_cast<std::size_t>(event.value)], event.target))) {
    return;  // a change no scene can take changes nothing; a session file may not hold it
  }
  if (event.kind == EventKind::kMesh) {
    writeMesh(event.value);
    return;
  }
  Record r;
  r.tick = tickCount;
  r.event = event;
  write(r);
}

bool beforeTick() {
  if (!replay.active) {
    return true;
  }
  while (!replay.over && replay.next < replay.records.size() &&
         replay.records[replay.next].tick <= tickCount) {
    const Record& r = replay.records[replay.next++];
    if (r.kind == RecordKind::kEvent) {
      recordEvent(r.event);
      applyEvent(r.event);
    } else {
      replay.over = !matches(r);
    }
  }
  replay.over = replay.over || replay.next == replay.records.size();
  return !replay.over;
}

void afterTick() {
  if (recording.file == nullptr) {
    return;
  }
  if (tickCount % kChecksumInterval == 0) {
    write(checkRecord(RecordKind::kCheck));
  }
  flush();
}

int finishSession() {
  int status = 0;
  if (recording.file != nullptr) {
    write(checkRecord(RecordKind::kEnd));
    flush();
    if (std::fclose(recording.file) != 0 && !recording.failed) {
      writeFailed();
    }
    status = recording.failed ? kStatusWriteFailed : 0;
  }
  if (replay.active && replay.status == 0) {
    const bool complete = replay.next == replay.records.size();
    std::printf("vellumry: %s: %d checksums matched%s at tick %" PRIu64 "\n", replay.path.c_str(),
                replay.checked, complete ? ", the whole session replayed" : "; stopped early",
                tickCount);
    std::fflush(stdout);
  }
  status = replay.status != 0 ? replay.status : status;
  recording = Recording();
  replay = Replay();
  return status;
}

}  // namespace vellumry
