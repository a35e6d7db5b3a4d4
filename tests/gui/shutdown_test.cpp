// The real program, ended by a signal while a note or a sheet has unsaved
// changes: what the user typed is on disk afterwards, and the program ends
// normally.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <QImage>
#include <cstdlib>
#include <string>
#include <vector>

#include "fakes/temp_dir.h"
#include "gui/program.h"

namespace vm::test {
namespace {

constexpr int kStartMs = 60000;
constexpr int kEndMs = 30000;

class EndBySignal : public ::testing::TestWithParam<int> {};

TEST_P(EndBySignal, SavesTheTypedNoteAndEndsNormally) {
  TempDir dir;
  dir.write("home/vellumark.ini", "[General]\nAutoSave=0\n");
  const auto note = dir.write("notes/plan.txt", "first line\n");
  Program p({"--home", (dir.path() / "home").string(), note.string()}, "typed words ");
  ASSERT_TRUE(p.started());
  ASSERT_TRUE(p.waitForOutput("test keys typed into noteEditor\n", kStartMs)) << p.output();
  EXPECT_EQ(dir.read("notes/plan.txt"), "first line\n");  // nothing saved yet
  p.send(GetParam());
  const int status = p.waitForEnd(kEndMs);
  ASSERT_NE(status, -1) << "the program did not end; " << p.output();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << " " << p.output();
  EXPECT_EQ(dir.read("notes/plan.txt"), "typed words first line\n");
}

INSTANTIATE_TEST_SUITE_P(Signals, EndBySignal, ::testing::Values(SIGTERM, SIGHUP, SIGINT),
                         [](const ::testing::TestParamInfo<int>& i) {
                           return std::string(i.param == SIGTERM ? "Term" : i.param == SIGHUP ? "Hup" : "Int");
                         });

TEST(EndBySignal, SavesAnEditedSheet) {
  TempDir dir;
  dir.write("home/vellumark.ini", "[General]\nAutoSave=0\n");
  const auto sheet = dir.write("notes/list.csv", "ann,30\nbob,40\n");
  // Down puts the cursor on the first cell, Return edits it, the letters go
  // into the cell editor, Return assigns them.
  Program p({"--home", (dir.path() / "home").string(), sheet.string()}, "{Down}\nzed\n");
  ASSERT_TRUE(p.started());
  ASSERT_TRUE(p.waitForOutput("test keys typed into", kStartMs)) << p.output();
  EXPECT_EQ(dir.read("notes/list.csv"), "ann,30\nbob,40\n");
  p.send(SIGTERM);
  const int status = p.waitForEnd(kEndMs);
  ASSERT_NE(status, -1) << "the program did not end; " << p.output();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << p.output();
  const std::string saved = dir.read("notes/list.csv");
  EXPECT_NE(saved.find("zed"), std::string::npos) << saved << "\n" << p.output();
  EXPECT_NE(saved.find("bob,40"), std::string::npos) << saved;
}

// --screenshot takes its picture once the page has arrived and is drawn.
TEST(Screenshot, ShowsTheLoadedPage) {
  TempDir dir;
  dir.write("home/vellumark.ini", "[General]\n");
  QImage red(240, 160, QImage::Format_RGB32);
  red.fill(Qt::red);
  const std::string pic = (dir.path() / "pic.png").string(), shot = (dir.path() / "shot.png").string();
  ASSERT_TRUE(red.save(QString::fromStdString(pic)));
  Program p({"--home", (dir.path() / "home").string(), "--screenshot", shot, pic}, "");
  const int status = p.waitForEnd(kStartMs);
  ASSERT_NE(status, -1) << "the program did not end; " << p.output();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << p.output();
  const QImage picture(QString::fromStdString(shot));
  ASSERT_FALSE(picture.isNull()) << p.output();
  int redPixels = 0;
  for (int y = 0; y < picture.height(); ++y)
    for (int x = 0; x < picture.width(); ++x) redPixels += picture.pixel(x, y) == qRgb(255, 0, 0);
  EXPECT_GE(redPixels, 240 * 160 / 2);  // the image page, not a blank pane
}

// The web engine is loaded with the first page, not at start: a window that
// shows a note has none of its libraries mapped; one that shows a picture
// has.
TEST(StartUp, TheWebEngineWaitsForTheFirstPage) {
  TempDir dir;
  dir.write("home/vellumark.ini", "[General]\nFirstLaunch=0\n");
  const std::string note = dir.write("notes/a.txt", "a note\n").string();
  QImage red(40, 40, QImage::Format_RGB32);
  red.fill(Qt::red);
  const std::string pic = (dir.path() / "notes" / "pic.png").string();
  ASSERT_TRUE(red.save(QString::fromStdString(pic)));
  auto engineMapped = [&](const std::string& file, bool& mapped) {
    Program p({"--home", (dir.path() / "home").string(), file}, "{Down}");
    ASSERT_TRUE(p.waitForOutput("test keys typed", kStartMs)) << p.output();
    const std::string maps = p.mappings();
    ASSERT_NE(maps.find("libQt6Widgets"), std::string::npos) << "cannot read the program's mappings";
    mapped = maps.find("libvellumark_web") != std::string::npos || maps.find("WebEngine") != std::string::npos;
    p.send(SIGTERM);
    const int status = p.waitForEnd(kEndMs);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << p.output();
  };
  bool forNote = true, forPicture = false;
  engineMapped(note, forNote);
  engineMapped(pic, forPicture);
  EXPECT_FALSE(forNote);
  EXPECT_TRUE(forPicture);
}

// A web module that cannot be loaded leaves the page pane empty with one
// line on the error output saying why; the window goes on working and ends
// normally.
TEST(StartUp, AWebModuleThatCannotLoadIsReported) {
  TempDir dir;
  dir.write("home/vellumark.ini", "[General]\nFirstLaunch=0\n");
  const std::string bad = dir.write("broken/libvellumark_web.so", "not a library").string();
  QImage red(40, 40, QImage::Format_RGB32);
  red.fill(Qt::red);
  const std::string pic = (dir.path() / "pic.png").string();
  ASSERT_TRUE(red.save(QString::fromStdString(pic)));
  const char* own = std::getenv("VELLUMARK_WEB_MODULE");
  const std::string before = own ? own : "";
  ::setenv("VELLUMARK_WEB_MODULE", bad.c_str(), 1);
  Program p({"--home", (dir.path() / "home").string(), pic}, "{Down}");
  if (own)
    ::setenv("VELLUMARK_WEB_MODULE", before.c_str(), 1);
  else
    ::unsetenv("VELLUMARK_WEB_MODULE");
  EXPECT_TRUE(p.waitForOutput("vellumark: no web view: cannot load " + bad, kStartMs)) << p.output();
  EXPECT_TRUE(p.waitForOutput("test keys typed", kStartMs)) << p.output();
  EXPECT_EQ(p.mappings().find("WebEngine"), std::string::npos);
  p.send(SIGTERM);
  const int status = p.waitForEnd(kEndMs);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << p.output();
}


}  // namespace
}  // namespace vm::test
