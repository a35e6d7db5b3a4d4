#include "browse/backlinks.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <set>
#include <utility>

#include "browse/file_kinds.h"
#include "platform/fs.h"
#include "platform/text.h"

namespace vm {

namespace {

constexpr std::size_t kMaxRead = std::size_t{64} << 20;
constexpr int kMaxDepth = 64;

std::string_view trimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "%20" and the other %XX escapes of an address, decoded.
std::string percentDecoded(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size()) {
      const int hi = hexValue(s[i + 1]), lo = hexValue(s[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out.push_back(static_cast<char>(hi * 16 + lo));
        i += 2;
        continue;
      }
    }
    out.push_back(s[i]);
  }
  return out;
}

// The note being linked to, prepared once for many texts.
struct Target {
  std::string fileName;  // "Shopping List.txt"
  std::string stem;      // "Shopping List"
  TextMatcher token;     // a piece of the name every link form holds literally

  explicit Target(std::string_view name) : fileName(name) {
    const std::string ext = extensionOf(name);
    stem = fileName.substr(0, fileName.size() - ext.size());
    if (stem.empty()) stem = fileName;
    // The longest run of ASCII letters and digits: blanks may be written as
    // %20 and other characters escaped in addresses, these never are.
    std::string_view best, run;
    const std::string_view s = stem;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= s.size(); ++i) {
      const bool alnum = i < s.size() && ((s[i] >= '0' && s[i] <= '9') || ((s[i] | 0x20) >= 'a' && (s[i] | 0x20) <= 'z'));
      if (alnum) continue;
      run = s.substr(start, i - start);
      if (run.size() > best.size()) best = run;
      start = i + 1;
    }
    token = TextMatcher(best);
  }
  bool names(std::string_view target) const {
    target = trimBlanks(target);
    return equalsNoCase(target, stem) || equalsNoCase(target, fileName);
  }
  // An address (tn: or Markdown) names the note by its last component.
  bool addressNames(std::string_view address, bool pageLink) const {
    std::string a = percentDecoded(trimBlanks(address));
    if (pageLink) return names(a);
    if (startsWithWebPrefix(a) || startsWithNoCase(a, "file:")) return false;
    if (const auto hash = a.find('#'); hash != std::string::npos) a.resize(hash);
    const auto slash = a.find_last_of("/\\");
    const std::string_view last = slash == std::string::npos ? std::string_view(a) : std::string_view(a).substr(slash + 1);
    return equalsNoCase(last, fileName);
  }
};

bool isAddressEnd(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '"' || c == '\'' || c == ')' || c == '>' ||
         c == ']' || c == '<';
}

bool linksToTarget(std::string_view text, const Target& t) {
  if (!t.token.empty() && !t.token.contains(text)) return false;
  const std::size_t n = text.size();
  for (std::size_t i = 0; i < n; ++i) {
    const char c = text[i];
    if (c == '[') {
      if (i + 1 < n && text[i + 1] == '[') {
        // "[[" target "][" text "]]"
        const std::size_t mid = text.find("][", i + 2);
        if (mid != std::string_view::npos && t.names(text.substr(i + 2, mid - i - 2))) return true;
        const std::size_t close = mid == std::string_view::npos ? std::string_view::npos : text.find("]]", mid + 2);
        if (close != std::string_view::npos) i = close + 1;
        continue;
      }
      if (i > 0 && text[i - 1] == '\\') continue;
      if (i + 1 < n && std::string_view("$<{|").find(text[i + 1]) != std::string_view::npos) continue;
      const std::size_t close = text.find(']', i + 1);
      if (close == std::string_view::npos) continue;
      const std::string_view inner = text.substr(i + 1, close - i - 1);
      if (inner.find('\n') != std::string_view::npos) continue;  // a page link stays on its line
      const char after = close + 1 < n ? text[close + 1] : '\0';
      if (after == '(') {
        // Markdown link: "](" address [title] ")"
        std::size_t a = close + 2;
        while (a < n && text[a] == ' ') ++a;
        std::size_t e;
        if (a < n && text[a] == '<') {
          ++a;
          e = text.find('>', a);
        } else {
          e = a;
          while (e < n && text[e] != ')' && text[e] != ' ' && text[e] != '\n') ++e;
        }
        if (e != std::string_view::npos && e <= n && t.addressNames(text.substr(a, e - a), false)) return true;
      } else if (after == ':') {
        // Markdown reference: "[label]:" address
        std::size_t a = close + 2;
        while (a < n && (text[a] == ' ' || text[a] == '\t')) ++a;
        std::size_t e = a;
        while (e < n && text[e] != ' ' && text[e] != '\n' && text[e] != '\r' && text[e] != '\t') ++e;
        if (e > a && t.addressNames(text.substr(a, e - a), false)) return true;
      } else if (after != '[' && t.names(inner)) {
        return true;
      }
      continue;
    }
    if ((c == 't' || c == 'T') && i + 3 <= n && (text[i + 1] | 0x20) == 'n' && text[i + 2] == ':') {
      std::size_t e = i + 3;
      while (e < n && !isAddressEnd(text[e])) ++e;
      if (t.addressNames(text.substr(i + 3, e - i - 3), true)) return true;
      i = e - 1;
    }
  }
  return false;
}

// Reads up to kMaxRead bytes of a regular file into buf; false when it cannot.
bool readNote(const std::string& path, std::string& buf) {
  std::int64_t fileSize = 0;
  const int fd = openRegularFile(path, &fileSize);
  if (fd < 0) return false;
  const std::size_t size = std::min(static_cast<std::size_t>(std::max<std::int64_t>(fileSize, 0)), kMaxRead);
  if (buf.size() < size) buf.resize(size);
  std::size_t got = 0;
  while (got < size) {
    const ssize_t r = ::read(fd, buf.data() + got, size - got);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    got += static_cast<std::size_t>(r);
  }
  ::close(fd);
  buf.resize(got);
  return true;
}

struct Walk {
  const Target& target;
  const std::string& self;
  const SearchPump& pump;
  const std::vector<std::string>& extensions;
  BacklinkResult& result;
  std::set<std::pair<dev_t, ino_t>> seen;  // folders already walked (links may loop)
  std::string buf;

  bool isNote(std::string_view name) const {
    const std::string ext = extensionOf(name);
    for (const std::string& e : extensions)
      if (equalsNoCase(ext, e)) return true;
    return false;
  }

  // False when the pump said stop.
  bool folder(const std::string& dir, const std::string& rel, int depth) {
    struct stat st {};
    if (depth > kMaxDepth || ::stat(dir.c_str(), &st) != 0 || !seen.insert({st.st_dev, st.st_ino}).second) return true;
    std::vector<DirEntry> entries;
    if (!readDirectory(dir, entries)) return true;
    for (const DirEntry& e : entries) {
      if (e.name.empty() || e.name[0] == '.') continue;
      const std::string full = joinPath(dir, e.name);
      const std::string relName = rel.empty() ? e.name : rel + "/" + e.name;
      if (e.isDir) {
        if (equalsNoCase(e.name, "imgs")) continue;
        if (!folder(full, relName, depth + 1)) return false;
        continue;
      }
      if (!isNote(e.name) || full == self) continue;
      if (readNote(full, buf) && linksToTarget(buf, target)) result.notes.push_back(relName);
      if (pump && !pump()) return false;
    }
    return true;
  }
};

}  // namespace

bool linksTo(std::string_view text, std::string_view fileName) { return linksToTarget(text, Target(fileName)); }

BacklinkResult linksToNote(const std::filesystem::path& root, const std::filesystem::path& notePath,
                           const SearchPump& pump, const std::vector<std::string>& noteExtensions) {
  BacklinkResult result;
  const Target target(notePath.filename().string());
  const std::string self = notePath.lexically_normal().string();
  Walk walk{target, self, pump, noteExtensions, result, {}, {}};
  result.stopped = !walk.folder(withoutTrailingSlash(root.lexically_normal().string()), "", 0);
  std::sort(result.notes.begin(), result.notes.end(), [](const std::string& a, const std::string& b) {
    const int c = compareNoCase(a, b);
    return c != 0 ? c < 0 : a < b;
  });
  return result;
}

}  // namespace vm
