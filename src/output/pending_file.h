#pragma once

#include <string>

namespace vellumry {

/// A file written under a temporary name in the directory of its final name and renamed into
/// place once complete, so that the final name never shows a half-written file.
struct PendingFile {
  std::string path;  ///< the final name
  std::string temp;  ///< where it is written meanwhile; empty once committed or discarded
};

/// Whether path may be written: it does not exist, or replace is set and it is a regular file
/// (never a directory or a device, which a rename would put aside).
/// On a refusal sets error, and exists when it is there already.
bool mayWrite(const std::string& path, bool replace, bool& exists, std::string& error);
/// Creates an empty temporary file beside path.
bool createPending(const std::string& path, PendingFile& file, std::string& error);
/// Renames the temporary file to its final name: over an existing file only when replace is set.
bool commitPending(PendingFile& file, bool replace, std::string& error);
/// Removes the temporary file, if any.
void discardPending(PendingFile& file);
/// From now on an interruption (SIGINT, SIGTERM, SIGHUP) removes the temporary files in being
/// before the program ends as the signal would end it.
void removePendingOnSignal();

}  // namespace vellumry
