#include "import/drop_import.h"

#include <unistd.h>

#include <array>
#include <cerrno>
#include <random>
#include <system_error>

#include "browse/file_ops.h"
#include "import/download_name.h"
#include "import/http_fetch.h"
#include "notes/companion.h"
#include "notes/note_file.h"
#include "notes/paste_image.h"
#include "platform/fs.h"
#include "platform/limits.h"
#include "platform/text.h"

namespace vm {

namespace {

// The HTML 4 Latin-1 entity names, for the characters 161 to 255 in order.
constexpr std::array<std::string_view, 95> kLatin1Names = {
    "iexcl",  "cent",   "pound",  "curren", "yen",    "brvbar", "sect",   "uml",    "copy",   "ordf",
    "laquo",  "not",    "shy",    "reg",    "macr",   "deg",    "plusmn", "sup2",   "sup3",   "acute",
    "micro",  "para",   "middot", "cedil",  "sup1",   "ordm",   "raquo",  "frac14", "frac12", "frac34",
    "iquest", "Agrave", "Aacute", "Acirc",  "Atilde", "Auml",   "Aring",  "AElig",  "Ccedil", "Egrave",
    "Eacute", "Ecirc",  "Euml",   "Igrave", "Iacute", "Icirc",  "Iuml",   "ETH",    "Ntilde", "Ograve",
    "Oacute", "Ocirc",  "Otilde", "Ouml",   "times",  "Oslash", "Ugrave", "Uacute", "Ucirc",  "Uuml",
    "Yacute", "THORN",  "szlig",  "agrave", "aacute", "acirc",  "atilde", "auml",   "aring",  "aelig",
    "ccedil", "egrave", "eacute", "ecirc",  "euml",   "igrave", "iacute", "icirc",  "iuml",   "eth",
    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide", "oslash", "ugrave", "uacute",
    "ucirc",  "uuml",   "yacute", "thorn",  "yuml"};

// An entity reaches at most this far from its "&" to its ";".
constexpr std::size_t kEntityReach = 10;

std::string utf8Of(char32_t cp) {
  std::string out;
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
  return out;
}

// The character an entity ("&" and its name, no ";") stands for.
std::string entityText(std::string_view e) {
  if (e == "&quot") return "\"";
  if (e == "&amp") return "&";
  if (e == "&lt") return "<";
  if (e == "&gt") return ">";
  if (e == "&nbsp") return " ";
  if (e.starts_with("&#")) {
    std::string_view digits = e.substr(2);
    int base = 10;
    if (!digits.empty() && (digits[0] == 'x' || digits[0] == 'X')) {
      base = 16;
      digits.remove_prefix(1);
    }
    if (digits.empty()) return " ";
    char32_t value = 0;
    for (char c : digits) {
      int d = c >= '0' && c <= '9' ? c - '0'
              : base == 16 && c >= 'a' && c <= 'f' ? c - 'a' + 10
              : base == 16 && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                    : -1;
      if (d < 0) return " ";
      value = value * static_cast<char32_t>(base) + static_cast<char32_t>(d);
    }
    const bool valid = value >= 34 && value <= 0x10FFFF && (value < 0xD800 || value > 0xDFFF);
    return valid ? utf8Of(value) : " ";
  }
  for (std::size_t i = 0; i < kLatin1Names.size(); ++i)
    if (e.substr(1) == kLatin1Names[i]) return utf8Of(static_cast<char32_t>(161 + i));
  return " ";
}

std::string replaceExtension(const std::string& name, std::string_view ext) {
  const std::size_t dot = name.rfind('.');
  return (dot == std::string::npos ? name : name.substr(0, dot)) + std::string(ext);
}

std::string trimBlanks(std::string_view s) {
  const std::size_t a = s.find_first_not_of(" \t\r\n");
  if (a == std::string_view::npos) return {};
  const std::size_t b = s.find_last_not_of(" \t\r\n");
  return std::string(s.substr(a, b - a + 1));
}

// A temporary name beside the files of folder; stale ones are swept like
// those of an interrupted save.
std::string tempNameIn(const std::string& folder) {
  static std::mt19937 gen{std::random_device{}()};
  static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string name(kSaveTempPrefix);
  for (int i = 0; i < 6; ++i) name += kChars[gen() % (sizeof kChars - 1)];
  return joinPath(folder, name);
}

// Standard base64 (blanks and line breaks skipped, padding optional);
// nullopt on any other character.
std::optional<std::string> decodeBase64(std::string_view text) {
  std::string out;
  unsigned buffer = 0;
  int bits = 0;
  for (char c : text) {
    int v = c >= 'A' && c <= 'Z' ? c - 'A'
            : c >= 'a' && c <= 'z' ? c - 'a' + 26
            : c >= '0' && c <= '9' ? c - '0' + 52
            : c == '+' ? 62
            : c == '/' ? 63
                       : -1;
    if (c == '=') break;
    if (c == ' ' || c == '\r' || c == '\n' || c == '\t') continue;
    if (v < 0) return std::nullopt;
    buffer = (buffer << 6) | static_cast<unsigned>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>((buffer >> bits) & 0xFF);
    }
  }
  return out;
}

}  // namespace

std::optional<DataPicture> dataAddressPicture(std::string_view address) {
  if (!startsWithNoCase(address, "data:image/")) return std::nullopt;
  const std::size_t comma = address.find(',');
  if (comma == std::string_view::npos) return std::nullopt;
  const std::string_view head = address.substr(11, comma - 11);  // "png;base64"
  if (!endsWithNoCase(head, ";base64")) return std::nullopt;
  std::string type = foldCase(head.substr(0, head.find(';')));
  std::optional<std::string> bytes = decodeBase64(address.substr(comma + 1));
  if (!bytes || bytes->empty()) return std::nullopt;
  if (type == "jpeg" || type == "pjpeg") type = "jpg";
  if (type == "svg+xml") type = "svg";
  if (type.empty() || type.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789") != std::string::npos) type = "img";
  return DataPicture{std::move(*bytes), "." + type};
}

// ---- Text rules ------------------------------------------------------------

std::string decodeHtmlEntities(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] != '&') {
      out += text[i++];
      continue;
    }
    const std::size_t semi = text.find(';', i);
    const std::size_t end = semi == std::string_view::npos ? text.size() : semi;
    if (end - i >= kEntityReach) {
      out += text[i++];
      continue;
    }
    out += entityText(text.substr(i, end - i));
    i = semi == std::string_view::npos ? text.size() : semi + 1;
  }
  return out;
}

std::string stripHtmlTags(std::string_view text) {
  std::size_t lt = text.find('<');
  if (lt == std::string_view::npos) return std::string(text);
  std::string out;
  while (lt != std::string_view::npos) {
    const std::size_t gt = text.find('>', lt);
    if (gt == std::string_view::npos) break;  // an open tag swallows the rest
    lt = text.find('<', gt + 1);
    out.append(text.substr(gt + 1, (lt == std::string_view::npos ? text.size() : lt) - gt - 1));
  }
  return out;
}

std::optional<std::string> htmlImageAddress(std::string_view html) {
  // Browsers put a charset <meta> or a fragment comment in front of the tag.
  for (;;) {
    const std::size_t a = html.find_first_not_of(" \t\r\n");
    if (a == std::string_view::npos) return std::nullopt;
    html.remove_prefix(a);
    std::size_t end = std::string_view::npos;
    if (html.starts_with("<!--")) {
      end = html.find("-->");
      if (end != std::string_view::npos) end += 3;
    } else if (startsWithNoCase(html, "<meta")) {
      end = html.find('>');
      if (end != std::string_view::npos) end += 1;
    } else {
      break;
    }
    if (end == std::string_view::npos) return std::nullopt;
    html.remove_prefix(end);
  }
  if (!startsWithNoCase(html, "<img")) return std::nullopt;
  const std::size_t src = findNoCase(html, "src");
  if (src == std::string_view::npos) return std::nullopt;
  char quote = '"';
  std::size_t open = html.find('"', src);
  if (open == std::string_view::npos) {
    quote = '\'';
    open = html.find('\'', src);
  }
  if (open == std::string_view::npos) return std::nullopt;
  const std::size_t close = html.find(quote, open + 1);
  if (close == std::string_view::npos) return std::nullopt;
  std::string address = trimBlanks(html.substr(open + 1, close - open - 1));
  // An attribute value writes "&" as "&amp;".
  for (std::size_t at = 0; (at = address.find("&amp;", at)) != std::string::npos; ++at) address.erase(at + 1, 4);
  if (address.empty()) return std::nullopt;
  return address;
}

std::string droppedPictureName(const DropData& data) {
  std::vector<DropFormat> order = data.offered;
  if (order.empty()) order = {DropFormat::Files, DropFormat::Text};
  std::string source;
  for (DropFormat f : order) {
    if (f == DropFormat::Files && !data.files.empty()) source = data.files.front();
    if (f == DropFormat::Text && !data.text.empty()) {
      source = data.text.substr(0, data.text.find_first_of("\r\n"));
      source = cutUtf8(source, limits::kText);
    }
  }
  std::string name = decodeHtmlEntities(source);
  const std::size_t slash = name.find_last_of("/\\");
  if (slash != std::string::npos) name.erase(0, slash + 1);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  for (std::size_t at = 0; (at = name.find("%20", at)) != std::string::npos; ++at) name.replace(at, 3, " ");
  for (char& c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || c == '%' || c == ':' || c == '?' || c == '[' || c == ']' || c == '\\') c = '_';
  }
  name = cutUtf8(trimBlanks(name), kDownloadNameMax - 4);
  return name.empty() ? std::string() : name + ".bmp";
}

std::optional<std::string> writeNewFile(const std::string& folder, const std::string& name, std::string_view bytes,
                                        std::string* error) {
  std::string err;
  const std::string temp = tempNameIn(folder);
  if (!writeFileAtomic(temp, bytes, &err)) {
    if (error) *error = err;
    return std::nullopt;
  }
  auto taken = [&folder](const std::string& n) { return pathExists(joinPath(folder, n)); };
  // Another program may take the free name between the look and the rename.
  for (int tries = 0; tries < 20; ++tries) {
    const std::optional<std::string> free = freeFileName(name, taken);
    if (!free) {
      err = "every numbered name is taken";
      break;
    }
    const int rc = renameNoReplace(temp, joinPath(folder, *free));
    if (rc == 0) return free;
    if (rc != EEXIST) {
      err = systemErrorText(rc);
      break;
    }
  }
  ::unlink(temp.c_str());
  if (error) *error = err;
  return std::nullopt;
}

// ---- The drop --------------------------------------------------------------

DropImport::DropImport(FeatureContext ctx, HttpFetcher& fetcher, NoteDropTarget note, DropHooks hooks)
    : ctx_(ctx), fetcher_(fetcher), note_(std::move(note)), hooks_(std::move(hooks)) {}

void DropImport::arrived(const std::string& name, bool open) {
  if (hooks_.relist) hooks_.relist(name);
  if (open && hooks_.open) hooks_.open(name);
}

void DropImport::dropOnFileList(const DropData& data) { drop(data, Target::Folder); }

void DropImport::dropOnNote(const DropData& data) {
  if (note_.loaded()) drop(data, Target::Note);
}

void DropImport::drop(const DropData& data, Target target) {
  if (!ctx_.roots.current().inUse) return;
  if (data.hasImage() && dropImage(data, target)) return;
  if (!data.files.empty()) {
    dropFiles(data.files);
  } else if (!data.html.empty()) {
    dropHtml(data, target);
  } else if (!data.text.empty()) {
    dropText(data.text, target);
  }
}

std::string DropImport::pictureFolder(Target target) {
  std::string folder = ctx_.roots.current().filesFolder();
  if (target == Target::Folder) return folder;
  folder = joinPath(folder, kNoteImagesFolder);
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (isDirectory(folder)) return folder;
  ctx_.say(format("Cannot create the folder %s", folder.c_str()));
  return {};
}

void DropImport::linkPicture(const std::string& folder, const std::string& name) {
  auto lookup = [this](std::string_view key, std::string_view def) {
    const SettingDef* d = findSetting(key);
    return d ? ctx_.settings.text(*d) : std::string(def);
  };
  const PicturePlace place = datePrefixPicture(joinPath(folder, name), name, lookup, ctx_.now());
  note_.insertImageLink(place.name);
}

// False when the picture cannot be had: the drop then goes on with the next
// thing the drag offers.
bool DropImport::dropImage(const DropData& data, Target target) {
  const bool png = ctx_.settings.flag(setting::ImageSaveAsPng);
  std::string bytes = png ? data.image("png") : std::string();
  const bool asPng = !bytes.empty();
  if (!asPng) bytes = data.image("bmp");
  if (bytes.empty()) return false;
  if (target == Target::Note && !note_.editable()) return true;
  const std::string folder = pictureFolder(target);
  if (folder.empty()) return true;
  std::string name = droppedPictureName(data);
  if (name.empty()) name = freeImageName(folder, png);
  if (name.empty()) {
    ctx_.say("Error creating bitmap");
    return true;
  }
  if (asPng) name = replaceExtension(name, ".png");
  std::string error;
  const std::optional<std::string> written = writeNewFile(folder, name, bytes, &error);
  if (!written) {
    ctx_.say(cutUtf8("Error creating bitmap: " + error, limits::kStatusMessage));
    return true;
  }
  if (target == Target::Note) {
    linkPicture(folder, *written);
  } else {
    arrived(*written, false);
  }
  return true;
}

void DropImport::dropFiles(const std::vector<std::string>& files) {
  const std::string folder = ctx_.roots.current().filesFolder();
  std::vector<std::string> problems;
  std::string last;
  for (const std::string& path : files) {
    const std::string name = lastComponent(withoutTrailingSlash(path));
    if (name.empty() || name == "." || name == "..") continue;
    const std::string target = joinPath(folder, name);
    if (isDirectory(path)) {
      problems.push_back(format("Folders are not copied: %s", name.c_str()));
      continue;
    }
    if (pathExists(target)) {
      problems.push_back(format("File exists: %s", name.c_str()));
      last = name;
      continue;
    }
    const DiskResult r = copyFileNoReplace(path, target);
    if (!r.ok) {
      problems.push_back(pathExists(target) ? format("File exists: %s", name.c_str())
                                            : format("Could not copy %s: %s", name.c_str(), r.error.c_str()));
      continue;
    }
    last = name;
  }
  if (!last.empty()) arrived(last, true);
  // After the open, which would clear it.
  if (!problems.empty()) {
    std::string text = problems.front();
    for (std::size_t i = 1; i < problems.size(); ++i) text += "; " + problems[i];
    ctx_.say(cutUtf8(text, limits::kStatusMessage));
  }
}

void DropImport::dropHtml(const DropData& data, Target target) {
  if (std::optional<std::string> address = htmlImageAddress(data.html)) {
    if (startsWithNoCase(*address, "data:")) {
      dataPicture(*address, target);
    } else {
      downloadImage(*address, target);
    }
  } else if (!data.text.empty()) {
    dropText(data.text, target);
  } else {
    dropText(stripHtmlTags(decodeHtmlEntities(data.html)), target);
  }
}

// A picture carried inside the address itself: saved as a dropped picture.
void DropImport::dataPicture(const std::string& address, Target target) {
  const std::optional<DataPicture> picture = dataAddressPicture(address);
  if (!picture) {
    ctx_.say("The dropped picture could not be read");
    return;
  }
  if (target == Target::Note && !note_.editable()) return;
  const std::string folder = pictureFolder(target);
  if (folder.empty()) return;
  const std::string name = freeImageName(folder, false);
  std::string error;
  const std::optional<std::string> written =
      name.empty() ? std::nullopt : writeNewFile(folder, replaceExtension(name, picture->extension), picture->bytes, &error);
  if (!written) {
    ctx_.say(cutUtf8("Error creating bitmap: " + error, limits::kStatusMessage));
  } else if (target == Target::Note) {
    linkPicture(folder, *written);
  } else {
    arrived(*written, false);
  }
}

void DropImport::downloadImage(const std::string& address, Target target) {
  if (target == Target::Note && !note_.editable()) return;
  if (address.size() > limits::kPathMax) {
    ctx_.say("Download refused: the picture's address is too long");
    return;
  }
  const std::string folder = pictureFolder(target);
  if (folder.empty()) return;
  // The window stays live while the picture arrives: the user may move on.
  const std::string place = target == Target::Note ? ctx_.selectedPath() : ctx_.roots.current().filesFolder();
  ctx_.say(cutUtf8("Downloading " + address, limits::kStatusMessage));
  const DownloadResult r = fetcher_.download(address, "", folder);
  if (r.outcome == DownloadOutcome::Cancelled) {
    if (ctx_.ports.pump && ctx_.ports.pump->cancelled()) ctx_.say("Download cancelled");
    return;
  }
  if (!r.saved()) {
    ctx_.say(r.message.empty() ? std::string("Download failed") : r.message);
    return;
  }
  ctx_.say(cutUtf8("Downloaded " + r.fileName, limits::kStatusMessage));
  if (target == Target::Note) {
    if (note_.loaded() && ctx_.selectedPath() == place && note_.editable()) linkPicture(folder, r.fileName);
  } else if (ctx_.roots.current().inUse && ctx_.roots.current().filesFolder() == place) {
    arrived(r.fileName, false);
  }
}

void DropImport::dropText(const std::string& dropped, Target target) {
  std::string text = displayUtf8(dropped);
  std::erase(text, '\0');  // a NUL byte would lock the note against editing
  if (text.empty()) return;
  if (target == Target::Note) {
    if (note_.editable()) note_.dropText(text);
    return;
  }
  // A new note holding the text.
  const RootLocation& r = ctx_.roots.current();
  const std::string folder = r.filesFolder();
  const std::string name = newNoteName(folder, r.defaultExtension);
  std::string error;
  const std::optional<std::string> written = writeNewFile(folder, name, text, &error);
  if (!written) {
    ctx_.say(cutUtf8(format("Could not create %s: %s", name.c_str(), error.c_str()), limits::kStatusMessage));
    return;
  }
  arrived(*written, true);
}

}  // namespace vm
