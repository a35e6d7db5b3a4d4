#include "ui/note_highlighter.h"

#include <QFont>
#include <QFontDatabase>
#include <vector>

#include "ui/palette.h"

namespace vm::ui {

NoteHighlighter::NoteHighlighter(QObject* parent) : QSyntaxHighlighter(parent) {
  formats_[static_cast<int>(HighlightKind::Heading)].setFontWeight(QFont::Bold);
  formats_[static_cast<int>(HighlightKind::Strong)].setFontWeight(QFont::Bold);
  formats_[static_cast<int>(HighlightKind::Emphasis)].setFontItalic(true);
  formats_[static_cast<int>(HighlightKind::Strike)].setFontStrikeOut(true);
  formats_[static_cast<int>(HighlightKind::Code)].setFontFamilies(
      {QFontDatabase::systemFont(QFontDatabase::FixedFont).family()});
  formats_[static_cast<int>(HighlightKind::Link)].setFontUnderline(true);
  formats_[static_cast<int>(HighlightKind::PageLink)].setFontUnderline(true);
  setDark(darkPaletteInUse());
}

void NoteHighlighter::setDark(bool dark) {
  // Colours that read well on the editor's page, light or dark.
  struct Colours {
    QColor heading, codeText, codePage, link, pageLink, rule;
  };
  static const Colours kLight{QColor(0x1f, 0x4e, 0x8c), QColor(0x6a, 0x3d, 0x1e), QColor(0xf3, 0xf0, 0xea),
                              QColor(0x1a, 0x5f, 0xb4), QColor(0x26, 0x7a, 0x3c), QColor(0x80, 0x80, 0x80)};
  static const Colours kDark{QColor(0x7a, 0xb8, 0xff), QColor(0xe3, 0xb9, 0x8c), QColor(0x2e, 0x30, 0x35),
                             QColor(0x6c, 0xb6, 0xff), QColor(0x7e, 0xc9, 0x8f), QColor(0x8a, 0x8f, 0x98)};
  const Colours& c = dark ? kDark : kLight;
  formats_[static_cast<int>(HighlightKind::Heading)].setForeground(c.heading);
  formats_[static_cast<int>(HighlightKind::Code)].setForeground(c.codeText);
  formats_[static_cast<int>(HighlightKind::Code)].setBackground(c.codePage);
  formats_[static_cast<int>(HighlightKind::Link)].setForeground(c.link);
  formats_[static_cast<int>(HighlightKind::PageLink)].setForeground(c.pageLink);
  formats_[static_cast<int>(HighlightKind::Rule)].setForeground(c.rule);
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
