#pragma once

#include <string>
#include <vector>

namespace vellumry {

/// What the command line asks for. GLUT's own options are kept, in order, for glutInit.
struct Options {
  bool help = false;
  bool version = false;
  std::string recordPath;  ///< --record FILE
  bool force = false;      ///< --record may overwrite FILE
  std::string replayPath;  ///< --replay FILE
  std::string renderDir;   ///< --render DIR: no window, every frame to a PNG file
  int width = 500;         ///< --size WxH, with --render
  int height = 500;
  std::vector<std::string> glutArgs;  ///< the program's name, then what GLUT reads
};

/// Reads the command line; on a fault returns false with a one-line description in error.
bool parseCommandLine(int argc, const char* const* argv, Options& options, std::string& error);
/// The text --help prints.
const char* usageText();

}  // namespace vellumry
