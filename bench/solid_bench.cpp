// Solids of 1,000 to 200,000 triangles (a bumpy sheet on a grid): reading an OBJ file of one
// (the child process, Assimp and the canonical form), the canonical form alone, and one frame of
// it drawn at 500 by 500 by Mesa's software renderer with no display, lit and wireframe.
//
// Usage: solid_bench [Google Benchmark options]

#include <GL/gl.h>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "app/headless.h"
#include "app/solid_draw.h"
#include "app/viewer.h"
#include "world/mesh_file.h"

namespace vellumry {
namespace {

// At most, and about, `triangles` triangles over a k by k grid of points, 3 units wide.
SolidMesh sheet(int triangles) {
  int k = 2;
  while (2 * k * k <= triangles) {
    ++k;
  }
  SolidMesh s;
  for (int j = 0; j < k; ++j) {
    for (int i = 0; i < k; ++i) {
      s.points.emplace_back(3.0 * i / (k - 1), -2.0 + 0.05 * ((i * 7 + j * 3) % 5),
                            3.0 * j / (k - 1));
    }
  }
  for (int j = 0; j + 1 < k; ++j) {
    for (int i = 0; i + 1 < k; ++i) {
      const int a = j * k + i;
      s.triangles.push_back({a, a + k, a + 1});
      s.triangles.push_back({a + 1, a + k, a + k + 1});
    }
  }
  return s;
}

void readFile(benchmark::State& state) {
  const SolidMesh s = sheet(static_cast<int>(state.range(0)));
  const std::string path = "/tmp/solid_bench-" + std::to_string(getpid()) + ".obj";
  std::FILE* file = std::fopen(path.c_str(), "w");
  for (const Vec3& p : s.points) {
    std::fprintf(file, "v %.17g %.17g %.17g\n", p.x, p.y, p.z);
  }
  for (const auto& t : s.triangles) {
    std::fprintf(file, "f %d %d %d\n", t[0] + 1, t[1] + 1, t[2] + 1);
  }
  std::fclose(file);
  SolidMesh read;
  std::string error;
  for (auto _ : state) {
    if (!readMeshFile(path, read, error)) {
      state.SkipWithError(error.c_str());
    }
  }
  std::remove(path.c_str());
}

void canonicalForm(benchmark::State& state) {
  const SolidMesh s = sheet(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    SolidMesh copy = s;  // the copy is a small part of the time
    canonicalise(copy);
    benchmark::DoNotOptimize(copy.triangles.data());
  }
}

void drawFrame(benchmark::State& state, GLenum mode) {
  const SolidMesh s = sheet(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glPushMatrix();
    applyModelTransform();
    drawSolid(s.points, s.triangles, mode);
    glPopMatrix();
    glFinish();
  }
}

}  // namespace
}  // namespace vellumry

int main(int argc, char** argv) {
  using namespace vellumry;
  HeadlessContext context;
  std::string error;
  if (!context.open(500, 500, error)) {
    std::fprintf(stderr, "solid_bench: %s\n", error.c_str());
    return 1;
  }
  initGlState();
  reshape(500, 500);
  const auto sizes = [](benchmark::internal::Benchmark* b) {
    b->Arg(1000)->Arg(10000)->Arg(100000)->Arg(200000)->Unit(benchmark::kMillisecond);
  };
  benchmark::RegisterBenchmark("BM_ReadMeshFile", readFile)->Apply(sizes)->UseRealTime();
  benchmark::RegisterBenchmark("BM_Canonicalise", canonicalForm)->Apply(sizes);
  benchmark::RegisterBenchmark("BM_DrawSolidLit",
                               [](benchmark::State& s) { drawFrame(s, GL_SMOOTH); })
      ->Apply(sizes)
      ->UseRealTime();
  benchmark::RegisterBenchmark("BM_DrawSolidWireframe",
                               [](benchmark::State& s) { drawFrame(s, GL_FLAT); })
      ->Apply(sizes)
      ->UseRealTime();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
