#include "world/isolated_call.h"

#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace vellumry {

namespace {

// Address space past what is mapped now (under a sanitizer that is terabytes of shadow) fails to
// allocate: the work then fails, instead of filling the machine's memory.
void limitMemory() {
  std::FILE* statm = std::fopen("/proc/self/statm", "r");
  unsigned long long pages = 0;
  const bool known = statm != nullptr && std::fscanf(statm, "%llu", &pages) == 1;
  if (statm != nullptr) {
    std::fclose(statm);
  }
  if (known) {
    const auto bytes = static_cast<rlim_t>(
        pages * static_cast<unsigned long long>(sysconf(_SC_PAGESIZE)) + kIsolatedMemory);
    const rlimit limit{bytes, bytes};
    setrlimit(RLIMIT_AS, &limit);
  }
}

[[noreturn]] void runChild(std::string (*work)(const void*), const void* context, int fd) {
  // The parent's handlers (removing its temporary files, a sanitizer's or a fuzzer's report)
  // are not the child's business: a crash there only ends the child.
  for (const int signal :
       {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGSEGV, SIGBUS, SIGABRT, SIGFPE, SIGILL}) {
    std::signal(signal, SIG_DFL);
  }
  limitMemory();
  int status = 1;
  try {
    const std::string bytes = work(context);
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) {
        continue;
      }
      if (n <= 0) {
        break;
      }
      done += static_cast<std::size_t>(n);
    }
    status = done == bytes.size() ? 0 : 1;
  } catch (...) {
    status = 1;
  }
  _exit(status);
}

// Reads the child's bytes until it closes its end or the deadline passes; false on the deadline.
bool readUntil(int fd, std::chrono::steady_clock::time_point deadline, std::string& out) {
  char buffer[1 << 16];
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      return false;
    }
    pollfd p{fd, POLLIN, 0};
    const int ready = poll(&p, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) {
      continue;
    }
    if (ready <= 0) {
      return ready < 0;  // a poll that fails ends the reading; the child's status tells
    }
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return true;
    }
    out.append(buffer, static_cast<std::size_t>(n));
  }
}

}  // namespace

Isolated callIsolated(std::string (*work)(const void* context), const void* context, double seconds,
                      std::string& out, std::string& why) {
  out.clear();
  int fds[2];
  if (pipe(fds) != 0) {
    why = std::string("no pipe: ") + std::strerror(errno);
    return Isolated::kFailed;
  }
  const pid_t child = fork();
  if (child < 0) {
    why = std::string("no child process: ") + std::strerror(errno);
    close(fds[0]);
    close(fds[1]);
    return Isolated::kFailed;
  }
  if (child == 0) {
    close(fds[0]);
    runChild(work, context, fds[1]);
  }
  close(fds[1]);
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                            std::chrono::duration<double>(seconds));
  const bool inTime = readUntil(fds[0], deadline, out);
  close(fds[0]);
  if (!inTime) {
    kill(child, SIGKILL);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (!inTime) {
    return Isolated::kTimedOut;
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
    return Isolated::kDone;
  }
  why = WIFSIGNALED(status) ? std::string("stopped by ") + strsignal(WTERMSIG(status))
                            : "ended with status " + std::to_string(WEXITSTATUS(status));
  return Isolated::kFailed;
}

}  // namespace vellumry
