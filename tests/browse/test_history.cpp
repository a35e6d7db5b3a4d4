#include <gtest/gtest.h>

#include <tuple>

#include "browse/history.h"

namespace vm {
namespace {

RootLocation place(const std::string& file, const std::string& folder = "", const std::string& path = "/n") {
  RootLocation l;
  l.inUse = true;
  l.rootFolder = "/n";
  std::tie(l.path, l.selectedFolder, l.selectedFile) = std::tie(path, folder, file);
  return l;
}

TEST(History, SamePlaceRuleAndLimit) {
  History h;
  h.push(place(""));  // no file: never pushed
  h.push(place("a.txt"));
  h.push(place("b.txt"));
  h.push(place("A.TXT"));
  h.push(place("a.txt", "other folder"));  // differs only in the folder: the same place
  ASSERT_EQ(h.size(), 3u);
  EXPECT_EQ(h.newest().selectedFile, "A.TXT");
  h.push(place("a.txt", "", "/n/elsewhere"));  // another path is another place
  EXPECT_EQ(h.size(), 4u);

  History many;
  for (int i = 0; i < 30; ++i) many.push(place("n" + std::to_string(i) + ".txt"));
  ASSERT_EQ(many.size(), 22u);
  EXPECT_EQ(many.entries().front().selectedFile, "n8.txt");
  EXPECT_EQ(many.pop()->selectedFile, "n29.txt");
  EXPECT_EQ(many.pop()->selectedFile, "n28.txt");
  History none;
  EXPECT_FALSE(none.pop());
}

TEST(History, LogLines) {
  std::vector<std::string> lines;
  History h;
  h.setLog([&](const std::string& s) { lines.push_back(s); });
  h.push(place("a.txt", "f"));
  h.push(place("a.txt", "f"));
  h.pop();
  EXPECT_EQ(lines, (std::vector<std::string>{"PUSH root:'/n' path:'/n' folder:'f' file:'a.txt'\n",
                                              "PUSH root LAST ROOT (not added again):'/n' path:'/n' folder:'f' file:'a.txt'\n",
                                              "POP root:'/n' path:'/n' folder:'f' file:'a.txt'\n"}));
}

TEST(RecentFiles, NewestFirstNoRepeatsTenSlots) {
  std::array<RootLocation, limits::kShortcuts> slots{};
  RootLocation last;
  EXPECT_TRUE(addRecentFile(slots, last, place("a.txt")));
  EXPECT_FALSE(addRecentFile(slots, last, place("a.txt")));              // the one just added
  EXPECT_FALSE(addRecentFile(slots, last, place("A.txt", "", "/n/x")));  // same name elsewhere
  EXPECT_FALSE(addRecentFile(slots, last, place("$new$unsaved$")));
  EXPECT_FALSE(addRecentFile(slots, last, place("")));
  EXPECT_TRUE(addRecentFile(slots, last, place("b.txt")));
  EXPECT_EQ(slots[0].selectedFile, "b.txt");
  EXPECT_EQ(slots[1].selectedFile, "a.txt");
  slots[10] = place("perpetual.txt");  // a Perpetual note is never listed twice
  EXPECT_FALSE(addRecentFile(slots, last, place("perpetual.txt")));
  for (int i = 0; i < 10; ++i) addRecentFile(slots, last, place("f" + std::to_string(i) + ".txt"));
  EXPECT_EQ(slots[0].selectedFile, "f9.txt");
  EXPECT_EQ(slots[9].selectedFile, "f0.txt");  // a.txt and b.txt fell off
  EXPECT_EQ(slots[10].selectedFile, "perpetual.txt");
}

}  // namespace
}  // namespace vm
