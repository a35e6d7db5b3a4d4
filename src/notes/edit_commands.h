#pragma once
// The note editor's editing commands: Markdown emphasis, links, headers and
// rules made from the selection, clipboard text pasted in, and the note's
// context menu (its items, texts and enabled states).
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ports.h"

namespace vm {

// Longest selection a formatting command works on, in bytes.
inline constexpr std::size_t kMaxFormatSelection = 999;
// Longest header or subheader bar, in characters.
inline constexpr std::size_t kMaxBarLength = 260;

// How long a header or subheader bar is made.
struct BarOptions {
  std::string lengthType = "TextExtent";  // HeaderBarLengthType: "TextExtent", "TextLength" or a fixed length
  int fixedLength = 40;                   // HeaderLenInt
};

// The selection a formatting command found, and what replaces it.
struct FormatEdit {
  std::size_t start = 0, end = 0;  // bytes of the editor's text; the range replaced
  std::string replacement;
  bool selectFirst = false;  // the range is a widened line: select it before replacing
};

// What formatting command id (bold, italics, strike-out, page link, header,
// subheader, web link, rule) makes of the selection [start, end) of text
// (LF line ends). Header and subheader on an empty selection widen it to the
// current line when that line is not empty. measure gives the pixel width of
// a text in the editor's font (-1: cannot be measured). clipboardText is
// the web link's address (nullopt: the clipboard holds none). nullopt when
// the command does nothing here: no selection for a command that needs one,
// more than kMaxFormatSelection bytes, an unknown id.
using TextMeasure = std::function<int(const std::string&)>;
std::optional<FormatEdit> formatEdit(int id, std::string_view text, std::size_t start, std::size_t end,
                                     const BarOptions& bar, const TextMeasure& measure,
                                     const std::optional<std::string>& clipboardText);

// The bar of c under a header or subheader whose selected text is text
// (trailing blanks removed) and whose selection was selectedChars
// characters long.
std::string headerBar(char c, std::string_view text, std::size_t selectedChars, const BarOptions& bar,
                      const TextMeasure& measure);

// Runs a formatting command on the editor: reads the selection, replaces it
// (undoable). False when nothing changed. status gets a message for the
// status line when there is one ("No text on clipboard" for a web link
// without an address).
bool runFormat(int id, TextEditor& editor, Clipboard* clipboard, const BarOptions& bar, std::string* status);

// Clipboard text for the note editor: CR LF and lone CR become LF. Empty
// when the clipboard holds no text.
std::string clipboardTextForNote(Clipboard* clipboard);

// What the note's context menu needs to know to build itself.
struct NoteMenuState {
  bool hasSelection = false;
  bool clipboardText = false;
  bool clipboardImage = false;
  bool firstLineNotEmpty = false;
};
// The note editor's context menu, in order, separators as id 0.
std::vector<PopupItem> noteMenuItems(const NoteMenuState& state);

// A key chord of the note's commands, for the window's accelerator table.
struct NoteAccelerator {
  const char* keys;
  int id;
};
// Ctrl+H header, Ctrl+U subheader, Ctrl+L rule.
std::vector<NoteAccelerator> noteAccelerators();

}  // namespace vm
