#pragma once
// "Send to": the file selected in the File List goes to the program named by
// ExternalProgramExe, with the argument line ExternalProgramArgs in which
// $fullfile, $filepath, $filebase, $filename, $date, $time, $24time,
// $request and $storetxt are replaced. The line is split into arguments by
// its double quotes and blanks before anything is replaced, so a value is
// always part of one argument, whatever characters it holds, and values are
// never searched for further variables. No shell is involved.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/context.h"
#include "platform/fs.h"

namespace vm {

class LineInput;

class ExternalProgram {
 public:
  // Starts a program; false with the reason in err when it could not.
  using Starter = std::function<bool(const std::vector<std::string>& argv, std::string* err)>;

  // input asks for $request and $storetxt (none: they are replaced by
  // nothing); start defaults to startDetachedProcess.
  ExternalProgram(FeatureContext ctx, LineInput* input, Starter start = {});

  // Sends the current root's selected file to the program. Nothing happens
  // without a program or a selected file. True when the program started.
  bool send();

  // The arguments for the file at fullPath at local time `now` (the program
  // itself not included): asks for $request and $storetxt when the line
  // holds them.
  std::vector<std::string> arguments(const std::string& argLine, const std::string& fullPath, const LocalTime& now);

  // The File List menu item: "   Send to <alias>" ("external program" when
  // no alias is set), enabled only while a program is configured.
  std::string menuText() const;
  bool menuEnabled() const;

  const std::string& storedText() const { return stored_; }

 private:
  FeatureContext ctx_;
  LineInput* input_;
  Starter start_;
  std::string stored_;  // the answer for $storetxt, kept until the program ends
};

// The $-variable values for a path and a time, exposed for the tests:
// "$time" is "%d:%02d%cm" on the 12-hour clock, "$24time" "%02d:%02d",
// "$date" "%04d.%02d.%02d", "$filepath" the folder with its trailing "/".
std::string timeText12(const LocalTime& t);
std::string timeText24(const LocalTime& t);
std::string dateText(const LocalTime& t);

}  // namespace vm
