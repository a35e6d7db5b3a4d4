#include "ui/note_highlighter.h"

#include <QFont>
#include <QFontDatabase>
#include <vector>

namespace vm::ui {

NoteHighlighter::NoteHighlighter(QObject* parent) : QSyntaxHighlighter(parent) {
  auto& heading = formats_[static_cast<int>(HighlightKind::Heading)];
  heading.setFontWeight(QFont::Bold);
  heading.setForeground(QColor(0x1f, 0x4e, 0x8c));
  formats_[static_cast<int>(HighlightKind::Strong)].setFontWeight(QFont::Bold);
  formats_[static_cast<int>(HighlightKind::Emphasis)].setFontItalic(true);
  formats_[static_cast<int>(HighlightKind::Strike)].setFontStrikeOut(true);
  auto& code = formats_[static_cast<int>(HighlightKind::Code)];
  code.setFontFamilies({QFontDatabase::systemFont(QFontDatabase::FixedFont).family()});
  code.setForeground(QColor(0x6a, 0x3d, 0x1e));
  code.setBackground(QColor(0xf3, 0xf0, 0xea));
  auto& link = formats_[static_cast<int>(HighlightKind::Link)];
  link.setForeground(QColor(0x1a, 0x5f, 0xb4));
  link.setFontUnderline(true);
  auto& page = formats_[static_cast<int>(HighlightKind::PageLink)];
  page.setForeground(QColor(0x26, 0x7a, 0x3c));
  page.setFontUnderline(true);
  formats_[static_cast<int>(HighlightKind::Rule)].setForeground(QColor(0x80, 0x80, 0x80));
}

void NoteHighlighter::highlightBlock(const QString& text) {
  const int before = previousBlockState();
  if (syntax_ == NoteSyntax::None) {
    setCurrentBlockState(kLineNormal);
    return;
  }
  const QByteArray utf8 = text.toUtf8();
  LineHighlight h = highlightLine(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())),
                                  before < 0 ? kLineNormal : before, syntax_);
  setCurrentBlockState(h.state);
  if (h.spans.empty()) return;
  // Byte offsets of the line to positions in the block's text.
  std::vector<int> position(static_cast<std::size_t>(utf8.size()) + 1, text.size());
  std::size_t byte = 0;
  for (int i = 0; i < text.size(); ++i) {
    const char16_t c = text[i].unicode();
    std::size_t n;
    if (QChar::isHighSurrogate(c) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode())) {
      n = 4;
    } else if (QChar::isSurrogate(c)) {
      n = 3;  // a lone half is written as U+FFFD
    } else {
      n = c < 0x80 ? 1 : c < 0x800 ? 2 : 3;
    }
    for (std::size_t k = 0; k < n && byte + k < position.size(); ++k) position[byte + k] = i;
    byte += n;
    if (n == 4) ++i;
  }
  for (const HighlightSpan& s : h.spans) {
    const int from = position[std::min(s.start, position.size() - 1)];
    const int to = position[std::min(s.start + s.length, position.size() - 1)];
    if (to > from) setFormat(from, to - from, formatOf(s.kind));
  }
}

}  // namespace vm::ui
