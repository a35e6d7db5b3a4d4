#pragma once
// The running window's local socket, and a later start's hand-over to it.
// Requests arrive at any moment; they are carried out once the window is
// free (no dialog open, no long work running), one at a time, in order.
#include <QObject>
#include <QString>
#include <QTimer>
#include <deque>
#include <functional>
#include <string>

class QLocalServer;

namespace vm::ui {

enum class HandOver {
  NoWindow,    // nothing listens there (or a socket left by a program that is gone)
  Taken,       // the running window took the file
  NoAnswer,    // something listens but did not answer in time
};

// Sends file (empty: only bring the window to the front) to the window
// listening at socketPath and waits up to timeoutMs for its answer.
HandOver handOverTo(const QString& socketPath, const std::string& file, int timeoutMs);

class InstanceServer : public QObject {
  Q_OBJECT
 public:
  explicit InstanceServer(QObject* parent = nullptr);
  ~InstanceServer() override;

  // Listens at socketPath. A socket file whose program is gone is removed
  // first; false when another program listens there or listening fails.
  bool listen(const QString& socketPath);
  QString socketPath() const;

  // True when a request may be carried out now.
  std::function<bool()> ready;
  // Carries out one request: the file's path, empty to come to the front.
  std::function<void(const std::string& path)> onRequest;

 private:
  void accept();
  void runWaiting();

  QLocalServer* server_;
  QTimer retry_;
  std::deque<std::string> waiting_;
};

}  // namespace vm::ui
