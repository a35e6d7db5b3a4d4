#include "ui/single_instance.h"

#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <memory>

#include "core/single_instance.h"

namespace vm::ui {

namespace {

constexpr int kConnectMs = 1000;
constexpr int kProbeMs = 300;
constexpr int kRetryMs = 200;

}  // namespace

HandOver handOverTo(const QString& socketPath, const std::string& file, int timeoutMs) {
  QLocalSocket socket;
  socket.connectToServer(socketPath);
  if (!socket.waitForConnected(kConnectMs)) return HandOver::NoWindow;
  const std::string request = encodeOpenRequest(file);
  socket.write(request.data(), qint64(request.size()));
  QDeadlineTimer deadline(timeoutMs);
  std::string answer;
  while (answer.size() < kOpenRequestTaken.size()) {
    if (socket.bytesToWrite() > 0) socket.waitForBytesWritten(int(deadline.remainingTime()));
    if (deadline.hasExpired()) return HandOver::NoAnswer;
    if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(int(deadline.remainingTime())))
      return HandOver::NoAnswer;
    answer += socket.readAll().toStdString();
  }
  return answer.compare(0, kOpenRequestTaken.size(), kOpenRequestTaken) == 0 ? HandOver::Taken : HandOver::NoAnswer;
}

InstanceServer::InstanceServer(QObject* parent) : QObject(parent), server_(new QLocalServer(this)) {
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  connect(server_, &QLocalServer::newConnection, this, &InstanceServer::accept);
  retry_.setSingleShot(true);
  retry_.setInterval(kRetryMs);
  connect(&retry_, &QTimer::timeout, this, &InstanceServer::runWaiting);
}

InstanceServer::~InstanceServer() { server_->close(); }

QString InstanceServer::socketPath() const { return server_->fullServerName(); }

bool InstanceServer::listen(const QString& socketPath) {
  if (server_->listen(socketPath)) return true;
  if (server_->serverError() != QAbstractSocket::AddressInUseError) return false;
  // The file is there. Refused: its program is gone, the file is stale.
  QLocalSocket probe;
  probe.connectToServer(socketPath);
  if (probe.waitForConnected(kProbeMs)) return false;
  QLocalServer::removeServer(socketPath);
  return server_->listen(socketPath);
}

void InstanceServer::accept() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    auto reader = std::make_shared<OpenRequestReader>();
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket, reader] {
      reader->feed(socket->readAll().toStdString());
      while (auto path = reader->next()) {
        socket->write(kOpenRequestTaken.data(), qint64(kOpenRequestTaken.size()));
        waiting_.push_back(std::move(*path));
      }
      if (reader->broken()) socket->abort();
      if (!waiting_.empty() && !retry_.isActive()) retry_.start(0);
    });
  }
}

void InstanceServer::runWaiting() {
  while (!waiting_.empty()) {
    if (ready && !ready()) {
      retry_.start(kRetryMs);
      return;
    }
    const std::string path = std::move(waiting_.front());
    waiting_.pop_front();
    if (onRequest) onRequest(path);
  }
}

}  // namespace vm::ui
