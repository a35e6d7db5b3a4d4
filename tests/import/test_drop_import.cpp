// Drops on the File List and on the note editor, checked on disk: which
// files appear under which names, that nothing existing is replaced, the
// link the note gets, and the status line's words.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "import/drop_import.h"
#include "import/hostile_server.h"
#include "notes/note_rig.h"

namespace vm {
namespace {

namespace fs = std::filesystem;

// The note viewer's rig plus a DropImport over it that records its hooks.
struct DropRig : test::EditRig {
  HttpFetcher fetcher{nullptr, shortFetch()};
  std::vector<std::string> relisted, opened;
  DropImport drops{context(), fetcher,
                   NoteDropTarget{[this] { return viewer.loaded(); }, [this] { return viewer.editable(); },
                                  [this](const std::string& n) { viewer.insertImageLink(n); },
                                  [this](const std::string& t) { viewer.dropText(t); }},
                   DropHooks{[this](const std::string& n) { relisted.push_back(n); },
                             [this](const std::string& n) { opened.push_back(n); }}};

  explicit DropRig(const std::string& general = "") : EditRig(general) {}
  static FetchOptions shortFetch() {
    FetchOptions o;
    o.connectTimeoutMs = o.stallTimeoutMs = 2000;
    o.totalTimeoutMs = 4000;
    return o;
  }
  // The names in a folder of the root ("" for the root itself).
  std::set<std::string> names(const std::string& sub = "") const {
    std::set<std::string> out;
    const fs::path p = fs::path(root) / sub;
    if (fs::is_directory(p))
      for (const auto& e : fs::directory_iterator(p)) out.insert(e.path().filename().string());
    return out;
  }
};

// A picture that encodes to these bytes.
DropData picture(std::string png, std::string bmp = "BMbytes") {
  DropData d;
  d.image = [png, bmp](std::string_view f) { return f == "png" ? png : bmp; };
  d.offered.push_back(DropFormat::Image);
  return d;
}

// ---- Text rules ------------------------------------------------------------

TEST(DropText, EntitiesDecodeToCharactersAndUnknownOnesToBlanks) {
  EXPECT_EQ(decodeHtmlEntities("a&amp;b&#8364;c"), "a&b\xE2\x82\xAC" "c");
  EXPECT_EQ(decodeHtmlEntities("&quot;&lt;&gt;&nbsp;"), "\"<> ");
  EXPECT_EQ(decodeHtmlEntities("caf&eacute; &iexcl;&yuml;"), "caf\xC3\xA9 \xC2\xA1\xC3\xBF");
  EXPECT_EQ(decodeHtmlEntities("&#x41;&#65;"), "AA");
  // Below 34, unreadable, unknown: a blank each.
  EXPECT_EQ(decodeHtmlEntities("[&#33;][&#1x;][&bogus;][&Eacute;]"), "[ ][ ][ ][\xC3\x89]");
  // Names compare exactly.
  EXPECT_EQ(decodeHtmlEntities("&AMP;"), " ");
  // An "&" ten or more characters before its ";" (or the end) stays; a
  // nearer one takes what lies between as a name.
  EXPECT_EQ(decodeHtmlEntities("fish & chips and peas; more"), "fish & chips and peas; more");
  EXPECT_EQ(decodeHtmlEntities("fish & chips; more"), "fish   more");
  EXPECT_EQ(decodeHtmlEntities("AT&T"), "AT ");
  EXPECT_EQ(decodeHtmlEntities("x&#55296;y"), "x y");  // a lone surrogate is no character
  EXPECT_EQ(decodeHtmlEntities("plain"), "plain");
}

TEST(DropText, TagsGoWithEverythingBeforeTheFirst) {
  EXPECT_EQ(stripHtmlTags("lead <b>bold</b> and <i>it</i>!"), "bold and it!");
  EXPECT_EQ(stripHtmlTags("no tags at all"), "no tags at all");
  EXPECT_EQ(stripHtmlTags("<p>open <b"), "open ");
  // Entities first, so an escaped tag goes with the real ones.
  EXPECT_EQ(stripHtmlTags(decodeHtmlEntities("<p>&lt;b&gt;x&amp;y</p>")), "x&y");
}

TEST(DropText, ImageAddressComesOnlyFromAnImageTag) {
  EXPECT_EQ(htmlImageAddress("<img src=\"http://h/p.png\">").value_or("-"), "http://h/p.png");
  EXPECT_EQ(htmlImageAddress("<IMG alt=x SRC=\"http://h/a.gif?x=1&amp;y=2\">").value_or("-"),
            "http://h/a.gif?x=1&y=2");
  EXPECT_EQ(htmlImageAddress("<meta charset=\"utf-8\"><!--frag--> <img src='http://h/q.jpg'>").value_or("-"),
            "http://h/q.jpg");
  EXPECT_FALSE(htmlImageAddress("<p><img src=\"http://h/p.png\"></p>"));
  EXPECT_FALSE(htmlImageAddress("<img alt=\"none\">"));
  EXPECT_FALSE(htmlImageAddress("<img src=\"\">"));
  EXPECT_FALSE(htmlImageAddress("plain text"));
}

TEST(DropText, DataAddressesCarryTheirPicture) {
  auto png = dataAddressPicture("data:image/png;base64,iVBORw0K\nGgo=");
  ASSERT_TRUE(png);
  EXPECT_EQ(png->bytes, std::string("\x89PNG\r\n\x1a\n", 8));
  EXPECT_EQ(png->extension, ".png");
  auto jpg = dataAddressPicture("DATA:image/JPEG;BASE64,/9j/");
  ASSERT_TRUE(jpg);
  EXPECT_EQ(jpg->bytes, "\xFF\xD8\xFF");
  EXPECT_EQ(jpg->extension, ".jpg");
  EXPECT_EQ(dataAddressPicture("data:image/svg+xml;base64,PHN2Zy8+")->extension, ".svg");
  EXPECT_EQ(dataAddressPicture("data:image/../x;base64,QUJD")->extension, ".img");
  EXPECT_FALSE(dataAddressPicture("data:text/plain;base64,aGk="));
  EXPECT_FALSE(dataAddressPicture("data:image/png,raw"));
  EXPECT_FALSE(dataAddressPicture("data:image/png;base64,@@@@"));
  EXPECT_FALSE(dataAddressPicture("data:image/png;base64,"));
}

TEST(DropText, PictureNameComesFromTheLaterOfFilesAndText) {
  DropData d;
  d.text = "http://example.org/dir/My%20Pic.jpg?w=100\nsecond line";
  d.files = {"/home/u/shots/shot.one.png"};
  d.offered = {DropFormat::Image, DropFormat::Files, DropFormat::Text};
  EXPECT_EQ(droppedPictureName(d), "My Pic.bmp");
  d.offered = {DropFormat::Text, DropFormat::Files};
  EXPECT_EQ(droppedPictureName(d), "shot.one.bmp");
  d = DropData{};
  d.text = "a:b[1]?c\\d";
  EXPECT_EQ(droppedPictureName(d), "d.bmp");  // a backslash separates folders too
  d.text = "a:b[1]%z";
  EXPECT_EQ(droppedPictureName(d), "a_b_1__z.bmp");
  d.text = "caf&eacute;.gif";
  EXPECT_EQ(droppedPictureName(d), "caf\xC3\xA9.bmp");
  d.text = "http://example.org/";
  EXPECT_EQ(droppedPictureName(d), "");
  EXPECT_EQ(droppedPictureName(DropData{}), "");
}

TEST(DropText, NewFilesNeverReplaceOldOnes) {
  test::TempDir dir;
  const std::string folder = dir.mkdir("f").string();
  dir.write("f/pic.png", "old");
  std::string error;
  EXPECT_EQ(writeNewFile(folder, "pic.png", "new1", &error).value_or("-"), "pic_001.png") << error;
  EXPECT_EQ(writeNewFile(folder, "pic.png", "new2").value_or("-"), "pic_002.png");
  EXPECT_EQ(writeNewFile(folder, "free.txt", "t").value_or("-"), "free.txt");
  EXPECT_EQ(dir.read("f/pic.png"), "old");
  EXPECT_EQ(dir.read("f/pic_001.png"), "new1");
  EXPECT_EQ(dir.read("f/pic_002.png"), "new2");
  std::set<std::string> all;
  for (const auto& e : fs::directory_iterator(folder)) all.insert(e.path().filename().string());
  EXPECT_EQ(all, (std::set<std::string>{"pic.png", "pic_001.png", "pic_002.png", "free.txt"}));  // no temporary left
  EXPECT_FALSE(writeNewFile(dir.str() + "/missing", "x.txt", "x", &error));
  EXPECT_FALSE(error.empty());
}

// ---- On the File List ------------------------------------------------------

TEST(DropOnFileList, FilesAreCopiedExistingOnesKeptAndTheLastOpened) {
  DropRig rig;
  rig.dir.write("elsewhere/a.txt", "new a");
  rig.dir.write("elsewhere/b.txt", "b text");
  rig.dir.mkdir("elsewhere/sub");
  rig.dir.write("notes/a.txt", "old a");
  DropData d;
  d.files = {(rig.dir.path() / "elsewhere/a.txt").string(), (rig.dir.path() / "elsewhere/b.txt").string()};
  rig.drops.dropOnFileList(d);
  EXPECT_EQ(rig.file("a.txt"), "old a");
  EXPECT_EQ(rig.file("b.txt"), "b text");
  EXPECT_EQ(rig.message(), "File exists: a.txt");
  EXPECT_EQ(rig.opened, std::vector<std::string>{"b.txt"});
  EXPECT_EQ(rig.relisted, std::vector<std::string>{"b.txt"});

  // A folder and a missing file are named; what exists is still opened.
  d.files = {(rig.dir.path() / "elsewhere/sub").string(), (rig.dir.path() / "elsewhere/gone.txt").string(),
             (rig.dir.path() / "elsewhere/b.txt").string()};
  rig.drops.dropOnFileList(d);
  EXPECT_EQ(rig.message().rfind("Folders are not copied: sub; Could not copy gone.txt: ", 0), 0u) << rig.message();
  EXPECT_NE(rig.message().find("; File exists: b.txt"), std::string::npos) << rig.message();
  EXPECT_EQ(rig.names(), (std::set<std::string>{"a.txt", "b.txt"}));
  EXPECT_EQ(rig.opened.back(), "b.txt");
}

TEST(DropOnFileList, PictureIsSavedUnderItsNameAsPngWithoutReplacing) {
  DropRig rig;
  DropData d = picture("PNGDATA");
  d.text = "https://example.org/img/cat.jpg";
  d.offered.push_back(DropFormat::Text);
  rig.drops.dropOnFileList(d);
  rig.drops.dropOnFileList(d);
  EXPECT_EQ(rig.file("cat.png"), "PNGDATA");
  EXPECT_EQ(rig.file("cat_001.png"), "PNGDATA");
  EXPECT_EQ(rig.relisted, (std::vector<std::string>{"cat.png", "cat_001.png"}));
  EXPECT_TRUE(rig.opened.empty());  // selected, not opened
  EXPECT_EQ(rig.names(), (std::set<std::string>{"cat.png", "cat_001.png"}));
}

TEST(DropOnFileList, PictureWithoutANameGetsTheFreeImageNameAndBmpWhenAsked) {
  DropRig png;
  png.dir.write("notes/Image_000.bmp", "x");
  png.drops.dropOnFileList(picture("P"));
  EXPECT_EQ(png.file("Image_001.png"), "P");

  DropRig bmp("ImageSaveAsPng=0");
  bmp.drops.dropOnFileList(picture("P", "BMDATA"));
  EXPECT_EQ(bmp.file("Image_000.bmp"), "BMDATA");
  // A picture that cannot be encoded as PNG is kept as BMP.
  png.drops.dropOnFileList(picture("", "BMX"));
  EXPECT_EQ(png.file("Image_002.bmp"), "BMX");
}

TEST(DropOnFileList, UnreadablePictureFallsBackToTheTextAsANewNote) {
  DropRig rig;
  DropData d = picture("", "");
  d.text = "some words";
  rig.drops.dropOnFileList(d);
  EXPECT_EQ(rig.names(), std::set<std::string>{"New Note.txt"});
  EXPECT_EQ(rig.file("New Note.txt"), "some words");
}

TEST(DropOnFileList, TextBecomesANewNoteEachTime) {
  DropRig rig;
  DropData d;
  d.text = std::string("first\nline\0x", 13);  // a NUL byte would lock the note
  rig.drops.dropOnFileList(d);
  d.text = "second";
  rig.drops.dropOnFileList(d);
  EXPECT_EQ(rig.file("New Note.txt"), "first\nlinex");
  EXPECT_EQ(rig.file("New Note_1.txt"), "second");
  EXPECT_EQ(rig.opened, (std::vector<std::string>{"New Note.txt", "New Note_1.txt"}));
  // Invalid UTF-8 arrives replaced, never as broken bytes.
  d.text = "bad \xFF byte";
  rig.drops.dropOnFileList(d);
  EXPECT_EQ(rig.file("New Note_2.txt"), "bad \xEF\xBF\xBD byte");
}

TEST(DropOnFileList, HtmlWithoutTextIsStrippedIntoANote) {
  DropRig rig;
  DropData d;
  d.html = "<p>Fish &amp; chips &lt;b&gt;</p>";
  rig.drops.dropOnFileList(d);
  EXPECT_EQ(rig.file("New Note.txt"), "Fish & chips ");
}

TEST(DropOnFileList, NothingHappensWithoutARoot) {
  DropRig rig;
  rig.roots.current().inUse = false;
  DropData d;
  d.text = "x";
  rig.drops.dropOnFileList(d);
  EXPECT_TRUE(rig.names().empty());
}

// ---- On the note -----------------------------------------------------------

TEST(DropOnNote, PictureGoesIntoImgsWithALinkAtTheCaret) {
  DropRig rig;
  ASSERT_TRUE(rig.openNew("n.md", "before after"));
  rig.select(7, 7);
  DropData d = picture("PNG1");
  d.files = {"/somewhere/Holiday.JPG"};
  d.offered.push_back(DropFormat::Files);
  rig.drops.dropOnNote(d);
  EXPECT_EQ(rig.dir.read("notes/imgs/Holiday.png"), "PNG1");
  EXPECT_EQ(rig.editor.content, "before ![ Holiday.png ](imgs/Holiday.png)after");
  EXPECT_TRUE(rig.viewer.modified());
  EXPECT_EQ(rig.file("n.md"), "before after");  // the link itself is not saved
  EXPECT_EQ(rig.names(), (std::set<std::string>{"n.md", "imgs"}));
}

TEST(DropOnNote, UnsavedTextIsSavedBeforeTheWikiLink) {
  DropRig rig("NoteImageLinkType=wiki");
  ASSERT_TRUE(rig.openNew("n.txt", "text"));
  rig.type(" more");
  rig.select(9, 9);
  rig.drops.dropOnNote(picture("P"));
  EXPECT_EQ(rig.file("n.txt"), "text more");
  EXPECT_EQ(rig.editor.content, "text more[$ imgs\\Image_000.png $]");
  EXPECT_EQ(rig.names("imgs"), std::set<std::string>{"Image_000.png"});
}

TEST(DropOnNote, TextReplacesTheSelectionAndAddressesBecomeLinks) {
  DropRig rig;
  ASSERT_TRUE(rig.openNew("n.txt", "one two"));
  rig.select("two");
  DropData d;
  d.text = "http://example.org/a";
  rig.drops.dropOnNote(d);
  EXPECT_EQ(rig.editor.content, "one [ example.org/a ]( http://example.org/a )");
  EXPECT_TRUE(rig.viewer.modified());
  // HTML with text of its own: the text; without: the stripped HTML.
  d.text = " plain";
  d.html = "<b>bold</b>";
  rig.drops.dropOnNote(d);
  d.text.clear();
  d.html = "<i>x &gt; y</i>";
  rig.drops.dropOnNote(d);
  EXPECT_EQ(rig.editor.content, "one [ example.org/a ]( http://example.org/a ) plainx > y");
  EXPECT_TRUE(rig.names("").count("New Note.txt") == 0);
}

TEST(DropOnNote, ImageTagWithADataAddressIsSavedWithoutADownload) {
  DropRig rig;
  ASSERT_TRUE(rig.openNew("n.txt", ""));
  DropData d;
  d.html = "<img src=\"data:image/gif;base64,R0lGODlh\">";
  rig.drops.dropOnNote(d);
  EXPECT_EQ(rig.dir.read("notes/imgs/Image_000.gif"), "GIF89a");
  EXPECT_EQ(rig.editor.content, "![ Image_000.gif ](imgs/Image_000.gif)");
  d.html = "<img src=\"data:image/gif;base64,***\">";
  rig.drops.dropOnNote(d);
  EXPECT_EQ(rig.message(), "The dropped picture could not be read");
  EXPECT_EQ(rig.names("imgs"), std::set<std::string>{"Image_000.gif"});
}

TEST(DropOnNote, FilesLandInTheFolderAsOnTheFileList) {
  DropRig rig;
  ASSERT_TRUE(rig.openNew("n.txt", "n"));
  rig.dir.write("elsewhere/c.txt", "c");
  DropData d;
  d.files = {(rig.dir.path() / "elsewhere/c.txt").string()};
  rig.drops.dropOnNote(d);
  EXPECT_EQ(rig.file("c.txt"), "c");
  EXPECT_EQ(rig.opened, std::vector<std::string>{"c.txt"});
  EXPECT_EQ(rig.editor.content, "n");
}

TEST(DropOnNote, LockedOrMissingNoteTakesNothing) {
  DropRig rig;
  rig.drops.dropOnNote(picture("P"));  // no note open
  ASSERT_TRUE(rig.openNew("z.txt", std::string("a\0b", 3)));
  ASSERT_NE(rig.viewer.lock(), NoteLock::None);
  rig.drops.dropOnNote(picture("P"));
  DropData d;
  d.text = "t";
  rig.drops.dropOnNote(d);
  EXPECT_EQ(rig.names(), std::set<std::string>{"z.txt"});  // no imgs folder, no picture
  EXPECT_EQ(rig.file("z.txt"), std::string("a\0b", 3));
  EXPECT_FALSE(rig.message().empty());  // says why
}

// ---- Web images ------------------------------------------------------------

class DropDownload : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::HostileServer::get().running()) GTEST_SKIP() << "python3 could not start the local server";
  }
  static DropData imageTag(const std::string& path) {
    DropData d;
    d.html = "<img src=\"" + test::HostileServer::get().url(path) + "\" alt=\"\">";
    d.text = "ignored when the HTML is an image";
    return d;
  }
};

TEST_F(DropDownload, WebImageOnTheNoteIsLinkedFromImgs) {
  DropRig rig;
  ASSERT_TRUE(rig.openNew("n.txt", "x"));
  rig.select(1, 1);
  rig.drops.dropOnNote(imageTag("/good/photo.php?id=3"));
  EXPECT_EQ(rig.names("imgs"), std::set<std::string>{"photo.png"});
  EXPECT_EQ(rig.editor.content, "x![ photo.png ](imgs/photo.png)");
  EXPECT_EQ(rig.message(), "Downloaded photo.png");
}

TEST_F(DropDownload, EscStopsTheDownloadAndSaysSoWhileAQuitStopsItSilently) {
  for (const bool byUser : {true, false}) {
    DropRig rig;
    test::FakePump pump;
    pump.quitAfter = 3;
    pump.byUser = byUser;
    rig.ports.pump = &pump;
    HttpFetcher fetcher(&pump, DropRig::shortFetch());
    DropImport drops(rig.context(), fetcher, NoteDropTarget{}, DropHooks{[](const std::string&) {}, {}});
    drops.dropOnFileList(imageTag("/drip/slow.png"));
    EXPECT_EQ(rig.names(), std::set<std::string>{});
    EXPECT_EQ(rig.message(), byUser ? "Download cancelled" : "Downloading " + test::HostileServer::get().url("/drip/slow.png"));
  }
}

TEST_F(DropDownload, WebImageOnTheFileListIsSelectedAndAFailureSaysWhy) {
  DropRig rig;
  rig.dir.write("notes/pic.png", "mine");
  rig.drops.dropOnFileList(imageTag("/good/pic.png"));
  EXPECT_EQ(rig.file("pic.png"), "mine");
  EXPECT_EQ(rig.relisted, std::vector<std::string>{"pic_001.png"});
  rig.drops.dropOnFileList(imageTag("/missing/none.png"));
  EXPECT_EQ(rig.message().rfind("Download failed", 0), 0u) << rig.message();
  EXPECT_EQ(rig.names(), (std::set<std::string>{"pic.png", "pic_001.png"}));
  EXPECT_EQ(rig.relisted.size(), 1u);
}

}  // namespace
}  // namespace vm
