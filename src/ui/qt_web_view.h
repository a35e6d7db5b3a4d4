#pragma once
// The WebView port over QtWebEngine: the viewer pane that shows rendered
// notes, images, web files and addresses. The engine is heavy to load and
// start, so its module is loaded and its view made the first time a page is
// shown (or the pane is shown), inside the host widget the main window
// provides.
#include <QObject>
#include <QPointer>
#include <QUrl>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "platform/ports.h"
#include "ui/web_engine.h"

class QMenu;
class QPrinter;
class QUrl;

namespace vm::ui {

class QtWebView : public QObject, public WebView {
  Q_OBJECT
 public:
  explicit QtWebView(QObject* parent = nullptr);
  ~QtWebView() override;

  // The widget the view lives in; its size is the pane's size.
  void attach(QWidget* host);

  // A "tn:" page link was clicked: its URL in UTF-8 with blanks as "%20"
  // ("tn:Meeting%20notes"); called from the event loop. When the handler
  // shows no other page, the view goes to a blank page.
  std::function<void(const std::string&)> onPageLink;
  // A clicked link to a local file: isNoteFile answers whether the program
  // opens that file itself (a note); then the view does not go there and
  // onNoteFileLink gets the path, from the event loop, as for page links.
  std::function<bool(const std::string& path)> isNoteFile;
  std::function<void(const std::string& path)> onNoteFileLink;
  // "Copy" was chosen in the page's context menu.
  std::function<void()> onCopyCommand;
  // The page's title changed (empty for a blank page or one without title).
  std::function<void(const std::string&)> onTitleChanged;
  // A page finished loading, or failed to. Cancelled page links do not count.
  std::function<void(bool ok, const std::string& url)> onLoadFinished;

  void navigate(const std::string& pathOrUrl) override;
  bool back() override;
  bool forward() override;
  bool refresh() override;
  void stop() override;
  bool print(const std::string& header) override;
  std::string title() override;
  void copySelection() override;
  void setVisible(bool on) override;
  int paneWidth() override;
  int paneHeight() override;
  int scrollBarWidth() override;
  bool darkPalette() override;

  // Prints the page to an already set-up printer, the header on each page.
  // Asynchronous: false when there is no page or a print is running; the
  // printer must live until onPrintFinished is called.
  bool printTo(QPrinter* printer, const std::string& header);
  std::function<void(bool ok)> onPrintFinished;

  // The engine's view (a QWebEngineView); null until the first page.
  QWidget* view() const;
  // True while a page is loading.
  bool loading() const;
  // Why the engine could not be started; empty while it could.
  const std::string& engineError() const { return engineError_; }
  // The address navigate() loads for a path or address.
  static QUrl urlFor(const std::string& pathOrUrl);
  // True for a page link: "tn:" in any case.
  static bool isPageLink(const QUrl& url);

 private:
  WebEngine* ensureView();
  void pageLinkClicked(const QUrl& url);
  bool fileLinkClicked(const QUrl& url);
  void handOnPageLink();
  void titleChanged();
  void printDone(bool ok);
  void loadEnded(WebEngineEvents::LoadEnd end, const QUrl& url, int errorCode, bool isErrorPage);
  std::string currentTitle() const;

  QPointer<QWidget> host_;
  std::unique_ptr<WebEngine> view_;
  bool engineFailed_ = false;
  std::string engineError_;
  std::unique_ptr<QPrinter> ownPrinter_;  // the printer of print(), until printing ends
  bool printing_ = false;
  std::string pendingLink_;  // a page link (or a note's path) not yet handed on
  bool pendingIsFile_ = false;
  QUrl refusedFile_;         // the note link refused last, until handed on
  int navigations_ = 0;      // navigate() calls, to see whether a page link showed something
  std::string lastTitle_;
};

}  // namespace vm::ui
