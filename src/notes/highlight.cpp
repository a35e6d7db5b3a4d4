#include "notes/highlight.h"

#include "platform/text.h"
#include "render/markup.h"

namespace vm {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::size_t leadingBlanks(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  return i;
}

// A line of one character c (blanks between allowed), at least min of them.
bool onlyChar(std::string_view s, char c, int min) {
  int n = 0;
  for (char ch : s) {
    if (ch == c)
      ++n;
    else if (!isBlank(ch))
      return false;
  }
  return n >= min;
}

bool isRule(std::string_view s) {
  return onlyChar(s, '*', 3) || onlyChar(s, '-', 3) || onlyChar(s, '_', 3);
}

// Finds the close of a run at from (exclusive) that is not inside another
// run of the same character: the first occurrence of marker at or after
// from whose character before is not a blank.
std::size_t findClose(std::string_view line, std::size_t from, std::string_view marker) {
  for (std::size_t p = line.find(marker, from); p != std::string_view::npos; p = line.find(marker, p + 1))
    if (p > from && !isBlank(line[p - 1])) return p;
  return std::string_view::npos;
}

bool wordChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         static_cast<unsigned char>(c) >= 0x80;
}

class Scanner {
 public:
  Scanner(std::string_view line, NoteSyntax syntax) : s_(line), wiki_(syntax == NoteSyntax::Wiki) {}

  std::vector<HighlightSpan> run() {
    std::size_t i = 0;
    while (i < s_.size()) {
      std::size_t next = step(i);
      i = next > i ? next : i + 1;
    }
    return std::move(spans_);
  }

 private:
  void add(std::size_t a, std::size_t b, HighlightKind k) {
    if (b > a) spans_.push_back({a, b - a, k});
  }

  bool startsAt(std::size_t i, std::string_view m) const { return s_.substr(i, m.size()) == m; }

  // One construct at i; the index after it, or i when there is none.
  std::size_t step(std::size_t i) {
    const char c = s_[i];
    const bool wordStart = i == 0 || !wordChar(s_[i - 1]);
    if (c == '`') return codeSpan(i);
    if (c == '[' || (c == '!' && startsAt(i + 1, "["))) return bracket(i);
    if (wordStart && (startsAt(i, "http://") || startsAt(i, "https://") || startsAt(i, "www."))) {
      std::size_t e = i;
      while (e < s_.size() && !isBlank(s_[e])) ++e;
      add(i, e, HighlightKind::Link);
      return e;
    }
    if (startsAt(i, "**") || (startsAt(i, "__") && wordStart)) return pair(i, s_.substr(i, 2), HighlightKind::Strong);
    if (startsAt(i, "~~")) return pair(i, "~~", HighlightKind::Strike);
    if (c == '*' || (c == '_' && wordStart)) return pair(i, s_.substr(i, 1), HighlightKind::Emphasis);
    if (wiki_ && c == '=' && (i == 0 || isBlank(s_[i - 1]))) return pair(i, "=", HighlightKind::Emphasis);
    return i;
  }

  // marker, text that does not start with a blank, marker.
  std::size_t pair(std::size_t i, std::string_view marker, HighlightKind kind) {
    const std::size_t open = i + marker.size();
    if (open >= s_.size() || isBlank(s_[open])) return i + marker.size();
    const std::size_t close = findClose(s_, open, marker);
    if (close == std::string_view::npos) return i + marker.size();
    add(i, close + marker.size(), kind);
    return close + marker.size();
  }

  std::size_t codeSpan(std::size_t i) {
    std::size_t n = 0;
    while (i + n < s_.size() && s_[i + n] == '`') ++n;
    const std::string_view run = s_.substr(i, n);
    for (std::size_t p = s_.find(run, i + n); p != std::string_view::npos; p = s_.find(run, p + 1)) {
      std::size_t e = p + n;
      if (e < s_.size() && s_[e] == '`') {  // a longer run is not the close
        while (e < s_.size() && s_[e] == '`') ++e;
        p = e - 1;
        continue;
      }
      add(i, e, HighlightKind::Code);
      return e;
    }
    return i + n;
  }

  std::size_t bracket(std::size_t i) {
    const bool image = s_[i] == '!';
    const std::size_t open = image ? i + 1 : i;
    if (startsAt(open, "[[")) {  // [[target][text]] or [[target]]
      const std::size_t close = s_.find("]]", open + 2);
      if (close == std::string_view::npos) return open + 2;
      add(i, close + 2, HighlightKind::PageLink);
      return close + 2;
    }
    const std::size_t close = s_.find(']', open + 1);
    if (close == std::string_view::npos) return open + 1;
    const std::string_view inner = s_.substr(open + 1, close - open - 1);
    if (close + 1 < s_.size() && s_[close + 1] == '(') {
      const std::size_t paren = s_.find(')', close + 2);
      if (paren != std::string_view::npos) {
        add(i, paren + 1, HighlightKind::Link);
        return paren + 1;
      }
    }
    if (image) return open + 1;
    // Not page links: task boxes, footnotes, call-outs, empty brackets.
    if (inner.empty() || inner == " " || inner == "x" || inner == "X" || inner.front() == '^' ||
        inner.front() == '!')
      return close + 1;
    if (wiki_ && inner.front() == '$') {  // a picture
      add(i, close + 1, HighlightKind::Link);
      return close + 1;
    }
    add(i, close + 1, HighlightKind::PageLink);
    return close + 1;
  }

  std::string_view s_;
  bool wiki_;
  std::vector<HighlightSpan> spans_;
};

}  // namespace

NoteSyntax noteSyntaxOf(std::string_view fileName, const std::vector<std::string>& markdownExtraExtensions) {
  switch (classifyPageSource(fileName, markdownExtensions(markdownExtraExtensions))) {
    case PageSource::Markdown: return NoteSyntax::Markdown;
    case PageSource::Wiki: return NoteSyntax::Wiki;
    default: return NoteSyntax::None;
  }
}

LineHighlight highlightLine(std::string_view line, int state, NoteSyntax syntax) {
  LineHighlight out;
  if (syntax == NoteSyntax::None) return out;
  const std::size_t indent = leadingBlanks(line);
  const std::string_view body = line.substr(indent);
  auto whole = [&](HighlightKind k) {
    if (!line.empty()) out.spans.push_back({0, line.size(), k});
  };

  if (syntax == NoteSyntax::Markdown) {
    const bool fenceLine = indent <= 3 && (body.starts_with("```") || body.starts_with("~~~"));
    if (state == kLineInBacktickFence || state == kLineInTildeFence) {
      whole(HighlightKind::Code);
      const char* closing = state == kLineInBacktickFence ? "```" : "~~~";
      out.state = fenceLine && body.starts_with(closing) ? kLineNormal : state;
      return out;
    }
    if (fenceLine) {
      whole(HighlightKind::Code);
      out.state = body.starts_with("```") ? kLineInBacktickFence : kLineInTildeFence;
      return out;
    }
    if (indent <= 3 && body.starts_with('#')) {
      std::size_t n = 0;
      while (n < body.size() && body[n] == '#') ++n;
      if (n <= 6) {
        whole(HighlightKind::Heading);
        return out;
      }
    }
    if (onlyChar(line, '=', 2)) {  // the bar under a heading
      whole(HighlightKind::Heading);
      return out;
    }
    if (isRule(line)) {
      whole(HighlightKind::Rule);
      return out;
    }
  } else {
    if (state == kLineInWikiBlock) {
      whole(HighlightKind::Code);
      out.state = line.find("|]") != std::string_view::npos ? kLineNormal : kLineInWikiBlock;
      return out;
    }
    if (const std::size_t open = line.find("[|"); open != std::string_view::npos) {
      const std::size_t close = line.find("|]", open + 2);
      out.spans.push_back({open, (close == std::string_view::npos ? line.size() : close + 2) - open,
                           HighlightKind::Code});
      if (close == std::string_view::npos) out.state = kLineInWikiBlock;
      // The text before the block is prose.
      Scanner before(line.substr(0, open), syntax);
      auto spans = before.run();
      spans.insert(spans.end(), out.spans.begin(), out.spans.end());
      out.spans = std::move(spans);
      return out;
    }
    if (line.starts_with('+')) {
      whole(HighlightKind::Heading);
      return out;
    }
    if (isRule(line)) {
      whole(HighlightKind::Rule);
      return out;
    }
  }
  out.spans = Scanner(line, syntax).run();
  return out;
}

}  // namespace vm
