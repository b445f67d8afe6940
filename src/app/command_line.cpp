#include "app/command_line.h"

#include <CLI/CLI.hpp>
#include <charconv>

namespace vellumry {

namespace {

constexpr int kMinSize = 16;  // pixels per side of a rendered frame
constexpr int kMaxSize = 8192;

constexpr char kUsage[] =
    "Usage: vellumry [OPTION]... [GLUT OPTION]...\n"
    "A cloth of point masses and springs hangs from two mount points and swings in a window.\n"
    "\n"
    "Options:\n"
    "  -h, --help         print this help and exit\n"
    "      --version      print the version and exit\n"
    "      --record FILE  record the session to FILE (an existing FILE only with --force)\n"
    "      --force        let --record overwrite FILE\n"
    "      --replay FILE  play a recorded session back in the window, checking its checksums\n"
    "      --render DIR   with --replay: no window; write every frame to DIR/frame-NNNNNN.png\n"
    "      --size WxH     with --render: the frames' size in pixels (default 500x500)\n"
    "GLUT options, passed on: -display DISPLAY, -geometry WxH+X+Y, -iconic, -direct,\n"
    "  -indirect, -gldebug, -sync\n"
    "\n"
    "Mouse:\n"
    "  right click        open the menu, then click an entry to choose it\n"
    "  left drag          the menu's drag control: Rotate spins the view, EndpointDist moves\n"
    "                     the mount points apart or together, Flap moves both; the farther\n"
    "                     from the press point, the faster, until the button is released\n"
    "  Shift + left drag  grab the particle nearest the pointer and pull it\n"
    "Keys:\n"
    "  r, e, f            drag control Rotate, EndpointDist, Flap\n"
    "  d                  drop the cloth again (Redrop)\n"
    "  w                  lit surface or wireframe (DrawMode)\n"
    "  F11, Esc           full screen (Fullscreen), and back to the window\n"
    "  space              pause or resume; s steps one tick while paused\n"
    "  q                  quit\n"
    "\n"
    "Exit status: 0 done; 1 no display, or a file could not be written; 2 a bad option or\n"
    "session file; 3 a replayed session that differs from its recording.\n";

// GLUT's options that take a value: the value belongs to GLUT, whatever it looks like.
bool takesValue(const std::string& glutOption) {
  return glutOption == "-display" || glutOption == "-geometry";
}

bool parseSize(const std::string& text, Options& options, std::string& error) {
  const char* const end = text.data() + text.size();
  const auto [x, ec1] = std::from_chars(text.data(), end, options.width);
  const auto [tail, ec2] = ec1 == std::errc() && x != end && *x == 'x'
                               ? std::from_chars(x + 1, end, options.height)
                               : std::from_chars_result{x, std::errc::invalid_argument};
  if (ec1 != std::errc() || ec2 != std::errc() || tail != end || options.width < kMinSize ||
      options.width > kMaxSize || options.height < kMinSize || options.height > kMaxSize) {
    error = "--size: '" + text + "' is not WIDTHxHEIGHT, each from " + std::to_string(kMinSize) +
            " to " + std::to_string(kMaxSize);
    return false;
  }
  return true;
}

bool checkCombinations(const Options& o, bool sizeGiven, std::string& error) {
  if (o.force && o.recordPath.empty()) {
    error = "--force only goes with --record";
  } else if (!o.renderDir.empty() && o.replayPath.empty()) {
    error = "--render only goes with --replay";
  } else if (sizeGiven && o.renderDir.empty()) {
    error = "--size only goes with --render";
  }
  return error.empty();
}

}  // namespace

bool parseCommandLine(int argc, const char* const* argv, Options& options, std::string& error) {
  CLI::App app;
  app.set_help_flag();  // help and version are the program's own, printed by main
  app.allow_extras();
  std::string size;
  app.add_flag("-h,--help", options.help);
  app.add_flag("--version", options.version);
  app.add_option("--record", options.recordPath);
  app.add_flag("--force", options.force);
  app.add_option("--replay", options.replayPath);
  app.add_option("--render", options.renderDir);
  app.add_option("--size", size);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    error = e.what();
    return false;
  }
  for (const char* name : {"--record", "--replay", "--render"}) {
    if (app.count(name) > 0 && app[name]->as<std::string>().empty()) {
      error = std::string(name) + " needs a name";
      return false;
    }
  }
  options.glutArgs = {argc > 0 ? argv[0] : "vellumry"};
  const std::vector<std::string> rest = app.remaining();
  for (std::size_t i = 0; i < rest.size(); ++i) {
    if (rest[i].rfind("--", 0) == 0) {
      error = "unrecognised option '" + rest[i] + "'";
      return false;
    }
    options.glutArgs.push_back(rest[i]);
    if (takesValue(rest[i]) && i + 1 < rest.size()) {
      options.glutArgs.push_back(rest[++i]);
    }
  }
  if (options.help || options.version) {
    return true;
  }
  if (!size.empty() && !parseSize(size, options, error)) {
    return false;
  }
  return checkCombinations(options, !size.empty(), error);
}

const char* usageText() { return kUsage; }

}  // namespace vellumry
