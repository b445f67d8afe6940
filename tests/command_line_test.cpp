#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vellumry {
namespace {

struct Parsed {
  bool ok;
  Options options;
  std::string error;
};

Parsed parse(std::vector<const char*> args) {
  args.insert(args.begin(), "vellumry");
  Parsed p{false, {}, {}};
  p.ok = parseCommandLine(static_cast<int>(args.size()), args.data(), p.options, p.error);
  return p;
}

TEST(CommandLineTest, GlutOptionsPassOnInOrderAndTheProgramsOwnAreRead) {
  Parsed p = parse({});
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.options.glutArgs, std::vector<std::string>{"vellumry"}) << "nothing added";

  p = parse({"-geometry", "320x240", "--record", "s.session", "-display", ":3", "-sync", "-iconic",
             "-direct", "-indirect", "-gldebug", "--force"});
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.options.glutArgs,
            (std::vector<std::string>{"vellumry", "-geometry", "320x240", "-display", ":3", "-sync",
                                      "-iconic", "-direct", "-indirect", "-gldebug"}));
  EXPECT_EQ(p.options.recordPath, "s.session");
  EXPECT_TRUE(p.options.force);

  p = parse({"--replay", "a.session", "--render", "out", "--size", "640x480"});
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.options.replayPath, "a.session");
  EXPECT_EQ(p.options.renderOut, "out");
  EXPECT_EQ(p.options.width, 640);
  EXPECT_EQ(p.options.height, 480);
  EXPECT_TRUE(parse({"-h"}).options.help);
}

TEST(CommandLineTest, AFaultIsNamedInOneLine) {
  const struct {
    std::vector<const char*> args;
    std::string fault;
  } cases[] = {
      {{"--bogus"}, "unrecognised option '--bogus'"},
      {{"-geometry", "1x1", "--"}, "unrecognised option '--'"},
      {{"--record"}, "--record"},
      {{"--record", ""}, "--record needs a name"},
      {{"--force"}, "--force only goes with --record"},
      {{"--render", "d"}, "--render only goes with --replay"},
      {{"--replay", "a", "--size", "100x100"}, "--size only goes with --render"},
      {{"--replay", "a", "--render", "d", "--size", "100"}, "'100' is not WIDTHxHEIGHT"},
      {{"--replay", "a", "--render", "d", "--size", "8x8"}, "'8x8'"},
      {{"--replay", "a", "--render", "d", "--size", "640x480px"}, "'640x480px'"},
      {{"--replay", "a", "--render", "d", "--size", "99999x100"}, "'99999x100'"},
  };
  for (const auto& c : cases) {
    const Parsed p = parse(c.args);
    SCOPED_TRACE(p.error);
    EXPECT_FALSE(p.ok);
    EXPECT_NE(p.error.find(c.fault), std::string::npos);
    EXPECT_EQ(p.error.find('\n'), std::string::npos);
  }
}

// Each range is refused one past either end, as every option is, and taken at its ends.
TEST(CommandLineTest, ThreadsAndSizeTakeTheirEndsAndRefuseOnePast) {
  const struct {
    std::vector<const char*> args;
    bool ok;
  } cases[] = {
      {{"--threads", "0"}, false},
      {{"--threads", "-1"}, false},
      {{"--threads", "65"}, false},
      {{"--threads", "two"}, false},
      {{"--threads", "1"}, true},
      {{"--threads", "64"}, true},
      {{"--replay", "a", "--render", "d", "--size", "16x16"}, true},
      {{"--replay", "a", "--render", "d", "--size", "15x16"}, false},
      {{"--replay", "a", "--render", "d", "--size", "16x15"}, false},
      {{"--replay", "a", "--render", "d", "--size", "8192x8192"}, true},
      {{"--replay", "a", "--render", "d", "--size", "8192x8193"}, false},
      {{"--replay", "a", "--render", "d", "--size", "8193x8192"}, false},
  };
  for (const auto& c : cases) {
    const Parsed p = parse(c.args);
    SCOPED_TRACE(std::string(c.args[0]) + " " + c.args[c.args.size() - 1] + ": " + p.error);
    EXPECT_EQ(p.ok, c.ok);
    EXPECT_EQ(p.error.empty(), c.ok);
    EXPECT_EQ(p.error.find('\n'), std::string::npos);
    if (c.ok && c.args[0] == std::string("--threads")) {
      EXPECT_EQ(p.options.threads, std::stoi(c.args[1]));
    }
  }
}

}  // namespace
}  // namespace vellumry
