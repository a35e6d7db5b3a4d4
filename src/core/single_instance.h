#pragma once
// One window per user and home folder. A second start with the same home
// folder hands its file to the window already running, over a local socket
// in the user's private temporary folder. This is the part without Qt: the
// key that names the socket, the check that the folder holding it is the
// user's own, and the request a second start sends.
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vm {

// "vellumark-" and 16 hex digits of a hash of the user id and the canonical
// home folder: two starts with different home folders (tests, portable
// copies) never meet; the same folder reached through a link does.
std::string instanceKey(unsigned long uid, const std::filesystem::path& home);

// Where the socket of that key lives: key + ".sock" in folder. Empty when
// the folder is not a directory owned by uid that only its owner can
// enter, or when the path is too long for a local socket's address.
std::filesystem::path instanceSocketPath(const std::filesystem::path& folder, const std::string& key,
                                         unsigned long uid);

// A request is "open <byte count>\n" and the file's path, byte for byte (any
// bytes, line breaks too). An empty path asks the window only to come to
// the front.
std::string encodeOpenRequest(const std::string& path);

// The running window's one-line answer once it has taken a request.
inline constexpr std::string_view kOpenRequestTaken = "ok\n";

// Collects requests from bytes that arrive in pieces. Anything that is not a
// request (an unknown word, a count that is no number or longer than a path
// may be) breaks the reader for good: the connection should be dropped.
class OpenRequestReader {
 public:
  void feed(std::string_view bytes);
  // The path of the next complete request, in order; none while incomplete.
  std::optional<std::string> next();
  bool broken() const { return broken_; }

 private:
  std::string buffer_;
  std::size_t pos_ = 0;
  bool broken_ = false;
};

}  // namespace vm
