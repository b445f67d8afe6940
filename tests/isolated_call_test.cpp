#include "world/isolated_call.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <string>

namespace vellumry {
namespace {

std::string echo(const void* context) { return *static_cast<const std::string*>(context); }

std::string crash(const void* /*context*/) {
  std::raise(SIGSEGV);
  return "not reached";
}

std::string hang(const void* /*context*/) {
  for (;;) {
    pause();
  }
}

// More than the child may take: it fails to allocate, and the program is unharmed.
std::string hog(const void* /*context*/) { return std::string(kIsolatedMemory + (1U << 30), 'x'); }

// What the child returns comes back whole, past a pipe's buffer; a crash, a hang and a runaway
// allocation there end the child alone, each told apart.
TEST(IsolatedCallTest, TheChildsBytesComeBackAndItsFaultsStayThere) {
  struct Case {
    std::string (*work)(const void*);
    double seconds;
    Isolated ending;
    std::string why;  // part of it
  };
  const std::string bytes = std::string(1 << 20, 'a') + std::string("\0b", 2);
  const Case cases[] = {
      {echo, 60.0, Isolated::kDone, ""},
      {crash, 60.0, Isolated::kFailed, "stopped by Segmentation fault"},
      {hang, 0.2, Isolated::kTimedOut, ""},
      {hog, 60.0, Isolated::kFailed, ""},
  };
  for (const Case& c : cases) {
    std::string out = "old";
    std::string why;
    EXPECT_EQ(callIsolated(c.work, &bytes, c.seconds, out, why), c.ending) << why;
    EXPECT_NE(why.find(c.why), std::string::npos) << why;
    EXPECT_EQ(out == bytes, c.ending == Isolated::kDone) << out.size() << " bytes came back";
  }
}

}  // namespace
}  // namespace vellumry
