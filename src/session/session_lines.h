#pragma once

// The session file's lines, word by word: shared by the reader and writer of every record kind.
// Not for use outside src/session.

#include <array>
#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "session/session_file.h"

namespace vellumry {

inline constexpr int kChecksumDigits = 16;
inline constexpr int kMaxFields = 6;  ///< tick, word, and at most four fields after them
inline constexpr std::string_view kMeshWord = "mesh";  ///< TICK mesh [DIGEST] PATH | none
inline constexpr std::string_view kNoMeshWord = "none";

/// Writes one line into a record's buffer, words separated by single spaces.
class LineWriter {
 public:
  explicit LineWriter(char (&line)[kMaxRecordLength]) : begin_(line), next_(line) {}

  template <typename T>
  void number(T value, int base = 10) {
    separate();
    next_ = std::to_chars(next_, end(), value, base).ptr;
  }
  void number(double value) {
    separate();
    next_ = std::to_chars(next_, end(), value).ptr;  // shortest text that reads back exactly
  }
  void word(std::string_view text) {
    separate();
    for (const char c : text) {
      *next_++ = c;
    }
  }
  void checksum(std::uint64_t value) {
    separate();
    char digits[kChecksumDigits];
    for (int i = kChecksumDigits - 1; i >= 0; --i) {
      digits[i] = "0123456789abcdef"[value & 0xfU];
      value >>= 4U;
    }
    for (const char c : digits) {
      *next_++ = c;
    }
  }
  int finish() {
    *next_++ = '\n';
    return static_cast<int>(next_ - begin_);
  }

 private:
  char* end() { return begin_ + kMaxRecordLength - 1; }  // room for the newline
  void separate() {
    if (next_ != begin_) {
      *next_++ = ' ';
    }
  }

  char* begin_;
  char* next_;
};

/// Splits one line into its fields, and reads numbers from them; a fault names the line.
class LineParser {
 public:
  LineParser(std::string_view line, int lineNumber, ParseError& error)
      : lineNumber_(lineNumber), error_(error) {
    std::size_t i = 0;
    while (i < line.size() && fieldCount_ <= kMaxFields) {
      while (i < line.size() && isSpace(line[i])) {
        ++i;
      }
      const std::size_t start = i;
      while (i < line.size() && !isSpace(line[i])) {
        ++i;
      }
      if (i > start && fieldCount_ < kMaxFields) {
        fields_[fieldCount_] = line.substr(start, i - start);
      }
      fieldCount_ += i > start ? 1 : 0;
    }
  }

  [[nodiscard]] int fieldCount() const { return fieldCount_; }
  [[nodiscard]] std::string_view field(int i) const { return fields_[i]; }

  bool fail(std::string message) {
    error_.line = lineNumber_;
    error_.message = std::move(message);
    return false;
  }

  template <typename T>
  std::optional<T> integer(int i, int base = 10) {
    const std::string_view text = fields_[i];
    T value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc() || end != text.data() + text.size()) {
      fail("bad number '" + std::string(text) + "'");
      return std::nullopt;
    }
    return value;
  }

  std::optional<double> coordinate(int i) {
    const std::string_view text = fields_[i];
    double value = 0.0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) {
      fail("bad number '" + std::string(text) + "'");
      return std::nullopt;
    }
    return value;
  }

 private:
  static bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r'; }

  std::array<std::string_view, kMaxFields> fields_{};
  int fieldCount_ = 0;
  int lineNumber_;
  ParseError& error_;
};

/// A path as one field: '%', space, tab and control bytes as %XX.
[[nodiscard]] std::string pathText(const std::string& path);
/// "scene cloth.texture PATH": the path as written (relative to the session's folder, or absolute).
bool parseTexturePath(LineParser& p, Scene& scene);
/// "DIGEST PATH": the digest in 16 hexadecimal digits, the path as one field.
[[nodiscard]] std::string meshRefText(const MeshRef& mesh);
/// [DIGEST] PATH at field `first`, the last of the line; a path alone, written by hand, has no
/// digest to check (0).
bool parseMeshRef(LineParser& p, int first, MeshRef& mesh);

}  // namespace vellumry
