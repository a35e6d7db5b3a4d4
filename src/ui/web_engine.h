#pragma once
// The web engine's side of the web view. It lives in a module of its own
// (libvellumark_web.so) that is loaded the first time a page is shown: the
// engine's libraries take tens of megabytes and a good part of a second to
// load, and a session that shows no page never needs them. QtWebView drives
// the engine through this interface only, so the program itself does not
// link the engine.
#include <QString>
#include <QUrl>
#include <QVariant>
#include <functional>
#include <string>

class QPrinter;
class QWidget;

namespace vm::ui {

// The one item of the page's context menu.
inline constexpr char kWebCopyItem[] = "    Copy   ";

// What the engine reports, always from the event loop.
struct WebEngineEvents {
  // A "tn:" page link was clicked; the engine does not go there.
  std::function<void(const QUrl&)> pageLink;
  // A link to a local file was clicked: true when the program takes it, and
  // then the engine does not go there.
  std::function<bool(const QUrl&)> fileLink;
  // "Copy" was chosen in the page's context menu.
  std::function<void()> copy;
  // The page's title or address changed.
  std::function<void()> titleOrUrlChanged;
  // A load ended (not reported when it starts).
  enum class LoadEnd { Succeeded, Stopped, Failed };
  std::function<void(LoadEnd end, const QUrl& url, int errorCode, bool isErrorPage)> loadEnded;
  std::function<void(bool ok)> printFinished;
};

class WebEngine {
 public:
  virtual ~WebEngine() = default;
  // The view widget, a child of the parent it was made with; it stays with
  // that parent when the engine object goes (then it reports nothing more).
  virtual QWidget* widget() const = 0;
  virtual void setUrl(const QUrl& url) = 0;
  virtual QUrl url() const = 0;
  virtual QString title() const = 0;
  virtual bool isLoading() const = 0;
  // False when the history has no page that way.
  virtual bool back() = 0;
  virtual bool forward() = 0;
  virtual void reload() = 0;
  virtual void stop() = 0;
  virtual QString selectedText() const = 0;
  // Runs a script in the program's own world; done gets its result.
  virtual void runScript(const QString& code, std::function<void(const QVariant&)> done) = 0;
  // Prints the page; printFinished follows.
  virtual void print(QPrinter* printer) = 0;
};

// The module's entry point, looked up by kWebEngineEntry.
using WebEngineFactory = WebEngine* (*)(QWidget* parent, const WebEngineEvents& events);
inline constexpr char kWebEngineEntry[] = "vellumark_web_engine_create";
inline constexpr char kWebEngineModule[] = "libvellumark_web.so";

// Loads the module once (later calls give the same answer): from
// $VELLUMARK_WEB_MODULE when set, else beside the executable, else from the
// installed library folder. Before it loads, the application is prepared
// for the engine (one OpenGL context shared by all). Null when the module
// cannot be loaded; error then says why.
WebEngineFactory loadWebEngine(std::string* error);

}  // namespace vm::ui
