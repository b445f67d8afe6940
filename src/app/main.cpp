#include <GL/freeglut.h>
#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <thread>
#include <vector>

#include "app/cloth_look.h"
#include "app/command_line.h"
#include "app/controls.h"
#include "app/headless.h"
#include "app/panel.h"
#include "app/session_run.h"
#include "app/solids.h"
#include "app/step_ahead.h"
#include "app/viewer.h"
#include "scene/scene_file.h"

namespace {

constexpr int kStatusUsage = 2;

int runWindow(vellumry::Options& options) {
  using namespace vellumry;
  // The software renderer grows and frees a buffer of about a megabyte every frame. Left to its
  // defaults, the allocator hands that memory back to the kernel each time, and every frame
  // page-faults and zeroes it again: about half a tick's work. Keep freed memory in the heap.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
  std::vector<char*> args;
  for (std::string& arg : options.glutArgs) {
    args.push_back(arg.data());
  }
  int argc = static_cast<int>(args.size());
  args.push_back(nullptr);
  glutInitWindowSize(windowWidth, windowHeight);
  glutInit(&argc, args.data());
  glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
  glutCreateWindow("Vellumry");
  glutDisplayFunc(display);
  glutTimerFunc(kTickMillis, tick, 0);  // not fired before the main loop runs
  initScene();
  installKeys();
  glutReshapeFunc(reshape);
  installPanel();
  if (sessionActive()) {
    // The session's last record and verdict come after the loop, however it ends.
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_GLUTMAINLOOP_RETURNS);
  }
  printHelp();
  beginStepAhead();
  glutMainLoop();
  endStepAhead();
  return finishSession();
}

// With a session to replay, its scene; nothing is recorded or drawn.
int printSceneInForce(const std::string& replayPath) {
  using namespace vellumry;
  if (const int status = replayPath.empty() ? 0 : openReplay(replayPath); status != 0) {
    return status;
  }
  if (std::fputs(formatScene(scene).c_str(), stdout) < 0 || std::fflush(stdout) != 0) {
    std::perror("vellumry: writing the scene failed");
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace vellumry;
  Options options;
  std::string error;
  if (!parseCommandLine(argc, argv, options, error)) {
    std::fprintf(stderr, "vellumry: %s; try 'vellumry --help'\n", error.c_str());
    return kStatusUsage;
  }
  if (options.help) {
    std::fputs(usageText(), stdout);
    return 0;
  }
  if (options.version) {
    std::printf("vellumry %s\n", VELLUMRY_VERSION);
    return 0;
  }
  if (!commandLineScene(options.scenePath, options.settings, scene, error)) {
    std::fprintf(stderr, "vellumry: %s\n", error.c_str());
    return kStatusUsage;
  }
  if (const int status = loadSceneSolid(); status != 0) {
    return status;
  }
  if (const int status = loadSceneTexture(); status != 0) {
    return status;
  }
  if (options.printScene) {
    return printSceneInForce(options.replayPath);
  }
  if (const int status = checkHeadlessOutputs(options); status != 0) {
    return status;
  }
  const int cores = static_cast<int>(std::thread::hardware_concurrency());
  cloth.setThreads(options.threads > 0 ? options.threads : std::max(cores, 1));
  if (const int status = startSession(options); status != 0) {
    return status;
  }
  if (!options.renderOut.empty() || !options.exportPath.empty()) {
    return runHeadless(options);
  }
  return runWindow(options);
}
