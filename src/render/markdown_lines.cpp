#include "render/markdown_lines.h"

#include <algorithm>
#include <array>

#include "render/markdown_note.h"

namespace vm::markdown {

namespace {

using std::string_view;
constexpr std::size_t npos = std::string::npos;
constexpr std::size_t kMaxLabel = 999;  // Markdown's limit on a reference label

}  // namespace

bool isAsciiPunct(char c) {
  return (c >= '!' && c <= '/') || (c >= ':' && c <= '@') || (c >= '[' && c <= '`') || (c >= '{' && c <= '~');
}
char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool startsWithAsciiNoCase(string_view s, string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (lower(s[i]) != prefix[i]) return false;
  return true;
}


// Columns of leading blanks (a tab to the next multiple of 4) and where the
// rest starts.
[[gnu::always_inline]] inline std::pair<std::size_t, std::size_t> indentOf(string_view s) {
  if (s.empty() || !isBlank(s[0])) return {0, 0};  // most lines
  std::size_t columns = 0, i = 0;
  for (; i < s.size() && isBlank(s[i]); ++i) columns = s[i] == '\t' ? (columns / 4 + 1) * 4 : columns + 1;
  return {columns, i};
}

string_view afterQuotes(string_view s) {
  while (true) {
    const auto [columns, at] = indentOf(s);
    if (columns > 3 || at >= s.size() || s[at] != '>') return s;
    s.remove_prefix(at + 1);
    if (!s.empty() && s[0] == ' ') s.remove_prefix(1);
  }
}

std::size_t listContentStart(string_view s) {
  const auto [columns, at] = indentOf(s);
  (void)columns;
  std::size_t i = at;
  if (i >= s.size()) return npos;
  if (s[i] == '-' || s[i] == '+' || s[i] == '*') {
    ++i;
  } else {
    const std::size_t digits = i;
    while (i < s.size() && isDigit(s[i]) && i - digits < 9) ++i;
    if (i == digits || i >= s.size() || (s[i] != '.' && s[i] != ')')) return npos;
    ++i;
  }
  if (i >= s.size()) return i;  // an empty item
  if (!isBlank(s[i])) return npos;
  while (i < s.size() && isBlank(s[i])) ++i;
  return i;
}

// "***", "- - -", "___": three or more of one of them, blanks between.
bool isThematicBreak(string_view s) {
  const auto [columns, at] = indentOf(s);
  if (columns > 3 || at >= s.size()) return false;
  const char c = s[at];
  if (c != '*' && c != '-' && c != '_') return false;
  std::size_t n = 0;
  for (std::size_t i = at; i < s.size(); ++i) {
    if (s[i] == c)
      ++n;
    else if (!isBlank(s[i]))
      return false;
  }
  return n >= 3;
}

bool isSetextUnderline(string_view s) {
  const auto [columns, at] = indentOf(s);
  if (columns > 3 || at >= s.size() || s[at] != '=') return false;
  std::size_t i = s.find_first_not_of('=', at);
  return i == npos || isBlankLine(s.substr(i));
}

struct Fence {
  char mark = 0;
  std::size_t length = 0;
};

// An opening code fence: three or more "`" or "~" (a "`" fence's info has
// no "`").
Fence fenceOpen(string_view s) {
  const auto [columns, at] = indentOf(s);
  if (columns > 3 || at >= s.size() || (s[at] != '`' && s[at] != '~')) return {};
  const char mark = s[at];
  std::size_t end = s.find_first_not_of(mark, at);
  if (end == npos) end = s.size();
  if (end - at < 3) return {};
  if (mark == '`' && s.find('`', end) != npos) return {};
  return {mark, end - at};
}

bool fenceCloses(string_view s, const Fence& open) {
  const auto [columns, at] = indentOf(s);
  if (columns > 3 || at >= s.size() || s[at] != open.mark) return false;
  std::size_t end = s.find_first_not_of(open.mark, at);
  if (end == npos) end = s.size();
  return end - at >= open.length && isBlankLine(s.substr(end));
}

constexpr std::array<string_view, 62> kBlockTags = {
    "address", "article", "aside",    "base",     "basefont", "blockquote", "body",     "caption",  "center",
    "col",     "colgroup", "dd",      "details",  "dialog",   "dir",        "div",      "dl",       "dt",
    "fieldset", "figcaption", "figure", "footer", "form",     "frame",      "frameset", "h1",       "h2",
    "h3",      "h4",       "h5",      "h6",       "head",     "header",     "hr",       "html",     "iframe",
    "legend",  "li",       "link",    "main",     "menu",     "menuitem",   "nav",      "noframes", "ol",
    "optgroup", "option",  "p",       "param",    "section",  "source",     "summary",  "table",    "tbody",
    "td",      "tfoot",    "th",      "thead",    "title",    "tr",         "track",    "ul"};

std::size_t tagNameEnd(string_view s, std::size_t i) {
  if (i >= s.size() || !isAsciiLetter(s[i])) return npos;
  while (i < s.size() && (isAsciiLetter(s[i]) || isDigit(s[i]) || s[i] == '-')) ++i;
  return i;
}

std::size_t tagEnd(string_view s, std::size_t i) {
  const std::size_t limit = std::min(s.size(), i + kMaxTag);
  std::size_t j = i + 1;
  const bool closing = j < limit && s[j] == '/';
  if (closing) ++j;
  j = tagNameEnd(s.substr(0, limit), j);
  if (j == npos) return npos;
  if (closing) {
    while (j < limit && isBlank(s[j])) ++j;
    return j < limit && s[j] == '>' ? j + 1 : npos;
  }
  while (true) {
    const std::size_t before = j;
    while (j < limit && (isBlank(s[j]) || s[j] == '\n')) ++j;
    if (j >= limit) return npos;
    if (s[j] == '>') return j + 1;
    if (s[j] == '/') return j + 1 < limit && s[j + 1] == '>' ? j + 2 : npos;
    if (j == before) return npos;  // an attribute needs a blank before it
    if (!(isAsciiLetter(s[j]) || s[j] == '_' || s[j] == ':')) return npos;
    while (j < limit && (isAsciiLetter(s[j]) || isDigit(s[j]) || string_view("_.:-").find(s[j]) != npos)) ++j;
    std::size_t k = j;
    while (k < limit && isBlank(s[k])) ++k;
    if (k < limit && s[k] == '=') {
      ++k;
      while (k < limit && isBlank(s[k])) ++k;
      if (k >= limit) return npos;
      if (s[k] == '"' || s[k] == '\'') {
        const std::size_t close = s.substr(0, limit).find(s[k], k + 1);
        if (close == npos) return npos;
        j = close + 1;
      } else {
        const std::size_t start = k;
        while (k < limit && !isBlank(s[k]) && string_view("\"'=<>`").find(s[k]) == npos) ++k;
        if (k == start) return npos;
        j = k;
      }
    }
  }
}

// The kind of HTML block a line starts (1 to 7, 0 none) and the text that
// ends kinds 1 to 5.
struct HtmlStart {
  int kind = 0;
  string_view end;
};

HtmlStart htmlBlockStart(string_view s, bool inParagraph) {
  const auto [columns, at] = indentOf(s);
  if (columns > 3 || at >= s.size() || s[at] != '<') return {};
  const string_view t = s.substr(at);
  for (const auto& [open, close] : {std::pair<string_view, string_view>{"<script", "</script>"},
                                    {"<pre", "</pre>"},
                                    {"<style", "</style>"},
                                    {"<textarea", "</textarea>"}}) {
    if (startsWithAsciiNoCase(t, open) &&
        (t.size() == open.size() || isBlank(t[open.size()]) || t[open.size()] == '>'))
      return {1, close};
  }
  if (t.starts_with("<!--")) return {2, "-->"};
  if (t.starts_with("<?")) return {3, "?>"};
  if (t.starts_with("<![CDATA[")) return {5, "]]>"};
  if (t.size() > 2 && t[1] == '!' && isAsciiLetter(t[2])) return {4, ">"};
  const std::size_t nameStart = t.size() > 1 && t[1] == '/' ? 2 : 1;
  const std::size_t nameEnd = tagNameEnd(t, nameStart);
  if (nameEnd != npos) {
    std::string name;
    for (char c : t.substr(nameStart, nameEnd - nameStart)) name += lower(c);
    if (std::find(kBlockTags.begin(), kBlockTags.end(), name) != kBlockTags.end() &&
        (nameEnd == t.size() || isBlank(t[nameEnd]) || t[nameEnd] == '>' || t.substr(nameEnd).starts_with("/>")))
      return {6, {}};
  }
  if (!inParagraph) {
    const std::size_t end = tagEnd(t, 0);
    if (end != npos && isBlankLine(t.substr(end))) return {7, {}};
  }
  return {};
}

bool containsNoCase(string_view s, string_view lowerNeedle) {
  if (lowerNeedle.empty()) return true;
  for (std::size_t i = s.find(lowerNeedle[0] == '<' ? '<' : lowerNeedle[0]); i != npos && i < s.size();
       i = s.find(lowerNeedle[0], i + 1))
    if (startsWithAsciiNoCase(s.substr(i), lowerNeedle)) return true;
  return false;
}

// "[label]:" at the start of a line: the label, and where the rest starts.
bool definitionStart(string_view s, std::string& label, std::size_t& rest) {
  const auto [columns, at] = indentOf(s);
  if (columns > 3 || at >= s.size() || s[at] != '[') return false;
  std::size_t i = at + 1;
  while (i < s.size() && s[i] != ']') {
    if (s[i] == '[') return false;
    if (s[i] == '\\' && i + 1 < s.size()) ++i;
    ++i;
  }
  if (i >= s.size() || i + 1 >= s.size() || s[i + 1] != ':' || i - at - 1 > kMaxLabel) return false;
  label = normalizeLabel(s.substr(at + 1, i - at - 1));
  if (label.empty()) return false;
  rest = i + 2;
  return true;
}

// Whether a line that starts with c (no blank) starts no block: not a
// quote, list item, fence, HTML, rule, underline, heading or definition.
// "[" starts a definition outside a paragraph only.
bool startsNoBlock(char c, bool inParagraph) {
  static constexpr std::array<bool, 256> kStarts = [] {
    std::array<bool, 256> starts{};
    for (unsigned char b : string_view(" \t>-+*`~<_=#0123456789")) starts[b] = true;
    return starts;
  }();
  return c == '[' ? inParagraph : !kStarts[static_cast<unsigned char>(c)];
}

std::vector<Line> classify(string_view text, std::unordered_set<std::string>& labels, bool shortcuts) {
  std::vector<Line> lines;
  // Room for lines of 16 bytes on average, so the list is not copied as it
  // grows; pages of the room no line reaches are never touched.
  lines.reserve(text.size() / 16 + 16);
  for (std::size_t i = 0; i < text.size();) {
    std::size_t lf = text.find('\n', i);
    const std::size_t next = lf == npos ? text.size() : lf + 1;
    std::size_t end = lf == npos ? text.size() : lf;
    if (end > i && text[end - 1] == '\r') --end;
    lines.push_back({i, end, next});
    i = next;
  }
  Fence fence;
  HtmlStart html;
  bool inParagraph = false, indentedCode = false;
  int definitionLines = 0;
  // After a definition: 2 when its destination is on the next line, 1 when
  // the next line may hold its title.
  std::size_t listIndent = 0, fenceIndent = 0;  // columns of the list item's content
  // The line without the indentation of the list item it continues.
  auto inItem = [](string_view s, std::size_t columns) {
    std::size_t i = 0;
    while (i < s.size() && i < columns && s[i] == ' ') ++i;
    return i == columns ? s.substr(i) : s;
  };
  for (Line& line : lines) {
    const string_view raw = text.substr(line.begin, line.end - line.begin);
    if (!fence.mark && !html.kind && definitionLines == 0 && !raw.empty() &&
        (isAsciiLetter(raw[0]) || (shortcuts && startsNoBlock(raw[0], inParagraph)))) {
      // Most lines: a letter first is no quote, list item, code, fence,
      // HTML, rule, underline or definition, only the paragraph's text;
      // nor are most other bytes ("[" starts a definition only outside a
      // paragraph).
      if (!inParagraph) listIndent = 0;
      indentedCode = false;
      inParagraph = true;
      continue;
    }
    string_view s = afterQuotes(raw);
    if (fence.mark) {
      line.kind = Kind::Verbatim;
      if (fenceCloses(inItem(s, fenceIndent), fence)) fence = {};
      continue;
    }
    if (!isBlankLine(s) && !html.kind) {
      const std::size_t columns = indentOf(s).first;
      const std::size_t content = isThematicBreak(s) ? npos : listContentStart(s);
      // After a blank line, a marker indented four columns or more but less
      // than the item's content is no item: it is code at the outer level.
      const bool outerCode = !inParagraph && columns >= 4 && columns < listIndent;
      if (content != npos && columns < listIndent + 4 && !outerCode) {
        const std::size_t markerEnd = std::min(s.find_first_of(" \t", indentOf(s).second), s.size());
        const std::size_t inside = indentOf(s.substr(markerEnd)).first;
        // "1.     code": code inside the item, which starts one column
        // after its marker.
        listIndent = content >= s.size() ? markerEnd + 1 : inside > 4 ? markerEnd + 1 : content;
        inParagraph = content < s.size();  // the item's text
        if (content < s.size() && inside > 4) {
          line.kind = Kind::Verbatim;
          inParagraph = false;
          continue;
        }
        definitionLines = 0;
        indentedCode = false;
        if (const Fence open = fenceOpen(s.substr(content)); open.mark) {  // "- ```sh"
          fence = open;
          fenceIndent = content;
          line.kind = Kind::Verbatim;
          inParagraph = false;
        }
        continue;
      }
      if (listIndent > 0 && columns >= listIndent) {
        s = inItem(s, listIndent);
      } else if (!inParagraph) {
        listIndent = 0;
      }
    }
    if (html.kind) {
      if (html.kind >= 6 && isBlankLine(s)) {
        html = {};
      } else {
        line.kind = Kind::Verbatim;
        if (html.kind <= 5 && containsNoCase(s, html.end)) html = {};
        continue;
      }
    }
    if (isBlankLine(s)) {
      inParagraph = false;
      definitionLines = 0;
      continue;  // prose: a blank line ends a table
    }
    if (definitionLines == 2) {  // the destination
      definitionLines = 1;
      line.kind = Kind::Verbatim;
      continue;
    }
    if (definitionLines == 1) {
      definitionLines = 0;
      const std::size_t first = s.find_first_not_of(" \t");
      if (s[first] == '"' || s[first] == '\'' || s[first] == '(') {  // the title
        line.kind = Kind::Verbatim;
        continue;
      }
    }
    const auto [columns, at] = indentOf(s);
    (void)at;
    if (columns >= 4 && (!inParagraph || indentedCode)) {
      line.kind = Kind::Verbatim;
      indentedCode = true;
      continue;
    }
    indentedCode = false;
    if (const Fence open = fenceOpen(s); open.mark) {
      fence = open;
      fenceIndent = listIndent;
      line.kind = Kind::Verbatim;
      inParagraph = false;
      continue;
    }
    if (const HtmlStart start = htmlBlockStart(s, inParagraph); start.kind) {
      line.kind = Kind::Verbatim;
      inParagraph = false;
      if (start.kind > 5 || !containsNoCase(s.substr(s.find('<') + 1), start.end)) html = start;
      continue;
    }
    if (isThematicBreak(s) || (inParagraph && isSetextUnderline(s))) {
      line.kind = Kind::Verbatim;
      inParagraph = false;
      continue;
    }
    std::string label;
    std::size_t rest = 0;
    if (!inParagraph && definitionStart(s, label, rest)) {
      labels.insert(label);
      line.kind = Kind::Verbatim;
      // The destination on the next line, or a title there.
      definitionLines = isBlankLine(s.substr(rest)) ? 2 : 1;
      continue;
    }
    const std::size_t first = indentOf(s).second;
    inParagraph = first < s.size() && s[first] != '#';
  }
  return lines;
}

}  // namespace vm::markdown
