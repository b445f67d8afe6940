#include "app/panel_solid.h"

#include <imgui.h>

#include <cstdio>
#include <filesystem>

#include "app/solids.h"

namespace vellumry {

namespace {

char fileBox[kMaxMeshPath + 1] = "";

void load(void (*send)(const Event&), char* refusal, std::size_t refusalSize) {
  std::string error;
  const int index = loadSolid(fileBox, error);
  if (index < 0) {
    std::snprintf(refusal, refusalSize, "%s", error.c_str());
    return;
  }
  refusal[0] = '\0';
  send(meshEvent(index));
}

}  // namespace

void solidControls(void (*send)(const Event&), char* refusal, std::size_t refusalSize) {
  const bool entered =
      ImGui::InputText("mesh file", fileBox, sizeof fileBox, ImGuiInputTextFlags_EnterReturnsTrue);
  if (ImGui::IsItemHovered()) {
    ImGui::SetTooltip(
        "a solid for the cloth to meet: OBJ, STL, PLY, glTF,\nGLB or another format Assimp "
        "reads, at most\n%d triangles; relative to the working directory",
        kMaxSolidTriangles);
  }
  if (ImGui::Button("Load") || (entered && fileBox[0] != '\0')) {
    load(send, refusal, refusalSize);
  }
  const LoadedSolid* solid = loadedSolid(solidInForce());
  if (solid == nullptr) {
    ImGui::SameLine();
    ImGui::TextDisabled("no solid");
    return;
  }
  ImGui::SameLine();
  if (ImGui::Button("Remove")) {
    send(meshEvent(-1));
  }
  ImGui::SameLine();
  ImGui::Text("%s, %zu triangles", std::filesystem::path(solid->path).filename().c_str(),
              solid->mesh.triangles.size());
  if (ImGui::IsItemHovered()) {
    ImGui::SetTooltip("%s", solid->path.c_str());
  }
}

bool sendSceneSolid(const Scene& loaded, void (*send)(const Event&), std::string& why) {
  const std::string path(meshPath(loaded.meshFile));
  const int index = path.empty() ? -1 : loadSolid(path, why);
  if (!path.empty() && index < 0) {
    return false;
  }
  if (index != solidInForce()) {
    send(meshEvent(index));
  }
  return true;
}

}  // namespace vellumry
