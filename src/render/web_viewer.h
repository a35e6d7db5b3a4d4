#pragma once
// The web viewer: rendered Markdown and wiki notes, image pages, web files
// and addresses, page links, style sheets, the page's own Tools menu items
// and its Back, Forward and Print.
#include <functional>
#include <string>
#include <vector>

#include "core/context.h"
#include "core/viewer.h"
#include "render/markup.h"

namespace vm {

// What the web viewer asks of the rest of the program.
struct WebHooks {
  // True while the web viewer is the one shown in the viewer pane.
  std::function<bool()> shown;
  // The page changed: the toolbar follows.
  std::function<void()> pageChanged;
  // True when the File List holds a file of that name.
  std::function<bool(const std::string& name)> listed;
  // True when the file of that name opens in the note editor.
  std::function<bool(const std::string& name)> textNote;
  // Selects the listed file of that name and opens it (after Back or Forward).
  std::function<void(const std::string& name)> openListed;
  // Opens the note a page link names, creating it when none exists.
  std::function<void(const std::string& name)> openLinkedNote;
};

// The style sheet of a rendered page: the one the user picked from the menu
// this session; else the one MarkupCSS names, where the default sheet gives
// way to its dark twin under a dark palette when the support folder has it.
std::string pageStyleSheet(const std::string& picked, const std::string& configured, bool darkPalette,
                           const std::vector<std::string>& available);

class WebViewer : public DocumentViewer {
 public:
  WebViewer(FeatureContext ctx, WebHooks hooks);

  // DocumentViewer. A page holds no unsaved work.
  bool open(bool focus) override;  // shows the selected file
  bool leave() override { return true; }
  void close() override;
  void save() override {}
  void autosave() override {}
  bool modified() const override { return false; }
  void insertMenuItems() override { rebuildMenu(); }
  void removeMenuItems() override;
  bool command(int id) override;
  bool find(const std::string&, bool) override { return false; }

  // Reads the Markdown extensions. The style sheets offered are listed when
  // first needed (a page shown, the menu of a page), not at start.
  void init();
  // Kind of the page last shown: 0 none, 1 image page, 2 rendered note,
  // 3 a file or address shown directly.
  int pageKind() const { return pageKind_; }
  const std::vector<std::string>& styleSheets() const;
  std::string currentStyleSheet() const;
  void chooseStyleSheet(int index);
  // The window's palette changed: a rendered note shown with a sheet that
  // no longer applies (light or dark) is rendered again.
  void paletteChanged();
  // A web address or a "???" search.
  void showAddress(const std::string& text);
  void back();
  void forward();
  // The page's own history for Ctrl+B; false when there was nothing before.
  bool backFromKey();
  void print();

  // Inputs from the web view.
  void pageTitleChanged(const std::string& title);
  void pageLinkClicked(const std::string& url);
  bool isNoteFileLink(const std::string& path) const;
  void noteFileLinkClicked(const std::string& path);

 private:
  PageContext pageContext() const;
  void showImagePage(const std::string& imagePath);
  void navigate(int kind, const std::string& target);
  void rebuildMenu();
  void say(const std::string& text) const { ctx_.say(text); }

  FeatureContext ctx_;
  WebHooks hooks_;
  int pageKind_ = 0;
  bool busy_ = false;
  bool followTitle_ = false;  // after Back or Forward: the next title may name a listed file
  // The window title shows the page's own title only for addresses shown
  // directly and after Back or Forward; a note's page keeps its file name.
  bool titleFromPage_ = false;
  std::vector<std::string> markdownExts_;
  mutable std::vector<std::string> styleSheets_;
  mutable bool styleSheetsListed_ = false;
  std::string styleSheet_;  // chosen from the menu; empty: MarkupCSS
  std::string pageSheet_;   // the sheet the rendered note shown was made with
};

}  // namespace vm
