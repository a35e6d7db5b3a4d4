// The Properties dialog shows what describePath found, one row each, and
// only an error row (with the path) for a path that cannot be read.
#include <gtest/gtest.h>

#include <QTest>

#include "fakes/temp_dir.h"
#include "ui/properties_dialog.h"

namespace vm::ui {
namespace {

TEST(PropertiesDialog, ShowsEveryRowOfAFile) {
  test::TempDir dir;
  auto file = dir.write("n/plan.txt", std::string(2048, 'p'));
  PropertiesDialog d(describePath(file.string()));
  EXPECT_EQ(d.value("Path").toStdString(), file.string());
  EXPECT_EQ(d.value("Kind"), "File");
  EXPECT_EQ(d.value("Size"), "2,048 bytes");
  EXPECT_FALSE(d.value("Modified").isEmpty());
  EXPECT_TRUE(d.value("Permissions").startsWith("rw"));
  EXPECT_TRUE(d.value("Error").isEmpty());
  EXPECT_TRUE(d.windowTitle().endsWith("plan.txt"));
}

TEST(PropertiesDialog, AMissingPathShowsWhyAndNothingElse) {
  test::TempDir dir;
  PropertiesDialog d(describePath((dir.path() / "gone.txt").string()));
  EXPECT_EQ(d.value("Error"), "No such file or directory");
  EXPECT_TRUE(d.value("Size").isEmpty());
  EXPECT_TRUE(d.value("Kind").isEmpty());
}

}  // namespace
}  // namespace vm::ui
