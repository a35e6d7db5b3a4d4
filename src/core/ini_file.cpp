#include "core/ini_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <unordered_map>

#include "platform/fs.h"
#include "platform/text.h"

namespace vm::ini {

namespace {

bool isBlankLine(std::string_view line) { return trimBlanks(line).empty(); }

bool isCommentLine(std::string_view trimmed) { return !trimmed.empty() && trimmed.front() == ';'; }

// Key of an entry line (trimmed line, not a header, not a comment).
std::string_view keyOf(std::string_view trimmed) {
  auto eq = trimmed.find('=');
  return eq == std::string_view::npos ? trimmed : trimBlanks(trimmed.substr(0, eq));
}

std::string_view valueOf(std::string_view trimmed) {
  auto eq = trimmed.find('=');
  return eq == std::string_view::npos ? std::string_view() : trimBlanks(trimmed.substr(eq + 1));
}

// Text up to the first CR or LF.
std::string_view firstLine(std::string_view s) {
  auto p = s.find_first_of("\r\n");
  return p == std::string_view::npos ? s : s.substr(0, p);
}

bool readOnlyMode(const struct stat& st) { return (st.st_mode & 0222) == 0; }

void setErr(std::string* err, std::string text) {
  if (err) *err = std::move(text);
}

}  // namespace

std::string_view trimBlanks(std::string_view s) {
  auto b = s.find_first_not_of(kBlanks);
  if (b == std::string_view::npos) return {};
  auto e = s.find_last_not_of(kBlanks);
  return s.substr(b, e - b + 1);
}

std::vector<std::string_view> splitLines(std::string_view data) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < data.size()) {
    auto nl = data.find('\n', start);
    std::size_t end = nl == std::string_view::npos ? data.size() : nl;
    std::string_view line = data.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (nl == std::string_view::npos) break;
    start = nl + 1;
  }
  return lines;
}

std::optional<std::string_view> headerName(std::string_view line) {
  auto b = line.find_first_not_of(kBlanks);
  if (b == std::string_view::npos || line[b] != '[') return std::nullopt;
  std::string_view rest = line.substr(b + 1);
  auto close = rest.find(']');
  if (close != std::string_view::npos) rest = rest.substr(0, close);
  return trimBlanks(rest);
}

std::optional<std::vector<Section>> readSections(const std::filesystem::path& file) {
  auto data = readWholeFile(file);
  if (!data) return std::nullopt;
  std::vector<Section> sections;
  std::unordered_map<std::string, std::size_t> byName;  // folded name -> index
  constexpr std::size_t none = static_cast<std::size_t>(-1);
  std::size_t cur = none;
  for (std::string_view line : splitLines(*data)) {
    if (auto name = headerName(line)) {
      auto [it, added] = byName.emplace(foldCase(*name), sections.size());
      if (added) sections.push_back(Section{std::string(*name), {}});
      cur = it->second;
      continue;
    }
    if (cur == none || isBlankLine(line)) continue;
    sections[cur].lines.emplace_back(trimBlanks(line));
  }
  return sections;
}

std::vector<std::string> sectionNames(const std::filesystem::path& file) {
  std::vector<std::string> names;
  if (auto sections = readSections(file))
    for (auto& s : *sections) names.push_back(std::move(s.name));
  return names;
}

std::vector<std::string> sectionLines(const std::filesystem::path& file, std::string_view section) {
  if (auto sections = readSections(file))
    for (auto& s : *sections)
      if (equalsNoCase(s.name, section)) return std::move(s.lines);
  return {};
}

std::string readKey(const std::filesystem::path& file, std::string_view section, std::string_view key,
                    std::string_view def) {
  section = trimBlanks(section);
  key = trimBlanks(key);
  if (section.empty() || key.empty()) return std::string(def);
  auto data = readWholeFile(file);
  if (!data) return std::string(def);
  bool in = false;
  std::optional<std::string_view> found;
  for (std::string_view line : splitLines(*data)) {
    if (auto name = headerName(line)) {
      in = equalsNoCase(*name, section);
      continue;
    }
    if (!in) continue;
    std::string_view t = trimBlanks(line);
    if (t.empty() || isCommentLine(t)) continue;
    if (equalsNoCase(keyOf(t), key)) found = valueOf(t);  // a later line of the same key wins
  }
  return found ? std::string(*found) : std::string(def);
}

std::filesystem::path rewriteTarget(const std::filesystem::path& file) {
  std::error_code ec;
  if (std::filesystem::is_symlink(file, ec)) {
    auto target = std::filesystem::weakly_canonical(file, ec);
    if (!ec && !target.empty()) return target;
  }
  return file;
}

bool canRewrite(const std::filesystem::path& file, std::string* err) {
  struct stat st;
  if (::stat(file.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) {
      setErr(err, systemErrorText(EISDIR));
      return false;
    }
    if (::access(file.c_str(), W_OK) != 0 || readOnlyMode(st)) {
      setErr(err, systemErrorText(EACCES));
      return false;
    }
  } else if (errno != ENOENT) {
    setErr(err, systemErrorText(errno));
    return false;
  }
  std::filesystem::path folder = file.parent_path();
  if (folder.empty()) folder = ".";
  if (::stat(folder.c_str(), &st) != 0) {
    setErr(err, systemErrorText(errno));
    return false;
  }
  if (!S_ISDIR(st.st_mode)) {
    setErr(err, systemErrorText(ENOTDIR));
    return false;
  }
  if (::access(folder.c_str(), W_OK | X_OK) != 0 || readOnlyMode(st)) {
    setErr(err, systemErrorText(EACCES));
    return false;
  }
  return true;
}

bool writableKey(std::string_view key) {
  key = trimBlanks(key);
  return !key.empty() && key.find_first_of("=\r\n") == std::string_view::npos && key.front() != ';' &&
         key.front() != '[';
}

bool writeKey(const std::filesystem::path& file, std::string_view section, std::string_view key,
              std::string_view value, std::string* err) {
  section = trimBlanks(section);
  key = trimBlanks(key);
  value = firstLine(value);
  if (file.empty()) {
    setErr(err, "no file name");
    return false;
  }
  if (section.empty() || key.empty()) {
    setErr(err, "empty section or key");
    return false;
  }
  if (section.find_first_of("]\r\n") != std::string_view::npos || !writableKey(key)) {
    setErr(err, "section or key cannot be written");
    return false;
  }
  const std::filesystem::path target = rewriteTarget(file);
  if (!canRewrite(target, err)) return false;
  std::string data;
  if (pathExists(target)) {
    auto d = readWholeFile(target);
    if (!d) {
      setErr(err, systemErrorText(errno));
      return false;
    }
    data = std::move(*d);
  }

  std::vector<std::string_view> lines = splitLines(data);
  constexpr std::size_t npos = std::string_view::npos;
  bool in = false;           // inside a stretch of the section
  bool firstOpen = false;    // inside the section's first stretch
  bool seen = false;         // the section has a header
  std::size_t lastLine = npos;  // last non-blank line of the first stretch (its header at least)
  std::size_t replaceAt = npos;
  std::string_view fileKey;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string_view line = lines[i];
    if (auto name = headerName(line)) {
      firstOpen = false;
      in = equalsNoCase(*name, section);
      if (in && !seen) {
        seen = firstOpen = true;
        lastLine = i;
      }
      continue;
    }
    if (!in) continue;
    std::string_view t = trimBlanks(line);
    if (t.empty()) continue;
    if (firstOpen) lastLine = i;
    if (!isCommentLine(t) && equalsNoCase(keyOf(t), key)) {  // the last one is the one read
      replaceAt = i;
      fileKey = keyOf(t);
    }
  }

  std::string entry;
  std::string out;
  out.reserve(data.size() + key.size() + value.size() + section.size() + 8);
  // A line whose text ends in CR (it ended in CR CR LF) is written with CR LF,
  // so the next read gives the same text.
  auto put = [&out](std::string_view l) {
    out.append(l);
    if (!l.empty() && l.back() == '\r') out.push_back('\r');
    out.push_back('\n');
  };
  if (replaceAt != npos) {
    entry.append(fileKey).append("=").append(value);
    for (std::size_t i = 0; i < lines.size(); ++i) put(i == replaceAt ? std::string_view(entry) : lines[i]);
  } else {
    entry.append(key).append("=").append(value);
    if (seen) {
      for (std::size_t i = 0; i < lines.size(); ++i) {
        put(lines[i]);
        if (i == lastLine) put(entry);
      }
    } else {
      for (auto l : lines) put(l);
      if (!lines.empty() && !isBlankLine(lines.back())) put("");
      out.append("[").append(section).append("]\n");
      put(entry);
    }
  }
  if (out == data) return true;  // nothing changes: leave the file alone
  return writeFileAtomic(target, out, err);
}

}  // namespace vm::ini
