#include "core/single_instance.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <cstdint>
#include <cstdio>

#include "platform/limits.h"

namespace vm {

namespace {

constexpr std::string_view kOpenWord = "open ";
// "open " and at most four digits (a path is no longer than kPathMax) and "\n".
constexpr std::size_t kHeaderMax = 16;

std::uint64_t fnv1a(std::string_view bytes, std::uint64_t h = 14695981039346656037ull) {
  for (unsigned char c : bytes) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h;
}

}  // namespace

std::string instanceKey(unsigned long uid, const std::filesystem::path& home) {
  std::error_code ec;
  std::filesystem::path canonical = std::filesystem::weakly_canonical(home, ec);
  if (ec || canonical.empty()) canonical = std::filesystem::absolute(home, ec).lexically_normal();
  std::string text = canonical.string();
  // "/a/b/" and "/a/b" are the same folder.
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  std::uint64_t h = fnv1a(std::to_string(uid));
  h = fnv1a(std::string_view("\0", 1), h);
  h = fnv1a(text, h);
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(h));
  return std::string("vellumark-") + hex;
}

std::filesystem::path instanceSocketPath(const std::filesystem::path& folder, const std::string& key,
                                         unsigned long uid) {
  struct stat st {};
  if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return {};
  // Another user's folder, or one others may enter, could hold a socket
  // that is not ours: then no window hands over to another.
  if (st.st_uid != uid || (st.st_mode & 077) != 0) return {};
  std::filesystem::path p = folder / (key + ".sock");
  if (p.native().size() >= sizeof(sockaddr_un::sun_path)) return {};
  return p;
}

std::string encodeOpenRequest(const std::string& path) {
  std::string out(kOpenWord);
  out += std::to_string(path.size());
  out += '\n';
  out += path;
  return out;
}

void OpenRequestReader::feed(std::string_view bytes) {
  if (broken_) return;
  // Requests already handed out leave the buffer before it grows.
  buffer_.erase(0, pos_);
  pos_ = 0;
  buffer_.append(bytes);
}

std::optional<std::string> OpenRequestReader::next() {
  if (broken_) return std::nullopt;
  const std::string_view rest = std::string_view(buffer_).substr(pos_);
  if (rest.empty()) return std::nullopt;
  const std::size_t word = std::min(rest.size(), kOpenWord.size());
  if (rest.substr(0, word) != kOpenWord.substr(0, word)) {
    broken_ = true;
    return std::nullopt;
  }
  const std::size_t eol = rest.find('\n');
  if (eol == std::string_view::npos) {
    if (rest.size() > kHeaderMax) broken_ = true;
    return std::nullopt;
  }
  const std::string_view digits = rest.substr(kOpenWord.size(), eol - std::min(eol, kOpenWord.size()));
  if (eol < kOpenWord.size() || eol > kHeaderMax || digits.empty()) {
    broken_ = true;
    return std::nullopt;
  }
  std::size_t count = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') {
      broken_ = true;
      return std::nullopt;
    }
    count = count * 10 + static_cast<std::size_t>(c - '0');
  }
  if (count >= limits::kPathMax) {
    broken_ = true;
    return std::nullopt;
  }
  if (rest.size() - eol - 1 < count) return std::nullopt;
  std::string path(rest.substr(eol + 1, count));
  // A path holds no NUL byte; one would cut the path short on the way to the file.
  if (path.find('\0') != std::string::npos) {
    broken_ = true;
    return std::nullopt;
  }
  pos_ += eol + 1 + count;
  return path;
}

}  // namespace vm
