#pragma once
// The one-line text dialog on Qt: a modal input dialog titled "Vellumark".
#include <QPointer>
#include <QWidget>

#include "platform/ports.h"

namespace vm::ui {

class QtLineInput : public LineInput {
 public:
  explicit QtLineInput(QWidget* parent = nullptr) : parent_(parent) {}
  void setParent(QWidget* parent) { parent_ = parent; }
  std::optional<std::string> ask(const std::string& prompt, const std::string& initial) override;

 private:
  QPointer<QWidget> parent_;
};

}  // namespace vm::ui
