#include "import/external_program.h"

#include "platform/limits.h"
#include "platform/ports.h"
#include "platform/process.h"
#include "platform/text.h"

namespace vm {

namespace {

// A stretch of one argument: text from the user's line, where variables are
// looked for, or a value put in for one, which is never looked into.
struct Piece {
  std::string text;
  bool literal = true;
};
using Argument = std::vector<Piece>;

// Splits the line like splitCommandLine, keeping the pieces.
std::vector<Argument> splitLine(std::string_view line) {
  std::vector<Argument> out;
  for (std::string& a : splitCommandLine(line)) out.push_back(Argument{Piece{std::move(a), true}});
  return out;
}

std::size_t lineLength(const std::vector<Argument>& args) {
  std::size_t n = 0;
  for (const Argument& a : args) {
    n += 1;  // the blank before it
    for (const Piece& p : a) n += p.text.size();
  }
  return n;
}

bool contains(const std::vector<Argument>& args, std::string_view var) {
  for (const Argument& a : args)
    for (const Piece& p : a)
      if (p.literal && p.text.find(var) != std::string::npos) return true;
  return false;
}

// Replaces the first occurrence of var in the user's text by value; the
// line stays as it was when the result would grow past the line limit.
void replaceFirst(std::vector<Argument>& args, std::string_view var, const std::string& value) {
  for (Argument& a : args) {
    for (std::size_t i = 0; i < a.size(); ++i) {
      if (!a[i].literal) continue;
      const std::size_t at = a[i].text.find(var);
      if (at == std::string::npos) continue;
      if (lineLength(args) - var.size() + value.size() >= limits::kPathMax) return;
      Piece before{a[i].text.substr(0, at), true};
      Piece after{a[i].text.substr(at + var.size()), true};
      a[i] = Piece{value, false};
      a.insert(a.begin() + static_cast<std::ptrdiff_t>(i) + 1, after);
      a.insert(a.begin() + static_cast<std::ptrdiff_t>(i), before);
      return;
    }
  }
}

}  // namespace

std::string timeText12(const LocalTime& t) {
  int h = t.hour % 12;
  if (h == 0) h = 12;
  return format("%d:%02d%cm", h, t.minute, t.hour < 12 ? 'a' : 'p');
}

std::string timeText24(const LocalTime& t) { return format("%02d:%02d", t.hour, t.minute); }

std::string dateText(const LocalTime& t) { return format("%04d.%02d.%02d", t.year, t.month, t.day); }

ExternalProgram::ExternalProgram(FeatureContext ctx, LineInput* input, Starter start)
    : ctx_(ctx), input_(input), start_(std::move(start)) {
  if (!start_) start_ = [](const std::vector<std::string>& argv, std::string* err) { return startDetachedProcess(argv, err); };
}

std::vector<std::string> ExternalProgram::arguments(const std::string& argLine, const std::string& fullPath,
                                                    const LocalTime& now) {
  std::vector<Argument> args = splitLine(argLine);
  const std::string name = lastComponent(fullPath);
  std::string folder = parentOf(fullPath);
  if (folder.empty() || folder.back() != '/') folder += '/';
  const std::size_t dot = name.rfind('.');
  const std::string base = (dot == std::string::npos || dot == 0) ? name : name.substr(0, dot);

  replaceFirst(args, "$fullfile", fullPath);
  replaceFirst(args, "$filepath", folder);
  replaceFirst(args, "$filebase", base);
  replaceFirst(args, "$filename", name);
  replaceFirst(args, "$date", dateText(now));
  replaceFirst(args, "$time", timeText12(now));
  replaceFirst(args, "$24time", timeText24(now));
  if (contains(args, "$request")) {
    std::optional<std::string> typed;
    if (input_) typed = input_->ask("Enter request text", "");
    replaceFirst(args, "$request", typed ? cutUtf8(*typed, limits::kText) : std::string());
  }
  if (contains(args, "$storetxt")) {
    if (stored_.empty() && input_) {
      if (std::optional<std::string> typed = input_->ask("Enter text (retained for next prompt)", ""))
        stored_ = cutUtf8(*typed, limits::kText);
    }
    replaceFirst(args, "$storetxt", stored_);
  }

  std::vector<std::string> out;
  for (const Argument& a : args) {
    std::string s;
    for (const Piece& p : a) s += p.text;
    out.push_back(std::move(s));
  }
  return out;
}

bool ExternalProgram::send() {
  std::string exe = ctx_.settings.text(setting::ExternalProgramExe);
  if (exe.empty()) return false;
  expandPathVariables(exe, ctx_.env.paths);
  if (ctx_.roots.count() == 0) return false;
  const RootLocation& r = ctx_.roots.current();
  if (r.selectedFile.empty() || r.selectedFile == "$NEW$UNSAVED$") return false;
  const std::string full = joinPath(r.filesFolder(), r.selectedFile);
  const std::string line = ctx_.settings.text(setting::ExternalProgramArgs);
  std::vector<std::string> argv{exe};
  for (std::string& a : arguments(line, full, ctx_.now())) argv.push_back(std::move(a));
  std::string err;
  return start_(argv, &err);
}

std::string ExternalProgram::menuText() const {
  if (!menuEnabled()) return "   Send to external program";
  std::string alias = ctx_.settings.text(setting::ExternalProgramAlias);
  if (alias.empty()) alias = "external program";
  return "   Send to " + alias;
}

bool ExternalProgram::menuEnabled() const { return !ctx_.settings.text(setting::ExternalProgramExe).empty(); }

}  // namespace vm
