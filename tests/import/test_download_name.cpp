// Naming rules of downloads: names from addresses and from
// Content-Disposition, the extension by content, the numbered free name.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "import/download_name.h"

using namespace vm;

namespace {

bool isSafeName(const std::string& n) {
  if (n.empty() || n == "." || n == ".." || n.front() == '.' || n.size() > kDownloadNameMax) return false;
  for (unsigned char c : n)
    if (c == '/' || c == '\\' || c < 0x20 || c == 0x7f) return false;
  return true;
}

}  // namespace

TEST(NameFromAddress, TakesTheLastSegmentAndCleansIt) {
  EXPECT_EQ(nameFromAddress("/images/pic.png"), "pic.png");
  EXPECT_EQ(nameFromAddress("/a/img.gif&x=1&y=2"), "img.gif");          // cut at "&"
  EXPECT_EQ(nameFromAddress("/get?f=a%2Fb%2Fphoto.jpg"), "photo.jpg");  // "%2F" reads as "/"
  EXPECT_EQ(nameFromAddress("/my%20holiday%3Aday.png"), "my_holiday_day.png");
  EXPECT_EQ(nameFromAddress("/show.php?id=3"), "show.php_id=3");
  EXPECT_EQ(nameFromAddress("plain.txt"), "plain.txt");
  // A final "/" is not where the name starts: the segment before it is.
  EXPECT_EQ(nameFromAddress("/folder/"), "folder_");
  EXPECT_EQ(nameFromAddress("/"), "_");
  EXPECT_EQ(nameFromAddress("a\\b.png"), "a_b.png");
}

TEST(NameFromAddress, NeverLeavesTheFolder) {
  for (const char* hostile : {"", "/..", "/.", "..", "/x/..", "/.hidden", "/a\x01\x7f b", "%2E%2E",
                              "/%2F..%2F..%2Fetc", "&", "/..%2F..%2Fevil"}) {
    const std::string n = nameFromAddress(hostile);
    EXPECT_TRUE(isSafeName(n)) << "'" << hostile << "' gave '" << n << "'";
  }
  EXPECT_EQ(nameFromAddress(""), "download");
  EXPECT_EQ(nameFromAddress("/.bashrc"), "_bashrc");
}

TEST(NameFromAddress, CutsLongNamesKeepingTheExtension) {
  const std::string n = nameFromAddress("/" + std::string(300, 'n') + ".png");
  EXPECT_EQ(n.size(), kDownloadNameMax);
  EXPECT_TRUE(n.ends_with("nnn.png"));
  // Never in the middle of a UTF-8 character.
  std::string e;
  for (int i = 0; i < 200; ++i) e += "\xC3\xA9";
  const std::string cut = nameFromAddress("/" + e);
  EXPECT_LE(cut.size(), kDownloadNameMax);
  EXPECT_EQ(cut.size() % 2, 0u);
  // Bytes that are no UTF-8 at all are cut where they stand, never to nothing.
  EXPECT_EQ(nameFromAddress("/" + std::string(300, '\x90')), std::string(kDownloadNameMax, '\x90'));
  EXPECT_EQ(nameFromAddress("/" + std::string(300, '\x90') + ".png").size(), kDownloadNameMax);
}

TEST(DispositionFileName, ReadsQuotedBareAndExtendedForms) {
  EXPECT_EQ(dispositionFileName("attachment; filename=\"report 2024.pdf\""), "report 2024.pdf");
  EXPECT_EQ(dispositionFileName("attachment; filename=bare.png"), "bare.png");
  EXPECT_EQ(dispositionFileName("attachment;filename = \"sp.png\" ; size=3"), "sp.png");
  EXPECT_EQ(dispositionFileName("attachment; filename=\"a \\\"q\\\" b.txt\""), "a \"q\" b.txt");
  EXPECT_EQ(dispositionFileName("attachment; FILENAME=\"Up.txt\""), "Up.txt");
  // filename* wins over filename wherever it stands.
  EXPECT_EQ(dispositionFileName("attachment; filename*=UTF-8''caf%C3%A9.txt; filename=\"cafe.txt\""),
            "caf\xC3\xA9.txt");
  EXPECT_EQ(dispositionFileName("attachment; filename=\"cafe.txt\"; filename*=iso-8859-1'en'%E9t%E9.txt"),
            "\xC3\xA9t\xC3\xA9.txt");
  // An unknown charset is passed over for the plain form.
  EXPECT_EQ(dispositionFileName("attachment; filename*=KOI8-R''x.txt; filename=\"y.txt\""), "y.txt");
  // So is a UTF-8 form whose escapes make no UTF-8 (the name would be broken bytes).
  EXPECT_EQ(dispositionFileName("attachment; filename*=UTF-8''caf%FB.txt; filename=\"cafe.txt\""), "cafe.txt");
  EXPECT_EQ(dispositionFileName("attachment; filename*=UTF-8''caf%C3.txt"), std::nullopt);
  // A ";" inside quotes belongs to the name.
  EXPECT_EQ(dispositionFileName("attachment; filename=\"a;b.txt\""), "a;b.txt");
}

TEST(DispositionFileName, KeepsOnlyTheLastComponent) {
  EXPECT_EQ(dispositionFileName("attachment; filename=\"../../evil\""), "evil");
  EXPECT_EQ(dispositionFileName("attachment; filename=\"/etc/passwd\""), "passwd");
  EXPECT_EQ(dispositionFileName("attachment; filename=\"C:\\\\Windows\\\\x.png\""), "x.png");
  EXPECT_EQ(dispositionFileName("attachment; filename*=UTF-8''..%2F..%2Fevil"), "evil");
  EXPECT_EQ(dispositionFileName("attachment; filename=\"dir/\""), std::nullopt);
  EXPECT_EQ(dispositionFileName("inline"), std::nullopt);
  EXPECT_EQ(dispositionFileName(""), std::nullopt);
  EXPECT_EQ(dispositionFileName("attachment; filename=\"unterminated"), "unterminated");
  // What the fetcher makes of it is one safe name.
  EXPECT_TRUE(isSafeName(nameFromAddress(*dispositionFileName("attachment; filename=\"..\""))));
}

TEST(CorrectExtension, FollowsTheFirstBytes) {
  const std::string png = "\x89PNG\r\n\x1a\n";
  EXPECT_EQ(correctExtension("show.php", png), "show.png");
  EXPECT_EQ(correctExtension("pic.PNG", png), "pic.PNG");  // already right, any case
  EXPECT_EQ(correctExtension("noext", png), "noext.png");
  EXPECT_EQ(correctExtension("a.b.c", std::string("\xFF\xD8\xFF\xE0\0\x10JFIF\0", 11)), "a.b.jpg");
  EXPECT_EQ(correctExtension("photo.jpg", std::string("\xFF\xD8\xFF\xE0\0\x10JFIF\0", 11)), "photo.jpg");
  EXPECT_EQ(correctExtension("x.dat", "BM6\0\0\0"), "x.bmp");
  EXPECT_EQ(correctExtension("x.dat", "GIF89a"), "x.gif");
  EXPECT_EQ(correctExtension("notes.txt", "hello world"), "notes.txt");
  // Only the first 20 bytes count, and "BM"/"GIF" only at the start.
  EXPECT_EQ(correctExtension("a.txt", std::string(20, 'x') + "PNG"), "a.txt");
  EXPECT_EQ(correctExtension("a.txt", "xxBM"), "a.txt");
  EXPECT_EQ(correctExtension("_bashrc", png), "_bashrc.png");
}

TEST(FreeFileName, NumbersAfterTheFirstUnderscore) {
  std::set<std::string> taken;
  auto exists = [&](const std::string& n) { return taken.count(n) != 0; };
  EXPECT_EQ(freeFileName("pic.png", exists), "pic.png");
  taken = {"pic.png"};
  EXPECT_EQ(freeFileName("pic.png", exists), "pic_001.png");
  taken = {"pic.png", "pic_001.png"};
  EXPECT_EQ(freeFileName("pic.png", exists), "pic_002.png");
  taken = {"pic_7.png"};
  EXPECT_EQ(freeFileName("pic_7.png", exists), "pic_007.png");
  taken = {"my_file.png"};
  EXPECT_EQ(freeFileName("my_file.png", exists), "my_001.png");
  taken = {"noext"};
  EXPECT_EQ(freeFileName("noext", exists), "noext_001");
  taken = {"pic_0.png"};
  EXPECT_EQ(freeFileName("pic_0.png", exists), "pic_001.png");
}

TEST(FreeFileName, GoesPast99AndNeverAnswersATakenName) {
  std::set<std::string> taken{"pic.png"};
  auto exists = [&](const std::string& n) { return taken.count(n) != 0; };
  for (int i = 1; i <= 99; ++i) taken.insert("pic_" + std::string(i < 10 ? "00" : "0") + std::to_string(i) + ".png");
  EXPECT_EQ(freeFileName("pic.png", exists), "pic_100.png");
  // Starting high wraps round to the free low numbers.
  std::set<std::string> high{"pic_9999.png"};
  auto highExists = [&](const std::string& n) { return high.count(n) != 0; };
  EXPECT_EQ(freeFileName("pic_9999.png", highExists), "pic_001.png");
  // Everything taken: no name at all.
  EXPECT_EQ(freeFileName("pic.png", [](const std::string&) { return true; }), std::nullopt);
}

TEST(AddressScheme, ReadsTheSchemeOnly) {
  EXPECT_EQ(addressScheme("HTTPS://x/y"), "https");
  EXPECT_EQ(addressScheme("file:///etc/passwd"), "file");
  EXPECT_EQ(addressScheme("ftp://h/x"), "ftp");
  EXPECT_EQ(addressScheme("www.example.com/a:b"), "");
  EXPECT_EQ(addressScheme("127.0.0.1:8080/x"), "");
  EXPECT_EQ(addressScheme("/path:x"), "");
  EXPECT_EQ(addressScheme("localhost:8080/x"), "");
  EXPECT_EQ(addressScheme("localhost:8080"), "");
  EXPECT_EQ(addressScheme("mailto:a@b"), "mailto");
}
