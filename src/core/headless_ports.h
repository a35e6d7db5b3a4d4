#pragma once
// Headless stand-ins for the note editor and the Multibar when the program
// runs without a window (benchmarks, tools): they keep text and nothing else.
#include <string>

#include "platform/ports.h"
#include "platform/text.h"

namespace vm {

class HeadlessEditor : public TextEditor {
 public:
  std::string text() override { return text_; }
  void setText(const std::string& t) override {
    text_ = t;
    chars_ = countChars(text_);
  }
  void setEnabled(bool on) override { enabled_ = on; }
  bool isEnabled() override { return enabled_; }
  void setVisible(bool) override {}
  void setWordWrap(bool) override {}
  void focus() override {}
  std::size_t selectionStart() override { return 0; }
  std::size_t selectionEnd() override { return 0; }
  void replaceSelection(const std::string& t) override {
    if (readOnly_) return;
    text_ = t + text_;
    chars_ += countChars(t);
  }
  int scrollPosition() override { return 0; }
  void setReadOnly(bool on) override { readOnly_ = on; }
  std::size_t characterCount() override { return chars_; }

 private:
  std::string text_;
  std::size_t chars_ = 0;
  bool enabled_ = false;
  bool readOnly_ = false;
};

class HeadlessLine : public LineEditor {
 public:
  std::string text() override { return text_; }
  void setText(const std::string& t) override { text_ = t; }
  void insertAtCaret(const std::string& t) override { text_ += t; }
  void selectAll() override {}

 private:
  std::string text_;
};

}  // namespace vm
