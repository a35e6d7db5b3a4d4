// The web engine module: the page view on QtWebEngine, made by
// vellumark_web_engine_create when the first page is shown.
#include <QAction>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QMenu>
#include <QPointer>
#include <QVBoxLayout>
#include <QWebEngineHistory>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include "ui/web_engine.h"

namespace vm::ui {

namespace {

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

bool isPageLink(const QUrl& url) {
  const QString text = url.toString();
  return text.size() >= 3 && text.startsWith(QLatin1String("tn:"), Qt::CaseInsensitive);
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
    if (isPageLink(url)) {
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
    QAction* copy = menu->addAction(QString::fromLatin1(kWebCopyItem));
    connect(copy, &QAction::triggered, this, [this] {
      if (onCopy) onCopy();
    });
    menu->popup(e->globalPos());
    e->accept();
  }
};

class Engine : public QObject, public WebEngine {
 public:
  Engine(QWidget* parent, const WebEngineEvents& events) : events_(events) {
    auto* view = new PageView(parent);
    view_ = view;
    view->setObjectName(QStringLiteral("webView"));
    view->onCopy = [this] {
      if (events_.copy) events_.copy();
    };
    auto* page = new LinkPage(view);
    page->onPageLink = [this](const QUrl& url) {
      if (events_.pageLink) events_.pageLink(url);
    };
    page->onFileLink = [this](const QUrl& url) { return events_.fileLink && events_.fileLink(url); };
    QWebEngineSettings* s = page->settings();
    // The program's pages are local files that show local pictures and the
    // style sheet; they may not reach out to the network.
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    s->setAttribute(QWebEngineSettings::JavascriptEnabled, true);
    // Notes are UTF-8; pages that do not name their encoding are read as
    // such unless the engine's own detection decides otherwise.
    s->setDefaultTextEncoding(QStringLiteral("utf-8"));
    // Without this a page link clicked by a script is dropped before the
    // page is asked about it.
    s->setUnknownUrlSchemePolicy(QWebEngineSettings::AllowAllUnknownUrlSchemes);

    QWebEngineScript fit;
    fit.setName(QStringLiteral("vellumark-image-fit"));
    fit.setSourceCode(QString::fromLatin1(kImageFitSource));
    fit.setInjectionPoint(QWebEngineScript::DocumentReady);
    fit.setWorldId(QWebEngineScript::ApplicationWorld);
    fit.setRunsOnSubFrames(false);
    page->scripts().insert(fit);
    view->setPage(page);

    connect(page, &QWebEnginePage::titleChanged, this, [this] { changed(); });
    connect(page, &QWebEnginePage::urlChanged, this, [this] { changed(); });
    connect(page, &QWebEnginePage::loadingChanged, this, [this](const QWebEngineLoadingInfo& info) {
      if (info.status() == QWebEngineLoadingInfo::LoadStartedStatus || !events_.loadEnded) return;
      using End = WebEngineEvents::LoadEnd;
      const End end = info.status() == QWebEngineLoadingInfo::LoadSucceededStatus ? End::Succeeded
                      : info.status() == QWebEngineLoadingInfo::LoadStoppedStatus ? End::Stopped
                                                                                   : End::Failed;
      events_.loadEnded(end, info.url(), info.errorCode(), info.isErrorPage());
    });
    connect(view, &QWebEngineView::printFinished, this, [this](bool ok) {
      if (events_.printFinished) events_.printFinished(ok);
    });
    if (parent && parent->layout()) parent->layout()->addWidget(view);
    view->show();
  }

  ~Engine() override {
    // The view stays with its parent; it must not reach this any more.
    if (auto* view = static_cast<PageView*>(view_.data())) {
      view->onCopy = nullptr;
      auto* page = static_cast<LinkPage*>(view->page());
      page->onPageLink = nullptr;
      page->onFileLink = nullptr;
    }
  }

  QWidget* widget() const override { return view_; }
  void setUrl(const QUrl& url) override {
    if (view_) view_->setUrl(url);
  }
  QUrl url() const override { return view_ ? view_->url() : QUrl(); }
  QString title() const override { return view_ ? view_->title() : QString(); }
  bool isLoading() const override { return view_ && view_->page()->isLoading(); }
  bool back() override {
    if (!view_ || !view_->history()->canGoBack()) return false;
    view_->back();
    return true;
  }
  bool forward() override {
    if (!view_ || !view_->history()->canGoForward()) return false;
    view_->forward();
    return true;
  }
  void reload() override {
    if (view_) view_->reload();
  }
  void stop() override {
    if (view_) view_->stop();
  }
  QString selectedText() const override { return view_ ? view_->selectedText() : QString(); }
  void runScript(const QString& code, std::function<void(const QVariant&)> done) override {
    if (!view_) return;
    if (done)
      view_->page()->runJavaScript(code, QWebEngineScript::ApplicationWorld, std::move(done));
    else
      view_->page()->runJavaScript(code, QWebEngineScript::ApplicationWorld);
  }
  void print(QPrinter* printer) override {
    if (view_)
      view_->print(printer);
    else if (events_.printFinished)
      events_.printFinished(false);
  }

 private:
  void changed() {
    if (events_.titleOrUrlChanged) events_.titleOrUrlChanged();
  }

  WebEngineEvents events_;
  QPointer<QWebEngineView> view_;
};

}  // namespace

}  // namespace vm::ui

extern "C" Q_DECL_EXPORT vm::ui::WebEngine* vellumark_web_engine_create(QWidget* parent,
                                                                       const vm::ui::WebEngineEvents& events) {
  return new vm::ui::Engine(parent, events);
}
