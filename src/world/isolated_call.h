#pragma once

#include <cstdint>
#include <string>

namespace vellumry {

/// How a call made in a child process ended.
enum class Isolated : std::uint8_t {
  kDone,      ///< it returned; out holds what it returned
  kFailed,    ///< it crashed, or no child could be made; why says how
  kTimedOut,  ///< it ran past its time and was killed
};

/// Most memory the child may take beyond what the program had mapped when it was made.
inline constexpr std::uint64_t kIsolatedMemory = std::uint64_t{2} << 30;

/// Runs work(context) in a child process, so that a crash, a hang or a runaway allocation in the
/// code it calls (a library reading a hostile file) cannot take the program with it, and hands
/// back the bytes it returned. The child shares nothing back but those bytes and ends without
/// running exit handlers.
Isolated callIsolated(std::string (*work)(const void* context), const void* context, double seconds,
                      std::string& out, std::string& why);

}  // namespace vellumry
