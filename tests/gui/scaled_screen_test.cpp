// The real program on a screen scaled by two: the picture has twice the
// pixels, and the sheet's dotted cell cursor keeps its dots at that scale
// (one dot and one gap per pixel of the window, two of the screen).
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <cstdlib>
#include <string>

#include "fakes/temp_dir.h"
#include "gui/program.h"

namespace vm::test {
namespace {

constexpr int kStartMs = 60000;

// Rows of the picture as '#' for dark pixels and '.' for the rest.
std::string darkRow(const QImage& image, int y) {
  std::string row;
  for (int x = 0; x < image.width(); ++x) row += qGray(image.pixel(x, y)) < 80 ? '#' : '.';
  return row;
}

// Lines of the picture holding a run of dots pattern (at least 32 pixels of it).
int rowsWith(const QImage& image, const std::string& dot) {
  std::string run;
  while (run.size() < 32) run += dot;
  int rows = 0;
  for (int y = 0; y < image.height(); ++y) rows += darkRow(image, y).find(run) != std::string::npos;
  return rows;
}

// ini: the settings file the program starts with.
QImage pictureOfASheet(const std::string& scale, const std::string& ini) {
  TempDir dir;
  dir.write("home/vellumark.ini", ini);
  const auto sheet = dir.write("notes/list.csv", "Item,Cost,Shop\nSeed potatoes,6.50,Garden centre\nTwine,2.10,Hardware\n");
  const std::string shot = (dir.path() / "shot.png").string();
  ::setenv("QT_SCALE_FACTOR", scale.c_str(), 1);
  ::setenv("VELLUMARK_PALETTE", "light", 1);
  // Down puts the cell cursor on the first cell before the picture is taken.
  Program p({"--home", (dir.path() / "home").string(), "--screenshot", shot, sheet.string()}, "{Down}");
  ::unsetenv("QT_SCALE_FACTOR");
  ::unsetenv("VELLUMARK_PALETTE");
  const int status = p.waitForEnd(kStartMs);
  EXPECT_TRUE(Program::endedWell(status)) << status << " " << p.output();
  return QImage(QString::fromStdString(shot));
}

TEST(ScaledScreen, TheCellCursorKeepsItsDots) {
  // A placement that fits the test screen at both scales.
  const std::string ini = "[General]\nWindowPosition=0,1,0,0,0,0,0,0,390,300\n";
  const QImage plain = pictureOfASheet("1", ini);
  const QImage scaled = pictureOfASheet("2", ini);
  ASSERT_FALSE(plain.isNull());
  ASSERT_FALSE(scaled.isNull());
  EXPECT_EQ(scaled.size(), plain.size() * 2);
  // The top and bottom edges: one line each at scale 1, two at scale 2.
  EXPECT_EQ(rowsWith(plain, "#."), 2);
  EXPECT_EQ(rowsWith(scaled, "##.."), 4);
}

// With no placement stored, the first window is its usual size or, on a
// screen with fewer logical pixels (here: the test screen at scale 2), the
// screen's size: never larger than the screen.
TEST(ScaledScreen, TheFirstWindowFitsTheScreen) {
  const QSize screen = QGuiApplication::primaryScreen()->size();  // the child's screen, in pixels
  const QImage scaled = pictureOfASheet("2", "[General]\n");
  ASSERT_FALSE(scaled.isNull());
  EXPECT_LE(scaled.width(), screen.width());
  EXPECT_LE(scaled.height(), screen.height());
  EXPECT_GE(scaled.width(), screen.width() * 3 / 4);  // it still takes the room there is
}

}  // namespace
}  // namespace vm::test
