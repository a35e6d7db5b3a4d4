#include <gtest/gtest.h>

#include <string>

#include "notes/date_template.h"
#include "notes/note_rig.h"
#include "notes/paste_image.h"
#include "platform/text.h"

namespace vm {
namespace {

using test::EditRig;

TEST(PasteImage, TwoPicturesGetNumberedPngFilesAndMarkdownLinks) {
  EditRig h;
  ASSERT_TRUE(h.openNew("a.md", "Pictures:\n"));
  h.clipboard.setImage("first");
  h.select(10, 10);
  h.viewer.command(cmd::kNotePasteImage);
  h.clipboard.setImage("second");
  h.viewer.command(cmd::kNotePasteImage);
  EXPECT_EQ(h.dir.read("notes/imgs/Image_000.png"), "first");
  EXPECT_EQ(h.dir.read("notes/imgs/Image_001.png"), "second");
  EXPECT_EQ(h.editor.content,
            "Pictures:\n![ Image_000.png ](imgs/Image_000.png)![ Image_001.png ](imgs/Image_001.png)");
  // A link is the user's change: marked, not saved; the second paste saved the first link.
  EXPECT_TRUE(h.viewer.modified());
  EXPECT_EQ(h.file("a.md"), "Pictures:\n![ Image_000.png ](imgs/Image_000.png)");
}

TEST(PasteImage, UnsavedTextIsSavedBeforeTheLinkGoesIn) {
  EditRig h;
  ASSERT_TRUE(h.openNew("a.md", "x"));
  h.type("y");
  h.select(2, 2);
  h.clipboard.setImage("pic");
  h.viewer.command(cmd::kNotePasteImage);
  EXPECT_EQ(h.file("a.md"), "xy");
  EXPECT_EQ(h.editor.content, "xy![ Image_000.png ](imgs/Image_000.png)");
  EXPECT_TRUE(h.viewer.modified());
}

TEST(PasteImage, FreeNameSkipsBmpAndPngOfTheSameNumber) {
  EditRig h;
  h.dir.write("notes/imgs/Image_000.bmp", "old");
  h.dir.write("notes/imgs/Image_001.png", "old");
  const std::string imgs = h.root + "/imgs";
  EXPECT_EQ(freeImageName(imgs, true), "Image_002.bmp");
  EXPECT_EQ(freeImageName(imgs, false), "Image_001.bmp");  // a PNG does not count without ImageSaveAsPng
  for (int n = 2; n < 1000; ++n) h.dir.write(format("notes/imgs/Image_%03d.bmp", n), "");
  EXPECT_EQ(freeImageName(imgs, true), "Image_1000.bmp");  // no upper limit
}

TEST(PasteImage, BmpWhenPngIsOffOrCannotBeMade) {
  {
    EditRig h("ImageSaveAsPng=0");
    ASSERT_TRUE(h.openNew("a.txt", ""));
    h.clipboard.setImage("pixels");
    h.viewer.command(cmd::kNotePasteImage);
    EXPECT_EQ(h.dir.read("notes/imgs/Image_000.bmp"), "BMpixels");
    EXPECT_EQ(h.editor.content, "![ Image_000.bmp ](imgs/Image_000.bmp)");
  }
  {
    EditRig h;
    ASSERT_TRUE(h.openNew("a.txt", ""));
    h.clipboard.picture = {{"bmp", "BMonly"}};  // no PNG to be had: the BMP stays
    h.viewer.command(cmd::kNotePasteImage);
    EXPECT_EQ(h.dir.read("notes/imgs/Image_000.bmp"), "BMonly");
    EXPECT_EQ(h.editor.content, "![ Image_000.bmp ](imgs/Image_000.bmp)");
  }
}

TEST(PasteImage, WikiLinkAndDatePrefix) {
  EXPECT_EQ(imageLink("Image_000.png", "wiki"), "[$ imgs\\Image_000.png $]");
  EXPECT_EQ(imageLink("Image_000.png", "Markdown"), "![ Image_000.png ](imgs/Image_000.png)");
  EXPECT_EQ(imageLink("Image_000.png", "anything"), "![ Image_000.png ](imgs/Image_000.png)");

  EditRig h("NoteImageLinkType=Wiki\nImagePrependDate=1\nPrependDateTemplate=yyyy-MM-dd-");
  ASSERT_TRUE(h.openNew("a.wiki", ""));
  h.clipboard.setImage("p");
  h.viewer.command(cmd::kNotePasteImage);
  const std::string day = formatDate("yyyy-MM-dd-", localTimeOf(h.clock.now));
  EXPECT_EQ(h.editor.content, "[$ imgs\\" + day + "Image_000.png $]");
  EXPECT_EQ(h.dir.read("notes/imgs/" + day + "Image_000.png"), "p");
  EXPECT_FALSE(pathExists(h.root + "/imgs/Image_000.png"));
}

TEST(PasteImage, NothingOnTheClipboardDoesNothingQuietly) {
  EditRig h;
  ASSERT_TRUE(h.openNew("a.txt", "text"));
  h.viewer.command(cmd::kNotePasteImage);
  EXPECT_EQ(h.editor.content, "text");
  EXPECT_FALSE(pathExists(h.root + "/imgs"));
  EXPECT_EQ(h.message(), "");
}

TEST(PasteImage, FolderThatCannotBeMadeLeavesTheNoteAlone) {
  EditRig h;
  h.dir.write("notes/imgs", "a file where the folder should be");
  ASSERT_TRUE(h.openNew("a.txt", "text"));
  h.clipboard.setImage("p");
  h.viewer.command(cmd::kNotePasteImage);
  EXPECT_EQ(h.editor.content, "text");
  EXPECT_FALSE(h.viewer.modified());
  EXPECT_NE(h.message().find("imgs"), std::string::npos);
  EXPECT_EQ(h.dir.read("notes/imgs"), "a file where the folder should be");
}

TEST(PasteImage, IntoTheListedFolderAsAFile) {
  EditRig h;
  h.clipboard.setImage("p");
  auto name = pasteImageIntoFolder(h.context(), h.root);
  ASSERT_TRUE(name);
  EXPECT_EQ(*name, "Image_000.png");
  EXPECT_EQ(h.dir.read("notes/Image_000.png"), "p");
  EXPECT_FALSE(pathExists(h.root + "/imgs"));

  h.clipboard.picture.clear();
  EXPECT_FALSE(pasteImageIntoFolder(h.context(), h.root));
  h.clipboard.setImage("q");
  h.dir.write("notes/blocker", "");
  EXPECT_FALSE(pasteImageIntoFolder(h.context(), h.root + "/blocker/sub"));
  EXPECT_NE(h.message().find("blocker/sub"), std::string::npos);
}

}  // namespace
}  // namespace vm
