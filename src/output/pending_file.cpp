#include "output/pending_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <utility>

namespace vellumry {

namespace {

constexpr int kTempAttempts = 100;
constexpr std::size_t kWatched = 64;  // temporary files an interruption removes
constexpr std::size_t kWatchedName = 4096;

// The temporary files in being, for a signal handler: plain characters and atomic flags only.
std::array<std::array<char, kWatchedName>, kWatched> watchedNames;
std::array<volatile std::sig_atomic_t, kWatched> watchedInUse;

void watch(const std::string& temp) {
  for (std::size_t i = 0; i < kWatched; ++i) {
    if (watchedInUse[i] == 0 && temp.size() < kWatchedName) {
      std::memcpy(watchedNames[i].data(), temp.c_str(), temp.size() + 1);
      watchedInUse[i] = 1;
      return;
    }
  }
}

void unwatch(const std::string& temp) {
  for (std::size_t i = 0; i < kWatched; ++i) {
    if (watchedInUse[i] != 0 && temp == watchedNames[i].data()) {
      watchedInUse[i] = 0;
    }
  }
}

void removeWatched(int signal) {
  for (std::size_t i = 0; i < kWatched; ++i) {
    if (watchedInUse[i] != 0) {
      unlink(watchedNames[i].data());
    }
  }
  std::signal(signal, SIG_DFL);
  std::raise(signal);  // ends the program as the signal would have
}

// "dir/.name.part-" for "dir/name": hidden, in the same directory, so the rename stays within
// one file system.
std::string tempStem(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
  return path.substr(0, base) + "." + path.substr(base) + ".part-";
}

}  // namespace

bool mayWrite(const std::string& path, bool replace, bool& exists, std::string& error) {
  struct stat info {};
  exists = stat(path.c_str(), &info) == 0;
  if (exists && !S_ISREG(info.st_mode)) {
    error = S_ISDIR(info.st_mode) ? "it is a directory" : "it is not a regular file";
  } else if (exists && !replace) {
    error = "it exists (--force overwrites it)";
  } else {
    return true;
  }
  return false;
}

bool createPending(const std::string& path, PendingFile& file, std::string& error) {
  const std::string stem = tempStem(path);
  for (int i = 0; i < kTempAttempts; ++i) {
    std::string temp = stem + std::to_string(getpid()) + "-" + std::to_string(i);
    // Mode 0666 less the umask, as the file would get if written directly.
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      close(fd);
      watch(temp);
      file = {path, std::move(temp)};
      return true;
    }
    if (errno != EEXIST) {
      break;
    }
  }
  error = std::strerror(errno);
  return false;
}

bool commitPending(PendingFile& file, bool replace, std::string& error) {
  unwatch(file.temp);
  int status = 0;
  if (replace) {
    status = std::rename(file.temp.c_str(), file.path.c_str());
  } else {
    status = renameat2(AT_FDCWD, file.temp.c_str(), AT_FDCWD, file.path.c_str(), RENAME_NOREPLACE);
    if (status != 0 && errno == EINVAL) {  // a file system that cannot refuse: check first
      struct stat info {};
      status = stat(file.path.c_str(), &info) == 0
                   ? (errno = EEXIST, -1)
                   : std::rename(file.temp.c_str(), file.path.c_str());
    }
  }
  if (status != 0) {
    error = errno == EEXIST ? "it exists (--force overwrites it)" : std::strerror(errno);
    discardPending(file);
    return false;
  }
  file.temp.clear();
  return true;
}

void discardPending(PendingFile& file) {
  if (!file.temp.empty()) {
    unwatch(file.temp);
    unlink(file.temp.c_str());
    file.temp.clear();
  }
}

void removePendingOnSignal() {
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    std::signal(signal, removeWatched);
  }
}

}  // namespace vellumry
