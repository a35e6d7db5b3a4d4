#include "render/wiki.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "platform/limits.h"
#include "platform/text.h"
#include "render/byte_scan.h"

namespace vm {

namespace {

using std::string_view;
constexpr std::size_t npos = std::string::npos;

constexpr std::size_t kPiece = limits::kWikiPiece;
constexpr std::size_t kTarget = limits::kWikiLinkTarget;
constexpr std::size_t kAddress = limits::kWikiLinkAddress;
constexpr std::size_t kCell = limits::kWikiCell;
constexpr std::size_t kCells = limits::kWikiCells;
// Every step rebuilds the line once per round, and a piece can hold hundreds
// of markers, so the rounds of one piece share a fixed allowance of bytes
// rebuilt or scanned, and stop growing a line past a fixed size. A piece is
// at most kPiece bytes, so the work of a whole text is linear in its size
// whatever its bytes; lines people write use a small part of either bound.
constexpr std::size_t kPieceWork = 256 * 1024;
constexpr std::size_t kMaxLineGrowth = 32 * 1024;

struct Block {
  string_view open, close, htmlOpen, htmlClose;
};
constexpr Block kBlocks[] = {
    {"[<", ">]", "", ""},
    {"[{", "}]", "", ""},
    {"[|", "|]", "<pre>", "</pre>\n"},
    {"-->", "<--", "<center>", "</center>"},
};
constexpr int kNoBlock = -1;
constexpr int kCenterBlock = 3;

struct InlineMark {
  char marker;
  string_view before, after;
};
constexpr InlineMark kInline[] = {{'=', "<i>", "</i>"}, {'_', "<u>", "</u>"}};
constexpr char kDelimiters[] = {' ', ',', ':', ';', '!', '?', '.', '\t', '\n'};

struct LineReplacement {
  string_view text, with;
  bool atStart, markAllowed;
};
constexpr LineReplacement kReplacements[] = {
    {"___\n", "<hr />\n", true, true},
    {"***\n", "<hr />\n", true, true},
    {"* * *\n", "<hr />\n", true, true},
    {"[$", "<img src=\"", false, true},
    {"$]", "\">", false, true},
    {"](imgs\\", "](imgs/", false, false},
    {"++++++", "######", true, false},
    {"+++++", "#####", true, false},
    {"++++", "####", true, false},
    {"+++", "###", true, false},
    {"++", "##", true, false},
    {"+", "#", true, false},
};


enum BlockState { kOutside = 0, kClosed = 1, kOpened = 2, kInside = 3 };
enum TableState { kNoTable = 0, kFirstRow = 1, kInTable = 2 };

// Whether c is one of the bytes `Set`: a comparison with each, where
// string_view::find would call memchr for each test.
template <char... Set>
constexpr bool oneOf(char c) {
  return ((c == Set) || ...);
}

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool startsWithNoCase(string_view s, string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (lower(s[i]) != lower(prefix[i])) return false;
  return true;
}

bool endsWithNoCase(string_view s, string_view suffix) {
  return s.size() >= suffix.size() && startsWithNoCase(s.substr(s.size() - suffix.size()), suffix);
}

string_view trimSpaces(string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

// At most n bytes, without splitting a UTF-8 sequence (invalid bytes are cut
// where they fall).
string_view cut(string_view s, std::size_t n) {
  if (s.size() <= n) return s;
  std::size_t k = n;
  for (int i = 0; i < 3 && k > 0 && (static_cast<unsigned char>(s[k]) & 0xC0) == 0x80; ++i) --k;
  if ((static_cast<unsigned char>(s[k]) & 0xC0) == 0x80) k = n;
  return s.substr(0, k);
}

// "<a class='tnClass' href=\"tn:My%20Page\">shown</a>" for a page, the address
// as written for a web, file or "#" target; appended to out. Returns whether
// it is a page's with the whole target (blanks aside) as its name: of the
// bytes the steps count, the anchor then holds two "=" and a ":" more than
// the name and the text.
bool appendAnchor(std::string& out, string_view target, string_view shown) {
  const bool whole = target.size() <= kTarget;
  target = cut(target, kTarget);
  const string_view trimmed = trimSpaces(target);
  bool direct = startsWithNoCase(trimmed, "file:") || startsWithNoCase(trimmed, "#");
  // Every web prefix starts with one of these (no other character folds to
  // them), which spares the full comparison for page names.
  direct = direct || (!trimmed.empty() && oneOf<'h', 'f', 'm', 'w', '?'>(lower(trimmed[0])) &&
                      startsWithWebPrefix(trimmed));
  if (direct) {
    out += "<a ";
    const string_view address = cut(target, kAddress);
    if (address.find("tn:") != npos) out += "class='tnClass' ";
    out += "href=\"";
    out += address;
    out += "\">";
    out += shown;
    out += "</a>";
    return false;
  }
  // A page: "tn:" and the name with blanks as "%20", written in one go into
  // room made for the longest result.
  constexpr string_view kPageOpen = "<a class='tnClass' href=\"tn:", kMid = "\">", kClose = "</a>";
  const string_view name = cut(trimmed, kAddress);
  const std::size_t start = out.size();
  out.resize(start + kPageOpen.size() + 3 * name.size() + kMid.size() + shown.size() + kClose.size());
  char* p = out.data() + start;
  auto put = [&p](string_view s) {
    std::memcpy(p, s.data(), s.size());
    p += s.size();
  };
  put(kPageOpen);
  for (const char c : name) {
    if (c == ' ') {
      p[0] = '%';
      p[1] = '2';
      p[2] = '0';
      p += 3;
    } else {
      *p++ = c;
    }
  }
  put(kMid);
  put(shown);
  put(kClose);
  out.resize(static_cast<std::size_t>(p - out.data()));
  return whole && name.size() == trimmed.size();
}

// How often each character that markup steps start from occurs in a line,
// so a step whose characters are all missing is skipped (it could not change
// the line anyway). Kept up to date edit by edit, without a new scan.
class MarkupChars {
 public:
  void count(string_view line) {
    counts_.fill(0);
    add(line);
  }
  void add(string_view s) {
    TrackedBytes::forEach(s, [&](std::size_t i) { ++counts_[kIndex[static_cast<unsigned char>(s[i])]]; });
  }
  void remove(string_view s) {
    TrackedBytes::forEach(s, [&](std::size_t i) { --counts_[kIndex[static_cast<unsigned char>(s[i])]]; });
  }
  // c is one of kTracked (any other byte counts 0).
  std::size_t count(char c) const { return counts_[kIndex[static_cast<unsigned char>(c)]]; }
  // n more (or, below zero, fewer) of the tracked byte c.
  void adjust(char c, long n) { counts_[kIndex[static_cast<unsigned char>(c)]] += static_cast<std::size_t>(n); }
  bool any(string_view chars) const {
    for (unsigned char c : chars)
      if (counts_[kIndex[c]] > 0) return true;
    return false;
  }
  // Whether any of the tracked bytes `Chars` occurs: their slots are known
  // when compiling.
  template <char... Chars>
  bool anyOf() const {
    return ((counts_[kIndex[static_cast<unsigned char>(Chars)]] > 0) || ...);
  }

 private:
  static constexpr string_view kTracked = "[]-:=_*$+";
  using TrackedBytes = ByteSet<'[', ']', '-', ':', '=', '_', '*', '$', '+'>;  // kTracked
  static constexpr std::size_t kOther = kTracked.size();  // the slot of no tracked byte
  static constexpr std::array<std::uint8_t, 256> kIndex = [] {
    std::array<std::uint8_t, 256> index{};
    index.fill(static_cast<std::uint8_t>(kOther));
    for (std::size_t i = 0; i < kTracked.size(); ++i)
      index[static_cast<unsigned char>(kTracked[i])] = static_cast<std::uint8_t>(i);
    return index;
  }();
  std::array<std::size_t, kTracked.size() + 1> counts_{};
};

// What a step does to a line: the bytes [at, at + removed) become the
// step's replacement text. at is npos when the step changes nothing.
struct Edit {
  std::size_t at = npos, removed = 0;
  bool counted = false;  // the step has brought the byte counts up to date
};

// "[[target][text]]" (three "[" and three "]" at least).
// With `count`, a page anchor made of the whole target and text updates the
// byte counts itself: it trades the three "[" and three "]" for its two "="
// and one ":".
Edit pageLink(string_view view, MarkupChars& chars, std::string& with, bool count) {
  if (chars.count('[') < 3 || chars.count(']') < 3) return {};
  const std::size_t open = view.find("[[");
  if (open == npos) return {};
  const std::size_t mid = view.find("][", open + 2);
  if (mid == npos) return {};
  const std::size_t close = view.find("]]", mid + 2);
  if (close == npos) return {};
  const bool page =
      appendAnchor(with, view.substr(open + 2, mid - open - 2), trimSpaces(view.substr(mid + 2, close - mid - 2)));
  if (count && page) {
    chars.adjust('[', -3);
    chars.adjust(']', -3);
    chars.adjust('=', 2);
    chars.adjust(':', 1);
    return {open, close + 2 - open, true};
  }
  return {open, close + 2 - open};
}

// Where the first "http:" starts, else the first "https:", else npos. Found
// from the colons, which are few, rather than from every "h".
std::size_t firstAddress(string_view view) {
  std::size_t https = npos;
  for (std::size_t colon = view.find(':'); colon != npos; colon = view.find(':', colon + 1)) {
    if (colon >= 4 && view.substr(colon - 4, 4) == "http") return colon - 4;
    if (https == npos && colon >= 5 && view.substr(colon - 5, 5) == "https") https = colon - 5;
  }
  return https;
}

// "[target]", or else the first bare "http:" / "https:" address. In a
// Markdown note an address at the end of the line keeps its line end, and
// "[!NOTE]" and "[^1]" are no page links.
// With `count`, a page anchor for "[target]" updates the byte counts
// itself: the brackets go, the target comes twice (name and text) and the
// anchor's "=", "=", ":" come.
// Without `addresses` the line holds no colon but those of the links the
// steps made ("tn:"), where no address starts: no address is looked for.
Edit bracketOrWebLink(string_view view, MarkupChars& chars, std::string& with, bool markdownNote, bool count,
                      bool addresses) {
  const std::size_t bracket = chars.count('[') > 0 ? view.find('[') : npos;
  if (bracket != npos && (bracket == 0 || view[bracket - 1] != '\\')) {
    if (bracket + 1 < view.size() && oneOf<'$', '<', '[', '{', '|'>(view[bracket + 1])) return {};
    if (markdownNote && bracket + 1 < view.size() && (view[bracket + 1] == '!' || view[bracket + 1] == '^'))
      return {};
    const std::size_t end = view.find(']', bracket + 1);
    if (end == npos) return {};
    if (end + 1 < view.size() && oneOf<'(', ':', '['>(view[end + 1])) return {};
    const string_view target = view.substr(bracket + 1, end - bracket - 1);
    const bool page = appendAnchor(with, target, trimSpaces(cut(target, kTarget)));
    if (count && page) {
      chars.adjust('[', -1);
      chars.adjust(']', -1);
      chars.adjust('=', 2);
      chars.adjust(':', 1);
      chars.add(target);
      return {bracket, end + 1 - bracket, true};
    }
    return {bracket, end + 1 - bracket};
  }
  if (chars.count(':') == 0 || !addresses) return {};  // no address
  const std::size_t start = firstAddress(view);
  if (start == npos) return {};
  if ((start >= 2 && view[start - 2] == '=') || (start >= 1 && view[start - 1] == '>')) return {};
  std::size_t end = view.find(' ', start);
  const bool atSpace = end != npos;
  if (!atSpace) end = view.find('\n', start);
  if (end == npos) return {};
  string_view target = view.substr(start, end - start);
  // In a Markdown note, punctuation and emphasis marks that end the address
  // belong to the text around it.
  std::size_t keep = target.size();
  if (markdownNote)
    while (keep > 7 && string_view(".,:;!?*_~'\")").find(target[keep - 1]) != npos) --keep;
  const string_view after = target.substr(keep);
  target = target.substr(0, keep);
  appendAnchor(with, target, trimSpaces(cut(target, kTarget)));
  with += after;
  with += atSpace ? " " : markdownNote ? "\n" : "<br />";
  return {start, end + 1 - start};
}

// First "ab" in s from `from`, found by the second character, which is the
// rarer one where this is used (markers after a blank).
std::size_t findPair(string_view s, char a, char b, std::size_t from = 0) {
  for (std::size_t at = s.find(b, from + 1); at != npos; at = s.find(b, at + 1))
    if (s[at - 1] == a) return at - 1;
  return npos;
}

// " =italic=" and " _underlined_", closed by a marker before a delimiter.
// In a Markdown note "_" is Markdown's emphasis. Without `equals` the line
// holds no "=" but those of the links the steps made ("class=", "href="),
// where no italic opens: "=" is not looked for.
Edit inlineMarkup(string_view view, const MarkupChars& chars, std::string& with, bool markdownNote, bool equals) {
  for (const InlineMark& row : kInline) {
    if ((markdownNote && row.marker == '_') || (row.marker == '=' && !equals) || chars.count(row.marker) == 0)
      continue;
    std::size_t keep = findPair(view, ' ', row.marker);
    std::size_t open = keep + 1;
    if (keep == npos) {
      if (view.empty() || view[0] != row.marker) continue;
      keep = 0;
      open = 0;
    }
    if (open + 1 < view.size() && view[open + 1] == row.marker) continue;
    std::size_t close = npos;
    for (char delimiter : kDelimiters) {
      const char closing[2] = {row.marker, delimiter};
      close = view.find(string_view(closing, 2), open + 1);
      if (close != npos) break;
    }
    if (close == npos) continue;
    with += ' ';
    with += row.before;
    with += view.substr(open + 1, close - open - 1);
    with += row.after;
    return {keep, close + 1 - keep};
  }
  return {};
}

// In a Markdown note a "+" followed by a blank (or nothing) is a list
// marker, not a heading mark.
Edit lineReplacement(string_view line, const MarkupChars& chars, std::string& with, bool& markAllowed,
                     bool markdownNote) {
  // The rows at the start of a line start with "_", "*" or "+"; the others
  // need a "[", "$" or "]" somewhere.
  const bool atStart = !line.empty() && (line[0] == '_' || line[0] == '*' || line[0] == '+');
  if (!atStart && chars.count('[') == 0 && chars.count('$') == 0 && chars.count(']') == 0) return {};
  for (const LineReplacement& row : kReplacements) {
    std::size_t at = 0;
    if (row.atStart) {
      if (line.empty() || line[0] != row.text[0]) continue;
      if (!line.starts_with(row.text)) continue;
      if (markdownNote && row.text[0] == '+') {
        // "+ item" is a list marker, and "+++" alone no heading.
        const std::size_t run = line.find_first_not_of('+');
        const bool rest = run != npos && line.find_first_not_of(" \t\r\n", run) != npos;
        const bool blankAfter = run == npos || string_view(" \t\r\n").find(line[run]) != npos;
        if (!rest || (run == 1 && blankAfter)) continue;
      }
    } else {
      // "[$", "$]", "](imgs\\": their first byte must be there.
      if (chars.count(row.text[0]) == 0) continue;
      at = line.find(row.text);
      if (at == npos) continue;
    }
    with += row.with;
    markAllowed = row.markAllowed;
    return {at, row.text.size()};
  }
  return {};
}

// Ends in "<br/>", ASCII case ignored.
bool endsInMark(string_view s) {
  constexpr string_view kMark = "<br/>";
  if (s.size() < kMark.size()) return false;
  s.remove_prefix(s.size() - kMark.size());
  for (std::size_t i = 0; i < kMark.size(); ++i)
    if (lower(s[i]) != kMark[i]) return false;
  return true;
}

// A line ending in LF or CR ends in "<br/>" and LF instead, unless it already
// ends in "<br/>".
void addLineEndMark(std::string& line) {
  if (line.empty() || (line.back() != '\n' && line.back() != '\r')) return;
  line.pop_back();
  if (line.size() > 5 && endsWithNoCase(line, "<br/>")) {
    line += '\n';
    return;
  }
  line += "<br/>\n";
}


}  // namespace

class WikiConverter::Converter {
 public:
  Converter(const WikiOptions& options, string_view text)
      : markLineEnds_(options.markLineEnds), markdownNote_(options.markdownNote), countEdits_(options.countEdits) {
    // A centring block opens only where its close marker follows somewhere
    // later in the text; a lone "-->" (an arrow, a comment's end) is text.
    // (A Markdown note has no such blocks: no need to look.)
    if (!markdownNote_) lastCenterClose_ = text.rfind(kBlocks[kCenterBlock].close);
  }

  // Bytes scanned or rebuilt by the repeated steps, over all pieces.
  std::size_t work() const { return work_; }

  // line is the converter's own piece buffer, changed in place.
  void convert(std::string& line, std::string& out) {
    convertHere(line, out);
    out += line;
  }

  // convert() without writing the line: it stays in `line`; `out` gets
  // what goes before it (the end of a table). Returns whether the line is
  // as it was.
  bool convertHere(std::string& line, std::string& out) {
    bool changed = false;
    std::size_t spent = 0;
    const std::size_t maxLine = line.size() + kMaxLineGrowth;
    MarkupChars& chars = chars_;
    chars.count(line);
    // Outside a block only "[<", "[{", "[|" and "-->" matter here. A
    // Markdown note has Markdown's own code blocks instead.
    if (!markdownNote_ && (block_ == kInside || chars.any("[-"))) blockStep(line, changed);

    if (block_ == kClosed) {
      block_ = kOutside;
      changed = true;
    } else if (block_ == kInside) {
      changed = escape(line) || changed;
    }

    if (!line.empty() && line[0] == '|') {
      tableRow(line);
      changed = true;
    } else {
      endTable(out);
    }

    bool markAllowed = true;
    if (block_ != kInside) {
      if (changed) chars.count(line);
      // Each step runs again while it changes the line, on the line as the
      // last round left it; a round edits the line in place.
      std::string& with = with_;
      auto step = [&](auto needs, auto&& run) {
        bool any = false;
        while (needs() && spent < kPieceWork && line.size() < maxLine) {
          spent += line.size();
          work_ += line.size();
          with.clear();
          const Edit edit = run(string_view(line));
          if (edit.at == npos) break;
          if (!edit.counted) {
            chars.remove(string_view(line).substr(edit.at, edit.removed));
            chars.add(with);
          }
          line.replace(edit.at, edit.removed, with);
          any = true;
        }
        return any;
      };
      // A step whose bytes are all missing is not called at all (most
      // steps on most lines). The links the first two steps make bring a
      // ":" and two "=" each, where no address or italic starts: on a line
      // without such bytes of its own the later steps do not look for them
      // (their rounds still count as work).
      const bool ownColons = !countEdits_ || chars.anyOf<':'>();
      const bool ownEquals = !countEdits_ || chars.anyOf<'='>();
      if (chars.anyOf<'['>())
        changed = step([&] { return chars.anyOf<'['>(); },
                       [&](string_view view) { return pageLink(view, chars, with, countEdits_); }) ||
                  changed;
      if (chars.anyOf<'[', ':'>())
        changed = step([&] { return chars.anyOf<'[', ':'>(); },
                       [&](string_view view) {
                         return bracketOrWebLink(view, chars, with, markdownNote_, countEdits_, ownColons);
                       }) ||
                  changed;
      if (chars.anyOf<'=', '_'>())
        changed = step([&] { return chars.anyOf<'=', '_'>(); },
                       [&](string_view view) { return inlineMarkup(view, chars, with, markdownNote_, ownEquals); }) ||
                  changed;
      if (chars.anyOf<'_', '*', '[', '$', ']', '+'>())
        changed = step([&] { return chars.anyOf<'_', '*', '[', '$', ']', '+'>(); }, [&](string_view view) {
                    return lineReplacement(view, chars, with, markAllowed, markdownNote_);
                  }) || changed;
    }

    // A Markdown note's changed lines are marked like the others: by the
    // line-break pass when it follows, else here.
    // A blank line of a Markdown note stays blank: it ends paragraphs.
    auto blank = [&] {
      return markdownNote_ &&
             std::all_of(line.begin(), line.end(), [](char c) { return oneOf<' ', '\t', '\r', '\n'>(c); });
    };
    const bool mark = changed && !markdownNote_
                          ? table_ != kInTable && markAllowed
                          : markLineEnds_ && (!changed || (table_ != kInTable && markAllowed)) && !blank();
    if (mark) addLineEndMark(line);
    position_ += lineBytes;
    return !changed && !mark;
  }

  // A line that takes no part in the markup (Markdown code, HTML, a rule)
  // still ends a table.
  void passThrough(string_view line, std::string& out) {
    endTable(out);
    out += line;
  }

  void endTable(std::string& out) {
    if (table_ != kInTable) return;
    // In a Markdown note the table is an HTML block: a blank line ends it,
    // so what follows is Markdown again.
    out += markdownNote_ ? "</table><br/>\n\n" : "</table><br/>\n";
    table_ = kNoTable;
  }

  // See WikiConverter::passesUnchanged.
  bool passesUnchanged(string_view line) const {
    if (!markdownNote_ || table_ == kInTable || line.size() >= kPiece || (!line.empty() && line[0] == '|'))
      return false;
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    return !ReactingBytes::any(line);
  }

  // The convert() of such a line: no step runs, so nothing changes and no
  // work is counted; only the line-end mark may be added.
  void unchanged(string_view line, std::string& out) {
    const bool blank =
        std::all_of(line.begin(), line.end(), [](char c) { return oneOf<' ', '\t', '\r', '\n'>(c); });
    if (markLineEnds_ && !blank && !line.empty() && line.back() == '\n') {
      const string_view content = line.substr(0, line.size() - 1);
      out += content;
      out += content.size() > 5 && endsInMark(content) ? "\n" : "<br/>\n";
    } else {
      out += line;
    }
    position_ += line.size();
  }

  // Where the next piece starts in the text, for the centring rule.
  void advance(std::size_t bytes) { position_ += bytes; }
  std::size_t lineBytes = 0;  // bytes of the current piece in the text
  std::string piece;          // the current piece, as convert() changes it

 private:
  void blockStep(std::string& line, bool& changed) {
    do {
      if (block_ == kOpened || block_ == kInside) {
        const Block& b = kBlocks[openBlock_];
        const std::size_t at = line.find(b.close);
        if (at == npos) {
          block_ = kInside;
        } else {
          line.replace(at, b.close.size(), b.htmlClose);
          block_ = kClosed;
          openBlock_ = kNoBlock;
        }
      } else {
        for (int i = 0; i < static_cast<int>(std::size(kBlocks)); ++i) {
          const std::size_t at = line.find(kBlocks[i].open);
          if (at == npos) continue;
          if (i == kCenterBlock && (lastCenterClose_ == npos || lastCenterClose_ < position_ + at)) continue;
          line.replace(at, kBlocks[i].open.size(), kBlocks[i].htmlOpen);
          block_ = kOpened;
          openBlock_ = i;
          changed = true;
          break;
        }
      }
    } while (block_ == kOpened);
  }

  // Inside a block "<" and ">" are shown as text; on the line that opened a
  // preformatted block only the text after its "<pre>".
  static bool escape(std::string& line) {
    std::size_t from = line.find("<pre>");
    from = from == npos ? 0 : from + 5;
    if (line.find_first_of("<>", from) == npos) return false;
    std::string out = line.substr(0, from);
    for (std::size_t i = from; i < line.size(); ++i) {
      if (line[i] == '<')
        out += "&lt;";
      else if (line[i] == '>')
        out += "&gt;";
      else
        out += line[i];
    }
    line = std::move(out);
    return true;
  }

  // "|a|b|" rows: runs of "|" separate cells; the last piece (normally the
  // line end) follows the row's "</tr>".
  void tableRow(std::string& line) {
    if (table_ == kNoTable) table_ = kFirstRow;
    if (isDelimiterRow(line)) {
      line.clear();  // the table goes on; its first row may still be pending
      return;
    }
    // Built in a buffer kept from row to row; the line keeps its own.
    std::string& out = row_;
    out.assign(table_ == kFirstRow ? "<table><tr>" : "<tr>");
    const string_view view(line);
    string_view last;
    bool haveLast = false;
    std::size_t cells = 0;
    std::size_t i = 0;
    while (cells < kCells) {
      while (i < view.size() && view[i] == '|') ++i;
      if (i >= view.size()) break;
      std::size_t end = view.find('|', i);
      if (end == npos) end = view.size();
      if (haveLast) {
        out += "<td>";
        out += last;
        out += "</td>";
      }
      last = cut(view.substr(i, end - i), kCell);
      haveLast = true;
      ++cells;
      i = end;
    }
    out += "</tr>\n";
    if (haveLast) out += last;
    line.assign(out);
    table_ = kInTable;
  }

  // "|---|:--:|": every cell dashes with optional colons at the ends.
  static bool isDelimiterRow(string_view line) {
    bool dashes = false;
    std::size_t i = 0;
    while (i < line.size()) {
      const std::size_t end = std::min(line.find('|', i), line.size());
      string_view cell = line.substr(i, end - i);
      while (!cell.empty() && oneOf<' ', '\t', '\r', '\n'>(cell.front())) cell.remove_prefix(1);
      while (!cell.empty() && oneOf<' ', '\t', '\r', '\n'>(cell.back())) cell.remove_suffix(1);
      if (!cell.empty() && cell.front() == ':') cell.remove_prefix(1);
      if (!cell.empty() && cell.back() == ':') cell.remove_suffix(1);
      if (!cell.empty()) {
        if (cell.find_first_not_of('-') != npos) return false;
        dashes = true;
      } else if (end > i && line.substr(i, end - i).find(':') != npos) {
        return false;  // a colon alone
      }
      i = end + 1;
    }
    return dashes;
  }

  // The bytes a Markdown note's steps run on ("[", "[:", "=_", "_*[$]+"),
  // CR, which line() drops before an LF, and an LF before the end, where
  // line() would stop.
  using ReactingBytes = ByteSet<'[', ':', '=', '_', '*', '$', ']', '+', '\r', '\n'>;

  bool markLineEnds_;
  bool markdownNote_;
  bool countEdits_;
  MarkupChars chars_;  // of the current piece
  std::string with_;   // the replacement text of a step's edit
  std::string row_;    // a table row as tableRow() builds it
  std::size_t lastCenterClose_ = npos;  // where the text's last "<--" starts
  std::size_t position_ = 0;            // where the current piece starts in the text
  std::size_t work_ = 0;
  int block_ = kOutside;
  int openBlock_ = kNoBlock;
  int table_ = kNoTable;
};

WikiConverter::WikiConverter(const WikiOptions& options, std::string_view text)
    : converter_(std::make_unique<Converter>(options, text)), work_(options.work) {}

WikiConverter::~WikiConverter() {
  if (work_) *work_ += converter_->work();
}

// One line (through its LF, CR LF read as LF), in pieces of at most kPiece
// bytes once a CR before the LF is dropped (so the search window is one byte
// longer); only the last piece has the line end. Returns the bytes used.
std::size_t WikiConverter::line(std::string_view text, std::string& out) {
  const string_view window = text.substr(0, kPiece + 1);
  const std::size_t lf = window.find('\n');
  const bool crlf = lf != npos && lf > 0 && window[lf - 1] == '\r';
  // One buffer for the pieces of all lines, so a line costs no allocation.
  std::string& piece = converter_->piece;
  piece.clear();
  std::size_t used;
  if (lf != npos && (crlf || lf < kPiece)) {
    const std::size_t keep = crlf ? lf - 1 : lf;
    piece.reserve(keep + 1);
    piece.append(window.substr(0, keep));
    piece += '\n';
    used = lf + 1;
  } else {
    piece.assign(window.substr(0, kPiece));
    used = piece.size();
  }
  converter_->lineBytes = used;
  converter_->convert(piece, out);
  return used;
}

void WikiConverter::passThrough(std::string_view text, std::string& out) {
  converter_->passThrough(text, out);
  converter_->advance(text.size());
}

void WikiConverter::skip(std::size_t bytes) { converter_->advance(bytes); }

bool WikiConverter::passesUnchanged(std::string_view text) const { return converter_->passesUnchanged(text); }

std::size_t WikiConverter::unchanged(std::string_view text, std::string& out) {
  converter_->unchanged(text, out);
  return text.size();
}

bool WikiConverter::convertInPlace(std::string& line, std::string& before) {
  converter_->lineBytes = line.size();
  return converter_->convertHere(line, before);
}

std::string wikiToHtml(std::string_view text, const WikiOptions& options) {
  std::string out;
  out.reserve(text.size() + text.size() / 2);
  WikiConverter converter(options, text);
  for (std::size_t i = 0; i < text.size();) i += converter.line(text.substr(i), out);
  return out;
}

}  // namespace vm
