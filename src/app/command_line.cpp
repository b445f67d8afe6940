#include "app/command_line.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>

namespace vellumry {

namespace {

constexpr int kMinSize = 16;  // pixels per side of a rendered frame
constexpr int kMaxSize = 8192;
constexpr int kMaxThreads = 64;

constexpr char kUsage[] =
    "Usage: vellumry [OPTION]... [GLUT OPTION]...\n"
    "A cloth of point masses and springs hangs from two mount points and swings in a window.\n"
    "\n"
    "Options:\n"
    "  -h, --help         print this help and exit\n"
    "      --version      print the version and exit\n"
    "      --record FILE  record the session to FILE (an existing FILE only with --force)\n"
    "      --replay FILE  play a recorded session back in the window, checking its checksums\n"
    "      --render OUT   with --replay: no window; every frame, one per tick, to OUT: a\n"
    "                     directory (OUT/frame-NNNNNN.png), OUT.mp4 (H.264), OUT.webm (VP9)\n"
    "                     or OUT.webp (an animated picture)\n"
    "      --size WxH     with --render: the frames' size in pixels (default 500x500)\n"
    "      --antialias    with --render: smooth edges, by drawing each frame twice as wide\n"
    "                     and high and averaging every 2 by 2 pixels (supersampling); the\n"
    "                     default, for frames of at most 2048 pixels a side, unless the\n"
    "                     session starts from the default scene\n"
    "      --no-antialias with --render: frames drawn as the window draws them\n"
    "      --export OUT.obj  with --replay: the cloth as a mesh (OUT.obj) and its motion as a\n"
    "                     point cache (OUT.pc2), one frame per tick\n"
    "      --quiet        no progress report while rendering or exporting\n"
    "      --force        let --record, --render and --export replace an existing file\n"
    "      --scene FILE   read the scene from FILE (TOML: tables [cloth], [world], [time],\n"
    "                     [wind], [ball], [floor], [tear], [collision], [mesh], [view])\n"
    "      --set KEY=VALUE  set one scene parameter, e.g. --set cloth.stiffness=400,\n"
    "                     --set world.gravity=0,-2,0 or --set ball.enabled=true; later\n"
    "                     options win\n"
    "      --grid N       particles per side, 2 to 256: short for --set cloth.grid=N\n"
    "      --print-scene  print the scene in force as a scene file and exit\n"
    "      --threads N    simulate on N threads (default: one per core); the result is the\n"
    "                     same on any number\n"
    "GLUT options, passed on: -display DISPLAY, -geometry WxH+X+Y, -iconic, -direct,\n"
    "  -indirect, -gldebug, -sync\n"
    "\n"
    "Mouse:\n"
    "  right click        open the menu, then click an entry to choose it\n"
    "  left drag          the menu's drag control: Rotate spins the view, EndpointDist moves\n"
    "                     the mount points apart or together, Flap moves both; the farther\n"
    "                     from the press point, the faster, until the button is released\n"
    "  Shift + left drag  grab the particle nearest the pointer and pull it; started on the\n"
    "                     ball, move the ball across the plane facing you\n"
    "  Ctrl + left click  pin the particle nearest the pointer, or free it if pinned\n"
    "  Alt + left drag    cut the springs the pointer crosses (Redrop mends them)\n"
    "  middle drag        orbit the camera round its target; with Shift, pan the target\n"
    "                     across the view\n"
    "  wheel              zoom: the camera nearer to or farther from its target\n"
    "Keys:\n"
    "  r, e, f            drag control Rotate, EndpointDist, Flap\n"
    "  d                  drop the cloth again (Redrop)\n"
    "  w                  lit surface or wireframe (DrawMode)\n"
    "  F11, Esc           full screen (Fullscreen), and back to the window\n"
    "  space              pause or resume; s steps one tick while paused\n"
    "  Tab                show or hide the panel: every scene parameter, the mesh file, the\n"
    "                     drag control, draw style, pause, step and Redrop, and plots of the\n"
    "                     cloth's energy\n"
    "  F12                save the window's frame as vellumry-DATE-TIME.png here\n"
    "  arrows             orbit the camera round its target; Shift + arrows pan it\n"
    "  +, -               zoom in, out (also Page Up, Page Down)\n"
    "  Home               back to the scene's own view\n"
    "  q                  quit\n"
    "\n"
    "Scene keys (--set KEY=VALUE, --print-scene shows them all with their ranges):\n"
    "  cloth.grid cloth.width cloth.mass cloth.stiffness cloth.shear cloth.bend\n"
    "  cloth.drag cloth.pins world.gravity time.step time.steps_per_tick\n"
    "  wind.velocity wind.gust wind.seed ball.enabled ball.centre ball.radius\n"
    "  ball.friction floor.enabled floor.height floor.friction tear.ratio\n"
    "  collision.thickness collision.self mesh.file mesh.position mesh.scale\n"
    "  mesh.friction view.azimuth view.elevation view.distance view.target view.fov\n"
    "  cloth.colour cloth.back_colour cloth.texture\n"
    "  cloth.pins=C,R;C,R;...  the particles pinned when the cloth is built, by column and\n"
    "                     row, e.g. \"cloth.pins=0,0;0,14;14,0;14,14\"; cloth.pins= pins\n"
    "                     none, cloth.pins=mounts the two mount points (the default)\n"
    "  ball.enabled, floor.enabled, collision.self  true or false (or 1, 0)\n"
    "  collision.thickness=D  kept between the cloth's layers (with collision.self) and\n"
    "                     from the ball, floor and solid, surface and all; 0 with self or a\n"
    "                     solid: a fifth of the rest spacing; the layers keep at most a\n"
    "                     third of it\n"
    "  mesh.file=PATH     a solid for the cloth to meet, read from a mesh file: OBJ, STL,\n"
    "                     PLY, glTF, GLB or another format Assimp reads, at most 200000\n"
    "                     triangles; relative to the working directory (in a scene file, to\n"
    "                     the file's folder); mesh.file= none\n"
    "  view.azimuth=DEG, view.elevation=DEG, view.distance=D, view.target=X,Y,Z,\n"
    "  view.fov=DEG       the camera: turned about the vertical through its target (0: as\n"
    "                     the window opens), raised above it (kept within 89 degrees),\n"
    "                     D from it, with this field of view; every change in the window is\n"
    "                     recorded\n"
    "  cloth.colour=R,G,B, cloth.back_colour=R,G,B  each from 0 to 1: the side seen at the\n"
    "                     start and the other\n"
    "  cloth.texture=PATH a PNG picture of at most 4096 by 4096 pixels printed on both sides\n"
    "                     (times their colours: 1,1,1 shows it as drawn), its left edge on\n"
    "                     column 0; relative as mesh.file is; cloth.texture= none\n"
    "\n"
    "Exit status: 0 done; 1 no display, or a file could not be written; 2 a bad option,\n"
    "scene, session file or output; 3 a replayed session that differs from its recording.\n";

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
  const bool output = !o.renderOut.empty() || !o.exportPath.empty();
  if (o.force && o.recordPath.empty() && !output) {
    error = "--force only goes with --record, --render or --export";
  } else if (!o.renderOut.empty() && o.replayPath.empty()) {
    error = "--render only goes with --replay";
  } else if (!o.exportPath.empty() && o.replayPath.empty()) {
    error = "--export only goes with --replay";
  } else if (sizeGiven && o.renderOut.empty()) {
    error = "--size only goes with --render";
  } else if (o.antialias >= 0 && o.renderOut.empty()) {
    error = "--antialias and --no-antialias only go with --render";
  } else if (o.antialias == 1 && std::max(o.width, o.height) > kMaxSupersampledSide) {
    error = "--antialias: frames of at most " + std::to_string(kMaxSupersampledSide) +
            " pixels a side are antialiased";
  } else if (o.quiet && !output) {
    error = "--quiet only goes with --render or --export";
  } else if (!o.replayPath.empty() && (!o.scenePath.empty() || !o.settings.empty())) {
    error = "--scene, --set and --grid do not go with --replay: the session holds its own scene";
  }
  return error.empty();
}

// --set and --grid in the order given, so that a later one wins.
void collectSettings(const CLI::App& app, const std::vector<std::string>& sets,
                     const std::vector<std::string>& grids, Options& options) {
  std::size_t nextSet = 0;
  std::size_t nextGrid = 0;
  for (const CLI::Option* option : app.parse_order()) {
    if (option->get_name() == "--set" && nextSet < sets.size()) {
      options.settings.push_back(sets[nextSet++]);
    } else if (option->get_name() == "--grid" && nextGrid < grids.size()) {
      options.settings.push_back("cloth.grid=" + grids[nextGrid++]);
    }
  }
}

}  // namespace

bool parseCommandLine(int argc, const char* const* argv, Options& options, std::string& error) {
  CLI::App app;
  app.set_help_flag();  // help and version are the program's own, printed by main
  app.allow_extras();
  std::string size;
  std::vector<std::string> sets;
  std::vector<std::string> grids;
  app.add_flag("-h,--help", options.help);
  app.add_flag("--version", options.version);
  app.add_option("--record", options.recordPath);
  app.add_flag("--force", options.force);
  app.add_option("--replay", options.replayPath);
  app.add_option("--render", options.renderOut);
  app.add_option("--export", options.exportPath);
  app.add_option("--size", size);
  app.add_flag("--quiet", options.quiet);
  bool smooth = false;
  bool jagged = false;
  app.add_flag("--antialias", smooth);
  app.add_flag("--no-antialias", jagged)->excludes("--antialias");
  app.add_option("--scene", options.scenePath);
  app.add_option("--set", sets)->allow_extra_args(false);
  app.add_option("--grid", grids)->allow_extra_args(false);
  app.add_flag("--print-scene", options.printScene);
  app.add_option("--threads", options.threads)->check(CLI::Range(1, kMaxThreads));
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    error = e.what();
    return false;
  }
  for (const char* name : {"--record", "--replay", "--render", "--export", "--scene"}) {
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
  collectSettings(app, sets, grids, options);
  options.antialias = smooth ? 1 : jagged ? 0 : -1;
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
