#include "ui/palette.h"

#include <QApplication>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleHints>

namespace vm::ui {

bool isDarkPalette(const QPalette& palette) {
  return palette.color(QPalette::Window).lightness() < palette.color(QPalette::WindowText).lightness();
}

bool darkPaletteInUse() {
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
  // A palette forced on the program wins over what the desktop says.
  if (!qEnvironmentVariableIsSet("VELLUMARK_PALETTE")) {
    const Qt::ColorScheme scheme = QGuiApplication::styleHints()->colorScheme();
    if (scheme != Qt::ColorScheme::Unknown) return scheme == Qt::ColorScheme::Dark;
  }
#endif
  return isDarkPalette(QGuiApplication::palette());
}

QColor gridColour(const QPalette& palette) {
  const QColor base = palette.color(QPalette::Base), text = palette.color(QPalette::Text);
  auto mix = [](int a, int b) { return a + (b - a) / 3; };
  return QColor(mix(base.red(), text.red()), mix(base.green(), text.green()), mix(base.blue(), text.blue()));
}

QPalette darkPalette() {
  const QColor window(0x2b, 0x2d, 0x30), base(0x1e, 0x1f, 0x22), text(0xe6, 0xe6, 0xe6);
  const QColor dim(0x80, 0x85, 0x8d), button(0x38, 0x3a, 0x3e);
  QPalette p;
  p.setColor(QPalette::Window, window);
  p.setColor(QPalette::WindowText, text);
  p.setColor(QPalette::Base, base);
  p.setColor(QPalette::AlternateBase, QColor(0x26, 0x28, 0x2b));
  p.setColor(QPalette::ToolTipBase, window);
  p.setColor(QPalette::ToolTipText, text);
  p.setColor(QPalette::PlaceholderText, dim);
  p.setColor(QPalette::Text, text);
  p.setColor(QPalette::Button, button);
  p.setColor(QPalette::ButtonText, text);
  p.setColor(QPalette::BrightText, QColor(0xff, 0x6b, 0x6b));
  p.setColor(QPalette::Light, QColor(0x55, 0x58, 0x5e));
  p.setColor(QPalette::Midlight, QColor(0x45, 0x48, 0x4d));
  p.setColor(QPalette::Mid, QColor(0x3a, 0x3c, 0x40));
  p.setColor(QPalette::Dark, QColor(0x18, 0x19, 0x1b));
  p.setColor(QPalette::Shadow, QColor(0x0a, 0x0a, 0x0b));
  p.setColor(QPalette::Highlight, QColor(0x2f, 0x65, 0xca));
  p.setColor(QPalette::HighlightedText, Qt::white);
  p.setColor(QPalette::Link, QColor(0x6c, 0xb6, 0xff));
  p.setColor(QPalette::LinkVisited, QColor(0xb3, 0x9d, 0xdb));
  // Disabled text (and a cut file in the lists) is dimmed, never gone.
  for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
    p.setColor(QPalette::Disabled, role, dim);
  p.setColor(QPalette::Disabled, QPalette::Base, window);
  p.setColor(QPalette::Disabled, QPalette::Highlight, QColor(0x4a, 0x4d, 0x52));
  return p;
}

bool forcePalette(const QString& value) {
  const QString v = value.trimmed().toLower();
  if (v.isEmpty()) return true;
  if (v != QLatin1String("dark") && v != QLatin1String("light")) return false;
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  QApplication::setPalette(v == QLatin1String("dark") ? darkPalette() : QApplication::style()->standardPalette());
  return true;
}

}  // namespace vm::ui
