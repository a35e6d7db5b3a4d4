// The App's web viewer: rendered Markdown and wiki notes, image pages, web
// files and addresses, page links, style sheets and the page commands.
#include <filesystem>
#include <system_error>

#include "core/app.h"
#include "core/commands.h"
#include "platform/fs.h"
#include "platform/limits.h"
#include "platform/text.h"
#include "render/markup.h"

namespace vm {

namespace {

constexpr const char* kImagePageName = "temp.html";
constexpr const char* kDefaultStyleSheet = "markup.css";
constexpr const char* kPrintNoHeader = "   ";

}  // namespace

void App::initWebViewer() {
  markdownExts_ = markdownExtensions(settings_.list(setting::MarkdownExtraExtensions));
  styleSheets_ = listStyleSheets(env_.supportDir.string());
}

std::string App::currentStyleSheet() const {
  return styleSheet_.empty() ? settings_.text(setting::MarkupCSS) : styleSheet_;
}

void App::chooseStyleSheet(int index) {
  if (index < 0 || index >= static_cast<int>(styleSheets_.size())) return;
  styleSheet_ = styleSheets_[static_cast<std::size_t>(index)];
  if (settings_.flag(setting::SaveCSSOnChange)) settings_.set(setting::MarkupCSS, styleSheet_);
  rebuildWebMenu();
}

PageContext App::pageContext() const {
  PageContext c;
  c.folder = roots_.current().inUse ? roots_.current().filesFolder() : std::string();
  const std::string css = currentStyleSheet();
  if (!css.empty()) c.styleSheetPath = joinPath(env_.supportDir.string(), css);
  return c;
}

// Opens the selected file in the web viewer: an image on its page, a
// Markdown or wiki note rendered to a new page, anything else as it is.
void App::openInWebViewer() {
  if (webBusy_) return;
  webBusy_ = true;
  struct Clear {
    bool& flag;
    ~Clear() { flag = false; }
  } clear{webBusy_};

  const RootLocation& r = roots_.current();
  if (r.selectedFile.empty()) return;
  const std::string path = notePath();
  if (!isRegularFile(path)) return;
  titleFromPage_ = false;
  status_.setTitle(r.selectedFile);

  unsigned switches = 0;
  switch (classifyPageSource(r.selectedFile, markdownExts_)) {
    case PageSource::Image: showImagePage(path); break;
    case PageSource::Direct: navigatePane(3, path); break;
    case PageSource::Wiki:
      switches = kRenderWiki | (settings_.flag(setting::WikiDoMarkdown) ? kRenderMarkdown : 0);
      break;
    case PageSource::Markdown:
      switches = kRenderMarkdown | kRenderMarkdownNote | (settings_.flag(setting::MarkdownDoPreWiki) ? kRenderWiki : 0);
      break;
  }
  if (switches != 0) {
    if (settings_.flag(setting::MarkdownPreMarkdown)) switches |= kRenderLineBreaks;
    const std::string page = newPagePath(env_.tempDir.string());
    // A page that cannot be written leaves the pane as it was.
    if (renderMarkupFile(path, page, switches, pageContext())) navigatePane(2, page);
  }
  rebuildWebMenu();
  if (ports_.web) ports_.web->setVisible(true);
}

void App::showImagePage(const std::string& imagePath) {
  ImagePageInput in;
  in.imagePath = imagePath;
  in.useStyleSheet = settings_.flag(setting::ImageUseCSS) && !equalsNoCase(currentStyleSheet(), kDefaultStyleSheet);
  in.context = pageContext();
  if (ports_.web) {
    in.paneWidth = ports_.web->paneWidth();
    in.paneHeight = ports_.web->paneHeight();
    in.scrollBarWidth = ports_.web->scrollBarWidth();
  }
  in.pad = settings_.integer(setting::ImageCSSPad);
  const std::filesystem::path page = env_.home / kImagePageName;
  if (!writeFileAtomic(page, imagePageHtml(in))) {
    say("Error writing temp file");
    return;
  }
  navigatePane(1, page.string());
}

void App::navigatePane(int kind, const std::string& target) {
  pageKind_ = kind;
  if (ports_.web) ports_.web->navigate(target);
  updateToolbar();
}

void App::closeWebViewer() {
  if (ports_.web) {
    ports_.web->stop();
    ports_.web->navigate("about:blank");
    ports_.web->setVisible(false);
  }
  pageKind_ = 0;
  followTitle_ = false;
  titleFromPage_ = false;
  removeWebMenuItems();
  updateToolbar();
}

// A web address or a "???" search typed in the Multibar.
void App::showAddress(const std::string& text) {
  if (webBusy_) return;
  webBusy_ = true;
  titleFromPage_ = true;
  navigatePane(3, startsWithNoCase(text, "???") ? searchAddress(text, settings_.text(setting::BrowserSearchString))
                                                : text);
  rebuildWebMenu();
  if (ports_.web) ports_.web->setVisible(true);
  webBusy_ = false;
}

void App::openAddressFromMultibar(const std::string& text) {
  ports_.multibar->setText("");
  openAddress(text);
}

void App::openAddress(const std::string& text) {
  if (!closeDocument()) return;
  fileList_.setSelected(-1);
  selectViewer(Viewer::Web);
  showAddress(text);
}

// Print, and the style sheets while the page is a rendered note (or an image
// page that uses them), in the Tools menu in front of the mode switch.
void App::rebuildWebMenu() {
  removeWebMenuItems();
  if (viewer_ != Viewer::Web) return;
  auto add = [this](MenuItem item) { addToolsItem(std::move(item)); };
  add(MenuItem{cmd::kWebSep1, "", "", false, false, true, {}});
  add(MenuItem{cmd::kPrint, "  Print  ", "", false, false, true, {}});
  bool styled = pageKind_ == 2 || (pageKind_ == 1 && settings_.flag(setting::ImageUseCSS));
  if (styled && settings_.flag(setting::ShowCSSInMenu) && !styleSheets_.empty()) {
    MenuItem sub{cmd::kStyleSheetMenu, "  Select CSS  ", "", false, false, true, {}};
    const std::string current = currentStyleSheet();
    for (std::size_t i = 0; i < styleSheets_.size(); ++i)
      sub.children.push_back(MenuItem{cmd::kStyleSheetFirst + static_cast<int>(i), styleSheets_[i], "", true,
                                      equalsNoCase(styleSheets_[i], current), true, {}});
    add(std::move(sub));
  }
  add(MenuItem{cmd::kWebSep2, "", "", false, false, true, {}});
}

void App::removeWebMenuItems() {
  for (int id : {cmd::kWebSep1, cmd::kPrint, cmd::kStyleSheetMenu, cmd::kWebSep2}) menus_.remove(id);
}

void App::webBack() {
  if (ports_.web && ports_.web->back()) followTitle_ = titleFromPage_ = true;
}

void App::webForward() {
  if (ports_.web && ports_.web->forward()) followTitle_ = titleFromPage_ = true;
}

void App::printPage() {
  if (!ports_.web || viewer_ != Viewer::Web) return;
  std::string header = settings_.flag(setting::PrintTitle) ? roots_.current().selectedFile : std::string();
  ports_.web->print(header.empty() ? kPrintNoHeader : cutUtf8(header, limits::kText));
}

void App::pageTitleChanged(const std::string& title) {
  if (viewer_ != Viewer::Web || title.empty() || !titleFromPage_) return;
  status_.setTitle(cutUtf8(title, limits::kText));
  // After Back or Forward the page of a listed file is that file again.
  if (!followTitle_) return;
  followTitle_ = false;
  if (fileList_.find(title) >= 0 && title != roots_.current().selectedFile) {
    fileList_.selectName(title);
    openSelectedFile(1, false, true);
  }
}

// A "tn:" page link: the note of that name in the current folder, with the
// root's default extension or DefaultExtension, created when none exists.
// The page that had the focus goes away, so a text note takes the focus.
void App::pageLinkClicked(const std::string& url) { openLinkedNote(linkNoteName(url)); }

bool App::isNoteFileLink(const std::string& path) const {
  const RootLocation& r = roots_.current();
  if (!r.inUse || path.empty()) return false;
  const std::filesystem::path file = std::filesystem::path(path).lexically_normal();
  const std::filesystem::path folder = std::filesystem::path(r.filesFolder() + "/").lexically_normal();
  if (file.parent_path() != folder.parent_path()) return false;
  const std::string name = file.filename().string();
  if (fileList_.find(name) < 0 || !isRegularFile(file.string())) return false;
  const PageSource source = classifyPageSource(name, markdownExts_);
  return source == PageSource::Markdown || source == PageSource::Wiki ||
         tables_.kindOf(name) == kKindText;
}

void App::noteFileLinkClicked(const std::string& path) {
  if (isNoteFileLink(path)) openLinkedNote(lastComponent(path));
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
