#include "ui/qt_web_view.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMenu>
#include <QPrintDialog>
#include <QPrinter>
#include <QRegularExpression>
#include <QStyle>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebEngineHistory>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include "ui/palette.h"

namespace vm::ui {

const char* const QtWebView::kCopyItem = "    Copy   ";

namespace {

// Longest wait for a refused page link's own load to end, and the pause
// after its end before another page may start.
constexpr int kLinkSettleMs = 300;
constexpr int kLinkAfterStopMs = 30;

constexpr int kMaxPrintDpi = 300;

// Image pages carry size rules Chromium does not understand; without them a
// big picture would not be scaled down to the pane. On the program's own
// image pages this does what those rules meant: a picture is at most as wide
// as the table the page gives it, or else as the page's body.
constexpr char kImageFitSource[] = R"JS(
(function () {
  if (document.title !== 'image' || location.protocol !== 'file:') return;
  const fit = () => {
    for (const img of document.images) {
      const table = img.closest('table');
      img.style.maxWidth = table && table.hasAttribute('width') ? '100%' : document.body.clientWidth + 'px';
      img.style.height = 'auto';
    }
  };
  fit();
  window.addEventListener('resize', fit);
})();
)JS";
// The print header: a fixed box at the top, which Chromium repeats on every
// printed page, shown only in print. The text goes in as textContent, so it
// is never read as markup.
constexpr char kHeaderId[] = "vellumark-print-header";

QString headerScript(const std::string& header) {
  // A JSON array of one string is a safe JavaScript literal for any text.
  const QString text = header.empty() ? QStringLiteral("   ") : QString::fromUtf8(header);
  QString literal = QString::fromUtf8(QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact));
  literal = literal.mid(1, literal.size() - 2);
  return QStringLiteral(R"JS(
(function (text) {
  var id = '%1', d = document;
  for (var old of [d.getElementById(id), d.getElementById(id + '-style')]) if (old) old.remove();
  if (!d.body) return false;
  var box = d.createElement('div');
  box.id = id;
  box.textContent = text;
  var style = d.createElement('style');
  style.id = id + '-style';
  style.textContent = '#' + id + '{display:none}' +
      '@media print{#' + id + '{display:block;position:fixed;top:0;left:0;right:0;margin:0;' +
      'padding:2pt 8px 4pt;font:9pt sans-serif;color:#000;background:#fff;white-space:pre;overflow:hidden}' +
      'body{padding-top:24pt !important}}';
  (d.head || d.body).appendChild(style);
  d.body.insertBefore(box, d.body.firstChild);
  return true;
})(%2);
)JS")
      .arg(QLatin1String(kHeaderId), literal);
}

QString removeHeaderScript() {
  return QStringLiteral(
             "for (var old of [document.getElementById('%1'), document.getElementById('%1-style')])"
             " if (old) old.remove();")
      .arg(QLatin1String(kHeaderId));
}

// The page: page links and mail addresses never navigate.
class LinkPage : public QWebEnginePage {
 public:
  explicit LinkPage(QObject* parent) : QWebEnginePage(parent) {}
  std::function<void(const QUrl&)> onPageLink;
  // A clicked link to a local file; true when the program takes it.
  std::function<bool(const QUrl&)> onFileLink;

 protected:
  bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override {
    // Accepting a "tn:" address would hand it to the desktop's URL opener.
    if (QtWebView::isPageLink(url)) {
      if (onPageLink) onPageLink(url);
      return false;
    }
    // A link to a note opens the note, not its raw text in the page.
    if (type == NavigationTypeLinkClicked && isMainFrame && url.isLocalFile() && onFileLink && onFileLink(url))
      return false;
    if (url.scheme().compare(QLatin1String("mailto"), Qt::CaseInsensitive) == 0) {
      if (type == NavigationTypeLinkClicked) QDesktopServices::openUrl(url);
      return false;
    }
    return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
  }

  // Links meant for a new window open in the pane.
  QWebEnginePage* createWindow(WebWindowType) override { return this; }
};

// The view: its context menu holds the program's Copy only.
class PageView : public QWebEngineView {
 public:
  explicit PageView(QWidget* parent) : QWebEngineView(parent) {}
  std::function<void()> onCopy;

 protected:
  void contextMenuEvent(QContextMenuEvent* e) override {
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("webContextMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* copy = menu->addAction(QString::fromLatin1(QtWebView::kCopyItem));
    connect(copy, &QAction::triggered, this, [this] {
      if (onCopy) onCopy();
    });
    menu->popup(e->globalPos());
    e->accept();
  }
};

bool isBlank(const QUrl& url) { return url.isEmpty() || url.toString() == QLatin1String("about:blank"); }

}  // namespace

QtWebView::QtWebView(QObject* parent) : QObject(parent) {}

QtWebView::~QtWebView() {
  // The view lives on with the window; it must not call back into this.
  if (auto* view = static_cast<PageView*>(view_.data())) {
    view->onCopy = nullptr;
    static_cast<LinkPage*>(view->page())->onPageLink = nullptr;
  }
}

void QtWebView::attach(QWidget* host) {
  host_ = host;
  if (host && !host->layout()) {
    auto* layout = new QVBoxLayout(host);
    layout->setContentsMargins(0, 0, 0, 0);
  }
}

bool QtWebView::isPageLink(const QUrl& url) {
  const QString text = url.toString();
  return text.size() >= 3 && text.startsWith(QLatin1String("tn:"), Qt::CaseInsensitive);
}

QUrl QtWebView::urlFor(const std::string& pathOrUrl) {
  if (pathOrUrl.empty()) return QUrl(QStringLiteral("about:blank"));
  const QString text = QString::fromUtf8(pathOrUrl);
  if (pathOrUrl.front() != '/') {
    const QString lower = text.toLower();
    static const char* const kSchemes[] = {"http:", "https:", "ftp:", "mailto:", "about:", "file:", "data:"};
    for (const char* scheme : kSchemes)
      if (lower.startsWith(QLatin1String(scheme))) return QUrl(text, QUrl::TolerantMode);
    if (lower.startsWith(QLatin1String("www."))) return QUrl::fromUserInput(text);
    // Any other "scheme://" address.
    static const QRegularExpression kAddress(QStringLiteral("^[a-z][a-z0-9+.-]+://"));
    if (kAddress.match(lower).hasMatch()) return QUrl(text, QUrl::TolerantMode);
  }
  // A path; relative ones from the working folder.
  const QString path = QFile::decodeName(QByteArray::fromStdString(pathOrUrl));
  return QUrl::fromLocalFile(QDir::current().absoluteFilePath(path));
}

QWebEngineView* QtWebView::ensureView() {
  if (view_) return view_;
  if (!host_) return nullptr;
  auto* view = new PageView(host_);
  view->setObjectName(QStringLiteral("webView"));
  view->onCopy = [this] {
    if (onCopyCommand) onCopyCommand();
  };
  auto* page = new LinkPage(view);
  page->onPageLink = [this](const QUrl& url) { pageLinkClicked(url); };
  page->onFileLink = [this](const QUrl& url) { return fileLinkClicked(url); };
  QWebEngineSettings* s = page->settings();
  // The program's pages are local files that show local pictures and the
  // style sheet; they may not reach out to the network.
  s->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
  s->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
  s->setAttribute(QWebEngineSettings::JavascriptEnabled, true);
  // Notes are UTF-8; pages that do not name their encoding are read as
  // such unless the engine's own detection decides otherwise.
  s->setDefaultTextEncoding(QStringLiteral("utf-8"));
  // Without this a page link clicked by a script is dropped before the page
  // is asked about it.
  s->setUnknownUrlSchemePolicy(QWebEngineSettings::AllowAllUnknownUrlSchemes);

  QWebEngineScript fit;
  fit.setName(QStringLiteral("vellumark-image-fit"));
  fit.setSourceCode(QString::fromLatin1(kImageFitSource));
  fit.setInjectionPoint(QWebEngineScript::DocumentReady);
  fit.setWorldId(QWebEngineScript::ApplicationWorld);
  fit.setRunsOnSubFrames(false);
  page->scripts().insert(fit);
  view->setPage(page);

  connect(page, &QWebEnginePage::titleChanged, this, [this] { titleChanged(); });
  connect(page, &QWebEnginePage::urlChanged, this, [this] { titleChanged(); });
  connect(page, &QWebEnginePage::loadingChanged, this, [this](const QWebEngineLoadingInfo& info) {
    if (info.status() == QWebEngineLoadingInfo::LoadStartedStatus) return;
    // A refused page link ends as a stopped load of its own; it is no page.
    if (isPageLink(info.url()) ||
        (!refusedFile_.isEmpty() && info.url().adjusted(QUrl::RemoveFragment | QUrl::RemoveQuery) == refusedFile_)) {
      if (!pendingLink_.empty()) {
        QPointer<QtWebView> self(this);
        QTimer::singleShot(kLinkAfterStopMs, this, [self] {
          if (self) self->handOnPageLink();
        });
      }
      return;
    }
    if (info.status() == QWebEngineLoadingInfo::LoadStoppedStatus && isBlank(info.url())) return;
    // A page shown right after a refused link now and then ends "failed"
    // with no error at all, though it loaded.
    const bool ok = info.status() == QWebEngineLoadingInfo::LoadSucceededStatus ||
                    (info.status() == QWebEngineLoadingInfo::LoadFailedStatus && info.errorCode() == 0 &&
                     !info.isErrorPage());
    if (onLoadFinished) onLoadFinished(ok, info.url().toString(QUrl::FullyEncoded).toStdString());
  });
  connect(view, &QWebEngineView::printFinished, this, [this](bool ok) { printDone(ok); });

  if (host_->layout()) host_->layout()->addWidget(view);
  view_ = view;
  view->show();
  return view;
}

void QtWebView::pageLinkClicked(const QUrl& url) {
  // Blanks stay "%20" as in the page; other characters are given as text
  // (a note name in UTF-8, not percent-encoded).
  pendingLink_ = url.toString(QUrl::EncodeSpaces).toStdString();
  // The refused link still ends as a load of its own. A page shown before
  // that end would be merged into it (its end reported for the wrong
  // address), so the link is handed on when it ends, or after a moment.
  QPointer<QtWebView> self(this);
  QTimer::singleShot(kLinkSettleMs, this, [self] {
    if (self) self->handOnPageLink();
  });
}

bool QtWebView::fileLinkClicked(const QUrl& url) {
  const std::string path = QFile::encodeName(url.toLocalFile()).toStdString();
  if (path.empty() || !isNoteFile || !isNoteFile(path)) return false;
  pendingLink_ = path;
  pendingIsFile_ = true;
  refusedFile_ = url.adjusted(QUrl::RemoveFragment | QUrl::RemoveQuery);
  QPointer<QtWebView> self(this);
  QTimer::singleShot(kLinkSettleMs, this, [self] {
    if (self) self->handOnPageLink();
  });
  return true;
}

void QtWebView::handOnPageLink() {
  if (pendingLink_.empty()) return;
  const std::string link = std::move(pendingLink_);
  pendingLink_.clear();
  const bool file = pendingIsFile_;
  pendingIsFile_ = false;
  refusedFile_.clear();
  const int before = navigations_;
  if (file) {
    if (onNoteFileLink) onNoteFileLink(link);
  } else if (onPageLink) {
    onPageLink(link);
  }
  // The App showed nothing else: the view stays on a blank page.
  if (navigations_ == before && view_) view_->setUrl(QUrl(QStringLiteral("about:blank")));
}

std::string QtWebView::currentTitle() const {
  if (!view_) return {};
  const QUrl url = view_->url();
  if (isBlank(url)) return {};
  // A page without a title is named after its file or address.
  return view_->title().toStdString();
}

void QtWebView::titleChanged() {
  std::string now = currentTitle();
  if (now == lastTitle_) return;
  lastTitle_ = std::move(now);
  if (onTitleChanged) onTitleChanged(lastTitle_);
}

void QtWebView::navigate(const std::string& pathOrUrl) {
  ++navigations_;
  if (QWebEngineView* v = ensureView()) v->setUrl(urlFor(pathOrUrl));
}

bool QtWebView::back() {
  if (!view_ || !view_->history()->canGoBack()) return false;
  view_->back();
  return true;
}

bool QtWebView::forward() {
  if (!view_ || !view_->history()->canGoForward()) return false;
  view_->forward();
  return true;
}

bool QtWebView::refresh() {
  if (!view_ || view_->url().isEmpty()) return false;
  view_->reload();
  return true;
}

void QtWebView::stop() {
  if (view_) view_->stop();
}

bool QtWebView::print(const std::string& header) {
  if (!view_ || printing_ || view_->url().isEmpty()) return false;
  // Without a screen there is nobody to answer the print dialog.
  const QString platform = QGuiApplication::platformName();
  if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal")) return false;
  auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
  {
    QPrintDialog dialog(printer.get(), view_->window());
    if (dialog.exec() != QDialog::Accepted) return false;
  }
  if (!view_ || !printer->isValid()) return false;
  // The engine hands each page to the printer as a picture at the printer's
  // resolution; beyond 300 dpi that only costs time and memory.
  if (printer->resolution() > kMaxPrintDpi) printer->setResolution(kMaxPrintDpi);
  if (!printTo(printer.get(), header)) return false;
  ownPrinter_ = std::move(printer);
  return true;
}

bool QtWebView::printTo(QPrinter* printer, const std::string& header) {
  if (!view_ || !printer || printing_ || view_->url().isEmpty()) return false;
  printing_ = true;
  QPointer<QtWebView> self(this);
  QPointer<QWebEngineView> view(view_);
  view_->page()->runJavaScript(headerScript(header), QWebEngineScript::ApplicationWorld,
                               [self, view, printer](const QVariant&) {
                                 if (!self) return;
                                 if (view)
                                   view->print(printer);
                                 else
                                   self->printDone(false);
                               });
  return true;
}

void QtWebView::printDone(bool ok) {
  if (!printing_) return;
  printing_ = false;
  if (view_) view_->page()->runJavaScript(removeHeaderScript(), QWebEngineScript::ApplicationWorld);
  // The engine may still be in its own call that used the printer.
  if (QPrinter* p = ownPrinter_.release()) QTimer::singleShot(0, [p] { delete p; });
  if (onPrintFinished) onPrintFinished(ok);
}

std::string QtWebView::title() { return currentTitle(); }

void QtWebView::copySelection() {
  if (!view_) return;
  const QString text = view_->selectedText();
  if (text.isEmpty()) return;
  QGuiApplication::clipboard()->setText(text);
}

void QtWebView::setVisible(bool on) {
  if (on) ensureView();
  if (host_) host_->setVisible(on);
}

int QtWebView::paneWidth() {
  if (!host_) return 0;
  // A hidden host has no place in the layout; the viewer area it fills has.
  QWidget* pane = host_->isVisible() || !host_->parentWidget() ? host_.data() : host_->parentWidget();
  return pane->isVisible() ? pane->contentsRect().width() : 0;
}

int QtWebView::paneHeight() {
  if (!host_) return 0;
  QWidget* pane = host_->isVisible() || !host_->parentWidget() ? host_.data() : host_->parentWidget();
  return pane->isVisible() ? pane->contentsRect().height() : 0;
}

int QtWebView::scrollBarWidth() {
  QStyle* style = host_ ? host_->style() : QApplication::style();
  return style->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, host_);
}

bool QtWebView::darkPalette() { return darkPaletteInUse(); }

}  // namespace vm::ui
