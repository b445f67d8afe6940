#pragma once

#include <string>
#include <vector>

namespace vellumry {

/// What the command line asks for. GLUT's own options are kept, in order, for glutInit.
struct Options {
  bool help = false;
  bool version = false;
  std::string recordPath;  ///< --record FILE
  bool force = false;      ///< --record, --render and --export may overwrite what exists
  std::string replayPath;  ///< --replay FILE
  std::string renderOut;   ///< --render OUT: no window; a directory of PNG files, or a video
  std::string exportPath;  ///< --export OUT.obj: the cloth as a mesh and its motion
  int width = 500;         ///< --size WxH, with --render
  int height = 500;
  bool quiet = false;  ///< --quiet: no progress on a long job
  /// --antialias 1, --no-antialias 0; -1: antialiased unless the session starts from the
  /// default scene
  int antialias = -1;
  std::string scenePath;  ///< --scene FILE
  /// --set KEY=VALUE and --grid N (as cloth.grid=N), in command-line order: later ones win.
  std::vector<std::string> settings;
  bool printScene = false;            ///< --print-scene
  int threads = 0;                    ///< --threads N; 0: one per core
  std::vector<std::string> glutArgs;  ///< the program's name, then what GLUT reads
};

/// Each side of a rendered frame is drawn this many times larger and shrunk: supersampling.
inline constexpr int kSupersample = 2;
/// Largest side of a frame that is supersampled, in pixels.
inline constexpr int kMaxSupersampledSide = 2048;

/// Reads the command line; on a fault returns false with a one-line description in error.
bool parseCommandLine(int argc, const char* const* argv, Options& options, std::string& error);
/// The text --help prints.
const char* usageText();

}  // namespace vellumry
