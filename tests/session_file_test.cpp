#include "session/session_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cloth/cloth.h"
#include "scene/scene.h"
#include "scene/scene_file.h"
#include "session/checksum.h"

namespace vellumry {
namespace {

std::string line(const Record& r) {
  char text[kMaxRecordLength];
  return {text, static_cast<std::size_t>(formatRecord(r, text))};
}

Record eventRecord(std::uint64_t tick, const Event& e) {
  Record r;
  r.tick = tick;
  r.event = e;
  return r;
}

Record checkRecord(std::uint64_t tick, RecordKind kind, std::uint64_t sum, bool has = true) {
  Record r;
  r.tick = tick;
  r.kind = kind;
  r.checksum = sum;
  r.hasChecksum = has;
  return r;
}

bool sameBits(double a, double b) {
  return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

TEST(SessionFileTest, EveryRecordReadsBackExactly) {
  const double tiny = std::numeric_limits<double>::denorm_min();
  const std::vector<Record> records = {
      eventRecord(0, menuEvent(kMenuRedrop)),
      eventRecord(0, pointerEvent(EventKind::kPress, -2147483647 - 1, 2147483647)),
      eventRecord(3, pointerEvent(EventKind::kMotion, 240, -5)),
      eventRecord(3, pointerEvent(EventKind::kRelease, 0, 0)),
      eventRecord(7, pointerEvent(EventKind::kPause)),
      eventRecord(7, pointerEvent(EventKind::kStep)),
      eventRecord(9, targetEvent(EventKind::kGrab, 65535, Vec3(0.1, -1e6, tiny))),
      eventRecord(9, targetEvent(EventKind::kPull, 0, Vec3(-0.0, 1.0 / 3.0, 2.5e-300))),
      checkRecord(50, RecordKind::kCheck, 0x0123456789abcdefULL),
      eventRecord(120, setEvent(findParam("cloth.stiffness"), Vec3(400.0, 0.0, 0.0))),
      eventRecord(130, setEvent(findParam("world.gravity"), Vec3(0.0, -2.0, 1.0 / 3.0))),
      eventRecord(130, setEvent(findParam("cloth.grid"), Vec3(256.0, 0.0, 0.0))),
      eventRecord(131, indexEvent(EventKind::kPin, 65535)),
      eventRecord(131, indexEvent(EventKind::kCut, 0)),
      eventRecord(132, pinsEvent(kPinsClear)),
      eventRecord(132, pinsEvent(kPinsAdd, 255, 7)),
      eventRecord(132, pinsEvent(kPinsMounts)),
      eventRecord(133, setEvent(findParam("ball.enabled"), Vec3(1.0, 0.0, 0.0))),
      checkRecord(kMaxTick, RecordKind::kEnd, ~0ULL),
  };
  Scene start;
  start.grid = 64;
  start.material.gravity = Vec3(0.25, -1.0 / 3.0, -0.0);
  start.step = 0.1 + 0.2 - 0.25;
  start.world.floor.enabled = true;
  start.world.wind.velocity = Vec3(1.0 / 7.0, 0.0, -2.0);
  start.tearRatio = 1.7;
  start.world.collision = {1.0 / 64.0, true};
  start.world.mesh = {Vec3(1.5, -2.0, 0.1), 1.25, 0.0};
  for (const auto& [c, r] : {std::pair{63, 0}, {0, 63}, {5, 9}}) {
    addPin(start.pins, c, r);
  }
  std::string text = formatSessionStart(start) + "# a comment, then a blank line\n\n";
  for (const Record& r : records) {
    text += line(r);
  }
  EXPECT_EQ(line(records[6]), "9 grab 65535 0.1 -1e+06 5e-324\n");
  EXPECT_EQ(line(records[8]), "50 check 0123456789abcdef\n");
  EXPECT_EQ(line(records[9]), "120 set cloth.stiffness 400\n");
  EXPECT_EQ(line(records[10]), "130 set world.gravity 0 -2 0.3333333333333333\n");
  EXPECT_EQ(line(checkRecord(12, RecordKind::kEnd, 0, false)), "12 end\n");
  EXPECT_EQ(line(records[13]) + line(records[15]) + line(records[17]),
            "131 cut 0\n132 pins add 255 7\n133 set ball.enabled 1\n");
  EXPECT_NE(text.find("\nscene floor.enabled 1\nscene floor.height -3.5\n"), std::string::npos);
  EXPECT_NE(text.find("\nscene pins clear\nscene pins add 63 0\nscene pins add 0 63\n"),
            std::string::npos);
  EXPECT_NE(text.find("\nscene world.gravity 0.25 -0.3333333333333333 -0\n"), std::string::npos);

  std::vector<Record> read;
  Scene scene;
  ParseError error;
  ASSERT_TRUE(parseSession(text, scene, read, error))
      << "line " << error.line << ": " << error.message;
  for (const Param& p : sceneParams()) {
    const Vec3 a = p.get(start);
    const Vec3 b = p.get(scene);
    EXPECT_TRUE(sameBits(a.x, b.x) && sameBits(a.y, b.y) && sameBits(a.z, b.z)) << p.key;
  }
  ASSERT_FALSE(scene.pins.mounts);
  ASSERT_EQ(scene.pins.count, 3);
  EXPECT_EQ(scene.pins.at[2].column * 100 + scene.pins.at[2].row, 509);
  ASSERT_TRUE(parseSession("vellumry-session 1\n0 menu 0\n", scene, read, error));
  EXPECT_TRUE(isDefaultScene(scene)) << "a version 1 session starts from the defaults";
  ASSERT_TRUE(parseSession(text, scene, read, error));
  ASSERT_EQ(read.size(), records.size());
  for (std::size_t i = 0; i < records.size(); ++i) {
    SCOPED_TRACE(line(records[i]));
    const Record& a = records[i];
    const Record& b = read[i];
    EXPECT_EQ(a.tick, b.tick);
    EXPECT_EQ(a.kind, b.kind);
    EXPECT_EQ(a.checksum, b.checksum);
    EXPECT_EQ(a.hasChecksum, b.hasChecksum);
    EXPECT_EQ(a.event.kind, b.event.kind);
    EXPECT_EQ(a.event.value, b.event.value);
    EXPECT_EQ(a.event.x, b.event.x);
    EXPECT_EQ(a.event.y, b.event.y);
    EXPECT_TRUE(sameBits(a.event.target.x, b.event.target.x) &&
                sameBits(a.event.target.y, b.event.target.y) &&
                sameBits(a.event.target.z, b.event.target.z));
  }
}

TEST(SessionFileTest, ABadFileIsRefusedWithItsLineAndFault) {
  const std::string h = std::string(kSessionHeader) + "\n";
  struct Case {
    std::string text;
    int line;
    std::string fault;  // part of the message
  };
  const std::vector<Case> cases = {
      {"", 1, "empty file"},
      {"vellumry-session 6\n0 menu 0\n", 1, "unknown session version '6'"},
      {"hello\n", 1, "not a session file"},
      {h + "0 jump 1 2\n", 2, "unknown event 'jump'"},
      {h + "0 press 1 two\n", 2, "bad number 'two'"},
      {h + "0 press 1 99999999999\n", 2, "bad number"},
      {h + "-1 menu 0\n", 2, "bad number '-1'"},
      {h + "0 press 1\n", 2, "'press' takes 2 numbers, not 1"},
      {h + "0 pause 1\n", 2, "takes 0 numbers"},
      {h + "0 menu 7\n", 2, "unknown menu value 7"},
      {h + "0 grab 65536 0 0 0\n", 2, "particle 65536"},
      {h + "0 grab -1 0 0 0\n", 2, "particle -1"},
      {h + "0 pull 0 inf 0\n", 2, "not finite"},
      {h + "0 pull 0 nan 0\n", 2, "not finite"},
      {h + "0 pull 0 1e7 0\n", 2, "outside"},
      {h + "0 check 12345\n", 2, "not 16 hex digits"},
      {h + "0 check 0123456789abcdeg\n", 2, "bad number"},
      {h + "0 end 1 2\n", 2, "at most one checksum"},
      {h + "5 menu 0\n\n3 menu 1\n", 4, "tick 3 goes backwards"},
      {h + "100000001 menu 0\n", 2, "beyond the last one allowed"},
      {h + "0 menu 0\n1 end\n2 menu 1\n", 4, "after the end"},
      {h + "0 menu 0\n1 menu", 3, "cut off"},
      {h + "0 menu 0 1 2 3 4 5\n", 2, "too many fields"},
      {h + "7\n", 2, "a tick and an event expected"},
      {h + "0 set cloth.stifness 4\n", 2, "unknown scene key 'cloth.stifness'"},
      {h + "0 set world.gravity 0 1\n", 2, "'world.gravity' takes 3 numbers, not 2"},
      {h + "0 set time.step nan\n", 2, "time.step must be from 0.001 to 0.2, not nan"},
      {h + "scene cloth.grid 2.5\n", 2, "cloth.grid must be a whole number from 2 to 256"},
      {h + "0 menu 0\nscene cloth.grid 20\n", 3, "after the first record"},
      {h + "scene cloth.grid 256\nscene cloth.stiffness 10000\n", 3, "substeps"},
      {"vellumry-session 1\n0 set cloth.grid 20\n", 2, "needs a version 2"},
      {"vellumry-session 2\n0 pin 3\n", 2, "'pin' needs a version 3"},
      {"vellumry-session 2\n0 pins clear\n", 2, "'pins' needs a version 3"},
      {"vellumry-session 2\nscene wind.gust 0.5\n", 2, "'wind.gust' needs a version 3"},
      {"vellumry-session 2\n0 set ball.enabled 1\n", 2, "'ball.enabled' needs a version 3"},
      {h + "0 cut -1\n", 2, "spring -1 outside"},
      {h + "0 pin 65536\n", 2, "particle 65536 outside"},
      {h + "0 pins add 256 0\n", 2, "column 256 outside every grid"},
      {h + "0 pins twist\n", 2, "'pins' takes clear, mounts, or add"},
      {h + "0 pins add 1\n", 2, "'pins add' takes 2 numbers, not 1"},
      {h + "scene ball.enabled 2\n", 2, "ball.enabled must be true or false, not 2"},
      {"vellumry-session 3\nscene collision.self 1\n", 2, "'collision.self' needs a version 4"},
      {"vellumry-session 3\n0 set mesh.scale 2\n", 2, "'mesh.scale' needs a version 4"},
      {"vellumry-session 3\n0 mesh none\n", 2, "'mesh' needs a version 4"},
      {"vellumry-session 3\nscene mesh.file 0123456789abcdef a\n", 2, "'mesh.file' needs a"},
      {h + "scene mesh.scale 0\n", 2, "mesh.scale must be from 0.001 to 1000, not 0"},
      {h + "scene collision.thickness -1\n", 2, "collision.thickness must be from 0 to 1"},
      {h + "scene collision.self 0.5\n", 2, "collision.self must be true or false"},
      {h + "0 mesh 0123456789abcdef a b\n", 2, "'mesh' takes a digest and a path, a path"},
      {h + "0 mesh 12345 a.obj\n", 2, "mesh digest '12345' is not 16 hex digits"},
      {h + "scene mesh.file 0123456789abcdef a%2\n", 2, "bad mesh path 'a%2'"},
      {h + "0 mesh 0123456789abcdef a%00b\n", 2, "bad mesh path 'a%00b'"},
      {h + std::string("0 mesh a\0b\n", 11), 2, "bad mesh path 'a"},
      {h + "scene pins add 15 0\n", 2, "(15, 0) is outside the 15 by 15 grid"},
      {h + "scene pins add 1 1\nscene pins add 1 1\n", 3, "(1, 1) is listed twice"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::vector<Record> records;
    ParseError error;
    EXPECT_FALSE(parseSession(c.text, records, error));
    EXPECT_EQ(error.line, c.line);
    EXPECT_NE(error.message.find(c.fault), std::string::npos) << error.message;
  }
}

// Paths travel as one field each, spaces and '%' escaped; each file is listed once, and a record
// names it by its place in the list.
TEST(SessionFileTest, MeshFilesReadBackWithTheirDigests) {
  Scene start;
  setMeshPath(start.meshFile, "/the meshes/100%.obj");
  start.meshFile.digest = 0xfedcba9876543210ULL;
  const MeshRef table{"../meshes/table.obj", 0x0123456789abcdefULL};
  const MeshRef changed{"../meshes/table.obj", 0x0123456789abcde0ULL};
  const std::string text = formatSessionStart(start, "meshes/a b.obj", "pictures/my flag.png") +
                           formatMeshRecord(3, &table) + formatMeshRecord(4, &changed) +
                           formatMeshRecord(5, nullptr) + formatMeshRecord(6, &table);
  EXPECT_NE(text.find("\nscene mesh.file fedcba9876543210 meshes/a%20b.obj\nscene cloth.texture "
                      "pictures/my%20flag.png\n3 mesh 0123456789abcdef ../meshes/table.obj\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("\n5 mesh none\n"), std::string::npos);
  EXPECT_NE(formatSessionStart(start).find(" /the%20meshes/100%25.obj\n"), std::string::npos);
  EXPECT_EQ(formatSessionStart(Scene()).find("mesh.file"), std::string::npos) << "no mesh, no line";
  Scene scene;
  std::vector<Record> records;
  std::vector<MeshRef> meshes;
  ParseError error;
  ASSERT_TRUE(parseSession(text, scene, records, meshes, error)) << error.message;
  EXPECT_EQ(meshPath(scene.meshFile), "meshes/a b.obj");
  EXPECT_EQ(scene.meshFile.digest, start.meshFile.digest);
  EXPECT_EQ(meshPath(scene.look.texture), "pictures/my flag.png");
  ASSERT_EQ(meshes.size(), 2U);
  EXPECT_EQ(meshes[0].path + " " + meshes[1].path, "../meshes/table.obj ../meshes/table.obj");
  EXPECT_EQ(meshes[1].digest, changed.digest);
  ASSERT_EQ(records.size(), 4U);
  for (std::size_t i = 0; i < records.size(); ++i) {
    EXPECT_EQ(records[i].event.kind, EventKind::kMesh);
    EXPECT_EQ(records[i].event.value, (std::array{0, 1, -1, 0})[i]) << "record " << i;
  }
}

TEST(SessionFileTest, ChecksumSeesEveryBitOfEveryPositionAndVelocityInUse) {
  auto a = std::make_unique<Cloth>();
  auto b = std::make_unique<Cloth>();
  a->build(3.0, 15);
  b->build(3.0, 15);
  for (int i = 0; i < 7; ++i) {
    a->step(0.05);
    b->step(0.05);
  }
  const std::uint64_t sum = clothChecksum(*a);
  EXPECT_EQ(sum, clothChecksum(*b));
  b->particles[224].velocity.z = std::nextafter(b->particles[224].velocity.z, 1.0);
  EXPECT_NE(sum, clothChecksum(*b)) << "one ulp of the last particle's velocity";
  b->particles[224].velocity = a->particles[224].velocity;
  b->particles[0].position.x = -0.0;  // +0.0 before: the same value, other bits
  EXPECT_NE(sum, clothChecksum(*b));
  b->particles[0].position.x = a->particles[0].position.x;
  b->particles[300].position.y = 5.0;  // beyond the 225 in use
  EXPECT_EQ(sum, clothChecksum(*b));
}

// A version 4 file replays with the contacts it was recorded with, a later one with today's.
TEST(SessionFileTest, AVersion4FileKeepsTheContactsItWasRecordedWith) {
  for (const int version : {3, 4, 5}) {
    Scene scene;
    std::vector<Record> records;
    ParseError error;
    const std::string text = "vellumry-session " + std::to_string(version) + "\n2 end\n";
    ASSERT_TRUE(parseSession(text, scene, records, error)) << error.message;
    EXPECT_EQ(scene.world.collision.recordedV4, version < 5) << "version " << version;
  }
}

// Each line is refused at its line in every version older than the one it came in with, and read
// from that one on (a key not listed came in with version 4, whose lines the latest keeps); a
// check without its sum, or a cut beyond the largest cloth's springs, never. Cuts of every kind of
// spring of it are read.
TEST(SessionFileTest, EveryKeyAndWordIsRefusedInAFileOlderThanItAndACheckNeedsItsSum) {
  const std::string since2 =
      " cloth.grid cloth.width cloth.mass cloth.stiffness cloth.shear cloth.bend cloth.drag "
      "world.gravity time.step time.steps_per_tick ";
  const std::string since3 =
      " wind.velocity wind.gust wind.seed ball.enabled ball.centre ball.radius ball.friction "
      "floor.enabled floor.height floor.friction tear.ratio ";
  const int latest = std::stoi(std::string(kSessionHeader.substr(kSessionHeader.rfind(' '))));
  std::vector<std::pair<std::string, int>> cases = {{"0 pin 3", 3},
                                                    {"0 pins clear", 3},
                                                    {"scene pins add 0 1", 3},
                                                    {"scene cloth.texture a%20b.png", 4},
                                                    {"scene cloth.texture a b.png", 0},
                                                    {"0 check", 0},
                                                    {"50 check ", 0}};
  std::istringstream start(formatSessionStart(Scene()));  // "scene KEY VALUE" for every key
  for (std::string line; std::getline(start, line);) {
    const std::string key = " " + line.substr(6, line.find(' ', 6) - 6) + " ";
    const int since = since2.find(key) != std::string::npos   ? 2
                      : since3.find(key) != std::string::npos ? 3
                                                              : 4;
    if (line.rfind("scene ", 0) == 0) {
      cases.insert(cases.end(), {{line, since}, {"0 set" + line.substr(5), since}});
    }
  }
  auto cloth = std::make_unique<Cloth>();
  ClothMaterial bent;
  bent.bend = 5.0;
  cloth->build(3.0, kMaxGridSize, bent);
  const auto& kinds = cloth->springKinds;
  ASSERT_EQ(kinds[cloth->springCount - 1], SpringKind::kBend);
  for (const SpringKind kind : {SpringKind::kStructural, SpringKind::kShear, SpringKind::kBend}) {
    cases.emplace_back(
        "0 cut " + std::to_string(std::find(kinds.begin(), kinds.end(), kind) - kinds.begin()), 3);
  }
  cases.insert(cases.end(), {{"0 cut " + std::to_string(cloth->springCount - 1), 3},
                             {"0 cut " + std::to_string(cloth->springCount), 0}});
  for (const auto& [line, since] : cases) {
    for (int version = 1; version <= latest; ++version) {
      SCOPED_TRACE(line + ", version " + std::to_string(version));
      std::vector<Record> records;
      ParseError error;
      const bool read = since != 0 && version >= since;
      EXPECT_EQ(parseSession("vellumry-session " + std::to_string(version) + "\n" + line + "\n",
                             records, error),
                read)
          << error.message;
      // Version 1 has no scene lines or set records at all.
      const bool scene = line.rfind("scene", 0) == 0 || line.rfind("0 set", 0) == 0;
      const std::string needs =
          "needs a version " + std::to_string(version == 1 && scene ? 2 : since);
      if (!read) {
        EXPECT_EQ(error.line, 2);
        EXPECT_TRUE(since == 0 || error.message.find(needs) != std::string::npos) << error.message;
      }
    }
  }
}

// The manual's limit, 1024 pins, holds for a scene file, --set and a session's scene.
TEST(SessionFileTest, EveryReaderTakesTheDocumentedNumberOfPinsAndRefusesOneMore) {
  for (const int count : {1024, 1025}) {
    std::string file = "[cloth]\ngrid = 256\npins = [";
    std::string set = "cloth.pins=";
    std::string session =
        std::string(kSessionHeader) + "\nscene cloth.grid 256\nscene pins clear\n";
    for (int i = 0; i < count; ++i) {
      const std::string c = std::to_string(i % 256);
      const std::string r = std::to_string(i / 256);
      file += (i == 0 ? "[" : ", [") + c + ", " + r + "]";
      set += (i == 0 ? "" : ";") + c + "," + r;
      session += "scene pins add " + c + " " + r + "\n";
    }
    file += "]\n";
    Scene read[3];
    std::string errors[3];
    std::vector<Record> records;
    ParseError fault;
    const bool ok[3] = {
        readScene(file, "p.toml", read[0], errors[0]),
        commandLineScene("", std::vector<std::string>{"cloth.grid=256", set}, read[1], errors[1]),
        parseSession(session, read[2], records, fault)};
    errors[2] = fault.message;
    for (int i = 0; i < 3; ++i) {
      SCOPED_TRACE(testing::Message() << count << " pins, reader " << i);
      EXPECT_EQ(ok[i], count == 1024) << errors[i];
      EXPECT_EQ(ok[i] ? read[i].pins.count : 1024, 1024);
      EXPECT_TRUE(ok[i] || errors[i].find("1024") != std::string::npos) << errors[i];
    }
  }
}

}  // namespace
}  // namespace vellumry
