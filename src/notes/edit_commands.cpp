#include "notes/edit_commands.h"

#include <algorithm>

#include "core/commands.h"
#include "core/main_menus.h"
#include "notes/word_count.h"
#include "platform/text.h"

namespace vm {

namespace {

bool isBreak(char c) { return c == '\n' || c == '\r'; }

std::string withoutTrailingBlanks(std::string_view s) {
  std::size_t n = s.size();
  while (n > 0 && (s[n - 1] == ' ' || s[n - 1] == '\t')) --n;
  return std::string(s.substr(0, n));
}

std::string trimmed(std::string_view s) {
  std::size_t a = 0, b = s.size();
  while (a < b && (s[a] == ' ' || s[a] == '\t' || isBreak(s[a]))) ++a;
  while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t' || isBreak(s[b - 1]))) --b;
  return std::string(s.substr(a, b - a));
}

bool isHeader(int id) { return id == cmd::kFormatHeader || id == cmd::kFormatSubheader; }

}  // namespace

std::string headerBar(char c, std::string_view text, std::size_t selectedChars, const BarOptions& bar,
                      const TextMeasure& measure) {
  if (equalsNoCase(bar.lengthType, "TextExtent")) {
    const int width = measure ? measure(std::string(text)) : -1;
    if (width < 0) return {};
    std::string out;
    while (out.size() < kMaxBarLength && (out.empty() || measure(out) < width)) out += c;
    // An empty text is as wide as no bar at all.
    if (width == 0) out.clear();
    return out;
  }
  if (equalsNoCase(bar.lengthType, "TextLength")) return std::string(std::min(selectedChars, kMaxBarLength), c);
  return std::string(std::min<std::size_t>(std::max(bar.fixedLength, 0), kMaxBarLength), c);
}

std::optional<FormatEdit> formatEdit(int id, std::string_view text, std::size_t start, std::size_t end,
                                     const BarOptions& bar, const TextMeasure& measure,
                                     const std::optional<std::string>& clipboardText) {
  start = std::min(start, text.size());
  end = std::min(end, text.size());
  if (end < start) std::swap(start, end);
  FormatEdit edit{start, end, {}, false};
  if (isHeader(id) && start == end) {
    // An empty selection stands for the whole current line, when it has text.
    std::size_t a = start, b = start;
    while (a > 0 && !isBreak(text[a - 1])) --a;
    while (b < text.size() && !isBreak(text[b])) ++b;
    if (b > a) {
      edit.start = a;
      edit.end = b;
      edit.selectFirst = true;
    }
  }
  const std::size_t length = edit.end - edit.start;
  if (length > kMaxFormatSelection) return std::nullopt;
  const char barChar = id == cmd::kFormatHeader ? '=' : '-';
  if (length == 0) {
    switch (id) {
      case cmd::kFormatHeader:
      case cmd::kFormatSubheader:
        edit.replacement = std::string(std::min<std::size_t>(std::max(bar.fixedLength, 0), kMaxBarLength), barChar);
        return edit;
      case cmd::kFormatRule: edit.replacement = "* * *\n"; return edit;
      default: return std::nullopt;
    }
  }
  const std::string_view selected = text.substr(edit.start, length);
  const std::string body = withoutTrailingBlanks(selected);
  const bool atStart = edit.start == 0;
  const char before = atStart ? '\0' : text[edit.start - 1];
  const char* blank = !atStart && before != ' ' ? " " : "";
  const char* leadBreak = !atStart && !isBreak(before) ? "\n" : "";
  const char* trailBreak = edit.end < text.size() && isBreak(text[edit.end]) ? "" : "\n";
  switch (id) {
    case cmd::kFormatBold: edit.replacement = format("%s**%s** ", blank, body.c_str()); break;
    case cmd::kFormatItalics: edit.replacement = format("%s*%s* ", blank, body.c_str()); break;
    case cmd::kFormatStrike: edit.replacement = format("%s~~%s~~ ", blank, body.c_str()); break;
    case cmd::kFormatPageLink: edit.replacement = format("%s[ %s ] ", blank, body.c_str()); break;
    case cmd::kFormatHeader:
    case cmd::kFormatSubheader: {
      const std::string barText = headerBar(barChar, body, countChars(selected), bar, measure);
      edit.replacement = format("%s%s\n%s%s", leadBreak, body.c_str(), barText.c_str(), trailBreak);
      break;
    }
    case cmd::kFormatWebLink:
      if (clipboardText)
        edit.replacement = format("%s[ %s ](%s) ", blank, body.c_str(), clipboardText->c_str());
      else
        edit.replacement = body;
      break;
    case cmd::kFormatRule: edit.replacement = "* * *\n"; break;
    default: return std::nullopt;
  }
  return edit;
}

std::string clipboardTextForNote(Clipboard* clipboard) {
  if (!clipboard || !clipboard->hasText()) return {};
  const std::string raw = clipboard->text();
  std::string out;
  out.reserve(raw.size());
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] != '\r') {
      out += raw[i];
    } else {
      out += '\n';
      if (i + 1 < raw.size() && raw[i + 1] == '\n') ++i;
    }
  }
  return out;
}

bool runFormat(int id, TextEditor& editor, Clipboard* clipboard, const BarOptions& bar, std::string* status) {
  std::optional<std::string> address;
  const std::string text = editor.text();
  if (id == cmd::kFormatWebLink && editor.selectionStart() != editor.selectionEnd()) {
    std::string clip = trimmed(clipboardTextForNote(clipboard));
    if (clip.empty()) {
      if (status) *status = "No text on clipboard";
    } else {
      address = std::move(clip);
    }
  }
  auto edit = formatEdit(id, text, editor.selectionStart(), editor.selectionEnd(), bar,
                         [&editor](const std::string& t) { return editor.textWidth(t); }, address);
  if (!edit) return false;
  if (edit->selectFirst) editor.select(edit->start, edit->end);
  editor.replaceSelection(edit->replacement);
  return true;
}

std::vector<PopupItem> noteMenuItems(const NoteMenuState& s) {
  const bool sel = s.hasSelection;
  return {
      {cmd::kNoteUndo, "    Undo   ", true},
      {0, "", true},
      {cmd::kNoteCut, "    Cut   ", sel},
      {cmd::kNoteCopy, "    Copy   ", sel},
      {cmd::kNotePasteText, "    Paste Text  ", s.clipboardText},
      {cmd::kNotePasteImage, s.clipboardImage ? "    Paste Image " : "    Paste Image  ", s.clipboardImage},
      {cmd::kNoteSelectAll, "    Select All   ", s.firstLineNotEmpty},
      {cmd::kNoteLaunch, "    Launch Associated  ", sel},
      {0, "", true},
      {cmd::kFormatPageLink, "    Make selection a page link\t   [ ipsum ] ", sel},
      {0, "", true},
      {cmd::kFormatStrike, "    Strike out selection\t   ~~ipsum~~  ", sel},
      {cmd::kFormatBold, "    Make selection bold\t   **ipsum**  ", sel},
      {cmd::kFormatItalics, "    Make selection italics\t   *ipsum*  ", sel},
      {0, "", true},
      {cmd::kFormatHeader, "    Insert header\t   =====  ", true},
      {cmd::kFormatSubheader, "    Insert subheader\t   ------------  ", true},
      {cmd::kFormatRule, "    Insert line\t   * * *  ", true},
      {0, "", true},
      {cmd::kFormatWebLink, "    Make a web link\t   [ ipsum ](https://example.org)  ", s.clipboardText && sel},
      {0, "", true},
      {cmd::kLinksToNote, kTextLinksToNote, true},
  };
}

std::vector<NoteAccelerator> noteAccelerators() {
  return {{"Ctrl+H", cmd::kCtrlH}, {"Ctrl+U", cmd::kCtrlU}, {"Ctrl+L", cmd::kCtrlL}};
}

}  // namespace vm
