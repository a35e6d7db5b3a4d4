#include "render/markup.h"

#include <fcntl.h>
#include <md4c-html.h>
#include <md4c.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include "platform/fs.h"
#include "platform/limits.h"
#include "platform/text.h"
#include "render/markdown_note.h"
#include "render/md4c_input.h"
#include "render/wiki.h"

namespace vm {

namespace {

using std::string_view;
constexpr std::size_t npos = std::string::npos;

constexpr string_view kImageExtensions[] = {".jpg", ".gif", ".tga", ".png", ".bmp"};
constexpr string_view kWikiExtensions[] = {".wiki", ".wki"};
constexpr string_view kBaseMarkdownExtensions[] = {".md", ".markdown"};
constexpr std::size_t kMaxMarkdownExtensions = 260;
constexpr std::size_t kExtensionPiece = limits::kListItem;  // bytes kept of one extra extension

// Bytes of one piece of the line-break pass; longer lines are handled in
// pieces, and a piece without its line end is copied unchanged.
constexpr std::size_t kLineBreakPiece = 4095;
constexpr string_view kLineEndMark = "<br/>";

// Strikethrough, and "#Title" without a blank is a heading too (the
// wiki pass writes "+Title" that way).
constexpr unsigned kMd4cFlags = MD_FLAG_STRIKETHROUGH | MD_FLAG_PERMISSIVEATXHEADERS;

constexpr std::size_t kMaxStyleSheets = 20;
// The page goes out in writes of this size: each write costs a call into
// the kernel, which on a virtual machine costs more than the copy of 64 KB.
constexpr std::size_t kWriteBuffer = 512 * 1024;
constexpr std::size_t kSearchQuery = 260;       // bytes of a web-search query
constexpr std::size_t kNoteName = limits::kText;  // bytes of a linked note name

constexpr std::size_t kImageExtraMargin = 5;  // beside the pad and the scroll bar

bool inList(string_view ext, const auto& list) {
  return std::any_of(std::begin(list), std::end(list), [&](string_view e) { return equalsNoCase(ext, e); });
}

string_view extensionOf(string_view name) {
  const std::size_t slash = name.rfind('/');
  if (slash != npos) name.remove_prefix(slash + 1);
  const std::size_t dot = name.rfind('.');
  return dot == npos ? string_view() : name.substr(dot);
}

void appendHtmlText(std::string& out, string_view s) {
  for (char c : s) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default: out += c;
    }
  }
}

// A file path as the value of a quoted href or src: the characters that
// would end or redirect the address ("%", "#", "?") are percent-encoded,
// and the characters that would end the attribute are written as entities.
void appendPathAttribute(std::string& out, string_view path) {
  for (char c : path) {
    switch (c) {
      case '%': out += "%25"; break;
      case '#': out += "%23"; break;
      case '?': out += "%3F"; break;
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
}

// Line-break pass, one piece: rule lines and list lines are kept, every
// other ended piece (its line end removed) gets "  " before its line end.
bool needsHardBreak(string_view content) {
  if (isRuleLine(content) || isListLine(content)) return false;
  return content.size() <= kLineEndMark.size() || !endsWithNoCase(content, kLineEndMark);
}

void appendBrokenLine(std::string& out, string_view content) {
  out += content;
  out += needsHardBreak(content) ? "  \n" : "\n";
}

// The pass for any text. Pieces run through their LF and hold at most
// kLineBreakPiece bytes once a CR before the LF is dropped (so the search
// window is one byte longer).
std::string breakLinesCopying(string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16 + 16);
  std::size_t i = 0;
  while (i < text.size()) {
    const string_view window = text.substr(i, kLineBreakPiece + 1);
    const std::size_t lf = window.find('\n');
    const bool crlf = lf != npos && lf > 0 && window[lf - 1] == '\r';
    if (lf != npos && (crlf || lf < kLineBreakPiece)) {
      appendBrokenLine(out, window.substr(0, crlf ? lf - 1 : lf));
      i += lf + 1;
      continue;
    }
    const string_view piece = window.substr(0, kLineBreakPiece);
    if (piece.back() == '\r')
      appendBrokenLine(out, piece.substr(0, piece.size() - 1));
    else
      out += piece;  // the last line, or a piece of an over-long line
    i += piece.size();
  }
  return out;
}

// The same pass for a text without CR, in the text's own buffer (the
// Markdown renderer's input is the largest buffer of the chain): the LFs that
// get a hard break are found first, then the text is spread out from its end.
void breakLinesInPlace(std::string& text) {
  std::vector<std::size_t> breaks;  // LFs that get "  " before them
  for (std::size_t i = 0; i < text.size();) {
    const string_view window = string_view(text).substr(i, kLineBreakPiece);
    const std::size_t lf = window.find('\n');
    if (lf == npos) {
      i += window.size();  // the last line, or a piece of an over-long line
      continue;
    }
    if (needsHardBreak(window.substr(0, lf))) breaks.push_back(i + lf);
    i += lf + 1;
  }
  if (breaks.empty()) return;
  std::size_t from = text.size();
  text.resize(text.size() + 2 * breaks.size());
  std::size_t to = text.size();
  for (auto lf = breaks.rbegin(); lf != breaks.rend(); ++lf) {
    const std::size_t tail = from - *lf;  // the LF and the rest of its stretch
    to -= tail;
    std::memmove(text.data() + to, text.data() + *lf, tail);
    to -= 2;
    text[to] = ' ';
    text[to + 1] = ' ';
    from = *lf;
  }
}

bool isLineEnd(char c) { return c == '\n' || c == '\r'; }

bool isBlankLine(string_view line) { return line.find_first_not_of(" \t") == npos; }

// Bracket pairs "[...]" closed on this line; `open` carries the unclosed "["
// from line to line.
std::size_t closedBrackets(string_view line, std::size_t& open) {
  std::size_t pairs = 0;
  if (open == 0) {
    const std::size_t first = line.find('[');
    if (first == npos) return 0;
    line.remove_prefix(first);
  }
  for (char c : line) {
    if (c == '[') {
      ++open;
    } else if (c == ']' && open > 0) {
      --open;
      ++pairs;
    }
  }
  return pairs;
}

// The text as md4c gets it (md4c ends lines at LF, CR and CR LF); `text`
// itself when nothing needs changing, so the common case copies nothing.
// - At most kMaxNesting container markers at the start of each line.
// - Blocks of text lines are kept to kMaxLinkWork: md4c finds the line of
//   each bracket pair by walking the block's lines from its first, so a block
//   of many lines with a pair on each costs lines times pairs. When a block
//   goes past that, a blank line is put before the line that did it, which
//   starts a new paragraph there (and ends a list item's or quote's lazy
//   lines). Only blocks of thousands of lines full of links come near it.
string_view prepareForMd4c(string_view text, std::string& storage) {
  std::size_t copied = 0;
  bool changed = false;
  auto replace = [&](std::size_t from, std::size_t to, string_view with) {
    if (!changed) storage.reserve(text.size() + text.size() / 64 + 16);
    changed = true;
    storage.append(text.substr(copied, from - copied));
    storage.append(with);
    copied = to;
  };
  std::size_t blockLines = 0, openBrackets = 0;
  unsigned long long linkWork = 0;
  const bool loneCrPossible = text.find('\r') != npos;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = start;
    if (loneCrPossible) {
      while (end < text.size() && !isLineEnd(text[end])) ++end;
    } else {
      end = std::min(text.find('\n', start), text.size());
    }
    const string_view line = text.substr(start, end - start);
    if (isBlankLine(line)) {
      blockLines = openBrackets = 0;
      linkWork = 0;
    } else {
      std::size_t pairs = closedBrackets(line, openBrackets);
      if (pairs > 0 && linkWork + static_cast<unsigned long long>(pairs) * blockLines > md4c_input::kMaxLinkWork) {
        replace(start, start, text[start - 1] == '\r' ? "\r" : "\n");  // the line end in use
        blockLines = openBrackets = 0;
        linkWork = 0;
        pairs = closedBrackets(line, openBrackets);
      }
      linkWork += static_cast<unsigned long long>(pairs) * blockLines;
      ++blockLines;
    }
    const auto [keepEnd, lastEnd] = md4c_input::excessMarkers(text, start);
    if (keepEnd != npos) replace(keepEnd, lastEnd, {});
    start = end;
    if (start < text.size()) start += text[start] == '\r' && start + 1 < text.size() && text[start + 1] == '\n' ? 2 : 1;
  }
  if (!changed) return text;
  storage.append(text.substr(copied));
  return storage;
}

// Where md4c and the passes hand their output: md4c's own callback type.
using Sink = void (*)(const MD_CHAR* text, MD_SIZE size, void* user);

void appendToString(const MD_CHAR* text, MD_SIZE size, void* out) {
  static_cast<std::string*>(out)->append(text, size);
}

void emit(Sink sink, void* user, string_view s) {
  if (!s.empty()) sink(s.data(), static_cast<MD_SIZE>(s.size()), user);
}

bool writeAll(int fd, string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// The page file, written through a buffer so the body never has to be held
// whole. After a failed write the rest is dropped and finish() says false.
class PageWriter {
 public:
  explicit PageWriter(int fd) : fd_(fd), buffer_(new char[kWriteBuffer]) {}

  // md4c hands over a few bytes at a time, most of them 16 or fewer: those
  // go in with word moves, without a call.
  static void sink(const MD_CHAR* text, MD_SIZE size, void* writer) {
    PageWriter& page = *static_cast<PageWriter*>(writer);
    if (size <= 16 && kWriteBuffer - page.used_ >= 16) {
      copyShort(page.buffer_.get() + page.used_, text, size);
      page.used_ += size;
      return;
    }
    page.add(string_view(text, size));
  }

  // md4c hands over a few bytes at a time: the common case is one copy.
  // Kept out of sink(), whose short path then saves no registers.
  [[gnu::noinline]] void add(string_view s) {
    if (s.size() <= kWriteBuffer - used_) {
      std::memcpy(buffer_.get() + used_, s.data(), s.size());
      used_ += s.size();
      return;
    }
    flush();
    if (s.size() >= kWriteBuffer) {
      ok_ = ok_ && writeAll(fd_, s);
      return;
    }
    std::memcpy(buffer_.get(), s.data(), s.size());
    used_ = s.size();
  }

  bool finish() {
    flush();
    return ok_;
  }

 private:
  void flush() {
    ok_ = ok_ && writeAll(fd_, string_view(buffer_.get(), used_));
    used_ = 0;
  }

  // n <= 16 bytes: two moves of 8 or 4 bytes that overlap in the middle,
  // reading and writing only the n bytes.
  static void copyShort(char* to, const char* from, std::size_t n) {
    if (n >= 8) {
      std::uint64_t head, tail;
      std::memcpy(&head, from, 8);
      std::memcpy(&tail, from + n - 8, 8);
      std::memcpy(to, &head, 8);
      std::memcpy(to + n - 8, &tail, 8);
    } else if (n >= 4) {
      std::uint32_t head, tail;
      std::memcpy(&head, from, 4);
      std::memcpy(&tail, from + n - 4, 4);
      std::memcpy(to, &head, 4);
      std::memcpy(to + n - 4, &tail, 4);
    } else if (n > 0) {
      to[0] = from[0];
      to[n / 2] = from[n / 2];
      to[n - 1] = from[n - 1];
    }
  }

  int fd_;
  bool ok_ = true;
  std::unique_ptr<char[]> buffer_;  // kWriteBuffer bytes
  std::size_t used_ = 0;
};

// md4c gives up only when it runs out of memory: the text is then shown as
// it is.
std::string plainTextBody(string_view text) {
  std::string html = "<pre>";
  appendHtmlText(html, text);
  html += "</pre>\n";
  return html;
}

// md4c (0.4.8) looks a few bytes past the end of some inputs, and once
// gave back text from there (found by fuzzing): what it reads in place has
// kMd4cPadding zero bytes after its end, in the same memory.
constexpr std::size_t kMd4cPadding = 64;

// Makes those zero bytes after s's end; s keeps its size.
void padForMd4c(std::string& s) {
  const std::size_t size = s.size();
  s.append(kMd4cPadding, '\0');
  s.resize(size);
}

// `ready`: the text is known to need no rewriting for md4c. `padded`: zero
// bytes follow it (padForMd4c); else md4c reads a padded copy.
bool markdownTo(string_view text, Sink sink, void* user, bool ready, bool padded) {
  std::string storage;
  string_view input = ready ? text : prepareForMd4c(text, storage);
  if (input.data() != text.data()) {
    padForMd4c(storage);  // which may move it
    input = storage;
  } else if (!padded) {
    storage.reserve(text.size() + kMd4cPadding);
    storage.assign(text);
    padForMd4c(storage);
    input = storage;
  }
  return md_html(input.data(), static_cast<MD_SIZE>(input.size()), sink, user, kMd4cFlags, 0) == 0;
}

// The body for the switches. `source`, when given, holds `text` and is
// released once no pass needs it, to keep the peak memory of a page down.
void renderBodyTo(string_view text, unsigned switches, Sink sink, void* user, std::string* source = nullptr) {
  if ((switches & (kRenderMarkdown | kRenderWiki)) == 0) switches |= kRenderMarkdown;
  const bool markdown = (switches & kRenderMarkdown) != 0;
  const bool lineBreaks = (switches & kRenderLineBreaks) != 0;
  std::string work;
  bool ready = false;
  if (markdown && (switches & kRenderMarkdownNote) && (switches & (kRenderWiki | kRenderLineBreaks))) {
    work = prepareMarkdownNote(text,
                               {.wiki = (switches & kRenderWiki) != 0, .lineBreaks = lineBreaks, .md4cReady = &ready});
    if (source) std::string().swap(*source);
    text = work;
  } else if (switches & kRenderWiki) {
    work = wikiToHtml(text, WikiOptions{.markLineEnds = !(markdown && lineBreaks)});
    if (source) std::string().swap(*source);
    if (!markdown) return emit(sink, user, work);
    if (lineBreaks) {
      if (work.find('\r') == npos)
        breakLinesInPlace(work);
      else
        work = breakLinesCopying(work);
    }
    text = work;
  } else if (lineBreaks) {
    work = lineBreakPass(text);
    if (source) std::string().swap(*source);
    text = work;
  }
  // md4c reads the text in place when it is work or *source, padded.
  bool padded = false;
  if (!work.empty() && text.data() == work.data()) {
    padForMd4c(work);
    text = work;
    padded = true;
  } else if (source && !source->empty() && text.data() == source->data()) {
    padForMd4c(*source);
    text = *source;
    padded = true;
  }
  if (!markdownTo(text, sink, user, ready, padded)) emit(sink, user, plainTextBody(text));
}

std::size_t utf8SequenceLength(string_view s, std::size_t i) {
  const unsigned char c = static_cast<unsigned char>(s[i]);
  std::size_t n = c >= 0xF0 && c < 0xF8 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
  if (c >= 0xF8) n = 1;
  std::size_t k = 1;
  while (k < n && i + k < s.size() && (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80) ++k;
  return k;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

PageSource classifyPageSource(std::string_view fileName, const std::vector<std::string>& markdownExtensions) {
  const string_view ext = extensionOf(fileName);
  if (ext.empty()) return PageSource::Direct;
  if (inList(ext, kImageExtensions)) return PageSource::Image;
  if (inList(ext, kWikiExtensions)) return PageSource::Wiki;
  if (inList(ext, markdownExtensions)) return PageSource::Markdown;
  return PageSource::Direct;
}

std::vector<std::string> markdownExtensions(const std::vector<std::string>& extra) {
  std::vector<std::string> list(std::begin(kBaseMarkdownExtensions), std::end(kBaseMarkdownExtensions));
  // An empty setting splits into one empty piece: nothing to add.
  if (extra.empty() || extra.front().empty()) return list;
  for (const std::string& piece : extra) {
    if (list.size() >= kMaxMarkdownExtensions) break;
    if (piece.empty()) continue;  // a run of commas
    std::string ext = cutUtf8(piece, kExtensionPiece);
    if (ext.front() != '.') ext.insert(ext.begin(), '.');
    if (!inList(ext, list)) list.push_back(std::move(ext));
  }
  return list;
}

std::string pageHead(std::string_view sourcePath, const PageContext& context) {
  std::string head = "<html>\n<head>\n<title>";
  appendHtmlText(head, lastComponent(sourcePath));
  head += "</title>\n";
  if (!context.folder.empty()) {
    // The backslash before the closing quote is read as "/" by the browser,
    // which gives the folder the trailing slash a base address needs.
    head += "<base href=\"file://";
    appendPathAttribute(head, context.folder);
    head += "\\\">\n";
  }
  if (!context.styleSheetPath.empty() && isRegularFile(context.styleSheetPath)) {
    head += "<link rel=\"stylesheet\" href=\"file://";
    appendPathAttribute(head, context.styleSheetPath);
    head += "\" type=\"text/css\">\n";
  }
  head += "</head><body>\n";
  return head;
}

std::string lineBreakPass(std::string_view text) {
  if (text.find('\r') != npos) return breakLinesCopying(text);
  std::string out;
  out.reserve(text.size() + text.size() / 16 + 16);
  out.assign(text);
  breakLinesInPlace(out);
  return out;
}

std::string markdownToHtml(std::string_view text) {
  std::string html;
  html.reserve(text.size() + text.size() / 2 + 64);
  if (!markdownTo(text, appendToString, &html, false, false)) html = plainTextBody(text);
  return html;
}

std::string renderMarkupBody(std::string_view text, unsigned switches) {
  std::string html;
  html.reserve(text.size() + text.size() / 2 + 64);
  renderBodyTo(text, switches, appendToString, &html);
  return html;
}

bool renderMarkupFile(const std::string& sourcePath, const std::string& pagePath, unsigned switches,
                      const PageContext& context) {
  std::optional<std::string> source = readWholeFile(sourcePath);
  if (!source) return false;
  const int fd = ::open(pagePath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  PageWriter page(fd);
  page.add(pageHead(sourcePath, context));
  renderBodyTo(*source, switches, PageWriter::sink, &page, &*source);
  page.add(kPageFoot);
  bool ok = page.finish();
  ok = ::close(fd) == 0 && ok;
  return ok;
}

std::string newPagePath(const std::string& tempDir) {
  constexpr string_view kFallback = "temp.html";
  constexpr string_view kTemplate = "tnXXXXXX.html";
  constexpr int kSuffixLength = 5;  // ".html"
  if (tempDir.empty()) return std::string(kFallback);
  if (!isDirectory(tempDir)) {
    std::error_code ec;
    const std::string parent = parentOf(tempDir);
    if (!parent.empty()) std::filesystem::create_directories(parent, ec);
    ::mkdir(tempDir.c_str(), 0700);
  }
  std::string path = joinPath(tempDir, kTemplate);
  const int fd = ::mkstemps(path.data(), kSuffixLength);
  if (fd < 0) return std::string(kFallback);
  ::close(fd);
  return path;
}

std::vector<std::string> listStyleSheets(const std::string& supportDir) {
  std::vector<DirEntry> entries;
  std::vector<std::string> names;
  if (!readDirectory(supportDir, entries)) return names;
  for (DirEntry& e : entries) {
    // Like the "*.css" pattern of a shell: hidden files are not listed.
    if (e.isDir || e.name.starts_with('.') || !endsWithNoCase(e.name, ".css")) continue;
    if (!isRegularFile(joinPath(supportDir, e.name))) continue;
    names.push_back(std::move(e.name));
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    const int c = compareNoCase(a, b);
    return c != 0 ? c < 0 : a < b;
  });
  if (names.size() > kMaxStyleSheets) names.resize(kMaxStyleSheets);
  return names;
}

std::string imagePageHtml(const ImagePageInput& in) {
  std::string src;
  appendPathAttribute(src, in.imagePath);
  if (in.useStyleSheet) {
    return pageHead(in.imagePath, in.context) + "<table id='imgtable'><td><img src='" + src +
           "'></td></table></body></html>";
  }
  if (in.paneWidth >= 1 && in.paneHeight >= 1) {
    const long long w = static_cast<long long>(in.paneWidth) - in.pad - in.scrollBarWidth -
                        static_cast<long long>(kImageExtraMargin);
    return format(
               "<html><head><title>image</title><style> img{width: expression(this.width > %lld ? %lld: true);} "
               "table {position:absolute; top:%dpx; left:%dpx;}</style></head><body><table border='0' "
               "cellpadding='0' cellspacing='0' width='%lld'><td width='100%%' align='center'><img src='",
               w, w, in.pad, in.pad, w) +
           src + "'></td></table></body></html>";
  }
  return "<html><head><title>image</title><style> img {max-width: expression(document.body.clientWidth)}"
         "</style></head><body><center><table ><td ><img src='" +
         src + "'></td></table></center></body></html>";
}

std::string searchAddress(std::string_view text, std::string_view searchString) {
  constexpr std::size_t kPrefix = 3;  // "???"
  if (text.size() <= kPrefix) return {};
  text.remove_prefix(kPrefix);
  std::string query;
  for (std::size_t i = 0; i < text.size();) {
    string_view unit;
    std::size_t used = 1;
    if (text[i] == ' ') {
      unit = "+";
    } else if (text[i] == '+') {
      unit = "%2B";
    } else {
      used = utf8SequenceLength(text, i);
      unit = text.substr(i, used);
    }
    if (query.size() + unit.size() > kSearchQuery) break;
    query += unit;
    i += used;
  }
  if (query.empty()) return {};
  return std::string(searchString) + query;
}

std::string linkNoteName(std::string_view url) {
  constexpr std::size_t kScheme = 3;  // "tn:"
  if (url.size() <= kScheme) return {};
  url.remove_prefix(kScheme);
  std::string name;
  name.reserve(url.size());
  for (std::size_t i = 0; i < url.size(); ++i) {
    if (url[i] == '%' && i + 2 < url.size() && hexValue(url[i + 1]) >= 0 && hexValue(url[i + 2]) >= 0) {
      const int byte = hexValue(url[i + 1]) * 16 + hexValue(url[i + 2]);
      // Control bytes would make a file name no one can type: left as written.
      if (byte >= 0x20 && byte != 0x7F) {
        name += static_cast<char>(byte);
        i += 2;
        continue;
      }
    }
    name += url[i];
  }
  return cutUtf8(name, kNoteName);
}

std::string cleanNoteName(std::string_view name) {
  std::string out(name);
  for (char& c : out)
    if (c == '%' || c == ':' || c == '?' || c == '[' || c == ']' || c == '\\' || c == '/') c = '_';
  return out;
}

}  // namespace vm
