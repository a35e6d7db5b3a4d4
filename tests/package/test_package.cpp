// Checks that the desktop files shipped with the program agree with the
// program: its version, its options and the icon sizes it installs.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace {

const std::string kPackaging = VELLUMARK_PACKAGING_DIR;

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The text a command prints on standard output.
std::string outputOf(const std::string& command) {
  std::string out;
  FILE* p = ::popen(command.c_str(), "r");
  if (!p) return out;
  std::array<char, 4096> buf{};
  std::size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) out.append(buf.data(), n);
  ::pclose(p);
  return out;
}

// The options at the start of --help's option lines ("  --home DIR ...").
std::set<std::string> helpOptions(const std::string& help) {
  std::set<std::string> found;
  const std::regex re(R"((?:^|\n) +(--?[a-z][a-z-]*))");
  for (auto it = std::sregex_iterator(help.begin(), help.end(), re); it != std::sregex_iterator(); ++it)
    found.insert((*it)[1].str());
  return found;
}

// The options named in the tags of the .TP paragraphs of the manual page's
// OPTIONS section (".BR \-v ", " \-\-version" gives -v and --version).
std::set<std::string> manOptions(const std::string& page) {
  std::set<std::string> found;
  const auto from = page.find("\n.SH OPTIONS\n");
  if (from == std::string::npos) return found;
  const auto to = page.find("\n.SH ", from + 1);
  const std::string man = page.substr(from, to == std::string::npos ? std::string::npos : to - from);
  const std::regex tag(R"(\n\.TP\n(\.B[IR]?[^\n]*))");
  const std::regex option(R"(((?:\\-)+)([a-z](?:[a-z-]|\\-)*))");
  for (auto t = std::sregex_iterator(man.begin(), man.end(), tag); t != std::sregex_iterator(); ++t) {
    const std::string line = (*t)[1].str();
    for (auto o = std::sregex_iterator(line.begin(), line.end(), option); o != std::sregex_iterator(); ++o)
      found.insert(std::string((*o)[1].length() / 2, '-') +
                   std::regex_replace((*o)[2].str(), std::regex(R"(\\-)"), "-"));
  }
  return found;
}

TEST(PackageFiles, VersionsFollowTheProjectVersion) {
  // The newest release entry comes first in the metainfo file.
  const std::string meta = readAll(kPackaging + "/" VELLUMARK_APP_ID ".metainfo.xml");
  std::smatch m;
  ASSERT_TRUE(std::regex_search(meta, m, std::regex(R"re(<release\s+version="([^"]+)")re")))
      << "the metainfo file has no release entry";
  EXPECT_EQ(m[1].str(), VELLUMARK_VERSION) << "add a <release> entry for the new version to the metainfo file";
  // The web address it gives is the project's, which the program's downloads name too.
  ASSERT_TRUE(std::regex_search(meta, m, std::regex(R"re(<url type="homepage">([^<]+)</url>)re")));
  EXPECT_EQ(m[1].str(), VELLUMARK_HOMEPAGE);

  const std::string man = readAll(kPackaging + "/vellumark.1");
  ASSERT_TRUE(std::regex_search(man, m, std::regex(R"re(^\.TH\s+\S+\s+1\s+"[^"]*"\s+"Vellumark ([^"]+)")re")))
      << "the manual page has no .TH line naming the version";
  EXPECT_EQ(m[1].str(), VELLUMARK_VERSION) << "the manual page's .TH line names another version";

  // The newest change log entry comes first: "vellumark (0.1.0) unstable; ...".
  const std::string changes = readAll(kPackaging + "/changelog");
  ASSERT_TRUE(std::regex_search(changes, m, std::regex(R"re(^vellumark \(([^)]+)\) )re")))
      << "the change log does not start with a vellumark entry";
  EXPECT_EQ(m[1].str(), VELLUMARK_VERSION) << "add an entry for the new version to packaging/changelog";
}

TEST(PackageFiles, ManualPageDescribesEveryOptionOfHelp) {
  const std::string help = outputOf(std::string("'") + VELLUMARK_EXE + "' --help");
  const auto inHelp = helpOptions(help);
  ASSERT_GE(inHelp.size(), 4u) << "--help printed:\n" << help;
  const auto inMan = manOptions(readAll(kPackaging + "/vellumark.1"));
  for (const auto& o : inHelp) EXPECT_TRUE(inMan.count(o)) << o << " is in --help but not in the manual page";
  // Every option the manual page names is one the program accepts. Two
  // words after it and --help make every known option end in the help text
  // or a usage complaint, never in a window; no display is offered either.
  for (const auto& o : inMan) {
    const std::string reply = outputOf("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 20 '" +
                                       std::string(VELLUMARK_EXE) + "' " + o + " x y --help 2>&1 </dev/null");
    EXPECT_FALSE(reply.empty()) << o;
    EXPECT_EQ(reply.find("unknown option"), std::string::npos) << o << " is in the manual page: " << reply;
  }
}

// Width and height from a PNG's header chunk; {0, 0} when it is not a PNG.
std::pair<std::uint32_t, std::uint32_t> pngSize(const std::string& bytes) {
  static const std::string sig("\x89PNG\r\n\x1a\n", 8);
  if (bytes.size() < 24 || bytes.compare(0, 8, sig) != 0 || bytes.compare(12, 4, "IHDR") != 0) return {0, 0};
  auto be32 = [&](std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i) v = (v << 8) | static_cast<unsigned char>(bytes[at + i]);
    return v;
  };
  return {be32(16), be32(20)};
}

TEST(PackageFiles, IconsHaveTheSizeOfTheirFolder) {
  for (unsigned n : {16u, 32u, 48u, 64u, 128u, 256u}) {
    const std::string dir = std::to_string(n) + "x" + std::to_string(n);
    const auto size = pngSize(readAll(kPackaging + "/icons/hicolor/" + dir + "/apps/vellumark.png"));
    EXPECT_EQ(size.first, n) << dir;
    EXPECT_EQ(size.second, n) << dir;
  }
  EXPECT_NE(readAll(kPackaging + "/icons/vellumark.svg").find("<svg"), std::string::npos);
  // The desktop entry names the icon by the name the files are installed under.
  const std::string desktop = readAll(kPackaging + "/vellumark.desktop");
  EXPECT_NE(desktop.find("\nIcon=vellumark\n"), std::string::npos);
  // And the metainfo file launches that desktop entry.
  const std::string meta = readAll(kPackaging + "/" VELLUMARK_APP_ID ".metainfo.xml");
  EXPECT_NE(meta.find("<launchable type=\"desktop-id\">vellumark.desktop</launchable>"), std::string::npos);
}

}  // namespace
