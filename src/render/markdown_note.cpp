#include "render/markdown_note.h"

#include <utf8proc.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdlib>
#include <span>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/limits.h"
#include "platform/text.h"
#include "render/byte_scan.h"
#include "render/markdown_lines.h"
#include "render/markup.h"
#include "render/md4c_input.h"
#include "render/wiki.h"

namespace vm {

namespace {

using std::string_view;
using namespace markdown;
constexpr std::size_t npos = std::string::npos;

// Stand-ins for the protected pieces of a prose line while the wiki pass
// runs: kOpen, the piece's number in decimal, kClose. No wiki step reacts to
// these bytes; the same bytes in the note are protected pieces themselves.
constexpr char kOpen = '\x1A';
constexpr char kClose = '\x1B';
// Bytes where a protected piece may start (and the task box's "["): the
// stand-in bytes too, since the note's own are protected.
using StartBytes = ByteSet<'`', '<', '[', ']', '!', '\\', kOpen, kClose>;

// The protected pieces of one prose line and the line with stand-ins.
class Protector {
 public:
  explicit Protector(const std::unordered_set<std::string>& labels) : labels_(labels) {}

  // Fills line_ (the stand-in text) from `s`; `noBreak` tells whether the
  // line ends inside a link's destination, where no hard break may go. The
  // pieces stay in `s`, which restore() reads: it must outlive that.
  void run(string_view s) {
    piecesAltered_ = false;
    pieces_.clear();
    pieceBytes_.clear();
    out_.clear();
    noBreak_ = false;
    if (pendingRun_ > 0) {
      // A code span from an earlier line of the paragraph: up to its
      // closing run, or the whole line.
      const std::size_t n = pendingRun_;
      std::size_t close = npos;
      for (std::size_t k = s.find('`'); k != npos;) {
        std::size_t m = 0;
        while (k + m < s.size() && s[k + m] == '`') ++m;
        if (m == n) {
          close = k + m;
          break;
        }
        k = s.find('`', k + m);
      }
      if (close == npos) {
        protect(s);
        noBreak_ = true;
        return;
      }
      pendingRun_ = 0;
      protect(s.substr(0, close));
      s.remove_prefix(close);
    }
    if (marked_.data() != s.data() || marked_.size() != s.size()) findMarks(s);
    if (lineMarks_.empty()) {
      out_.append(s);
      return;
    }
    scanLine(s);
    // A task box follows a list marker, maybe after quote markers: the line
    // starts with a blank, ">", a marker or a digit.
    std::size_t taskBox = npos;
    const char first = s.empty() ? '\0' : s[0];
    if (isBlank(first) || first == '>' || first == '-' || first == '+' || first == '*' || isDigit(first)) {
      const string_view quoted = afterQuotes(s);
      if (const std::size_t content = listContentStart(quoted); content != npos) {
        const string_view box = quoted.substr(content, 3);
        if (box == "[ ]" || box == "[x]" || box == "[X]")
          taskBox = static_cast<std::size_t>(quoted.data() - s.data()) + content;
      }
    }
    noMoreCommentEnd_ = false;
    std::size_t i = 0, m = 0;
    while (i < s.size()) {
      // A run of bytes no piece starts at goes over whole (the task box
      // starts at a "[").
      while (m < lineMarks_.size() && lineMarks_[m] < i) ++m;
      const std::size_t j = m < lineMarks_.size() ? lineMarks_[m] : s.size();
      if (j > i) {
        out_.append(s.substr(i, j - i));
        i = j;
        continue;
      }
      const char c = s[i];
      std::size_t end = npos;
      if (c == kOpen || c == kClose) {
        end = i + 1;
      } else if (c == '\\' && i + 1 < s.size() && isAsciiPunct(s[i + 1])) {
        end = i + 2;
      } else if (c == '`') {
        end = codeSpanEnd(i);
        if (i == firstLoneRun_) {
          // A code span that goes on on the next line.
          std::size_t n = 0;
          while (i + n < s.size() && s[i + n] == '`') ++n;
          pendingRun_ = n;
          noBreak_ = true;
          end = s.size();
        }
      } else if (c == '<') {
        end = angleEnd(s, i);
      } else if (i == taskBox) {
        end = i + 3;
      } else if (const std::size_t wikiEnd = c == '[' ? pageLinkEnd(s, i) : npos; wikiEnd != npos) {
        out_.append(s.substr(i, wikiEnd - i));  // "[[Name][text]]" is the wiki pass's
        i = wikiEnd;
        continue;
      } else if (c == '[' || (c == '!' && i + 1 < s.size() && s[i + 1] == '[')) {
        end = linkEnd(s, c == '!' ? i + 1 : i);
      } else if (c == ']' && i + 1 < s.size() && s[i + 1] == '(' && match_[i] == kUnmatched) {
        end = destinationEnd(s, i + 2);  // the end of a link whose text began on an earlier line
      }
      if (end == npos || end <= i) {
        out_ += c;
        ++i;
        continue;
      }
      protect(s.substr(i, end - i));
      i = end;
    }
    // Only a "<" among the marks can start a tag.
    if (noMoreCommentEnd_ || (anyAngle_ && endsInsideTag(s))) noBreak_ = true;
  }

  // A blank line or a block ends the paragraph a code span could go on in.
  void endParagraph() { pendingRun_ = 0; }

  // Where the bytes a piece may start at are in `s`: the scans of run(s)
  // visit these only. Most lines hold none.
  void findMarks(string_view s) {
    if (marks_.size() < s.size()) marks_.resize(s.size());
    std::size_t count = 0;
    StartBytes::forEach(s, [&](std::size_t i) { marks_[count++] = i; });
    lineMarks_ = std::span<const std::size_t>(marks_.data(), count);
    marked_ = s;
  }

  // Whether run() would give the line of the last findMarks() back whole,
  // with no piece and no hard break held back: no code span goes on into it
  // and no piece can start in it. run() changes nothing then, so such a
  // line may skip it.
  bool passesWhole() const { return pendingRun_ == 0 && lineMarks_.empty(); }

  // A tag or comment that goes on on the next line takes no hard break
  // inside it.
  // Attribute values in quotes may hold "<" and ">" of their own.
  static bool endsInsideTag(string_view s) {
    std::size_t i = 0;
    while ((i = s.find('<', i)) != npos && i + 1 < s.size()) {
      const char c = s[i + 1];
      if (!(isAsciiLetter(c) || c == '/' || c == '!')) {
        ++i;
        continue;
      }
      char quote = 0;
      char before = 0;  // the last non-blank outside quotes
      std::size_t j = i + 1;
      for (; j < s.size(); ++j) {
        const char d = s[j];
        if (quote) {
          if (d == quote) quote = 0;
        } else if (d == '>') {
          break;
        } else if ((d == '"' || d == '\'') && before == '=') {
          quote = d;
        }
        if (!quote && !isBlank(d)) before = d;
      }
      if (j >= s.size()) return true;
      i = j + 1;
    }
    return false;
  }

  std::string& line() { return out_; }
  bool noBreak() const { return noBreak_; }
  bool anyPieces() const { return !pieces_.empty(); }
  // Whether a piece was changed on its way out (a picture's backslash).
  bool piecesAltered() const { return piecesAltered_; }

  // The converted text with the pieces put back.
  void restore(string_view converted, std::string& out) const {
    for (std::size_t i = 0; i < converted.size();) {
      const std::size_t open = converted.find(kOpen, i);
      if (open == npos) {
        out.append(converted.substr(i));
        return;
      }
      out.append(converted.substr(i, open - i));
      std::size_t j = open + 1, n = 0;
      while (j < converted.size() && isDigit(converted[j])) n = n * 10 + static_cast<std::size_t>(converted[j++] - '0');
      if (j < converted.size() && converted[j] == kClose && n < pieces_.size()) {
        const Piece& piece = pieces_[n];
        if (piece.copiedAt == npos)
          out.append(piece.bytes);
        else
          out.append(pieceBytes_, piece.copiedAt, piece.bytes.size());
        i = j + 1;
      } else {
        i = open + 1;  // cannot happen: the note's own such bytes are pieces
      }
    }
  }

 private:
  void protect(string_view piece) {
    char standIn[26] = {kOpen};
    const auto [end, ec] = std::to_chars(standIn + 1, standIn + sizeof standIn - 1, pieces_.size());
    *end = kClose;
    out_.append(standIn, static_cast<std::size_t>(end + 1 - standIn));
    // A picture in the notes' imgs folder written with a backslash (the
    // first "](imgs\\", found from the backslashes, which are rare): the
    // piece is copied with a slash there. Others stay in the note.
    constexpr string_view kImgs = "](imgs";
    for (std::size_t slash = piece.size() > kImgs.size() ? piece.find('\\', kImgs.size()) : npos; slash != npos;
         slash = piece.find('\\', slash + 1)) {
      if (piece.substr(slash - kImgs.size(), kImgs.size()) == kImgs) {
        const std::size_t at = pieceBytes_.size();
        pieceBytes_.append(piece);
        pieceBytes_[at + slash] = '/';
        piecesAltered_ = true;
        pieces_.push_back({piece, at});
        return;
      }
    }
    pieces_.push_back({piece, npos});
  }

  // The end of the code span that starts at s[i] (a run of n backticks up
  // to the next run of exactly n), or of the lone run there.
  std::size_t codeSpanEnd(std::size_t i) const {
    return spanEnd_[i];
  }

  // Code spans first (found once per line: the next run of each length is
  // looked up from the right), then the matching "]" for every "[" outside
  // them, skipping escaped brackets.
  void scanLine(string_view s) {
    std::vector<Run>& runs = runs_;
    runs.clear();
    // Both tables are read only at backticks and brackets: only those are
    // cleared of an earlier line's values, in the same walk.
    if (spanEnd_.size() < s.size()) spanEnd_.resize(s.size(), npos);
    if (match_.size() < s.size()) match_.resize(s.size(), npos);
    // Positions before `next` are escaped or inside a run.
    std::size_t next = 0;
    anyAngle_ = false;
    bool anyBracket = false;
    for (const std::size_t i : lineMarks_) {
      if (s[i] == '`') {
        spanEnd_[i] = npos;
      } else if (s[i] == '[' || s[i] == ']') {
        match_[i] = npos;
        anyBracket = true;
      } else if (s[i] == '<') {
        anyAngle_ = true;
      }
      if (i < next) continue;
      if (s[i] == '\\') {
        next = i + 2;
      } else if (s[i] == '`') {
        std::size_t n = 0;
        while (i + n < s.size() && s[i + n] == '`') ++n;
        runs.push_back({i, n, npos});
        next = i + n;
      }
    }
    // Run length -> the nearest run of that length to the right.
    lastOfLength_.clear();
    for (std::size_t r = runs.size(); r-- > 0;) {
      auto it = std::find_if(lastOfLength_.begin(), lastOfLength_.end(),
                             [&](const auto& e) { return e.first == runs[r].length; });
      if (it != lastOfLength_.end()) {
        runs[r].next = it->second;
        it->second = r;
      } else {
        lastOfLength_.emplace_back(runs[r].length, r);
      }
    }
    firstLoneRun_ = npos;
    std::vector<std::pair<std::size_t, std::size_t>>& spans = spans_;
    spans.clear();
    for (std::size_t r = 0; r < runs.size();) {
      const Run& run = runs[r];
      if (run.next == npos) {
        spanEnd_[run.at] = run.at + run.length;  // literal backticks, unless closed later
        if (firstLoneRun_ == npos) firstLoneRun_ = run.at;
        ++r;
        continue;
      }
      const Run& closer = runs[run.next];
      spanEnd_[run.at] = closer.at + closer.length;
      spans.emplace_back(run.at, closer.at + closer.length);
      r = run.next + 1;
    }
    if (!anyBracket) return;  // nothing to match
    std::vector<std::size_t>& open = open_;
    open.clear();
    std::size_t span = 0;
    next = 0;
    for (const std::size_t i : lineMarks_) {
      if (i < next) continue;
      if (span < spans.size() && i == spans[span].first) {
        next = spans[span++].second;
      } else if (s[i] == '\\') {
        next = i + 2;
      } else if (s[i] == '[') {
        open.push_back(i);
      } else if (s[i] == ']') {
        if (open.empty()) {
          match_[i] = kUnmatched;
        } else {
          match_[open.back()] = i;
          open.pop_back();
        }
      }
    }
  }

  // "<scheme:...>", "<a@b.c>", a comment on this line, or an HTML tag.
  std::size_t angleEnd(string_view s, std::size_t i) {
    const string_view t = s.substr(i);
    if (t.starts_with("<!--")) {
      if (noMoreCommentEnd_) return npos;
      const std::size_t close = s.find("-->", i + 4);
      if (close == npos) {
        noMoreCommentEnd_ = true;
        return npos;
      }
      return close + 3;
    }
    const std::size_t limit = std::min(t.size(), kMaxTag);
    // Autolink: a scheme of 2 to 32 characters, ":", no blank, "<" or ">".
    std::size_t j = 1;
    if (j < limit && isAsciiLetter(t[j])) {
      while (j < limit && (isAsciiLetter(t[j]) || isDigit(t[j]) || t[j] == '+' || t[j] == '.' || t[j] == '-')) ++j;
      if (j - 1 >= 2 && j - 1 <= 32 && j < limit && t[j] == ':') {
        std::size_t k = j + 1;
        while (k < limit && t[k] != '>' && t[k] != '<' && static_cast<unsigned char>(t[k]) > ' ') ++k;
        if (k < limit && t[k] == '>') return i + k + 1;
      }
    }
    // E-mail autolink.
    std::size_t k = 1;
    while (k < limit && t[k] != '>' && t[k] != '<' && t[k] != '@' && !isBlank(t[k])) ++k;
    if (k > 1 && k < limit && t[k] == '@') {
      std::size_t m = k + 1;
      while (m < limit && (isAsciiLetter(t[m]) || isDigit(t[m]) || t[m] == '-' || t[m] == '.')) ++m;
      if (m > k + 1 && m < limit && t[m] == '>') return i + m + 1;
    }
    // A tag without anything the wiki pass reacts to ("<br/>", "</b>") is
    // left in the line, where "<br/>" at its end still counts as a mark.
    const std::size_t end = tagEnd(s, i);
    if (end != npos && !ByteSet<'[', ']', '=', '_', '*', '$', '+', '|', ':', '-'>::any(s.substr(i, end - i)))
      return npos;
    return end;
  }

  // Past "[[Name][text]]" at s[i], or npos.
  std::size_t pageLinkEnd(string_view s, std::size_t i) const {
    if (i + 1 >= s.size() || s[i + 1] != '[') return npos;
    const std::size_t name = match_[i + 1];
    if (name == npos || name + 1 >= s.size() || s[name + 1] != '[') return npos;
    const std::size_t text = match_[name + 1];
    if (text == npos || text + 1 >= s.size() || s[text + 1] != ']') return npos;
    return text + 2;
  }

  // Past the ")" that ends a link destination starting at s[from]; the
  // line's end when it goes on on the next line.
  // Only the bytes that matter are visited; a backslash hides the byte after it.
  std::size_t destinationEnd(string_view s, std::size_t from) {
    if (from >= s.size()) {
      noBreak_ = true;
      return s.size();
    }
    std::size_t depth = 0, hiddenUpTo = from, end = npos;
    ByteSet<'\\', '(', ')'>::forEach(s.substr(from), [&](std::size_t k) {
      const std::size_t j = from + k;
      if (end != npos || j < hiddenUpTo) return;
      if (s[j] == '\\') {
        hiddenUpTo = j + 2;
      } else if (s[j] == '(') {
        ++depth;
      } else if (depth == 0) {
        end = j + 1;
      } else {
        --depth;
      }
    });
    if (end != npos) return end;
    noBreak_ = true;
    return s.size();
  }

  // A Markdown link or image at s[i] == '[': "[text](dest)", "[text][label]"
  // and "[text][]", or "[label]" with a definition; "[!NOTE]" and "[^1]"
  // too, which are no page links. The end of the piece, or npos when the
  // brackets are left to the wiki pass.
  std::size_t linkEnd(string_view s, std::size_t i) {
    const std::size_t close = match_[i];
    if (close == npos) return npos;
    const string_view text = s.substr(i + 1, close - i - 1);
    if (close + 1 < s.size() && s[close + 1] == '(') return destinationEnd(s, close + 2);
    if (close + 1 < s.size() && s[close + 1] == '[') {
      const std::size_t labelClose = match_[close + 1];
      if (labelClose != npos) return labelClose + 1;
    }
    if (!text.empty() && (text[0] == '!' || text[0] == '^')) return close + 1;
    // Brackets inside: Markdown shows them as written.
    if (ByteSet<'[', ']'>::any(text)) return close + 1;
    if (!labels_.empty() && labels_.count(normalizeLabel(text))) return close + 1;
    return npos;
  }

  const std::unordered_set<std::string>& labels_;
  // A piece: its bytes in the note, or where a changed copy of them starts
  // in pieceBytes_.
  struct Piece {
    string_view bytes;
    std::size_t copiedAt;
  };
  std::vector<Piece> pieces_;
  std::string pieceBytes_;
  std::vector<std::size_t> match_;
  static constexpr std::size_t kUnmatched = npos - 1;  // in match_: a "]" without its "["
  std::vector<std::size_t> spanEnd_;  // per backtick run's first byte: the end of its span
  std::vector<std::pair<std::size_t, std::size_t>> lastOfLength_;
  // Scratch of scanLine, kept from line to line.
  struct Run {
    std::size_t at, length, next;
  };
  std::vector<Run> runs_;
  std::vector<std::pair<std::size_t, std::size_t>> spans_;
  std::vector<std::size_t> open_;
  std::vector<std::size_t> marks_;  // where kStarts bytes are in the line, in order (and room)
  std::span<const std::size_t> lineMarks_;  // those of the current line
  string_view marked_;                      // the line lineMarks_ are of
  std::size_t firstLoneRun_ = npos;
  std::size_t pendingRun_ = 0;  // backticks of a code span open at the line's end
  std::string out_;
  bool noBreak_ = false;
  bool noMoreCommentEnd_ = false;
  bool anyAngle_ = false;  // a "<" among the line's marks
  bool piecesAltered_ = false;
};

// The line-break pass on one prose line (without its line end): a hard
// break unless it is a rule or list line, ends in "<br/>", or already ends
// in a hard break of its own (a backslash, two blanks).
// A line that is only an ordered list marker ("1.", "2)"): an empty item,
// which cannot break into the paragraph above; a hard break there would let
// md4c start a list.
bool isBareOrderedMarker(string_view content) {
  std::size_t i = content.find_first_not_of(' ');
  if (i == npos || i > 3) return false;
  const std::size_t digits = i;
  while (i < content.size() && isDigit(content[i])) ++i;
  if (i == digits || i - digits > 9 || i >= content.size() || (content[i] != '.' && content[i] != ')')) return false;
  return content.find_first_not_of(" \t", i + 1) == npos;
}

// Ends in "<br/>", ASCII case ignored.
bool endsInBreakTag(string_view s) {
  if (s.size() < 5) return false;
  s.remove_prefix(s.size() - 5);
  return s[0] == '<' && (s[1] | 0x20) == 'b' && (s[2] | 0x20) == 'r' && s[3] == '/' && s[4] == '>';
}

[[gnu::always_inline]] inline bool wantsHardBreak(string_view content) {
  // Rule, list and bare marker lines start (after blanks) with one of these.
  std::size_t first = 0;
  while (first < content.size() && content[first] == ' ') ++first;
  if (first < content.size()) {
    const char c = content[first];
    if ((c == '-' || c == '+' || c == '*' || c == '=' || isDigit(c)) &&
        (isRuleLine(content) || isListLine(content) || isBareOrderedMarker(content)))
      return false;
  }
  // Ends in "<br/>", case ignored (tested from its last byte, which most
  // lines do not end in).
  if (content.size() > 5 && content.back() == '>' && endsInBreakTag(content)) return false;
  if (!content.empty() && content.back() == '\\') return false;
  if (content.size() >= 2 && content.ends_with("  ")) return false;
  return true;
}

void appendWithBreaks(std::string& out, string_view converted, bool lineBreaks, bool noBreakAtEnd) {
  std::size_t i = 0, lf = converted.find('\n');
  while (i < converted.size()) {
    if (lf == npos) {
      out.append(converted.substr(i));
      return;
    }
    const string_view content = converted.substr(i, lf - i);
    out.append(content);
    const std::size_t nextLf = converted.find('\n', lf + 1);
    if (lineBreaks && !(nextLf == npos && noBreakAtEnd) && wantsHardBreak(content)) out += "  ";
    out += '\n';
    i = lf + 1;
    lf = nextLf;
  }
}

// A wiki table's row is an HTML block, where md4c reads no Markdown: each
// cell's text is rendered as Markdown here ("`-v`", "[x](u)", "*y*"), when
// it makes one paragraph.
std::string markdownCells(string_view row) {
  std::string out;
  std::size_t i = 0;
  while (true) {
    const std::size_t open = row.find("<td>", i);
    const std::size_t close = open == npos ? npos : row.find("</td>", open + 4);
    if (close == npos) break;
    out.append(row.substr(i, open + 4 - i));
    const string_view cell = row.substr(open + 4, close - open - 4);
    i = close;
    // md4c only where there is markup to read; plain text trimmed as it
    // would trim it.
    if (!ByteSet<'`', '*', '_', '[', ']', '!', '\\', '~'>::any(cell)) {
      std::size_t first = 0, last = cell.size();
      while (first < last && isBlank(cell[first])) ++first;
      while (last > first && isBlank(cell[last - 1])) --last;
      out.append(cell.substr(first, last - first));
      continue;
    }
    const std::string html = markdownToHtml(cell);
    if (html.starts_with("<p>") && html.ends_with("</p>\n") && html.find("<p>", 3) == npos) {
      out.append(string_view(html).substr(3, html.size() - 8));
    } else {
      out.append(cell);
    }
  }
  out.append(row.substr(i));
  return out;
}

}  // namespace

bool isRuleLine(std::string_view content) {
  if (content.empty() || (content[0] != '=' && content[0] != '-')) return false;
  return content.find_first_not_of(content[0]) == std::string_view::npos;
}

bool isListLine(std::string_view content) {
  const std::size_t at = content.find_first_not_of(' ');
  if (at == std::string_view::npos) return false;
  const char c = content[at];
  if (c == '-' || c == '+') return true;
  return c == '*' && (at + 1 >= content.size() || content[at + 1] != '*');
}


std::string normalizeLabel(std::string_view label) {
  std::string collapsed;
  bool blank = false;
  for (char c : label) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
      blank = !collapsed.empty();
      continue;
    }
    if (blank) collapsed += ' ';
    blank = false;
    collapsed += c;
  }
  // Full case folding, as Markdown compares labels ("ẞ" matches "SS").
  utf8proc_uint8_t* folded = nullptr;
  const utf8proc_ssize_t n =
      utf8proc_map(reinterpret_cast<const utf8proc_uint8_t*>(collapsed.data()),
                   static_cast<utf8proc_ssize_t>(collapsed.size()), &folded, UTF8PROC_CASEFOLD);
  if (n < 0) return foldCase(collapsed);  // not UTF-8: simple folding, which keeps such bytes
  std::string out(reinterpret_cast<char*>(folded), static_cast<std::size_t>(n));
  std::free(folded);
  return out;
}

std::string prepareMarkdownNote(std::string_view text, const MarkdownNoteOptions& options) {
  std::unordered_set<std::string> labels;
  const std::vector<Line> lines = classify(text, labels, options.fastPaths);
  std::string out;
  // Page links grow the text by some 35 bytes each: room for half as much
  // again spares copying a page-sized text as it grows. Room no byte reaches
  // is never touched.
  out.reserve(text.size() + text.size() / 2 + 16);
  WikiOptions wikiOptions;
  wikiOptions.markLineEnds = !options.lineBreaks;
  wikiOptions.markdownNote = true;
  wikiOptions.work = options.work;
  wikiOptions.countEdits = options.fastPaths;
  WikiConverter wiki(wikiOptions, text);
  Protector protector(labels);
  std::string pieces, tableEnd, restored, kept;
  // Without a CR in the note a prose line is one wiki piece whenever it is
  // short enough: no LF or CR inside it.
  const bool noCr = text.find('\r') == npos;
  const bool inPlace = options.fastPaths && noCr;
  // Whether md4c may take the text as written, followed line by line: the
  // common one-line cases as they are written, the others at the start of
  // the next line (`checked`: the text looked at so far). Lines ending in
  // LF only: a note with a CR is left to md4c's preparation.
  const bool checking = options.md4cReady && noCr;
  md4c_input::ReadyCheck check;
  std::size_t checked = 0;
  auto checkLine = [&](std::size_t start) {
    if (!checking) return;
    check.line(out, start, out.back() == '\n' ? out.size() - 1 : out.size());
    checked = out.size();
  };
  for (const Line& line : lines) {
    if (checking && checked < out.size()) {
      check.lines(out, checked);
      checked = out.size();
    }
    const string_view content = text.substr(line.begin, line.end - line.begin);
    const bool ended = line.next > line.end;
    if (line.kind == Kind::Verbatim || isBlankLine(content)) protector.endParagraph();
    if (line.kind == Kind::Verbatim || !options.wiki) {
      if (line.kind == Kind::Verbatim && inPlace && options.wiki) {
        // No CR in the note: the line with its LF as it stands, after the
        // end of a table it ends.
        wiki.passThrough(text.substr(line.begin, line.next - line.begin), out);
      } else if (line.kind == Kind::Verbatim) {
        if (options.wiki) wiki.passThrough({}, out);  // ends a table
        out += content;
        if (ended) out += '\n';
        if (options.wiki) wiki.skip(line.next - line.begin);
      } else {
        kept.assign(content);
        if (ended) kept += '\n';
        appendWithBreaks(out, kept, options.lineBreaks, false);
      }
      continue;
    }
    if (options.fastPaths) protector.findMarks(content);
    if (options.fastPaths && protector.passesWhole() && wiki.passesUnchanged(content)) {
      // Neither the protection nor a wiki step would change the line: it
      // goes straight to the page, as the line-break pass would write it.
      if (options.lineBreaks) {  // then the wiki pass puts no line-end mark
        const std::size_t at = out.size();
        out += content;
        if (ended) {
          const bool hardBreak = wantsHardBreak(content);
          out.append(hardBreak ? "  \n" : "\n", hardBreak ? 3 : 1);
        }
        if (out.size() > at) checkLine(at);
        wiki.skip(line.next - line.begin);
      } else {
        kept.assign(content);
        if (ended) kept += '\n';
        wiki.unchanged(kept, out);
      }
      continue;
    }
    protector.run(content);
    std::string& tokens = protector.line();
    if (ended) tokens += '\n';
    string_view converted;
    bool restoredAlready = false;
    // Converted in place and no table ended: the steps keep a line's LF where
    // it is and add none, so its only LF is its last byte when it has one
    // (a table row aside).
    bool oneLine = false;
    if (inPlace && tokens.size() <= limits::kWikiPiece) {
      // One piece: converted in the protector's buffer.
      tableEnd.clear();
      const bool asGiven = wiki.convertInPlace(tokens, tableEnd);
      if (tableEnd.empty()) {
        converted = tokens;
        oneLine = true;
        // Left as the protection gave it, the line with its pieces back is
        // the note's own line (with its LF: the note has no CR).
        if (asGiven && protector.anyPieces() && !protector.piecesAltered() && tokens[0] != '<' &&
            tokens[0] != kOpen) {
          converted = text.substr(line.begin, line.next - line.begin);
          restoredAlready = true;
        }
      } else {
        tableEnd += tokens;
        converted = tableEnd;
      }
    } else {
      pieces.clear();
      if (options.fastPaths && wiki.passesUnchanged(tokens)) {
        wiki.unchanged(tokens, pieces);  // most lines once their pieces are out
      } else {
        for (std::size_t i = 0; i < tokens.size();) i += wiki.line(string_view(tokens).substr(i), pieces);
      }
      converted = pieces;
    }
    if (converted.empty()) continue;  // a table's delimiter row
    // The pieces go back straight onto the page, and the line-break pass
    // runs there when the line is one line still, as it mostly is. A line
    // that ends in its only LF is written up to it, then the break and LF.
    // (A table row has an LF inside, and loses its last one when its last
    // cell is cut.)
    const bool plain = oneLine && !converted.starts_with("<table><tr>") && !converted.starts_with("<tr>");
    const bool lastLf = plain && ended;
    const string_view body = lastLf ? converted.substr(0, converted.size() - 1) : converted;
    const std::size_t at = out.size();
    if (protector.anyPieces() && !restoredAlready)
      protector.restore(body, out);
    else
      out += body;
    if (const string_view added = string_view(out).substr(at);
        added.starts_with("<table><tr>") || added.starts_with("<tr>")) {
      restored.assign(added);
      if (lastLf) restored += '\n';
      out.resize(at);
      kept = markdownCells(restored);
      appendWithBreaks(out, kept, options.lineBreaks, protector.noBreak());
      continue;
    }
    if (lastLf) {
      const bool hardBreak =
          options.lineBreaks && !protector.noBreak() && wantsHardBreak(string_view(out).substr(at));
      out.append(hardBreak ? "  \n" : "\n", hardBreak ? 3 : 1);
      checkLine(at);
      continue;
    }
    const std::size_t lf = plain ? npos : out.find('\n', at);  // (plain and ended went above)
    if (lf == npos) continue;
    if (lf + 1 == out.size()) {
      if (options.lineBreaks && !protector.noBreak() && wantsHardBreak(string_view(out).substr(at, lf - at)))
        out.insert(lf, "  ");
      continue;
    }
    restored.assign(out, at);
    out.resize(at);
    appendWithBreaks(out, restored, options.lineBreaks, protector.noBreak());
  }
  if (options.md4cReady) {
    if (checking) check.lines(out, checked);
    *options.md4cReady = checking && check.ready(out);
  }
  return out;
}

}  // namespace vm
