// The web image download against a local server that answers well and
// badly (tests/import/hostile_server.py on 127.0.0.1). Every case checks
// that the download ends within its time-outs, writes nothing but the
// expected file into the target folder and nothing anywhere else, leaves no
// temporary file, and keeps stepping the pump while it waits.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <set>
#include <string>

#include "fakes/temp_dir.h"
#include "import/hostile_server.h"
#include "import/http_fetch.h"
#include "platform/version.h"
#include "platform/fs.h"
#include "platform/ports.h"

extern char** environ;

using namespace vm;
using vm::test::HostileServer;
using SteadyClock = std::chrono::steady_clock;

namespace {

const std::string kPng = std::string("\x89PNG\r\n\x1a\n", 8);

// A pump that counts its steps and the longest time between two of them
// (or from the start to the first): the window's responsiveness.
class CountingPump : public Pump {
 public:
  int steps = 0;
  int quitAfter = -1;
  std::function<void()> onStep;
  SteadyClock::time_point last = SteadyClock::now();
  double maxGapMs = 0;
  bool step() override {
    const auto now = SteadyClock::now();
    maxGapMs = std::max(maxGapMs, std::chrono::duration<double, std::milli>(now - last).count());
    last = now;
    ++steps;
    if (onStep) onStep();
    return quitAfter >= 0 && steps > quitAfter;
  }
  void progress(int) override {}
};

// Every file and folder below root, as relative paths.
std::set<std::string> tree(const std::filesystem::path& root) {
  std::set<std::string> out;
  for (const auto& e : std::filesystem::recursive_directory_iterator(root))
    out.insert(std::filesystem::relative(e.path(), root).string());
  return out;
}

FetchOptions testOptions() {
  FetchOptions o;
  o.connectTimeoutMs = 2000;
  o.stallTimeoutMs = 2000;
  o.totalTimeoutMs = 4000;
  return o;
}

class Download : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HostileServer::get().running()) GTEST_SKIP() << "python3 could not start the local server";
    target = dir.mkdir("sandbox/target");
    pump.last = SteadyClock::now();
  }
  DownloadResult fetch(const std::string& address, const std::string& referrer = "") {
    HttpFetcher f(&pump, options);
    pump.last = SteadyClock::now();
    const auto t0 = SteadyClock::now();
    DownloadResult r = f.download(address, referrer, target);
    ms = std::chrono::duration<double, std::milli>(SteadyClock::now() - t0).count();
    // VM_FETCH_TRACE=1 lists every download with its outcome and time.
    if (std::getenv("VM_FETCH_TRACE"))
      std::printf("  %-40s %-30s %6.0f ms  %s\n", address.c_str(), r.fileName.c_str(), ms, r.message.c_str());
    return r;
  }
  DownloadResult get(const std::string& path, const std::string& referrer = "") {
    return fetch(HostileServer::get().url(path), referrer);
  }
  // The sandbox holds the target folder and exactly these files in it.
  void expectFiles(std::set<std::string> names) {
    std::set<std::string> want{"sandbox", "sandbox/target"};
    for (const std::string& n : names) want.insert("sandbox/target/" + n);
    EXPECT_EQ(tree(dir.path()), want);
  }
  std::string saved(const std::string& name) { return dir.read("sandbox/target/" + name); }

  test::TempDir dir;
  std::filesystem::path target;
  CountingPump pump;
  FetchOptions options = testOptions();
  double ms = 0;
};

}  // namespace

// --- Good answers ---------------------------------------------------------

TEST_F(Download, SavesAPlainImageUnderTheAddressName) {
  const DownloadResult r = get("/good/pic.png");
  EXPECT_EQ(r.outcome, DownloadOutcome::Saved) << r.message;
  EXPECT_EQ(r.fileName, "pic.png");
  EXPECT_EQ(r.httpStatus, 200);
  EXPECT_TRUE(r.message.empty());
  expectFiles({"pic.png"});
  EXPECT_TRUE(saved("pic.png").starts_with(kPng));
  EXPECT_EQ(saved("pic.png").size(), 8u + 8u + 64u);
}

TEST_F(Download, CorrectsTheExtensionFromTheContent) {
  const DownloadResult r = get("/good/img.php?id=3&size=2");
  EXPECT_EQ(r.fileName, "img.png");
  expectFiles({"img.png"});
  // A text body keeps the name it came with.
  EXPECT_EQ(get("/text/readme.md").fileName, "readme.md");
}

TEST_F(Download, FollowsRedirectsToTheirTarget) {
  DownloadResult r = get("/r302/first.png");
  EXPECT_EQ(r.outcome, DownloadOutcome::Saved) << r.message;
  EXPECT_EQ(r.fileName, "second.png");
  r = get("/r301abs/x");
  EXPECT_EQ(r.fileName, "third.png");  // served as third.gif with PNG bytes
  expectFiles({"second.png", "third.png"});
  // Only 301 and 302 are followed.
  r = get("/r303/x");
  EXPECT_EQ(r.outcome, DownloadOutcome::NoFile);
  EXPECT_EQ(r.message, "Download failed: the server answered 303");
  expectFiles({"second.png", "third.png"});
}

TEST_F(Download, SendsTheProgramsRequestAndNoReferrerAfterARedirect) {
  DownloadResult r = get("/echo/req.txt", "http://ref.example/page");
  ASSERT_EQ(r.outcome, DownloadOutcome::Saved) << r.message;
  const std::string req = saved(r.fileName);
  EXPECT_TRUE(req.starts_with("GET /echo/req.txt HTTP/1.0\r\n")) << req;
  EXPECT_NE(req.find("\r\nUser-Agent: " + fetchUserAgent() + "\r\n"), std::string::npos) << req;
  EXPECT_EQ(fetchUserAgent(), std::string("Vellumark ") + kVersion + " " + kHomepage);
  EXPECT_TRUE(std::string(kHomepage).starts_with("https://"));
  EXPECT_NE(req.find("\r\nReferer: http://ref.example/page\r\n"), std::string::npos) << req;
  EXPECT_NE(req.find("\r\nHost: 127.0.0.1"), std::string::npos) << req;
  EXPECT_EQ(req.find("Accept:"), std::string::npos) << req;

  r = get("/r302echo/x", "http://ref.example/page");
  ASSERT_EQ(r.fileName, "after.txt");
  EXPECT_EQ(saved("after.txt").find("Referer:"), std::string::npos);
}

TEST_F(Download, TakesTheNameFromContentDisposition) {
  EXPECT_EQ(get("/cd/plain").fileName, "report_2024.txt");
  EXPECT_EQ(get("/cd/star").fileName, "caf\xC3\xA9.txt");
  expectFiles({"report_2024.txt", "caf\xC3\xA9.txt"});
  EXPECT_EQ(saved("report_2024.txt"), "some text\n");
}

TEST_F(Download, NeverReplacesAnExistingFile) {
  dir.write("sandbox/target/pic.png", "mine");
  EXPECT_EQ(get("/good/pic.png").fileName, "pic_001.png");
  EXPECT_EQ(get("/good/pic.png").fileName, "pic_002.png");
  dir.write("sandbox/target/shot_7.png", "mine too");
  EXPECT_EQ(get("/good/shot_7.png").fileName, "shot_007.png");
  EXPECT_EQ(saved("pic.png"), "mine");
  EXPECT_EQ(saved("shot_7.png"), "mine too");
  expectFiles({"pic.png", "pic_001.png", "pic_002.png", "shot_7.png", "shot_007.png"});
}

TEST_F(Download, TakesAnAddressWithoutSchemeAsHttpAndEscapesBlanks) {
  DownloadResult r = fetch("127.0.0.1:" + std::to_string(HostileServer::get().port()) + "/good/bare.png");
  EXPECT_EQ(r.fileName, "bare.png") << r.message;
  r = get("/echo/my notes \xC3\xA9.txt");
  ASSERT_EQ(r.outcome, DownloadOutcome::Saved) << r.message;
  EXPECT_EQ(r.fileName, "my_notes_\xC3\xA9.txt");
  EXPECT_TRUE(saved(r.fileName).starts_with("GET /echo/my%20notes%20%C3%A9.txt HTTP/1.0\r\n"));
}

TEST_F(Download, TrustsACertificateItWasGiven) {
  if (!HostileServer::get().hasTls()) GTEST_SKIP() << "no openssl to make a certificate";
  options.caFile = HostileServer::get().certFile();
  const DownloadResult r = fetch(HostileServer::get().tlsUrl("/good/secure.png"));
  EXPECT_EQ(r.outcome, DownloadOutcome::Saved) << r.message;
  expectFiles({"secure.png"});
}

// --- Hostile answers --------------------------------------------------------

TEST_F(Download, RefusesASelfSignedCertificate) {
  if (!HostileServer::get().hasTls()) GTEST_SKIP() << "no openssl to make a certificate";
  const DownloadResult r = fetch(HostileServer::get().tlsUrl("/good/secure.png"));
  EXPECT_EQ(r.outcome, DownloadOutcome::Failed);
  EXPECT_TRUE(r.message.starts_with("Download failed: ")) << r.message;
  EXPECT_NE(r.message.find("certificate"), std::string::npos) << r.message;
  EXPECT_LT(ms, 3000);
  expectFiles({});
}

TEST_F(Download, GivesUpOnADripWithinTheTotalTimeOut) {
  const DownloadResult r = get("/drip/slow.png");
  EXPECT_EQ(r.outcome, DownloadOutcome::Failed);
  EXPECT_EQ(r.message, "Download failed: not done after 4 seconds");
  EXPECT_GE(ms, 3900);
  EXPECT_LT(ms, 6500);
  expectFiles({});
  EXPECT_GE(pump.steps, 30);  // about every 50 ms, 80 in all
  EXPECT_LT(pump.maxGapMs, 1000);
}

TEST_F(Download, GivesUpOnAServerThatNeverAnswers) {
  const DownloadResult r = get("/silent/x.png");
  EXPECT_EQ(r.outcome, DownloadOutcome::Failed);
  EXPECT_EQ(r.message, "Download failed: no answer for 2 seconds");
  EXPECT_GE(ms, 1900);
  EXPECT_LT(ms, 3500);
  expectFiles({});
  EXPECT_GE(pump.steps, 20);
  EXPECT_LT(pump.maxGapMs, 1000);
}

TEST_F(Download, StopsAQuitInTheMiddle) {
  pump.quitAfter = 5;
  const DownloadResult r = get("/drip/slow.png");
  EXPECT_EQ(r.outcome, DownloadOutcome::Cancelled);
  EXPECT_TRUE(r.message.empty());
  EXPECT_LT(ms, 1500);
  expectFiles({});
}

TEST_F(Download, RefusesASecondDownloadWhileOneRuns) {
  HttpFetcher f(&pump, options);
  DownloadResult inner;
  pump.onStep = [&] {
    if (pump.steps == 2) inner = f.download(HostileServer::get().url("/good/inner.png"), "", target);
  };
  const DownloadResult outer = f.download(HostileServer::get().url("/good/outer.png"), "", target);
  EXPECT_EQ(inner.outcome, DownloadOutcome::Busy);
  EXPECT_EQ(outer.outcome, DownloadOutcome::Saved) << outer.message;
  EXPECT_FALSE(f.busy());
  expectFiles({"outer.png"});
}

TEST_F(Download, RefusesHeadersOfAMegabyte) {
  for (const char* path : {"/bigheaders/x.png", "/longline/x.png"}) {
    const DownloadResult r = get(path);
    EXPECT_EQ(r.outcome, DownloadOutcome::Failed) << path;
    EXPECT_EQ(r.message, "Download failed: the server's headers are too long");
    EXPECT_LT(ms, 3000);
  }
  expectFiles({});
}

TEST_F(Download, EndsARedirectLoop) {
  const DownloadResult r = get("/loop/start");
  EXPECT_EQ(r.outcome, DownloadOutcome::TooManyRedirects);
  EXPECT_EQ(r.message, "Download failed: more than 10 redirects");
  EXPECT_LT(ms, 3000);
  expectFiles({});
}

TEST_F(Download, ReadsNoEndlessErrorOrRedirectPage) {
  DownloadResult r = get("/missingbig/x.png");
  EXPECT_EQ(r.outcome, DownloadOutcome::NoFile);
  EXPECT_EQ(r.message, "Download failed: the server answered 404");
  EXPECT_LT(ms, 1000);
  r = get("/loopbig/x.png");
  EXPECT_EQ(r.outcome, DownloadOutcome::TooManyRedirects);
  EXPECT_LT(ms, 2000);
  expectFiles({});
}

TEST_F(Download, RefusesRedirectsAndAddressesOutsideTheWeb) {
  DownloadResult r = get("/tofile/x");
  EXPECT_EQ(r.outcome, DownloadOutcome::Refused);
  EXPECT_EQ(r.message, "Download refused: file addresses are not fetched");
  r = get("/toftp/x");
  EXPECT_EQ(r.outcome, DownloadOutcome::Refused);
  EXPECT_EQ(r.message, "Download refused: ftp addresses are not fetched");
  r = fetch("file:///etc/passwd");
  EXPECT_EQ(r.outcome, DownloadOutcome::Refused);
  EXPECT_EQ(r.httpStatus, 0);
  expectFiles({});
}

TEST_F(Download, KeepsContentDispositionNamesInsideTheFolder) {
  EXPECT_EQ(get("/cd/evil").fileName, "evil");
  EXPECT_EQ(get("/cd/passwd").fileName, "passwd");
  EXPECT_EQ(get("/cd/dots").fileName, "_.");
  const DownloadResult r = get("/cd/long");
  ASSERT_EQ(r.outcome, DownloadOutcome::Saved) << r.message;
  EXPECT_EQ(r.fileName, std::string(236, 'n') + ".txt");
  expectFiles({"evil", "passwd", "_.", r.fileName});
}

TEST_F(Download, WritesNothingForAnEmptyOrMissingAnswer) {
  DownloadResult r = get("/nobody/x.png");
  EXPECT_EQ(r.outcome, DownloadOutcome::NoFile);
  EXPECT_EQ(r.message, "Download failed: empty answer");
  r = get("/headerless/x.png");
  EXPECT_EQ(r.outcome, DownloadOutcome::Failed);
  r = get("/missing/x.png");
  EXPECT_EQ(r.outcome, DownloadOutcome::NoFile);
  EXPECT_EQ(r.httpStatus, 404);
  EXPECT_EQ(r.message, "Download failed: the server answered 404");
  EXPECT_LT(ms, 3000);
  expectFiles({});
}

TEST_F(Download, KeepsNothingOfAConnectionResetMidway) {
  for (const char* path : {"/reset/x.png", "/resetnolen/x.png"}) {
    const DownloadResult r = get(path);
    EXPECT_EQ(r.outcome, DownloadOutcome::Failed) << path;
    EXPECT_TRUE(r.message.starts_with("Download failed: ")) << r.message;
    EXPECT_LT(ms, 3000);
  }
  expectFiles({});
}

TEST_F(Download, StopsA2GBBodyAtTheCap) {
  options = FetchOptions{};  // the program's own limits: 100 MB
  options.totalTimeoutMs = 30000;
  // Announced: refused before the body.
  DownloadResult r = get("/huge/big.png");
  EXPECT_EQ(r.outcome, DownloadOutcome::TooLarge);
  EXPECT_EQ(r.message, "Download stopped: larger than 100 MB");
  EXPECT_LT(ms, 2000);
  // Not announced: streamed to the temporary file up to the cap, then dropped.
  r = get("/hugenolen/big.png");
  EXPECT_EQ(r.outcome, DownloadOutcome::TooLarge);
  EXPECT_EQ(r.message, "Download stopped: larger than 100 MB");
  EXPECT_LT(ms, 20000);
  EXPECT_LT(pump.maxGapMs, 1000);
  expectFiles({});
}

TEST_F(Download, FailsPlainlyWithoutAServerOrATargetFolder) {
  // The discard port, which nothing here listens on: refused at once.
  DownloadResult r = fetch("http://127.0.0.1:9/x.png");
  EXPECT_EQ(r.outcome, DownloadOutcome::Failed);
  EXPECT_TRUE(r.message.starts_with("Download failed: ")) << r.message;
  target = dir.path() / "sandbox" / "gone";
  r = get("/good/pic.png");
  EXPECT_EQ(r.outcome, DownloadOutcome::Failed);
  EXPECT_EQ(r.message, "Download failed: No such file or directory");
  expectFiles({});
}
