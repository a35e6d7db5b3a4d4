#include <gtest/gtest.h>

#include "core/status_line.h"

namespace vm {
namespace {

TEST(StatusLine, StatusBarMessageClearsAfterAboutThreeSeconds) {
  StatusLine s;
  s.configure(true, true, false, nullptr);
  int changes = 0;
  s.changed.connect([&] { ++changes; });
  s.show("Files in /n");
  EXPECT_EQ(s.message(), "Files in /n");
  int ticks = 0;
  for (; !s.message().empty() && ticks < 20; ++ticks) s.tick();
  EXPECT_EQ(ticks, 7);  // 6 counted down, cleared on the 7th half-second tick
  EXPECT_GE(changes, 2);
  s.show(std::string(300, 'a'));
  EXPECT_EQ(s.message().size(), 259u);
  s.setCharCount(12);
  s.setWordCount(3);  // word counter is off
  EXPECT_EQ(s.charCounter(), "Ch 12");
  EXPECT_EQ(s.wordCounter(), "");
}

TEST(StatusLine, MessageFieldOnlyWhileInFront) {
  bool front = false;
  StatusLine s;
  s.configure(false, true, true, [&] { return front; });
  s.show("Hit maximum number of roots");
  EXPECT_FALSE(s.fieldVisible());  // another program is in front: not shown at all
  front = true;
  s.show("");
  EXPECT_FALSE(s.fieldVisible());
  s.show("Error adding root");
  EXPECT_TRUE(s.fieldVisible());
  s.tick(10);
  s.tick(40);  // the note scrolled: hidden at once
  EXPECT_FALSE(s.fieldVisible());
  s.show("again");
  s.hideNow();
  EXPECT_FALSE(s.fieldVisible());
  EXPECT_EQ(s.charCounter(), "");  // no counters without a status bar
  s.setCharCount(5);
  EXPECT_EQ(s.charCounter(), "");
}

// The file name and its change mark are checked through the App's tests.
TEST(StatusLine, TitleWithoutAFileIsTheProgramName) {
  StatusLine s;
  EXPECT_EQ(s.title(), "Vellumark");
  s.setTitle("plan.txt");
  s.setTitle("");
  EXPECT_EQ(s.title(), "Vellumark");
}

}  // namespace
}  // namespace vm
