#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
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

TEST(SceneFileTest, APrintedSceneReadsBackToTheSameBits) {
  Scene tuned;
  tuned.grid = 97;
  tuned.width = 2.0 / 3.0 + 1.0;
  tuned.material = {std::nextafter(70.0, 0.0), 1e-300, 5e-324,
                    9999.999999999998,         1000.0, Vec3(-0.0, -9.81, 1e-7)};
  tuned.step = 0.1 + 0.2 - 0.25;
  tuned.stepsPerTick = 7;
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
  const std::string defaults = formatScene(Scene());
  ASSERT_TRUE(readScene(defaults, "defaults", back, error)) << error;
  EXPECT_TRUE(isDefaultScene(back)) << "every parameter is written";
  EXPECT_NE(defaults.find("\ngravity = [0.0, -1.0, 0.0]\n"), std::string::npos) << defaults;
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
