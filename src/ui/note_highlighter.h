#pragma once
// Light highlighting of a Markdown or wiki note in the note editor. Each
// block (line) is highlighted from its text and the state the block before
// it ended in; the document runs only the blocks an edit touched, and the
// ones after them while their incoming state changes.
#include <QSyntaxHighlighter>
#include <QTextCharFormat>

#include "notes/highlight.h"

namespace vm::ui {

class NoteHighlighter : public QSyntaxHighlighter {
  Q_OBJECT
 public:
  explicit NoteHighlighter(QObject* parent);
  // Takes effect with the next highlighting pass (attaching a document or rehighlight()).
  void setSyntax(NoteSyntax syntax) { syntax_ = syntax; }
  NoteSyntax syntax() const { return syntax_; }
  // Colours for a dark page (true) or a light one; the palette in use at
  // construction decides first. Takes effect with the next pass.
  void setDark(bool dark);
  // The format of a kind of span.
  const QTextCharFormat& formatOf(HighlightKind kind) const { return formats_[static_cast<int>(kind)]; }

 protected:
  void highlightBlock(const QString& text) override;

 private:
  NoteSyntax syntax_ = NoteSyntax::None;
  QTextCharFormat formats_[8];
};

}  // namespace vm::ui
