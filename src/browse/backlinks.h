#pragma once
// "Links to This Note": the notes of a root that link to one note. A note
// links to the note Name.ext by a page link "[Name]" or "[Name.ext]", a page
// link with its own text "[[Name][text]]", a "tn:" address naming it (a blank
// written as %20), or a Markdown link or reference whose address ends in its
// file name ("](Name.ext)", "](sub/Name%20x.md)", "[ref]: Name.ext").
// Names compare without regard to case.
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text_search.h"

namespace vm {

// The extensions of the notes searched for links.
inline const std::vector<std::string>& defaultNoteExtensions() {
  static const std::vector<std::string> kList = {".txt", ".md", ".markdown", ".wki", ".wiki"};
  return kList;
}

struct BacklinkResult {
  std::vector<std::string> notes;  // paths relative to the root, '/' between folders, sorted
  bool stopped = false;            // the pump said the program is quitting
};

// True when text holds a link to the note with this file name.
bool linksTo(std::string_view text, std::string_view fileName);

// The notes under root (every sub-folder except "imgs" and hidden ones) that
// link to the note at notePath; the note itself is left out. Files are read
// up to 64 MB each; ones that cannot be read are skipped. pump runs between
// files.
BacklinkResult linksToNote(const std::filesystem::path& root, const std::filesystem::path& notePath,
                           const SearchPump& pump = {},
                           const std::vector<std::string>& noteExtensions = defaultNoteExtensions());

}  // namespace vm
