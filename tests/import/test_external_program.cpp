// Send to: the argument line with its $-variables, the questions asked,
// and a real program started without a shell that writes down the
// arguments it received.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "fakes/fake_ports.h"
#include "fakes/feature_parts.h"
#include "import/external_program.h"
#include "platform/fs.h"
#include "platform/process.h"

using namespace vm;
using Args = std::vector<std::string>;

namespace {

LocalTime at(int hour, int minute) {
  LocalTime t;
  t.year = 2014;
  t.month = 3;
  t.day = 3;
  t.hour = hour;
  t.minute = minute;
  return t;
}

// Feature parts with one root whose current folder holds `file`, selected.
struct SendHarness {
  test::FeatureParts parts;
  test::FakeLineInput input;
  std::vector<Args> started;
  std::string folder;
  ExternalProgram program;

  explicit SendHarness(const std::string& general, const std::string& file = "plan.txt")
      : parts(general),
        folder(parts.dir.mkdir("notes/work").string()),
        program(parts.context(), &input, [this](const Args& argv, std::string*) {
          started.push_back(argv);
          return true;
        }) {
    parts.roots.add(parts.dir.str() + "/notes", parts.dir.str() + "/notes", "Notes", ".txt", ".txt", {});
    parts.roots.setCurrent(0);
    RootLocation& r = parts.roots.current();
    r.path = parts.dir.str() + "/notes";
    r.currentFolder = folder;
    r.selectedFile = file;
  }
};

}  // namespace

TEST(SplitCommandLine, SplitsAtBlanksOutsideQuotes) {
  EXPECT_EQ(splitCommandLine("a b  c"), (Args{"a", "b", "c"}));
  EXPECT_EQ(splitCommandLine("\"a b\" c"), (Args{"a b", "c"}));
  EXPECT_EQ(splitCommandLine("x\"a b\"y z"), (Args{"xa by", "z"}));
  EXPECT_EQ(splitCommandLine("\"\" a"), (Args{"", "a"}));
  EXPECT_EQ(splitCommandLine("  \t "), Args{});
  EXPECT_EQ(splitCommandLine("\"open quote runs on"), (Args{"open quote runs on"}));
  EXPECT_EQ(splitCommandLine("c:\\dir\\x.exe -v"), (Args{"c:\\dir\\x.exe", "-v"}));
}

TEST(ExternalProgramArguments, ReplacesTheFileVariablesInOrder) {
  SendHarness h("");
  const std::string file = h.folder + "/plan.txt";
  EXPECT_EQ(h.program.arguments("\"$fullfile\"", file, at(16, 5)), Args{file});
  EXPECT_EQ(h.program.arguments("$filebase-$date", file, at(16, 5)), Args{"plan-2014.03.03"});
  EXPECT_EQ(h.program.arguments("$filepath $filename", file, at(16, 5)), (Args{h.folder + "/", "plan.txt"}));
  // Only the first occurrence of a variable is replaced.
  EXPECT_EQ(h.program.arguments("$fullfile $fullfile", file, at(16, 5)), (Args{file, "$fullfile"}));
  EXPECT_EQ(h.program.arguments("--at=$time/$24time", file, at(16, 5)), Args{"--at=4:05pm/16:05"});
  EXPECT_EQ(h.program.arguments("$filebase", "/n/archive.tar.gz", at(1, 0)), Args{"archive.tar"});
  EXPECT_TRUE(h.input.prompts.empty());
}

TEST(ExternalProgramArguments, TimesOnTheTwelveHourClock) {
  EXPECT_EQ(timeText12(at(0, 30)), "12:30am");
  EXPECT_EQ(timeText12(at(12, 0)), "12:00pm");
  EXPECT_EQ(timeText12(at(11, 59)), "11:59am");
  EXPECT_EQ(timeText12(at(23, 1)), "11:01pm");
  EXPECT_EQ(timeText24(at(9, 7)), "09:07");
  EXPECT_EQ(dateText(at(9, 7)), "2014.03.03");
}

TEST(ExternalProgramArguments, AFileNameIsNeverReadAsMoreArgumentsOrVariables) {
  SendHarness h("");
  const std::string name = "a \"b\" ;rm -rf x; $(touch y) `z` $date $request.txt";
  const std::string file = h.folder + "/" + name;
  EXPECT_EQ(h.program.arguments("\"$fullfile\" $filename", file, at(1, 2)), (Args{file, name}));
  // Unquoted in the line, the value is still one argument.
  EXPECT_EQ(h.program.arguments("$filename", file, at(1, 2)), Args{name});
  EXPECT_TRUE(h.input.prompts.empty());  // "$request" inside the name asks nothing
}

TEST(ExternalProgramArguments, AsksForRequestEveryTimeAndStoredTextOnce) {
  SendHarness h("");
  h.input.answers = {std::string("first"), std::nullopt, std::string("kept words")};
  EXPECT_EQ(h.program.arguments("-q \"$request\"", "/n/x", at(1, 2)), (Args{"-q", "first"}));
  EXPECT_EQ(h.program.arguments("-q \"$request\"", "/n/x", at(1, 2)), (Args{"-q", ""}));  // cancelled
  EXPECT_EQ(h.program.arguments("$storetxt", "/n/x", at(1, 2)), Args{"kept words"});
  EXPECT_EQ(h.program.arguments("$storetxt", "/n/x", at(1, 2)), Args{"kept words"});
  EXPECT_EQ(h.input.prompts, (Args{"Enter request text", "Enter request text", "Enter text (retained for next prompt)"}));
  EXPECT_EQ(h.program.storedText(), "kept words");
}

TEST(ExternalProgramArguments, CancellingTheStoredTextAsksAgainNextTime) {
  SendHarness h("");
  h.input.answers = {std::nullopt, std::string("now")};
  EXPECT_EQ(h.program.arguments("$storetxt", "/n/x", at(1, 2)), Args{""});
  EXPECT_EQ(h.program.arguments("$storetxt", "/n/x", at(1, 2)), Args{"now"});
  EXPECT_EQ(h.input.prompts.size(), 2u);
  // Exact case only.
  EXPECT_EQ(h.program.arguments("$StoreTxt $REQUEST", "/n/x", at(1, 2)), (Args{"$StoreTxt", "$REQUEST"}));
  EXPECT_EQ(h.input.prompts.size(), 2u);
}

TEST(ExternalProgramSend, StartsTheProgramWithTheSelectedFile) {
  SendHarness h("ExternalProgramExe=/usr/bin/editor\nExternalProgramAlias=Editor");
  EXPECT_TRUE(h.program.send());
  ASSERT_EQ(h.started.size(), 1u);
  EXPECT_EQ(h.started[0], (Args{"/usr/bin/editor", h.folder + "/plan.txt"}));
  EXPECT_EQ(h.program.menuText(), "   Send to Editor");
  EXPECT_TRUE(h.program.menuEnabled());
}

TEST(ExternalProgramSend, DoesNothingWithoutAProgramOrASelection) {
  SendHarness none("ExternalProgramArgs=$filename");
  EXPECT_FALSE(none.program.send());
  EXPECT_EQ(none.program.menuText(), "   Send to external program");
  EXPECT_FALSE(none.program.menuEnabled());
  SendHarness unselected("ExternalProgramExe=/bin/true", "");
  EXPECT_FALSE(unselected.program.send());
  SendHarness unsaved("ExternalProgramExe=/bin/true", "$NEW$UNSAVED$");
  EXPECT_FALSE(unsaved.program.send());
  EXPECT_TRUE(none.started.empty() && unselected.started.empty() && unsaved.started.empty());
  SendHarness noAlias("ExternalProgramExe=/bin/true");
  EXPECT_EQ(noAlias.program.menuText(), "   Send to external program");
  EXPECT_TRUE(noAlias.program.menuEnabled());
}

// A real program: a script that writes each argument it got, NUL-ended, and
// its session id to the file named by its first argument.
TEST(ExternalProgramSend, ARealProgramGetsTheNameAsOneArgumentAndRunsNothingElse) {
  test::TempDir dir;
  const std::filesystem::path script = dir.write("argv.sh",
                                                 "#!/bin/sh\n"
                                                 "out=\"$1\"; shift\n"
                                                 "for a in \"$@\"; do printf '%s\\0' \"$a\"; done > \"$out.tmp\"\n"
                                                 "cut -d' ' -f6 /proc/$$/stat >> \"$out.sid\"\n"
                                                 "mv \"$out.tmp\" \"$out\"\n");
  std::filesystem::permissions(script, std::filesystem::perms::owner_all);
  const std::string out = (dir.path() / "argv.out").string();
  const std::string name = "it's \"quoted\" ; touch pwned1; $(touch pwned2) `touch pwned3` & x.txt";
  SendHarness h("ExternalProgramExe=" + script.string() + "\nExternalProgramArgs=\"" + out + "\" \"$fullfile\" -t $24time",
                name);
  // Build the real starter in place of the recording one.
  ExternalProgram real(h.parts.context(), &h.input);
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  const bool ok = real.send();
  std::filesystem::current_path(before);
  ASSERT_TRUE(ok);
  std::optional<std::string> got;
  for (int i = 0; i < 100 && !(got = readWholeFile(out)); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_TRUE(got.has_value()) << "the program did not run";
  Args argv;
  for (std::size_t p = 0; p < got->size();) {
    const std::size_t end = got->find('\0', p);
    argv.push_back(got->substr(p, end - p));
    p = end + 1;
  }
  ASSERT_EQ(argv.size(), 3u);
  EXPECT_EQ(argv[0], h.folder + "/" + name);
  EXPECT_EQ(argv[1], "-t");
  for (const char* canary : {"pwned1", "pwned2", "pwned3"}) {
    EXPECT_FALSE(pathExists(dir.path() / canary)) << canary;
    EXPECT_FALSE(pathExists(std::filesystem::path(h.folder) / canary)) << canary;
  }
  // It runs in a session of its own.
  const std::optional<std::string> sid = readWholeFile(out + ".sid");
  ASSERT_TRUE(sid.has_value());
  EXPECT_NE(std::stol(*sid), static_cast<long>(getsid(0)));
}

TEST(ExternalProgramSend, AMissingProgramIsAPlainFailure) {
  std::string err;
  EXPECT_FALSE(startDetachedProcess({"/nonexistent/program", "x"}, &err));
  EXPECT_FALSE(err.empty());
  EXPECT_FALSE(startDetachedProcess({}, &err));
  EXPECT_FALSE(startDetachedProcess({"no-such-program-anywhere-on-path"}, &err));
}
