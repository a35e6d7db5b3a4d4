// The App's routing to the web viewer: the inputs of the web view, and the
// addresses and linked notes that lead there from other places.
#include <filesystem>
#include <system_error>

#include "core/app.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "render/markup.h"

namespace vm {

void App::pageTitleChanged(const std::string& title) { web_.pageTitleChanged(title); }

// A "tn:" page link: the note of that name in the current folder, with the
// root's default extension or DefaultExtension, created when none exists.
// The page that had the focus goes away, so a text note takes the focus.
void App::pageLinkClicked(const std::string& url) { web_.pageLinkClicked(url); }

bool App::isNoteFileLink(const std::string& path) const { return web_.isNoteFileLink(path); }

void App::noteFileLinkClicked(const std::string& path) { web_.noteFileLinkClicked(path); }

void App::openAddressFromMultibar(const std::string& text) {
  ports_.multibar->setText("");
  openAddress(text);
}

void App::openAddress(const std::string& text) {
  if (!closeDocument()) return;
  fileList_.setSelected(-1);
  selectViewer(Viewer::Web);
  web_.showAddress(text);
}

// A note named by a link: the listed file of that name, else with the
// root's default extension, else with DefaultExtension; else a new empty
// note of that name in the current folder.
void App::openLinkedNote(const std::string& name) {
  if (name.empty()) return;
  RootLocation& r = roots_.current();
  for (const std::string& candidate :
       {name, name + r.defaultExtension, name + settings_.text(setting::DefaultExtension)}) {
    if (fileList_.find(candidate) >= 0) {
      fileList_.selectName(candidate);
      openSelectedFile(1, true, true);
      return;
    }
  }
  if (!r.inUse) return;
  std::string file = cleanNoteName(name);
  if (!endsWithNoCase(file, r.defaultExtension)) file += r.defaultExtension;
  const std::string path = joinPath(r.filesFolder(), file);
  if (!pathExists(path) && !writeFileAtomic(path, "")) {
    say(format("Could not create %s", file.c_str()));
    return;
  }
  watch_.forget();
  listing_.listFilesInPlace(r.filesFolder(), listingRules(), false);
  if (fileList_.selectName(file)) openSelectedFile(1, true, true);
}

}  // namespace vm
