#pragma once
// Starting other programs: no shell ever reads the command, so no character
// of a file name can run anything.
#include <string>
#include <string_view>
#include <vector>

namespace vm {

// Splits a command line into arguments at blanks (spaces and tabs) outside
// double quotes; the quotes themselves are dropped, text on both sides of a
// quote joins into one argument and "" gives an empty argument. Backslashes
// are ordinary characters.
std::vector<std::string> splitCommandLine(std::string_view line);

// Starts argv[0] (looked up in PATH when it holds no "/") with these
// arguments, in a new session, standard input, output and error on
// /dev/null and no other file of this program open, inheriting the
// environment and the current folder. Does not wait for it; the child is
// reaped in the background. False with the reason in err when it cannot be
// started.
bool startDetachedProcess(const std::vector<std::string>& argv, std::string* err = nullptr);

}  // namespace vm
