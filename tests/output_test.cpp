// Output names, sizes and faults; the mesh and its point cache read back against the cloth.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/headless.h"
#include "app/session_run.h"
#include "app/viewer.h"
#include "fake_gl.h"
#include "output/mesh_export.h"
#include "output/output_format.h"
#include "output/pending_file.h"
#include "output/png_writer.h"
#include "output/progress.h"
#include "output/video_writer.h"
#include "output/webp_writer.h"
#include "session/session_file.h"

namespace vellumry {
namespace {

namespace fs = std::filesystem;

std::string scratch() {
  char dir[] = "/tmp/vellumry-output-test.XXXXXX";
  return mkdtemp(dir);
}

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

struct Outcome {
  bool ok;
  std::string error;
};

TEST(OutputTest, NamesSizesAndFaultsAreRefusedInOneLine) {
  const std::string dir = scratch();
  const std::string taken = dir + "/taken.mp4";
  std::ofstream(taken) << "keep";
  fs::create_directory(dir + "/frames.webm");
  OutputFormat f{};
  std::string e;
  bool exists = false;
  PendingFile pending;
  const std::vector<std::uint8_t> pixels(64 * 48 * 3, 90);
  const auto got = [&e](bool ok) { return Outcome{ok, std::exchange(e, {})}; };
  const auto video = [&](OutputFormat format) {
    VideoWriter v;
    return v.open("/dev/full", format, 64, 48, e) && v.addFrame(pixels.data(), e) && v.finish(e);
  };
  const auto webp = [&] {
    WebpWriter w;
    return w.open("/dev/full", 64, 48, kWebpQuality, 2, e) && w.addFrame(pixels.data(), e) &&
           w.finish(e);
  };
  const struct {
    const char* what;
    Outcome outcome;
    const char* fault;  // nullptr: accepted
  } cases[] = {
      {"no extension", got(outputFormatFor("out", f, e) && f == OutputFormat::kPngFrames), nullptr},
      {"a directory",
       got(outputFormatFor(dir + "/frames.webm", f, e) && f == OutputFormat::kPngFrames), nullptr},
      {"MP4", got(outputFormatFor("a.MP4", f, e) && f == OutputFormat::kMp4), nullptr},
      {"WebM", got(outputFormatFor("d.x/a.webm", f, e) && f == OutputFormat::kWebm), nullptr},
      {"WebP", got(outputFormatFor("a.webp", f, e) && f == OutputFormat::kWebp), nullptr},
      {"unknown", got(outputFormatFor("a.gif", f, e)), "unknown kind of file '.gif'"},
      {"odd MP4", got(checkFrameSize(OutputFormat::kMp4, 321, 320, e)), "must be even"},
      {"odd WebM", got(checkFrameSize(OutputFormat::kWebm, 320, 99, e)), "must be even"},
      {"odd WebP", got(checkFrameSize(OutputFormat::kWebp, 321, 99, e)), nullptr},
      {"huge MP4", got(checkFrameSize(OutputFormat::kMp4, 8192, 8192, e)), "too large for H.264"},
      {"largest MP4", got(checkFrameSize(OutputFormat::kMp4, 8192, 4352, e)), nullptr},
      {"OBJ", got(isObjName("a/x.OBJ")), nullptr},
      {"not OBJ", got(isObjName("x.obj.txt") || isObjName(".obj")), ""},
      {"exists", got(mayWrite(taken, false, exists, e)), "it exists (--force overwrites it)"},
      {"exists, --force", got(mayWrite(taken, true, exists, e)), nullptr},
      {"a device", got(mayWrite("/dev/null", true, exists, e)), "it is not a regular file"},
      {"under a file", got(createPending(taken + "/a.webm", pending, e)), "Not a directory"},
      {"taken meanwhile", got(createPending(taken, pending, e) && commitPending(pending, false, e)),
       "it exists"},
      {"PNG, disk full", got(writePng("/dev/full", 64, 48, pixels.data(), e)), "No space left"},
      {"MP4, disk full", got(video(OutputFormat::kMp4)), "No space left"},
      {"WebM, disk full", got(video(OutputFormat::kWebm)), "No space left"},
      {"WebP, disk full", got(webp()), "No space left"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.outcome.ok, c.fault == nullptr) << c.what << ": " << c.outcome.error;
    if (c.fault != nullptr && !c.outcome.ok) {
      EXPECT_THAT(c.outcome.error, testing::HasSubstr(c.fault)) << c.what;
      EXPECT_EQ(c.outcome.error.find('\n'), std::string::npos) << c.what;
    }
  }
  EXPECT_EQ(slurp(taken), "keep") << "a refused file is left as it was";
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(dir)) {
    left.push_back(entry.path().filename());
  }
  EXPECT_THAT(left, testing::UnorderedElementsAre("taken.mp4", "frames.webm")) << "no temporary";
  fs::remove_all(dir);
}

TEST(OutputTest, ProgressSaysTicksRateAndTimeLeft) {
  EXPECT_EQ(formatProgress(0, 400, 0.0), "vellumry: 0 of 400 ticks (0%)");
  EXPECT_EQ(formatProgress(100, 400, 2.0),
            "vellumry: 100 of 400 ticks (25%), 50.0 frames/s, 0:06 left");
  EXPECT_EQ(formatProgress(1, 200000, 1.0),
            "vellumry: 1 of 200000 ticks (0%), 1.0 frames/s, 55:33:19 left");
  EXPECT_EQ(formatProgress(400, 400, 64.5),
            "vellumry: 400 of 400 ticks (100%), 6.2 frames/s, done in 1:05");
}

TEST(OutputTest, AWebpIsTheSameOnAnyNumberOfThreads) {
  const std::string dir = scratch();
  std::string files[2];
  for (const int threads : {1, 3}) {
    WebpWriter webp;
    std::string error;
    ASSERT_TRUE(webp.open(dir + "/a.webp", 96, 64, kWebpQuality, threads, error)) << error;
    std::vector<std::uint8_t> pixels(96 * 64 * 3);
    for (int frame = 0; frame < 12; ++frame) {
      for (std::size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = static_cast<std::uint8_t>(i * 7 + frame * (13 + i / 288));
      }
      ASSERT_TRUE(webp.addFrame(pixels.data(), error)) << error;
    }
    ASSERT_TRUE(webp.finish(error)) << error;
    files[threads == 3 ? 1 : 0] = slurp(dir + "/a.webp");
  }
  EXPECT_GT(files[0].size(), 1000U);
  EXPECT_TRUE(files[0] == files[1]) << "one thread and three give different files";
  fs::remove_all(dir);
}

// A PC2 file's header and samples.
struct Cache {
  std::string signature;
  std::int32_t version = 0, points = 0, samples = 0;
  float start = 0.0f, rate = 0.0f;
  std::vector<float> values;
};

Cache readCache(const std::string& path) {
  const std::string bytes = slurp(path);
  Cache c;
  if (bytes.size() < 32) {
    return c;
  }
  c.signature = bytes.substr(0, 12);
  std::memcpy(&c.version, &bytes[12], 4);
  std::memcpy(&c.points, &bytes[16], 4);
  std::memcpy(&c.start, &bytes[20], 4);
  std::memcpy(&c.rate, &bytes[24], 4);
  std::memcpy(&c.samples, &bytes[28], 4);
  c.values.resize((bytes.size() - 32) / 4);
  std::memcpy(c.values.data(), &bytes[32], c.values.size() * 4);
  return c;
}

std::vector<float> floats(const Cloth& c, bool normals) {
  std::vector<float> out;
  for (int j = 0; j < c.particleCount; ++j) {
    const Vec3& v = normals ? c.normals[j] : c.particles[j].position;
    out.insert(out.end(),
               {static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z)});
  }
  return out;
}

// Lines of an OBJ file starting with this keyword, their numbers parsed as floats or indices.
std::vector<std::vector<float>> objLines(const std::string& text, const std::string& keyword) {
  std::vector<std::vector<float>> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(keyword + " ", 0) == 0) {
      std::istringstream fields(line.substr(keyword.size()));
      lines.emplace_back();
      for (std::string word; fields >> word;) {
        lines.back().push_back(std::strtof(word.c_str(), nullptr));  // "7/7/7" reads as 7
      }
    }
  }
  return lines;
}

TEST(OutputTest, MeshAndCacheHoldTheClothAsSteppedAndAGridChangeStartsANewPair) {
  const std::string dir = scratch();
  MeshExport mesh;
  std::string error;
  ASSERT_TRUE(mesh.open(dir + "/cloth.obj", false, error)) << error;
  Cloth cloth;
  std::vector<std::vector<float>> frames;
  std::vector<float> normals;
  for (std::uint64_t tick = 0; tick < 8; ++tick) {
    if (tick == 5) {
      cloth.build(3.0, 6);
    } else if (tick == 0) {
      cloth.build(3.0, 15);
    }
    cloth.advance(0.05, 2);
    if (mesh.startsPair(cloth.gridSize)) {
      cloth.computeNormals();
    }
    if (tick == 0) {
      normals = floats(cloth, true);
    }
    frames.push_back(floats(cloth, false));
    ASSERT_TRUE(mesh.addFrame(cloth.gridSize, tick, frames.back(), floats(cloth, true), error));
  }
  ASSERT_TRUE(mesh.finish(error)) << error;
  const Cache first = readCache(dir + "/cloth.pc2");
  const Cache second = readCache(dir + "/cloth-2.pc2");
  EXPECT_EQ(first.signature, std::string("POINTCACHE2\0", 12));
  EXPECT_EQ(first.version, 1);
  EXPECT_EQ(first.points, 225);
  EXPECT_EQ(first.start, 0.0f);
  EXPECT_EQ(first.rate, 1.0f);
  ASSERT_EQ(first.samples, 5);
  EXPECT_EQ(first.values, [&] {
    std::vector<float> all;
    for (int k = 0; k < 5; ++k) {
      all.insert(all.end(), frames[k].begin(), frames[k].end());
    }
    return all;
  }()) << "every tick's positions, each the float nearest the double";
  EXPECT_EQ(second.points, 36);
  EXPECT_EQ(second.start, 5.0f) << "the tick the new grid first showed";
  EXPECT_EQ(second.samples, 3);
  EXPECT_EQ(std::vector<float>(second.values.begin(), second.values.begin() + 108), frames[5]);

  const std::string obj = slurp(dir + "/cloth.obj");
  const auto v = objLines(obj, "v");
  const auto vt = objLines(obj, "vt");
  const auto vn = objLines(obj, "vn");
  const auto faces = objLines(obj, "f");
  ASSERT_EQ(v.size(), 225U);
  ASSERT_EQ(vn.size(), 225U);
  ASSERT_EQ(faces.size(), 196U);
  for (std::size_t j = 0; j < v.size(); ++j) {
    EXPECT_EQ(v[j], std::vector<float>(&frames[0][3 * j], &frames[0][3 * j + 3])) << "vertex " << j;
    EXPECT_EQ(vn[j], std::vector<float>(&normals[3 * j], &normals[3 * j + 3])) << "normal " << j;
  }
  EXPECT_EQ(vt.front(), (std::vector<float>{0.0f, 0.0f}));
  EXPECT_EQ(vt.back(), (std::vector<float>{1.0f, 1.0f}));
  EXPECT_EQ(faces.front(), (std::vector<float>{1, 16, 17, 2}));
  for (const auto& face : faces) {  // counter-clockwise about the normals
    const auto at = [&](int k) {
      const std::vector<float>& p = v[static_cast<std::size_t>(face[k]) - 1];
      return Vec3(p[0], p[1], p[2]);
    };
    const std::vector<float>& n = vn[static_cast<std::size_t>(face[0]) - 1];
    const Vec3 turn = cross(at(1) - at(0), at(2) - at(1));
    EXPECT_GT(turn.x * n[0] + turn.y * n[1] + turn.z * n[2], 0.0) << "face at " << face[0];
  }
  EXPECT_EQ(objLines(slurp(dir + "/cloth-2.obj"), "f").size(), 25U);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 4)
      << "two pairs and no temporary";
  fs::remove_all(dir);
}

TEST(OutputTest, AnExportedReplayHoldsTheSimulationsOwnPositions) {
  const std::string dir = scratch();
  Options options;
  options.replayPath = VELLUMRY_SESSIONS_DIR "/drags.session";  // Redrops, full screen
  options.exportPath = dir + "/run.obj";
  options.quiet = true;
  fake_gl::resetProgram();
  ASSERT_EQ(checkHeadlessOutputs(options), 0);
  ASSERT_EQ(startSession(options), 0);
  ASSERT_EQ(runHeadless(options), 0);
  const Cache cache = readCache(dir + "/run.pc2");
  ASSERT_EQ(cache.samples, 400);
  ASSERT_EQ(cache.values.size(), 400U * 225 * 3);

  fake_gl::resetProgram();  // the same replay again, looked at between the halves of each tick
  ASSERT_EQ(startSession(options), 0);
  dropCloth();
  while (beforeTick()) {
    stepTick();
    if (tickCount % 57 == 0 || tickCount == 399) {
      const std::vector<float> now = floats(cloth, false);
      EXPECT_TRUE(std::equal(now.begin(), now.end(), cache.values.begin() + tickCount * 675))
          << "tick " << tickCount;
    }
    finishTick();
    afterTick();
  }
  EXPECT_EQ(finishSession(), 0);
  EXPECT_FALSE(fs::exists(dir + "/run-2.obj")) << "a Redrop of the same grid is the same mesh";
  fs::remove_all(dir);
}

// The ball and the floor follow the cloth in the OBJ, wound outwards; a moved ball has a cache.
TEST(OutputTest, TheBallAndTheFloorAreObjectsAfterTheClothAndAMovedBallHasItsOwnCache) {
  for (const bool moves : {false, true}) {
    const std::string dir = scratch();
    MeshExport mesh;
    std::string error;
    ASSERT_TRUE(mesh.open(dir + "/w.obj", false, error)) << error;
    Cloth cloth;
    cloth.build(3.0, 4);
    WorldFrame world{true, {1.5, -1.5, 1.5}, 0.8, true, -3.5, 1.5, 6.0};
    for (std::uint64_t tick = 0; tick < 3; ++tick) {
      world.centre[0] = moves ? 1.5 + 0.25 * static_cast<double>(tick) : 1.5;
      ASSERT_TRUE(mesh.addFrame(4, tick, floats(cloth, false), floats(cloth, true), error, world));
    }
    ASSERT_TRUE(mesh.finish(error)) << error;
    const std::string obj = slurp(dir + "/w.obj");
    EXPECT_LT(obj.find("o ball"), obj.find("o floor"));
    const auto v = objLines(obj, "v");
    const auto faces = objLines(obj, "f");
    ASSERT_TRUE(v.size() == 16U + kBallPoints + 4 && faces.size() == 9U + 8 * kBallSegments + 1);
    for (std::size_t f = 9; f < faces.size(); ++f) {  // outwards from the ball's centre, or up
      const auto at = [&](std::size_t k) {
        const std::vector<float>& p = v[static_cast<std::size_t>(faces[f][k]) - 1];
        return Vec3(p[0], p[1], p[2]);
      };
      const Vec3 out = f + 1 < faces.size() ? at(0) - Vec3(1.5, -1.5, 1.5) : Vec3(0, 1, 0);
      const Vec3 turn = cross(at(1) - at(0), at(2) - at(1));
      EXPECT_GT(turn.x * out.x + turn.y * out.y + turn.z * out.z, 0.0) << "face " << f;
    }
    EXPECT_EQ(v.back(), (std::vector<float>{7.5f, -3.5f, -4.5f}));
    EXPECT_EQ(fs::exists(dir + "/w-ball.pc2"), moves);
    if (moves) {
      const Cache ball = readCache(dir + "/w-ball.pc2");
      ASSERT_TRUE(ball.points == kBallPoints && ball.samples == 3 &&
                  ball.values.size() == 9U * kBallPoints);
      for (std::size_t k = 0; k < 3 * kBallPoints;
           ++k) {  // the first as in the OBJ, the last moved
        EXPECT_EQ(ball.values[k], v[16 + k / 3][k % 3]) << "point " << k / 3;
        EXPECT_NEAR(ball.values[6 * kBallPoints + k], ball.values[k] + (k % 3 == 0 ? 0.5 : 0),
                    1e-6);
      }
    }
    fs::remove_all(dir);
  }
}

std::vector<std::string> eventLines(const std::string& path, Scene& start, Record& end) {
  std::vector<Record> records;
  ParseError error;
  EXPECT_TRUE(parseSession(slurp(path), start, records, error)) << path << ":" << error.line;
  std::vector<std::string> lines;
  for (const Record& r : records) {
    char line[kMaxRecordLength];
    if (r.kind == RecordKind::kEvent) {
      lines.emplace_back(line, static_cast<std::size_t>(formatRecord(r, line)));
    }
  }
  end = records.empty() ? Record() : records.back();
  return lines;
}

// --replay A --record B: B starts from A's scene, holds A's events at their ticks, ends on A's
// last checksum, and replays to its own.
TEST(OutputTest, AReplayRecordedAgainReplaysToTheSameChecksums) {
  const std::string dir = scratch();
  Options options;
  options.replayPath = VELLUMRY_SESSIONS_DIR "/world.session";  // wind, ball, pins, cuts, tears
  options.recordPath = dir + "/again.session";
  options.exportPath = dir + "/a.obj";
  options.quiet = true;
  fake_gl::resetProgram();
  ASSERT_EQ(startSession(options), 0);
  ASSERT_EQ(runHeadless(options), 0);
  Scene a;
  Scene b;
  Record endA;
  Record endB;
  const std::vector<std::string> events = eventLines(options.replayPath, a, endA);
  EXPECT_EQ(eventLines(options.recordPath, b, endB), events);
  EXPECT_GE(events.size(), 10U);
  EXPECT_EQ(formatSessionStart(b), formatSessionStart(a));
  EXPECT_TRUE(endA.hasChecksum && endB.kind == RecordKind::kEnd);
  EXPECT_EQ(endB.tick, endA.tick);
  EXPECT_EQ(endB.checksum, endA.checksum);

  options = Options();
  options.replayPath = dir + "/again.session";
  options.exportPath = dir + "/b.obj";
  options.quiet = true;
  fake_gl::resetProgram();
  ASSERT_EQ(startSession(options), 0);
  EXPECT_EQ(runHeadless(options), 0) << "status 3: the new recording differs";
  fs::remove_all(dir);
}

// The solid comes last, its faces naming its own points and one normal each, counted past the
// floor's four points and single normal.
TEST(OutputTest, TheSolidFollowsTheFloorWithOneNormalATriangle) {
  const std::string dir = scratch();
  MeshExport mesh;
  std::string error;
  ASSERT_TRUE(mesh.open(dir + "/s.obj", false, error)) << error;
  Cloth cloth;
  cloth.build(3.0, 4);
  const std::vector<Vec3> points = {{0, 0, 0}, {0, 0, 2}, {2, 0, 0}, {0, 2, 0}};
  const std::vector<std::array<std::int32_t, 3>> triangles = {{0, 1, 2}, {0, 3, 1}};
  WorldFrame world{true, {1.5, -1.5, 1.5}, 0.8, true, -3.5, 1.5, 6.0, &points, &triangles};
  ASSERT_TRUE(mesh.addFrame(4, 0, floats(cloth, false), floats(cloth, true), error, world));
  ASSERT_TRUE(mesh.finish(error)) << error;
  const std::string obj = slurp(dir + "/s.obj");
  EXPECT_LT(obj.find("o floor"), obj.find("o solid"));
  const auto v = objLines(obj, "v");
  const auto vn = objLines(obj, "vn");
  const std::string solid = obj.substr(obj.find("o solid"));
  const std::size_t before = 16 + kBallPoints + 4;
  ASSERT_EQ(v.size(), before + 4);
  ASSERT_EQ(vn.size(), before - 3 + 2);
  // Points 135 to 138 (134 before them); normals 132 and 133 (131 before them).
  static_assert(kBallPoints == 114);
  for (const char* face :
       {"\nf 135//132 136//132 137//132\n", "\nf 135//133 138//133 136//133\n"}) {
    EXPECT_NE(solid.find(face), std::string::npos) << solid;
  }
  EXPECT_EQ(vn[vn.size() - 2], (std::vector<float>{0, 1, 0}));
  EXPECT_EQ(vn.back(), (std::vector<float>{1, 0, 0}));
  EXPECT_EQ(v[before + 1], (std::vector<float>{0, 0, 2}));
  fs::remove_all(dir);
}

}  // namespace
}  // namespace vellumry
