// The Qt models over the core's lists and the view binding: the view shows
// the core's items and selection and reports only what the user does.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <QListView>
#include <QTest>

#include "browse/file_kinds.h"
#include "browse/listing.h"
#include "fakes/temp_dir.h"
#include "ui/list_models.h"

namespace vm::ui {
namespace {

std::vector<ListItem> items(std::initializer_list<const char*> names) {
  std::vector<ListItem> out;
  for (const char* n : names) out.push_back(ListItem{n, 1, "", 0});
  return out;
}

class ListBindingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    core.assign(items({"alpha", "beta", "gamma"}));
    binding->onSelected = [this](int row) {
      selected.push_back(row);
      if (acceptSelection) core.setSelected(row);
    };
    binding->onClickedAgain = [this](int row) { clickedAgain.push_back(row); };
    binding->onActivated = [this](int row) { activated.push_back(row); };
    view->resize(200, 200);
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
  }
  int viewRow() const {
    auto rows = view->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
  }
  void click(int row) {
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(model->index(row)).center());
  }

  ListModel core;
  std::unique_ptr<CoreListModel> model = std::make_unique<CoreListModel>(core, CoreListModel::Kind::Folders);
  std::unique_ptr<QListView> view = std::make_unique<QListView>();
  std::unique_ptr<ListViewBinding> binding = std::make_unique<ListViewBinding>(view.get(), model.get());
  std::vector<int> selected, clickedAgain, activated;
  bool acceptSelection = true;
};

TEST(CoreListModel, ShowsNamesAndIconsOfTheCoreList) {
  ListModel core;
  core.assign({{"[ . . ]", 0, "", 0}, {"notes", 1, "", 0}, {std::string("bad\xff", 4), 2, "", 0}});
  CoreListModel model(core, CoreListModel::Kind::Folders);
  ASSERT_EQ(model.rowCount(), 3);
  EXPECT_EQ(model.data(model.index(2)).toString(), QString("bad") + QChar(0xFFFD));
  EXPECT_FALSE(model.data(model.index(0), Qt::DecorationRole).value<QIcon>().isNull());
  EXPECT_FALSE(model.data(model.index(3)).isValid());
  core.assign(items({"one"}));  // replacing the core's items is seen at once
  EXPECT_EQ(model.rowCount(), 1);
  EXPECT_EQ(model.data(model.index(0)).toString(), "one");

  CoreListModel files(core, CoreListModel::Kind::Files);  // each file kind has its own icon
  EXPECT_NE(files.iconFor(kKindText).cacheKey(), files.iconFor(kKindImage).cacheKey());
  EXPECT_NE(files.iconFor(kKindSheet).cacheKey(), files.iconFor(kKindOther).cacheKey());
}

// A File List row's tool tip is its file's modified time, read when the tip
// is first asked for; Folder List rows have none.
TEST(CoreListModel, FileToolTipIsTheModifiedTimeReadOnFirstAsk) {
  test::TempDir dir;
  const std::int64_t secs[] = {1'500'000'000, 1'600'000'000};
  const char* names[] = {"a.txt", "b.txt"};
  for (int i = 0; i < 2; ++i) {
    struct timespec t[2] = {{static_cast<time_t>(secs[i]), 0}, {static_cast<time_t>(secs[i]), 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, dir.write(names[i], "x").c_str(), t, 0), 0);
  }
  ListModel folders, files;
  Listing listing(folders, files, nullptr);
  listing.listFilesFull(dir.str(), ListingRules{}, false);
  CoreListModel model(files, CoreListModel::Kind::Files);
  ASSERT_EQ(model.rowCount(), 2);
  ASSERT_TRUE(files.at(1).timePending);
  EXPECT_EQ(model.data(model.index(1), Qt::ToolTipRole).toString().toStdString(), modifiedText(secs[1] * 1'000'000'000));
  EXPECT_FALSE(files.at(1).timePending);
  EXPECT_TRUE(files.at(0).timePending);  // only the row asked about
  EXPECT_EQ(model.data(model.index(0), Qt::ToolTipRole).toString().toStdString(), modifiedText(secs[0] * 1'000'000'000));

  CoreListModel folderModel(files, CoreListModel::Kind::Folders);
  EXPECT_FALSE(folderModel.data(folderModel.index(0), Qt::ToolTipRole).isValid());
  std::filesystem::remove(dir.path() / "a.txt");  // gone before its time was read: no tip
  listing.listFilesFull(dir.str(), ListingRules{}, false);
  files.assign({ListItem{"a.txt", kKindText, "", 0, false, true}});
  EXPECT_FALSE(model.data(model.index(0), Qt::ToolTipRole).isValid());
}

TEST_F(ListBindingTest, ReportsOnlyWhatTheUserDoes) {
  core.setSelected(2);  // the core's selection shows without being reported
  EXPECT_EQ(viewRow(), 2);
  core.setSelected(-1);
  EXPECT_TRUE(viewRow() == -1 && selected.empty());

  click(1);
  click(1);  // a repeat click is reported separately
  EXPECT_EQ(selected, std::vector<int>{1});
  EXPECT_EQ(clickedAgain, std::vector<int>{1});
  QTest::keyClick(view.get(), Qt::Key_Down);
  EXPECT_EQ(selected, (std::vector<int>{1, 2}));
  QTest::keyClick(view.get(), Qt::Key_Return);
  EXPECT_EQ(activated, std::vector<int>{2});

  core.setSelected(0);  // the view follows the core when it refuses a selection
  acceptSelection = false;
  click(2);
  EXPECT_EQ(selected, (std::vector<int>{1, 2, 2}));
  EXPECT_EQ(viewRow(), 0);
}

TEST_F(ListBindingTest, ResetFromInsideTheCallbackDoesNotEcho) {
  binding->onSelected = [this](int row) {
    selected.push_back(row);
    core.assign(items({"x", "y"}));  // the core re-lists while handling the click
    core.setSelected(1);
  };
  click(0);
  EXPECT_EQ(model->rowCount(), 2);
  EXPECT_EQ(viewRow(), 1);
  core.assign(items({"p", "q", "r"}));
  EXPECT_EQ(viewRow(), -1);
  EXPECT_EQ(selected, std::vector<int>{0});
}

}  // namespace
}  // namespace vm::ui
