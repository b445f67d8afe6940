#include "output/mesh_export.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>

namespace vellumry {

namespace {

// PC2: "POINTCACHE2\0", version, points, start frame, frames between samples, samples.
constexpr char kPc2Signature[12] = {'P', 'O', 'I', 'N', 'T', 'C', 'A', 'C', 'H', 'E', '2', '\0'};
constexpr long kPc2SamplesOffset = 28;

void putLittle(std::uint32_t word, unsigned char* out) {
  for (int i = 0; i < 4; ++i) {
    out[i] = static_cast<unsigned char>(word >> (8 * i));
  }
}

bool writeHeader(std::FILE* file, std::int32_t points, float startFrame, std::int32_t samples) {
  unsigned char header[32];
  std::memcpy(header, kPc2Signature, sizeof kPc2Signature);
  putLittle(1, header + 12);
  putLittle(static_cast<std::uint32_t>(points), header + 16);
  putLittle(std::bit_cast<std::uint32_t>(startFrame), header + 20);
  putLittle(std::bit_cast<std::uint32_t>(1.0f), header + 24);
  putLittle(static_cast<std::uint32_t>(samples), header + 28);
  return std::fwrite(header, 1, sizeof header, file) == sizeof header;
}

// Vertices in grid order, texture coordinates spanning the cloth, the normals given, and one
// quad per grid cell wound counter-clockwise seen from the side the normals point to.
bool writeObj(const std::string& path, const std::string& cacheName, int n,
              std::span<const float> positions, std::span<const float> normals,
              const WorldFrame& world) {
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) {
    return false;
  }
  const std::size_t count = static_cast<std::size_t>(n) * n;
  std::fprintf(file, "# Vellumry cloth: %d by %d particles, y up; its motion is in %s\no cloth\n",
               n, n, cacheName.c_str());
  for (std::size_t j = 0; j < count; ++j) {
    std::fprintf(file, "v %.9g %.9g %.9g\n", positions[3 * j], positions[3 * j + 1],
                 positions[3 * j + 2]);
  }
  for (std::size_t j = 0; j < count; ++j) {
    const std::size_t column = j % n;
    const std::size_t row = j / n;
    std::fprintf(file, "vt %.9g %.9g\n", static_cast<double>(column) / (n - 1),
                 static_cast<double>(row) / (n - 1));
  }
  for (std::size_t j = 0; j < count; ++j) {
    std::fprintf(file, "vn %.9g %.9g %.9g\n", normals[3 * j], normals[3 * j + 1],
                 normals[3 * j + 2]);
  }
  // Normals follow (increasing row) x (increasing column): (c, r), (c, r+1), (c+1, r+1),
  // (c+1, r) turns counter-clockwise about them.
  for (int row = 0; row + 1 < n; ++row) {
    for (int column = 0; column + 1 < n; ++column) {
      const int a = column + n * row + 1;  // OBJ counts from 1
      const int corners[4] = {a, a + n, a + n + 1, a + 1};
      std::fprintf(file, "f %d/%d/%d %d/%d/%d %d/%d/%d %d/%d/%d\n", corners[0], corners[0],
                   corners[0], corners[1], corners[1], corners[1], corners[2], corners[2],
                   corners[2], corners[3], corners[3], corners[3]);
    }
  }
  const bool written = writeWorldObjects(file, world, static_cast<int>(count));
  return std::fclose(file) == 0 && written;
}

bool writeLittle(std::FILE* file, std::span<const float> values,
                 std::vector<unsigned char>& bytes) {
  for (std::size_t i = 0; i < values.size(); ++i) {
    putLittle(std::bit_cast<std::uint32_t>(values[i]), bytes.data() + 4 * i);
  }
  return std::fwrite(bytes.data(), 1, 4 * values.size(), file) == 4 * values.size();
}

bool sameBall(const WorldFrame& a, const WorldFrame& b) {
  return a.centre[0] == b.centre[0] && a.centre[1] == b.centre[1] && a.centre[2] == b.centre[2] &&
         a.radius == b.radius;
}

std::string baseName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

MeshExport::~MeshExport() { discard(); }

std::string MeshExport::pairName(const std::string& objPath, int pair, const char* extension) {
  const std::string stem = objPath.substr(0, objPath.size() - 4);
  return (pair == 1 ? stem : stem + "-" + std::to_string(pair)) + extension;
}

bool MeshExport::open(const std::string& objPath, bool replace, std::string& error) {
  discard();
  objPath_ = objPath;
  replace_ = replace;
  // Made before the first frame, whose grid size decides what goes in them.
  return createPair(1, error);
}

bool MeshExport::createPair(int pair, std::string& error) {
  PendingFile obj;
  PendingFile pc2;
  const std::string objName = pairName(objPath_, pair, ".obj");
  const std::string pc2Name = pairName(objPath_, pair, ".pc2");
  if (!createPending(objName, obj, error) || !createPending(pc2Name, pc2, error)) {
    error = (obj.temp.empty() ? objName : pc2Name) + ": " + error;
    discardPending(obj);
    return false;
  }
  obj_.push_back(obj);
  pc2_.push_back(pc2);
  return true;
}

bool MeshExport::startsPair(int gridSize) const { return gridSize != gridSize_; }

bool MeshExport::closeCache(std::string& error) {
  if (ballCache_ != nullptr) {
    PendingFile& ball = ballPc2_.back();
    unsigned char count[4];
    putLittle(static_cast<std::uint32_t>(samples_), count);
    bool ok = std::fflush(ballCache_) == 0 &&
              std::fseek(ballCache_, kPc2SamplesOffset, SEEK_SET) == 0 &&
              std::fwrite(count, 1, sizeof count, ballCache_) == sizeof count;
    ok = std::fclose(ballCache_) == 0 && ok;
    ballCache_ = nullptr;
    if (!ballMoved_) {
      discardPending(ball);  // a ball that stayed put needs no cache
    } else if (!ok) {
      error = ball.path + ": " + std::strerror(errno);
      return false;
    }
  }
  if (cache_ == nullptr) {
    return true;
  }
  unsigned char count[4];
  putLittle(static_cast<std::uint32_t>(samples_), count);
  bool ok = std::fflush(cache_) == 0 && std::fseek(cache_, kPc2SamplesOffset, SEEK_SET) == 0 &&
            std::fwrite(count, 1, sizeof count, cache_) == sizeof count && std::fflush(cache_) == 0;
  ok = std::fclose(cache_) == 0 && ok;
  cache_ = nullptr;
  if (!ok) {
    error = pc2_.back().path + ": " + std::strerror(errno);
  }
  return ok;
}

bool MeshExport::beginPair(int gridSize, std::uint64_t tick, std::span<const float> positions,
                           std::span<const float> normals, const WorldFrame& world,
                           std::string& error) {
  if (gridSize_ != 0) {  // a later pair: open made the first pair's files
    if (!closeCache(error)) {
      return false;
    }
    if (!createPair(pairs() + 1, error)) {
      return false;
    }
  }
  gridSize_ = gridSize;
  samples_ = 0;
  bytes_.resize(std::max<std::size_t>(positions.size(), std::size_t{3} * kBallPoints) * 4);
  const PendingFile& obj = obj_.back();
  const PendingFile& pc2 = pc2_.back();
  ballPc2_.resize(obj_.size());
  firstBall_ = world;
  ballMoved_ = false;
  if (world.ball) {
    PendingFile& ball = ballPc2_.back();
    const std::string name = pairName(objPath_, pairs(), "-ball.pc2");
    if (!createPending(name, ball, error)) {
      error.insert(0, name + ": ");
      return false;
    }
    ballCache_ = std::fopen(ball.temp.c_str(), "wb");
    if (ballCache_ == nullptr ||
        !writeHeader(ballCache_, kBallPoints, static_cast<float>(tick), 0)) {
      error = ball.path + ": " + std::strerror(errno);
      return false;
    }
  }
  if (!writeObj(obj.temp, baseName(pc2.path), gridSize, positions, normals, world)) {
    error = obj.path + ": " + std::strerror(errno);
    return false;
  }
  cache_ = std::fopen(pc2.temp.c_str(), "wb");
  if (cache_ == nullptr || !writeHeader(cache_, gridSize * gridSize, static_cast<float>(tick), 0)) {
    error = pc2.path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

bool MeshExport::addFrame(int gridSize, std::uint64_t tick, std::span<const float> positions,
                          std::span<const float> normals, std::string& error,
                          const WorldFrame& world) {
  if (startsPair(gridSize) && !beginPair(gridSize, tick, positions, normals, world, error)) {
    return false;
  }
  if (ballCache_ != nullptr && !addBallFrame(world, error)) {
    return false;
  }
  if (!writeLittle(cache_, positions, bytes_)) {
    error = pc2_.back().path + ": " + std::strerror(errno);
    return false;
  }
  ++samples_;
  return true;
}

// The ball as it is now, wherever the pair's first frame had it.
bool MeshExport::addBallFrame(const WorldFrame& world, std::string& error) {
  ballMoved_ = ballMoved_ || !sameBall(world, firstBall_);
  float points[3 * kBallPoints];
  ballPoints(world, points);
  if (!writeLittle(ballCache_, points, bytes_)) {
    error = ballPc2_.back().path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

bool MeshExport::finish(std::string& error) {
  if (gridSize_ == 0) {
    error = "no frame to export";
    discard();
    return false;
  }
  if (!closeCache(error)) {
    return false;
  }
  // All or nothing: a pair that cannot be put in place takes the ones before it away again.
  std::vector<std::string> done;
  ballPc2_.resize(obj_.size());
  for (std::size_t i = 0; i < obj_.size(); ++i) {
    for (PendingFile* file : {&obj_[i], &pc2_[i], &ballPc2_[i]}) {
      if (file->temp.empty()) {
        continue;  // no ball, or one that stayed put
      }
      if (!commitPending(*file, replace_, error)) {
        error.insert(0, file->path + ": ");
        for (const std::string& path : done) {
          std::remove(path.c_str());
        }
        discard();
        return false;
      }
      done.push_back(file->path);
    }
  }
  obj_.clear();
  pc2_.clear();
  ballPc2_.clear();
  return true;
}

void MeshExport::discard() {
  for (std::FILE** cache : {&cache_, &ballCache_}) {
    if (*cache != nullptr) {
      std::fclose(*cache);
      *cache = nullptr;
    }
  }
  for (std::vector<PendingFile>* files : {&obj_, &pc2_, &ballPc2_}) {
    for (PendingFile& file : *files) {
      discardPending(file);
    }
    files->clear();
  }
  gridSize_ = 0;
}

}  // namespace vellumry
