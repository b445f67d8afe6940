#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "scene/scene_file.h"

namespace vellumry {
namespace {

TEST(SceneFileTest, BadInputIsRefusedInOneLineNamingWhereTheKeyAndTheRange) {
  struct Case {
    std::string input;  // a scene file's text, or a --set setting when file is false
    bool file;
    std::vector<std::string> says;  // the first is where the message starts
  };
  const std::string grid = "cloth.grid must be a whole number from 2 to 256";
  const std::string gravity =
      "world.gravity must be three numbers x, y, z, each component from -100 to 100";
  const std::vector<Case> cases = {
      {"[cloth]\ngrid = \n", true, {"s.toml:2: ", "syntax error"}},
      {"[cloth]\ngrid = 20\n[physics]\n", true, {"s.toml:3: ", "[physics]", "[time]"}},
      {"[cloth]\n\nstifness = 3\n", true, {"s.toml:3: ", "'stifness'", "stiffness, shear"}},
      {"[cloth]\ngrid = 64.0\n", true, {"s.toml:2: ", grid + ", not 64.0"}},
      {"[cloth]\nstiffness = 1e5\n", true, {"s.toml:2: ", "stiffness must be a number from 0 to"}},
      {"[cloth]\nmass = nan\n", true, {"s.toml:2: ", "cloth.mass must be", "from 0.1", "nan"}},
      {"[world]\ngravity = [0, -2]\n", true, {"s.toml:2: ", gravity + ", not an array of 2"}},
      {"[world]\ngravity = [0, 'a', 0]\n", true, {"s.toml:2: ", gravity + ", not a string"}},
      {"cloth.stiffness", false, {"--set 'cloth.stiffness': ", "KEY=VALUE"}},
      {"cloth.stifness=3", false, {"--set cloth.stifness=3: ", "'cloth.stifness'", "time.step"}},
      {"cloth.stiffness=4OO", false, {"--set cloth.stiffness=4OO: ", "from 0 to 10000"}},
      {"world.gravity=0,-2", false, {"--set world.gravity=0,-2: ", gravity}},
      {"[ball]\nradius = 0.0\n", true, {"s.toml:2: ", "ball.radius", "from 0.01 to 100, not 0.0"}},
      {"[tear]\nratio = 0.5\n", true, {"s.toml:2: ", "tear.ratio", "0 (never) or from 1"}},
      {"[wind]\ngust = 1.5\n", true, {"s.toml:2: ", "wind.gust", "from 0 to 1, not 1.5"}},
      {"[wind]\nvelocity = [inf, 0, 0]\n", true, {"s.toml:2: ", "wind.velocity", "[inf,"}},
      {"[ball]\nenabled = 1\n", true, {"s.toml:2: ", "ball.enabled must be true or false, not 1"}},
      {"[cloth]\npins = [[0, 0], [15, 0]]\n", true, {"s.toml:2: ", "(15, 0) is outside the 15 by"}},
      {"[cloth]\npins = [\n  [0, 0],\n  [31, 31],\n  [0, 0],\n]\ngrid = 32\n",
       true,
       {"s.toml:5: ", "cloth.pins: (0, 0) is listed twice"}},
      {"[cloth]\npins = [[0, 0, 1]]\n", true, {"s.toml:2: ", "[column, row] pairs", "of 3"}},
      {"[cloth]\npins = [[-1, 0]]\n", true, {"s.toml:2: ", "(-1, 0) is outside", "from 0 to 14"}},
      {"[cloth]\npins = 3\n", true, {"s.toml:2: ", "cloth.pins must be an array", "not 3"}},
      {"ball.radius=0", false, {"--set ball.radius=0: ", "from 0.01 to 100, not '0'"}},
      {"tear.ratio=0.5", false, {"--set tear.ratio=0.5: ", "0 (never) or from 1 to 100"}},
      {"wind.gust=nan", false, {"--set wind.gust=nan: ", "from 0 to 1, not 'nan'"}},
      {"ball.enabled=yes", false, {"--set ball.enabled=yes: ", "true or false, not 'yes'"}},
      {"cloth.pins=0,0;1", false, {"--set cloth.pins=0,0;1: ", "COLUMN,ROW pairs", "'mounts'"}},
      {"cloth.pins=0,0;", false, {"--set cloth.pins=0,0;: ", "COLUMN,ROW pairs"}},
      {"cloth.pins=0,256", false, {"--set cloth.pins=0,256: ", "from 0 to grid - 1"}},
      {"[mesh]\nscale = 0.0\n", true, {"s.toml:2: ", "mesh.scale must be a number from 0.001"}},
      {"[collision]\nthickness = -0.1\n", true, {"s.toml:2: ", "collision.thickness must be"}},
      {"[collision]\nself = 1\n", true, {"s.toml:2: ", "collision.self must be true or false"}},
      {"[mesh]\nfile = 3\n", true, {"s.toml:2: ", "mesh.file must be a path in quotes", "not 3"}},
      {"[mesh]\nfiles = ''\n", true, {"s.toml:2: ", "'files'", "position, scale, friction, file"}},
      {"mesh.file=" + std::string(1024, 'a'), false, {"--set mesh.file=aaa", "at most 1023 bytes"}},
      {"mesh.scale=-1", false, {"--set mesh.scale=-1: ", "from 0.001 to 1000, not '-1'"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    Scene scene;
    std::string error;
    EXPECT_FALSE(c.file ? readScene(c.input, "s.toml", scene, error)
                        : readSetting(c.input, scene, error));
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    EXPECT_EQ(error.rfind(c.says[0], 0), 0U) << error;
    for (const std::string& part : c.says) {
      EXPECT_NE(error.find(part), std::string::npos) << "'" << part << "' not in: " << error;
    }
  }
}

TEST(SceneFileTest, PinsFromTheCommandLineFitTheGridOnceEveryOptionIsRead) {
  struct Case {
    std::vector<std::string> settings;
    std::string says;  // empty: accepted
  };
  const std::vector<Case> cases = {
      {{"cloth.pins=0,0; 31,31", "cloth.grid=32", "ball.enabled=true"}, ""},
      {{"cloth.pins=0,0;31,31"}, "cloth.pins: (31, 31) is outside the 15 by 15 grid"},
      {{"cloth.grid=32", "cloth.pins=2,2;2,2"}, "cloth.pins: (2, 2) is listed twice"},
      {{"cloth.pins=2,2;2,2", "cloth.pins=", "floor.enabled=1"}, ""},
      {{"cloth.pins=40,0", "cloth.pins=mounts"}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.settings[0]);
    Scene scene;
    std::string error;
    EXPECT_EQ(commandLineScene("", c.settings, scene, error), c.says.empty()) << error;
    EXPECT_EQ(error.rfind(c.says, 0), 0U) << error;
    EXPECT_EQ(scene.pins.mounts, c.settings.back() == "cloth.pins=mounts");
    EXPECT_EQ(scene.world.ball.enabled || scene.world.floor.enabled,
              c.says.empty() && c.settings.size() == 3);
  }
}

// Held absolute: a printed scene names the same file wherever it is read from.
TEST(SceneFileTest, AMeshFileIsTakenFromTheSceneFilesFolderOrTheWorkingDirectory) {
  const std::string here = std::filesystem::current_path().string();
  struct Case {
    std::string text;  // a scene file's [mesh] file, or a --set setting when name is empty
    std::string name;
    std::string path;
  };
  const std::vector<Case> cases = {
      {"'../meshes/./table.obj'", "/data/scenes/t.toml", "/data/meshes/table.obj"},
      {"'/a b/x.stl'", "rel/t.toml", "/a b/x.stl"},
      {"'x.ply'", "rel/t.toml", here + "/rel/x.ply"},
      {R"("q\"uote\\d.glb")", "/s.toml", R"(/q"uote\d.glb)"},
      {"mesh.file=m/x.obj", "", here + "/m/x.obj"},
  };
  for (const Case& c : cases) {
    Scene scene;
    Scene back;
    std::string error;
    ASSERT_TRUE(c.name.empty() ? readSetting(c.text, scene, error)
                               : readScene("[mesh]\nfile = " + c.text + "\n", c.name, scene, error))
        << error;
    EXPECT_EQ(meshPath(scene.meshFile), c.path);
    EXPECT_FALSE(isDefaultScene(scene));
    ASSERT_TRUE(readScene(formatScene(scene), "/elsewhere/t.toml", back, error)) << error;
    EXPECT_EQ(meshPath(back.meshFile), c.path) << formatScene(scene);
    ASSERT_TRUE(readSetting("mesh.file=", back, error));
    EXPECT_TRUE(isDefaultScene(back)) << "an empty mesh.file is none";
  }
}

TEST(SceneFileTest, APrintedSceneReadsBackToTheSameBits) {
  Scene tuned;
  tuned.grid = 97;
  tuned.width = 2.0 / 3.0 + 1.0;
  tuned.material = {std::nextafter(70.0, 0.0), 1e-300, 5e-324,
                    9999.999999999998,         1000.0, Vec3(-0.0, -9.81, 1e-7)};
  tuned.step = 0.1 + 0.2 - 0.25;
  tuned.stepsPerTick = 7;
  tuned.world.ball.enabled = true;
  tuned.world.wind.velocity = Vec3(1.0 / 3.0, 0.0, -4.5);
  tuned.tearRatio = 1.0 + 0x1p-52;
  tuned.world.collision = {0x1p-7, true};
  tuned.world.mesh = {Vec3(1.5, -0.0, 1e-9), 1.0 / 3.0, 0.25};
  for (int i = 0; i < 11; ++i) {
    addPin(tuned.pins, 96 - i, i * 9);
  }
  Scene back;
  std::string error;
  ASSERT_TRUE(readScene(formatScene(tuned), "tuned", back, error)) << error;
  const auto bits = [](const Vec3& v) {
    return std::array{std::bit_cast<std::uint64_t>(v.x), std::bit_cast<std::uint64_t>(v.y),
                      std::bit_cast<std::uint64_t>(v.z)};
  };
  for (const Param& p : sceneParams()) {
    EXPECT_EQ(bits(p.get(tuned)), bits(p.get(back))) << p.key;
  }
  ASSERT_FALSE(back.pins.mounts);
  ASSERT_EQ(back.pins.count, 11);
  EXPECT_EQ(back.pins.at[10].column * 1000 + back.pins.at[10].row, 86090);
  const std::string defaults = formatScene(Scene());
  back.pins = PinList();  // a file without pins has the default ones, whatever it is read over
  ASSERT_TRUE(readScene(defaults, "defaults", back, error)) << error;
  EXPECT_TRUE(isDefaultScene(back)) << "every parameter is written";
  EXPECT_NE(defaults.find("\ngravity = [0.0, -1.0, 0.0]\n"), std::string::npos) << defaults;
  EXPECT_NE(defaults.find("\nenabled = false\n"), std::string::npos) << defaults;
  EXPECT_EQ(defaults.find("pins ="), std::string::npos) << "the default pins follow the grid";
}

TEST(SceneTest, SubstepsGrowWithTheGridAndALargeClothStaysFinite) {
  const int sizes[][2] = {{15, 1}, {24, 2}, {48, 3}, {64, 4}, {128, 8}, {256, 16}};
  Scene scene;
  for (const auto& [n, want] : sizes) {
    scene.grid = n;
    EXPECT_EQ(substepsFor(scene), want) << "n = " << n;
  }
  scene.grid = 64;
  const int substeps = substepsFor(scene);
  auto cloth = std::make_unique<Cloth>();
  cloth->build(scene.width, scene.grid, scene.material);
#if defined(__SANITIZE_ADDRESS__) || !defined(NDEBUG)
  constexpr int kTicks = 200;  // unoptimised or instrumented: a shorter run
#else
  constexpr int kTicks = 1500;
#endif
  for (int tick = 0; tick < kTicks; ++tick) {
    cloth->advance(scene.step / substeps, scene.stepsPerTick * substeps);
  }
  for (int i = 0; i < cloth->particleCount; ++i) {
    const Vec3& p = cloth->particles[i].position;
    ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z) &&
                p.lengthSquared() < 100.0)
        << "particle " << i << " after " << kTicks << " ticks";
  }
}

}  // namespace
}  // namespace vellumry
