// One frame of the cloth drawn at 500 by 500 by Mesa's software renderer with no display (EGL on
// its surfaceless platform), immediate mode against client arrays, shaded and wireframe, for
// grids of 15 to 256 per side; glFinish ends each frame, so the time includes the rasterisation.
// Beside them the normals of one frame: computeNormals against computeArrayNormals. Then, at
// n = 64 over the floor and seen from above it, a whole frame as display draws it, with and
// without the flag picture; the shadows alone; a clear alone; and a tick's simulation.
//
// Usage: draw_bench [Google Benchmark options]   (LP_NUM_THREADS sets the renderer's threads)

#include <GL/gl.h>
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdio>
#include <string>

#include "app/cloth_look.h"
#include "app/headless.h"
#include "app/shadow_draw.h"
#include "app/viewer.h"
#include "scene/scene.h"

namespace vellumry {
namespace {

constexpr int kSize = 500;
constexpr int kPoseTicks = 40;

// The scene's cloth for this grid, hanging and swinging after kPoseTicks ticks, seen as the
// program first shows it.
void pose(int n) {
  if (cloth.gridSize == n) {
    return;
  }
  scene = Scene();
  scene.grid = n;
  substeps = substepsFor(scene);
  dropCloth();
  for (int t = 0; t < kPoseTicks; ++t) {
    runTick(false);
  }
}

enum class Way { kImmediate, kArrays };

void drawFrame(benchmark::State& state, int n, GLenum mode, Way way) {
  pose(n);
  for (auto _ : state) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glPushMatrix();
    applyModelTransform();
    if (mode == GL_SMOOTH) {
      way == Way::kArrays ? cloth.drawShadedArrays() : cloth.drawShaded();
    } else {
      way == Way::kArrays ? cloth.drawWireframeArrays() : cloth.drawWireframe();
    }
    glPopMatrix();
    glFinish();
  }
}

// The floor under the hanging cloth's lowest row, seen from above it; the picture or none.
void poseOnFloor(int n, bool textured) {
  scene = Scene();
  scene.grid = n;
  scene.world.floor = {true, -2.9, 0.5};
  scene.view.elevation = 25.0;
  scene.view.target = Vec3(0.0, 0.5, 0.0);
  scene.look.colour = Vec3(1.0, 1.0, 1.0);
  setMeshPath(scene.look.texture, textured ? VELLUMRY_FLAG_PICTURE : "");
  substeps = substepsFor(scene);
  dropCloth();
  for (int t = 0; t < kPoseTicks; ++t) {
    runTick(false);
  }
}

void noPresent() {}

enum class Part { kFrame, kShadows, kClear, kTick };

void worldFrame(benchmark::State& state, Part part, bool textured) {
  poseOnFloor(64, textured);
  presenter.present = noPresent;
  for (auto _ : state) {
    if (part == Part::kTick) {
      runTick(false);
      continue;
    }
    if (part == Part::kFrame) {
      display();
    } else {
      glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }
    if (part == Part::kShadows) {
      glPushMatrix();
      applyModelTransform();
      drawShadows(scene, cloth, {}, {}, GL_SMOOTH);
      glPopMatrix();
    }
    glFinish();
  }
}

void normals(benchmark::State& state, int n, Way way) {
  pose(n);
  for (auto _ : state) {
    way == Way::kArrays ? cloth.computeArrayNormals() : cloth.computeNormals();
    benchmark::DoNotOptimize(cloth.normals.data());
    benchmark::ClobberMemory();
  }
}

}  // namespace
}  // namespace vellumry

int main(int argc, char** argv) {
  using namespace vellumry;
  // As the program does: the renderer's per-frame buffers stay in the heap.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
  HeadlessContext context;
  std::string error;
  if (!context.open(kSize, kSize, error)) {
    std::fprintf(stderr, "draw_bench: %s\n", error.c_str());
    return 1;
  }
  if (!loadTexture(VELLUMRY_FLAG_PICTURE, error)) {
    std::fprintf(stderr, "draw_bench: %s\n", error.c_str());
    return 1;
  }
  initGlState();
  reshape(kSize, kSize);
  // Grouped by grid, so each cloth is posed once.
  for (const int n : {15, 32, 64, 128, 256}) {
    const std::string size = "/" + std::to_string(n);
    const auto frame = [n, &size](const std::string& name, GLenum mode, Way way) {
      benchmark::RegisterBenchmark((name + size).c_str(),
                                   [=](benchmark::State& s) { drawFrame(s, n, mode, way); })
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime()
          ->MeasureProcessCPUTime();
    };
    frame("BM_ShadedImmediate", GL_SMOOTH, Way::kImmediate);
    frame("BM_ShadedArrays", GL_SMOOTH, Way::kArrays);
    frame("BM_WireframeImmediate", GL_FLAT, Way::kImmediate);
    frame("BM_WireframeArrays", GL_FLAT, Way::kArrays);
    benchmark::RegisterBenchmark(("BM_ComputeNormals" + size).c_str(), [n](benchmark::State& s) {
      normals(s, n, Way::kImmediate);
    })->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("BM_ComputeArrayNormals" + size).c_str(),
                                 [n](benchmark::State& s) { normals(s, n, Way::kArrays); })
        ->Unit(benchmark::kMicrosecond);
  }
  const auto world = [](const char* name, Part part, bool textured) {
    benchmark::RegisterBenchmark(name, [=](benchmark::State& s) { worldFrame(s, part, textured); })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->MeasureProcessCPUTime();
  };
  world("BM_FloorFrame/64", Part::kFrame, false);
  world("BM_FloorFrameTextured/64", Part::kFrame, true);
  world("BM_ClearOnly/64", Part::kClear, false);
  world("BM_ClearAndShadows/64", Part::kShadows, false);
  world("BM_FloorTick/64", Part::kTick, false);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
