#include "render/web_viewer.h"

#include <filesystem>
#include <utility>

#include "core/commands.h"
#include "platform/fs.h"
#include "platform/limits.h"
#include "platform/text.h"

namespace vm {

namespace {

constexpr const char* kImagePageName = "temp.html";
constexpr const char* kDefaultStyleSheet = "markup.css";
constexpr const char* kDarkStyleSheet = "markup-dark.css";
constexpr const char* kPrintNoHeader = "   ";

}  // namespace

WebViewer::WebViewer(FeatureContext ctx, WebHooks hooks) : ctx_(ctx), hooks_(std::move(hooks)) {}

void WebViewer::init() {
  markdownExts_ = markdownExtensions(ctx_.settings.list(setting::MarkdownExtraExtensions));
  styleSheetsListed_ = false;  // listed again when next needed
}

const std::vector<std::string>& WebViewer::styleSheets() const {
  if (!styleSheetsListed_) {
    styleSheets_ = listStyleSheets(ctx_.env.supportDir.string());
    styleSheetsListed_ = true;
  }
  return styleSheets_;
}

std::string pageStyleSheet(const std::string& picked, const std::string& configured, bool darkPalette,
                           const std::vector<std::string>& available) {
  if (!picked.empty()) return picked;
  if (!darkPalette || !equalsNoCase(configured, kDefaultStyleSheet)) return configured;
  for (const std::string& name : available)
    if (equalsNoCase(name, kDarkStyleSheet)) return name;
  return configured;
}

std::string WebViewer::currentStyleSheet() const {
  const bool dark = ctx_.ports.web && ctx_.ports.web->darkPalette();
  return pageStyleSheet(styleSheet_, ctx_.settings.text(setting::MarkupCSS), dark, styleSheets());
}

void WebViewer::chooseStyleSheet(int index) {
  const std::vector<std::string>& sheets = styleSheets();
  if (index < 0 || index >= static_cast<int>(sheets.size())) return;
  styleSheet_ = sheets[static_cast<std::size_t>(index)];
  if (ctx_.settings.flag(setting::SaveCSSOnChange)) ctx_.settings.set(setting::MarkupCSS, styleSheet_);
  rebuildMenu();
}

PageContext WebViewer::pageContext() const {
  PageContext c;
  c.folder = ctx_.roots.current().inUse ? ctx_.roots.current().filesFolder() : std::string();
  const std::string css = currentStyleSheet();
  if (!css.empty()) c.styleSheetPath = joinPath(ctx_.env.supportDir.string(), css);
  return c;
}

// Opens the selected file: an image on its page, a Markdown or wiki note
// rendered to a new page, anything else as it is.
bool WebViewer::open(bool) {
  if (busy_) return true;
  busy_ = true;
  struct Clear {
    bool& flag;
    ~Clear() { flag = false; }
  } clear{busy_};

  const RootLocation& r = ctx_.roots.current();
  if (r.selectedFile.empty()) return true;
  const std::string path = ctx_.selectedPath();
  if (!isRegularFile(path)) return true;
  titleFromPage_ = false;
  ctx_.status.setTitle(r.selectedFile);

  const Settings& s = ctx_.settings;
  unsigned switches = 0;
  switch (classifyPageSource(r.selectedFile, markdownExts_)) {
    case PageSource::Image: showImagePage(path); break;
    case PageSource::Direct: navigate(3, path); break;
    case PageSource::Wiki:
      switches = kRenderWiki | (s.flag(setting::WikiDoMarkdown) ? kRenderMarkdown : 0);
      break;
    case PageSource::Markdown:
      switches = kRenderMarkdown | kRenderMarkdownNote | (s.flag(setting::MarkdownDoPreWiki) ? kRenderWiki : 0);
      break;
  }
  if (switches != 0) {
    if (s.flag(setting::MarkdownPreMarkdown)) switches |= kRenderLineBreaks;
    const std::string page = newPagePath(ctx_.env.tempDir.string());
    // A page that cannot be written leaves the pane as it was.
    if (renderMarkupFile(path, page, switches, pageContext())) {
      pageSheet_ = currentStyleSheet();
      navigate(2, page);
    }
  }
  rebuildMenu();
  if (ctx_.ports.web) ctx_.ports.web->setVisible(true);
  return true;
}

void WebViewer::showImagePage(const std::string& imagePath) {
  ImagePageInput in;
  in.imagePath = imagePath;
  // Image pages take a style sheet only when the user picked one other
  // than the default, not the dark twin the palette brought.
  const std::string picked = styleSheet_.empty() ? ctx_.settings.text(setting::MarkupCSS) : styleSheet_;
  in.useStyleSheet = ctx_.settings.flag(setting::ImageUseCSS) && !equalsNoCase(picked, kDefaultStyleSheet);
  in.context = pageContext();
  if (WebView* web = ctx_.ports.web) {
    in.paneWidth = web->paneWidth();
    in.paneHeight = web->paneHeight();
    in.scrollBarWidth = web->scrollBarWidth();
  }
  in.pad = ctx_.settings.integer(setting::ImageCSSPad);
  const std::filesystem::path page = ctx_.env.home / kImagePageName;
  if (!writeFileAtomic(page, imagePageHtml(in))) {
    say("Error writing temp file");
    return;
  }
  navigate(1, page.string());
}

void WebViewer::navigate(int kind, const std::string& target) {
  pageKind_ = kind;
  if (ctx_.ports.web) ctx_.ports.web->navigate(target);
  if (hooks_.pageChanged) hooks_.pageChanged();
}

void WebViewer::paletteChanged() {
  if (pageKind_ != 2 || (hooks_.shown && !hooks_.shown()) || currentStyleSheet() == pageSheet_) return;
  open(false);
}

void WebViewer::close() {
  if (WebView* web = ctx_.ports.web) {
    web->stop();
    web->navigate("about:blank");
    web->setVisible(false);
  }
  pageKind_ = 0;
  followTitle_ = false;
  titleFromPage_ = false;
  removeMenuItems();
  if (hooks_.pageChanged) hooks_.pageChanged();
}

void WebViewer::showAddress(const std::string& text) {
  if (busy_) return;
  busy_ = true;
  titleFromPage_ = true;
  navigate(3, startsWithNoCase(text, "???") ? searchAddress(text, ctx_.settings.text(setting::BrowserSearchString))
                                            : text);
  rebuildMenu();
  if (ctx_.ports.web) ctx_.ports.web->setVisible(true);
  busy_ = false;
}

// Print, and the style sheets while the page is a rendered note (or an image
// page that uses them), in the Tools menu in front of the mode switch.
void WebViewer::rebuildMenu() {
  removeMenuItems();
  if (!hooks_.shown || !hooks_.shown()) return;
  const Settings& s = ctx_.settings;
  ctx_.addToolsItem(MenuItem{cmd::kWebSep1, "", "", false, false, true, {}});
  ctx_.addToolsItem(MenuItem{cmd::kPrint, "  Print  ", "", false, false, true, {}});
  bool styled = pageKind_ == 2 || (pageKind_ == 1 && s.flag(setting::ImageUseCSS));
  static const std::vector<std::string> kNone;
  const std::vector<std::string>& sheets = styled && s.flag(setting::ShowCSSInMenu) ? styleSheets() : kNone;
  if (!sheets.empty()) {
    MenuItem sub{cmd::kStyleSheetMenu, "  Select CSS  ", "", false, false, true, {}};
    const std::string current = currentStyleSheet();
    for (std::size_t i = 0; i < sheets.size(); ++i)
      sub.children.push_back(MenuItem{cmd::kStyleSheetFirst + static_cast<int>(i), sheets[i], "", true,
                                      equalsNoCase(sheets[i], current), true, {}});
    ctx_.addToolsItem(std::move(sub));
  }
  ctx_.addToolsItem(MenuItem{cmd::kWebSep2, "", "", false, false, true, {}});
}

void WebViewer::removeMenuItems() {
  for (int id : {cmd::kWebSep1, cmd::kPrint, cmd::kStyleSheetMenu, cmd::kWebSep2}) ctx_.menus.remove(id);
}

bool WebViewer::command(int id) {
  switch (id) {
    case cmd::kPrint: print(); return true;
    case cmd::kWebCopy:
      if (ctx_.ports.web) ctx_.ports.web->copySelection();
      return true;
    default: return false;
  }
}

void WebViewer::back() {
  if (ctx_.ports.web && ctx_.ports.web->back()) followTitle_ = titleFromPage_ = true;
}

void WebViewer::forward() {
  if (ctx_.ports.web && ctx_.ports.web->forward()) followTitle_ = titleFromPage_ = true;
}

bool WebViewer::backFromKey() {
  if (!ctx_.ports.web || !ctx_.ports.web->back()) return false;
  followTitle_ = true;
  return true;
}

void WebViewer::print() {
  if (!ctx_.ports.web || !hooks_.shown || !hooks_.shown()) return;
  std::string header = ctx_.settings.flag(setting::PrintTitle) ? ctx_.roots.current().selectedFile : std::string();
  ctx_.ports.web->print(header.empty() ? kPrintNoHeader : cutUtf8(header, limits::kText));
}

void WebViewer::pageTitleChanged(const std::string& title) {
  if (!hooks_.shown || !hooks_.shown() || title.empty() || !titleFromPage_) return;
  ctx_.status.setTitle(cutUtf8(title, limits::kText));
  // After Back or Forward the page of a listed file is that file again.
  if (!followTitle_) return;
  followTitle_ = false;
  if (hooks_.listed && hooks_.listed(title) && title != ctx_.roots.current().selectedFile && hooks_.openListed)
    hooks_.openListed(title);
}

// A "tn:" page link: the note of that name in the current folder.
void WebViewer::pageLinkClicked(const std::string& url) {
  if (hooks_.openLinkedNote) hooks_.openLinkedNote(linkNoteName(url));
}

bool WebViewer::isNoteFileLink(const std::string& path) const {
  const RootLocation& r = ctx_.roots.current();
  if (!r.inUse || path.empty()) return false;
  const std::filesystem::path file = std::filesystem::path(path).lexically_normal();
  const std::filesystem::path folder = std::filesystem::path(r.filesFolder() + "/").lexically_normal();
  if (file.parent_path() != folder.parent_path()) return false;
  const std::string name = file.filename().string();
  if (!hooks_.listed || !hooks_.listed(name) || !isRegularFile(file.string())) return false;
  const PageSource source = classifyPageSource(name, markdownExts_);
  return source == PageSource::Markdown || source == PageSource::Wiki || (hooks_.textNote && hooks_.textNote(name));
}

void WebViewer::noteFileLinkClicked(const std::string& path) {
  if (isNoteFileLink(path) && hooks_.openLinkedNote) hooks_.openLinkedNote(lastComponent(path));
}

}  // namespace vm
