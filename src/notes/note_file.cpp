#include "notes/note_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "notes/date_template.h"
#include "platform/limits.h"
#include "platform/text.h"

namespace vm {

namespace {

// ---- hash ----

constexpr std::uint64_t kP1 = 0x9E3779B185EBCA87ULL;
constexpr std::uint64_t kP2 = 0xC2B2AE3D27D4EB4FULL;
constexpr std::uint64_t kP3 = 0x165667B19E3779F9ULL;
constexpr std::uint64_t kP4 = 0x85EBCA77C2B2AE63ULL;
constexpr std::uint64_t kP5 = 0x27D4EB2F165667C5ULL;

inline std::uint64_t rotl(std::uint64_t x, int r) { return (x << r) | (x >> (64 - r)); }
inline std::uint64_t load64(const unsigned char* p) {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}
inline std::uint32_t load32(const unsigned char* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline std::uint64_t mixRound(std::uint64_t acc, std::uint64_t in) {
  acc += in * kP2;
  acc = rotl(acc, 31);
  return acc * kP1;
}
inline std::uint64_t mergeRound(std::uint64_t h, std::uint64_t lane) {
  h ^= mixRound(0, lane);
  return h * kP1 + kP4;
}

// ---- files ----

// True when folder or file p may be written by us. The process may run as
// root, which the kernel lets write anything; a note whose permission bits
// give nobody write access is still taken as read-only, so the user's
// "chmod a-w" protects a note (or a whole folder) whoever runs the program.
bool mayWrite(const std::filesystem::path& p, const struct stat& st, int* err) {
  if ((st.st_mode & 0222) == 0) {
    *err = EACCES;
    return false;
  }
  if (::faccessat(AT_FDCWD, p.c_str(), W_OK, AT_EACCESS) != 0) {  // other users' files, read-only mounts
    *err = errno;
    return false;
  }
  return true;
}

std::filesystem::path folderOf(const std::filesystem::path& p) {
  auto parent = p.parent_path();
  return parent.empty() ? std::filesystem::path(".") : parent;
}

// The folder (and the file, when it exists) can be written; else err is set.
bool checkWritable(const std::filesystem::path& file, std::string* err) {
  int e = 0;
  struct stat st;
  if (::stat(file.c_str(), &st) == 0 && !mayWrite(file, st, &e)) {
    *err = systemErrorText(e);
    return false;
  }
  auto folder = folderOf(file);
  if (::stat(folder.c_str(), &st) != 0) {
    *err = systemErrorText(errno);
    return false;
  }
  if (!mayWrite(folder, st, &e)) {
    *err = systemErrorText(e);
    return false;
  }
  return true;
}

enum class NewFile { Written, Exists, Failed };

// Creates p only when no file of that name exists and writes data to it. A
// failed write removes the half-written file again.
NewFile writeNewFile(const std::filesystem::path& p, std::string_view data, mode_t mode, std::string* err) {
  int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0) {
    if (errno == EEXIST) return NewFile::Exists;
    *err = systemErrorText(errno);
    return NewFile::Failed;
  }
  const char* q = data.data();
  std::size_t left = data.size();
  int e = 0;
  while (left > 0) {
    ssize_t n = ::write(fd, q, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      e = errno;
      break;
    }
    q += n;
    left -= static_cast<std::size_t>(n);
  }
  if (e == 0 && ::fsync(fd) != 0) e = errno;
  if (::close(fd) != 0 && e == 0) e = errno;
  if (e != 0) {
    ::unlink(p.c_str());
    *err = systemErrorText(e);
    return NewFile::Failed;
  }
  return NewFile::Written;
}

// A note that is a symbolic link is written through to the file it names, so
// the rename of the atomic write replaces the target and keeps the link.
std::filesystem::path writeTarget(const std::filesystem::path& p) {
  struct stat st;
  if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return p;
  std::error_code ec;
  auto target = std::filesystem::weakly_canonical(p, ec);
  return ec || target.empty() ? p : target;
}

// True when the file at p differs from expected. A vanished file has not
// changed in the sense of a conflict: there is nothing of someone else's to
// keep. One that exists but cannot be read counts as changed.
bool changedOnDisk(const std::filesystem::path& p, const DiskStamp& expected) {
  struct stat st;
  if (::stat(p.c_str(), &st) != 0) return errno != ENOENT && errno != ENOTDIR;
  if (static_cast<std::uint64_t>(st.st_size) != expected.size) return true;
  auto data = readWholeFile(p);
  if (!data) return true;
  return stampOf(*data) != expected;
}

void replaceFirst(std::string& s, std::string_view token, const std::string& value) {
  auto pos = s.find(token);
  if (pos != std::string::npos) s.replace(pos, token.size(), value);
}

}  // namespace

bool isUnsavedMarker(std::string_view selectedFile) { return equalsNoCase(selectedFile, kUnsavedMarker); }

std::uint64_t contentHash(std::string_view data) {
  const auto* p = reinterpret_cast<const unsigned char*>(data.data());
  const std::size_t len = data.size();
  const unsigned char* end = p + len;
  std::uint64_t h;
  if (len >= 32) {
    std::uint64_t v1 = kP1 + kP2, v2 = kP2, v3 = 0, v4 = 0 - kP1;
    const unsigned char* limit = end - 32;
    do {
      v1 = mixRound(v1, load64(p));
      v2 = mixRound(v2, load64(p + 8));
      v3 = mixRound(v3, load64(p + 16));
      v4 = mixRound(v4, load64(p + 24));
      p += 32;
    } while (p <= limit);
    h = rotl(v1, 1) + rotl(v2, 7) + rotl(v3, 12) + rotl(v4, 18);
    h = mergeRound(h, v1);
    h = mergeRound(h, v2);
    h = mergeRound(h, v3);
    h = mergeRound(h, v4);
  } else {
    h = kP5;
  }
  h += static_cast<std::uint64_t>(len);
  for (; p + 8 <= end; p += 8) h = rotl(h ^ mixRound(0, load64(p)), 27) * kP1 + kP4;
  if (p + 4 <= end) {
    h = rotl(h ^ (static_cast<std::uint64_t>(load32(p)) * kP1), 23) * kP2 + kP3;
    p += 4;
  }
  for (; p < end; ++p) h = rotl(h ^ (*p * kP5), 11) * kP1;
  h ^= h >> 33;
  h *= kP2;
  h ^= h >> 29;
  h *= kP3;
  h ^= h >> 32;
  return h;
}

DiskStamp stampOf(std::string_view data) { return {data.size(), contentHash(data)}; }

namespace {

// UTF-8 bytes each Windows-1252 byte value decodes to.
const std::array<unsigned char, 256>& cp1252Lengths() {
  static const std::array<unsigned char, 256> table = [] {
    std::array<unsigned char, 256> t{};
    for (int b = 0; b < 256; ++b)
      t[static_cast<std::size_t>(b)] =
          static_cast<unsigned char>(cp1252ToUtf8(std::string(1, static_cast<char>(b))).size());
    return t;
  }();
  return table;
}

bool isContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The file offset where the editor text's first textOffset bytes end; nullopt
// when the offset falls inside one character of the file.
std::optional<std::size_t> fileOffsetOf(std::string_view bytes, const NoteFormat& f, std::size_t textOffset) {
  std::size_t i = f.bomBytes, t = 0;
  const std::size_t n = bytes.size();
  if (f.encoding == TextEncoding::Utf8 && !f.lineEndsConverted)
    return i + textOffset <= n ? std::optional<std::size_t>(i + textOffset) : std::nullopt;
  const auto& len = cp1252Lengths();
  const bool legacy = f.encoding == TextEncoding::Windows1252;
  while (t < textOffset) {
    if (i >= n) return std::nullopt;
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (f.lineEndsConverted && c == '\r') {
      i += (i + 1 < n && bytes[i + 1] == '\n') ? 2 : 1;
      ++t;
    } else {
      t += legacy ? len[c] : 1;
      ++i;
    }
  }
  if (t != textOffset) return std::nullopt;
  return i;
}

// Editor text to file bytes in the note's format: LF becomes the file's line
// end, the text its encoding. *fellBack is set when Windows-1252 cannot hold
// the text, which then comes back as UTF-8.
std::string encodeStretch(std::string_view text, const NoteFormat& f, bool* fellBack) {
  std::string lines;
  if (f.lineEndsConverted && f.crlf) {
    lines.reserve(text.size() + text.size() / 16);
    for (char c : text) {
      if (c == '\n') lines.push_back('\r');
      lines.push_back(c);
    }
  } else {
    lines.assign(text);
  }
  if (f.encoding == TextEncoding::Utf8) return lines;
  if (auto legacy = utf8ToCp1252(lines)) return std::move(*legacy);
  *fellBack = true;
  return lines;
}

// What the next load of bytes would show, to check a save before it is made.
bool readsBackAs(std::string_view bytes, const NoteFormat& f, std::string_view text) {
  bool nul = false;
  return noteTextForEditor(bytes, f.bomBytes > 0, f.lineEndsConverted, &nul) == text && !nul;
}

}  // namespace

std::string noteTextForEditor(std::string_view bytes, bool checkForBom, bool formatNewLines, bool* truncatedAtNul,
                              NoteFormat* format) {
  NoteFormat f;
  // The editor takes the text up to the first NUL, as a C string would.
  const void* nul = std::memchr(bytes.data(), 0, bytes.size());
  if (truncatedAtNul) *truncatedAtNul = nul != nullptr;
  if (nul) bytes = bytes.substr(0, static_cast<std::size_t>(static_cast<const char*>(nul) - bytes.data()));
  if (checkForBom && bytes.starts_with("\xEF\xBB\xBF")) {
    bytes.remove_prefix(3);
    f.bomBytes = 3;
  }
  f.encoding = detectEncoding(bytes);
  f.lineEndsConverted = formatNewLines;
  if (auto le = bytes.find_first_of("\r\n"); le != std::string_view::npos)
    f.crlf = bytes[le] == '\r' && le + 1 < bytes.size() && bytes[le + 1] == '\n';
  if (format) *format = f;

  std::string decoded;
  if (f.encoding == TextEncoding::Windows1252) {
    decoded = cp1252ToUtf8(bytes);
    bytes = decoded;
  }
  if (!formatNewLines) return decoded.empty() ? std::string(bytes) : std::move(decoded);

  std::string out;
  out.reserve(bytes.size());
  std::size_t i = 0;
  while (i < bytes.size()) {
    const void* cr = std::memchr(bytes.data() + i, '\r', bytes.size() - i);
    if (!cr) {
      out.append(bytes.data() + i, bytes.size() - i);
      break;
    }
    std::size_t at = static_cast<std::size_t>(static_cast<const char*>(cr) - bytes.data());
    out.append(bytes.data() + i, at - i);
    out.push_back('\n');
    i = at + 1;
    if (i < bytes.size() && bytes[i] == '\n') ++i;  // CR LF is one line end
  }
  return out;
}

bool noteWritable(const std::filesystem::path& path, std::string* err) {
  std::string e;
  bool ok = checkWritable(writeTarget(path), &e);
  if (err) *err = std::move(e);
  return ok;
}

std::optional<LoadedNote> loadNoteFile(const std::filesystem::path& path, bool checkForBom, bool formatNewLines,
                                       std::string* error, LoadError* why) {
  auto fail = [&](LoadError kind, std::string message) -> std::optional<LoadedNote> {
    if (why) *why = kind;
    if (error) *error = std::move(message);
    return std::nullopt;
  };
  if (!pathExists(path)) return fail(LoadError::Missing, "File does not exist: " + path.string());
  if (isDirectory(path)) return fail(LoadError::Unreadable, systemErrorText(EISDIR));
  errno = 0;
  auto bytes = readWholeFile(path);
  if (!bytes) return fail(LoadError::Unreadable, systemErrorText(errno ? errno : EIO));

  LoadedNote note;
  note.size = bytes->size();
  note.hash = contentHash(*bytes);
  note.text = noteTextForEditor(*bytes, checkForBom, formatNewLines, &note.truncatedAtNul, &note.format);
  note.bytes = std::move(*bytes);
  if (note.truncatedAtNul)
    note.readOnly = ReadOnlyReason::NulByte;
  else if (!noteWritable(path))
    note.readOnly = ReadOnlyReason::NotWritable;
  if (why) *why = LoadError::None;
  return note;
}

std::string noteBytesFor(const NoteBaseline* baseline, std::string_view newText, NoteFormat* format,
                         bool* becameUtf8) {
  if (becameUtf8) *becameUtf8 = false;
  if (!baseline) {
    if (format) *format = NoteFormat{};
    return std::string(newText);
  }
  const std::string_view old = baseline->text;
  const std::string_view bytes = baseline->bytes;
  NoteFormat f = baseline->format;

  // The changed stretch: [p, old.size() - s) of the old text became
  // [p, newText.size() - s) of the new one, both cut at character boundaries.
  std::size_t p = static_cast<std::size_t>(
      std::mismatch(old.begin(), old.end(), newText.begin(), newText.end()).first - old.begin());
  while (p > 0 && ((p < old.size() && isContinuation(old[p])) || (p < newText.size() && isContinuation(newText[p]))))
    --p;
  const std::size_t room = std::min(old.size(), newText.size()) - p;
  std::size_t s = 0;
  while (s < room && old[old.size() - 1 - s] == newText[newText.size() - 1 - s]) ++s;
  while (s > 0 && isContinuation(old[old.size() - s])) --s;

  const auto head = fileOffsetOf(bytes, f, p);
  const auto tail = fileOffsetOf(bytes, f, old.size() - s);
  const std::string_view bom = bytes.substr(0, f.bomBytes);
  const auto middle = newText.substr(p, newText.size() - s - p);

  std::string out;
  bool fellBack = false;
  if (head && tail && *head <= *tail) {
    std::string mid = encodeStretch(middle, f, &fellBack);
    if (!fellBack) {
      out.reserve(*head + mid.size() + (bytes.size() - *tail));
      out.append(bytes.substr(0, *head)).append(mid).append(bytes.substr(*tail));
    }
    // A Windows-1252 note whose new bytes would read back differently (a
    // typed character 1252 lacks, or bytes that happen to form UTF-8)
    // becomes UTF-8: the untouched stretches are transcoded, line ends kept.
    if (f.encoding == TextEncoding::Windows1252 && (fellBack || !readsBackAs(out, f, newText))) {
      NoteFormat u = f;
      u.encoding = TextEncoding::Utf8;
      bool unused = false;
      std::string utf8Mid = encodeStretch(middle, u, &unused);
      out.assign(bom);
      out.append(cp1252ToUtf8(bytes.substr(f.bomBytes, *head - f.bomBytes)))
          .append(utf8Mid)
          .append(cp1252ToUtf8(bytes.substr(*tail)));
      f = u;
      if (becameUtf8) *becameUtf8 = true;
    }
  }
  if (out.empty() || !readsBackAs(out, f, newText)) {
    // Last resort: the whole text in the note's line end, UTF-8 unless
    // Windows-1252 holds all of it.
    bool fb = false;
    out.assign(bom);
    out.append(encodeStretch(newText, f, &fb));
    if (fb) {
      if (becameUtf8) *becameUtf8 = f.encoding != TextEncoding::Utf8;
      f.encoding = TextEncoding::Utf8;
    }
  }
  if (format) *format = f;
  return out;
}

std::string conflictName(std::string_view noteName, const LocalTime& now, int n) {
  std::string_view base = noteName, ext;
  auto dot = noteName.rfind('.');
  if (dot != std::string_view::npos && dot > 0) {
    base = noteName.substr(0, dot);
    ext = noteName.substr(dot);
  }
  std::string tail = format(" (conflict %04d-%02d-%02d %02d%02d%02d)", now.year, now.month, now.day, now.hour,
                            now.minute, now.second);
  if (n > 1) tail += format(" %d", n);
  tail.append(ext);
  // Keep the whole name a valid file name by shortening the base.
  std::size_t room = tail.size() < limits::kNameMax ? limits::kNameMax - tail.size() : 0;
  return cutUtf8(base, room) + tail;
}

SaveResult saveNoteFile(const std::filesystem::path& path, std::string_view editorText,
                        const std::optional<DiskStamp>& expected, const LocalTime& now,
                        const NoteBaseline* baseline) {
  SaveResult r;
  r.path = path.string();
  if (editorText.empty()) {
    r.kind = SaveResult::Kind::Empty;
    return r;
  }
  const auto target = writeTarget(path);
  const std::string data = noteBytesFor(baseline, editorText, &r.format, &r.becameUtf8);

  if (expected && changedOnDisk(target, *expected)) {
    // Someone else wrote the note since we loaded it: keep theirs, put ours beside it.
    const auto folder = folderOf(target);
    struct stat st;
    int e = 0;
    if (::stat(folder.c_str(), &st) != 0 || !mayWrite(folder, st, &e)) {
      r.error = systemErrorText(e ? e : errno);
      return r;
    }
    mode_t mode = ::stat(target.c_str(), &st) == 0 ? (st.st_mode & 0777) | S_IWUSR : 0666;
    const std::string name = path.filename().string();
    for (int n = 1; n <= 1000; ++n) {
      auto copy = folder / conflictName(name, now, n);
      switch (writeNewFile(copy, data, mode, &r.error)) {
        case NewFile::Written:
          r.kind = SaveResult::Kind::Conflict;
          r.path = copy.string();
          r.stamp = stampOf(data);
          r.bytes = data;
          return r;
        case NewFile::Exists:
          continue;
        case NewFile::Failed:
          return r;
      }
    }
    r.error = systemErrorText(EEXIST);
    return r;
  }

  if (!checkWritable(target, &r.error)) return r;
  removeStaleTempFiles(folderOf(target));
  if (!writeFileAtomic(target, data, &r.error)) return r;
  r.kind = SaveResult::Kind::Saved;
  r.stamp = stampOf(data);
  r.bytes = data;
  return r;
}

std::string newNoteName(const std::filesystem::path& folder, std::string_view defaultExtension) {
  std::string name = "New Note" + std::string(defaultExtension);
  for (int n = 1; pathExists(folder / name); ++n) name = format("New Note_%d", n) + std::string(defaultExtension);
  return name;
}

NameResolution resolveNoteName(const std::filesystem::path& folder, std::string_view typedName,
                               std::string_view defaultExtension) {
  NameResolution r;
  if (typedName.find_first_not_of(" \t") == std::string_view::npos) return r;  // Empty

  std::string name(typedName);
  if (!endsWithNoCase(name, defaultExtension) && !endsWithNoCase(name, ".tn")) name.append(defaultExtension);

  std::string clean;
  clean.reserve(name.size());
  for (std::size_t i = 0; i < name.size(); ++i) {
    char c = name[i];
    if (c == '%' && name.compare(i, 3, "%20") == 0) {
      clean.push_back(' ');
      i += 2;
    } else if (c == '%' || c == ':' || c == '?' || c == '[' || c == '\\' || c == ']') {
      clean.push_back('_');
    } else {
      clean.push_back(c);
    }
  }
  r.name = std::move(clean);

  // A name of dots only would climb out of the folder ("..") or hide the note.
  std::string_view typed = typedName;
  typed.remove_prefix(std::min(typed.size(), typed.find_first_not_of(" \t")));
  typed = typed.substr(0, typed.find_last_not_of(" \t") + 1);
  if (r.name.find('/') != std::string::npos || r.name.find('\0') != std::string::npos ||
      typed.find_first_not_of('.') == std::string_view::npos || r.name.find_first_not_of('.') == std::string::npos)
    r.check = NameCheck::Invalid;
  else if (r.name.size() > limits::kNameMax)
    r.check = NameCheck::TooLong;
  else if (pathExists(folder / r.name))
    r.check = NameCheck::Exists;
  else
    r.check = NameCheck::Ok;
  return r;
}

bool createNoteFile(const std::filesystem::path& path, const std::filesystem::path& rootFolder,
                    const SettingLookup& setting, const LocalTime& now, bool* fromTemplate) {
  if (fromTemplate) *fromTemplate = false;
  if (pathExists(path)) return true;

  std::optional<std::string> tmpl;
  for (const auto& folder : {folderOf(path), rootFolder}) {
    if (folder.empty()) continue;
    auto candidate = folder / kNoteTemplateName;
    if (isRegularFile(candidate) && (tmpl = readWholeFile(candidate))) break;
  }

  std::string text;
  if (tmpl) {
    text.reserve(tmpl->size());
    for (std::size_t i = 0; i < tmpl->size(); ++i)
      if (!((*tmpl)[i] == '\r' && i + 1 < tmpl->size() && (*tmpl)[i + 1] == '\n')) text.push_back((*tmpl)[i]);
    // Only the first of each token is filled in; later ones stay as typed.
    if (text.find("$notetemplatedate") != std::string::npos)
      replaceFirst(text, "$notetemplatedate", formatDate(setting("NoteTemplateDate", "yyyy-MM-dd"), now));
    if (text.find("$notetemplatetime") != std::string::npos)
      replaceFirst(text, "$notetemplatetime", formatDate(setting("NoteTemplateTime", "hh:mmtt"), now));
  }

  std::string err;
  if (writeNewFile(path, text, 0666, &err) == NewFile::Written && fromTemplate) *fromTemplate = tmpl.has_value();
  return pathExists(path);
}

}  // namespace vm
