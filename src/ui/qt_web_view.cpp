#include "ui/qt_web_view.h"

#include <dlfcn.h>
#include <unistd.h>

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QOpenGLContext>
#include <QPrintDialog>
#include <QPrinter>
#include <QRegularExpression>
#include <QStyle>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "platform/fs.h"

// Qt's own setter of the context all OpenGL contexts share (exported by
// Qt GUI, declared in a header Qt does not install).
void qt_gl_set_global_share_context(QOpenGLContext* context);

#include "ui/palette.h"

namespace vm::ui {

namespace {

// Longest wait for a refused page link's own load to end, and the pause
// after its end before another page may start.
constexpr int kLinkSettleMs = 300;
constexpr int kLinkAfterStopMs = 30;

constexpr int kMaxPrintDpi = 300;

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

bool isBlank(const QUrl& url) { return url.isEmpty() || url.toString() == QLatin1String("about:blank"); }

void dropMessage(QtMsgType, const QMessageLogContext&, const QString&) {}

// The engine draws through OpenGL and needs one context that every context
// shares, which Qt makes only when asked before the application exists.
// Made here instead, just before the engine's first use, so that a session
// without pages never starts OpenGL at all.
void prepareSharedContext() {
  if (!QCoreApplication::testAttribute(Qt::AA_ShareOpenGLContexts)) {
    // Qt warns that the setting comes late; here that is the point.
    const QtMessageHandler previous = qInstallMessageHandler(dropMessage);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    qInstallMessageHandler(previous);
  }
  if (QOpenGLContext::globalShareContext()) return;
  auto* context = new QOpenGLContext(qApp);
  if (context->create())
    qt_gl_set_global_share_context(context);
  else
    delete context;
}

std::string moduleDir() {
#ifdef VELLUMARK_WEB_MODULE_DIR
  return VELLUMARK_WEB_MODULE_DIR;
#else
  return {};
#endif
}

}  // namespace

WebEngineFactory loadWebEngine(std::string* error) {
  static WebEngineFactory factory = nullptr;
  static std::string failure;
  static bool tried = false;
  if (!tried) {
    tried = true;
    std::vector<std::string> candidates;
    if (const char* own = std::getenv("VELLUMARK_WEB_MODULE"); own && *own) candidates.emplace_back(own);
    const std::filesystem::path exe = executablePath();
    if (!exe.empty()) candidates.push_back((exe.parent_path() / kWebEngineModule).string());
#ifdef VELLUMARK_WEB_MODULE_RELDIR
    // An installed tree wherever it was unpacked: bin/ beside lib/.../vellumark.
    if (!exe.empty())
      candidates.push_back((exe.parent_path() / ".." / VELLUMARK_WEB_MODULE_RELDIR / kWebEngineModule).string());
#endif
    if (!moduleDir().empty()) candidates.push_back(moduleDir() + "/" + kWebEngineModule);
    for (const std::string& path : candidates) {
      if (::access(path.c_str(), R_OK) != 0) continue;
      prepareSharedContext();
      void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
      if (!module) {
        const char* why = ::dlerror();
        failure = "cannot load " + path + ": " + (why ? why : "unknown reason");
        break;
      }
      factory = reinterpret_cast<WebEngineFactory>(::dlsym(module, kWebEngineEntry));
      if (!factory) failure = path + " has no " + kWebEngineEntry;
      break;
    }
    if (!factory && failure.empty()) failure = std::string("cannot find ") + kWebEngineModule;
  }
  if (!factory && error) *error = failure;
  return factory;
}

QtWebView::QtWebView(QObject* parent) : QObject(parent) {}

// The engine object goes first; its view lives on with the window and
// reports nothing more.
QtWebView::~QtWebView() = default;

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

WebEngine* QtWebView::ensureView() {
  if (view_) return view_->widget() ? view_.get() : nullptr;
  if (!host_ || engineFailed_) return nullptr;
  const WebEngineFactory make = loadWebEngine(&engineError_);
  if (!make) {
    // Pages stay blank; the program goes on without them.
    engineFailed_ = true;
    std::fprintf(stderr, "vellumark: no web view: %s\n", engineError_.c_str());
    return nullptr;
  }
  WebEngineEvents events;
  events.pageLink = [this](const QUrl& url) { pageLinkClicked(url); };
  events.fileLink = [this](const QUrl& url) { return fileLinkClicked(url); };
  events.copy = [this] {
    if (onCopyCommand) onCopyCommand();
  };
  events.titleOrUrlChanged = [this] { titleChanged(); };
  events.loadEnded = [this](WebEngineEvents::LoadEnd end, const QUrl& url, int errorCode, bool isErrorPage) {
    loadEnded(end, url, errorCode, isErrorPage);
  };
  events.printFinished = [this](bool ok) { printDone(ok); };
  view_.reset(make(host_, events));
  return view_ && view_->widget() ? view_.get() : nullptr;
}

void QtWebView::loadEnded(WebEngineEvents::LoadEnd end, const QUrl& url, int errorCode, bool isErrorPage) {
  using End = WebEngineEvents::LoadEnd;
  // A refused page link ends as a stopped load of its own; it is no page.
  if (isPageLink(url) ||
      (!refusedFile_.isEmpty() && url.adjusted(QUrl::RemoveFragment | QUrl::RemoveQuery) == refusedFile_)) {
    if (!pendingLink_.empty()) {
      QPointer<QtWebView> self(this);
      QTimer::singleShot(kLinkAfterStopMs, this, [self] {
        if (self) self->handOnPageLink();
      });
    }
    return;
  }
  if (end == End::Stopped && isBlank(url)) return;
  // A page shown right after a refused link now and then ends "failed"
  // with no error at all, though it loaded.
  const bool ok = end == End::Succeeded || (end == End::Failed && errorCode == 0 && !isErrorPage);
  if (onLoadFinished) onLoadFinished(ok, url.toString(QUrl::FullyEncoded).toStdString());
}

QWidget* QtWebView::view() const { return view_ ? view_->widget() : nullptr; }

bool QtWebView::loading() const { return view_ && view_->isLoading(); }

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
  if (navigations_ == before && view()) view_->setUrl(QUrl(QStringLiteral("about:blank")));
}

std::string QtWebView::currentTitle() const {
  if (!view()) return {};
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
  if (WebEngine* v = ensureView()) v->setUrl(urlFor(pathOrUrl));
}

bool QtWebView::back() { return view() && view_->back(); }

bool QtWebView::forward() { return view() && view_->forward(); }

bool QtWebView::refresh() {
  if (!view() || view_->url().isEmpty()) return false;
  view_->reload();
  return true;
}

void QtWebView::stop() {
  if (view()) view_->stop();
}

bool QtWebView::print(const std::string& header) {
  if (!view() || printing_ || view_->url().isEmpty()) return false;
  // Without a screen there is nobody to answer the print dialog.
  const QString platform = QGuiApplication::platformName();
  if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal")) return false;
  auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
  {
    QPrintDialog dialog(printer.get(), view()->window());
    if (dialog.exec() != QDialog::Accepted) return false;
  }
  if (!view() || !printer->isValid()) return false;
  // The engine hands each page to the printer as a picture at the printer's
  // resolution; beyond 300 dpi that only costs time and memory.
  if (printer->resolution() > kMaxPrintDpi) printer->setResolution(kMaxPrintDpi);
  if (!printTo(printer.get(), header)) return false;
  ownPrinter_ = std::move(printer);
  return true;
}

bool QtWebView::printTo(QPrinter* printer, const std::string& header) {
  if (!view() || !printer || printing_ || view_->url().isEmpty()) return false;
  printing_ = true;
  QPointer<QtWebView> self(this);
  view_->runScript(headerScript(header), [self, printer](const QVariant&) {
    // The engine prints, or reports a failure when its view is gone.
    if (self && self->view_) self->view_->print(printer);
  });
  return true;
}

void QtWebView::printDone(bool ok) {
  if (!printing_) return;
  printing_ = false;
  if (view()) view_->runScript(removeHeaderScript(), nullptr);
  // The engine may still be in its own call that used the printer.
  if (QPrinter* p = ownPrinter_.release()) QTimer::singleShot(0, [p] { delete p; });
  if (onPrintFinished) onPrintFinished(ok);
}

std::string QtWebView::title() { return currentTitle(); }

void QtWebView::copySelection() {
  if (!view()) return;
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
