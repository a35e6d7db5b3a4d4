#pragma once
// The CSV file format: reading a file (or bytes) into a CellTable, and
// writing one field with the quoting rules.
//
// Reading. Nothing is decoded: cell texts are the file's bytes. With
// checkForBom a leading EF BB BF is skipped. A NUL byte ends the input.
// Tokens, with D the delimiter:
//  - CR LF or LF at the start of a token: a line end.
//  - Otherwise blanks (byte 32) are skipped; a double quote then opens a
//    quoted field.
//  - An unquoted field runs to D (taken: more fields follow), to LF or CR LF
//    (taken: the last field of the line) or to the end of the input. A lone
//    CR is text; trailing blanks stay.
//  - A quoted field runs to a double quote not followed by another one; a
//    pair of quotes inside is text. D, CR and LF inside are text. The end of
//    the input inside makes it the last field of the input. A D right after
//    the closing quote is taken too. Either way more fields may follow, so a
//    line that ends right after a closing quote ends with a separate line end.
// Every field has each pair of double quotes turned into one quote. A quoted
// field has its pairs reduced in the table's copy of the bytes while it is
// read, a chunk at a time, so that even a huge one is held once; the table
// notes each such field (TableSource::squeezed) and gives its bytes back as
// read for saving.
// Assembly: fields go to (row, column), column + 1 after each; a line end
// moves to the next row. The table has as many columns as its widest line
// (at most kMaxColumns): a line holds one field per field token, plus an empty
// one when it ends right after a delimiter; a line end after a closing quote
// adds none. Empty fields at the end of a line take no room. An empty line
// makes no row. Row 0 starts out holding the marker "$BLANK$CELL$", which the
// first field of the first line replaces. The read succeeds only when at
// least one line end was read.
//
// Encoding. Bytes that are valid UTF-8 are the cell texts as they stand; any
// other file is read as Windows-1252 and its texts decoded to UTF-8. The
// table keeps the file's bytes and where each row's line lies in them, so a
// save can write back unchanged rows byte for byte.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sheet/cell_table.h"

namespace vm {

class Pump;

inline constexpr std::string_view kBlankCellMarker = "$BLANK$CELL$";
// Columns a sheet can have; fields of a line beyond this are dropped.
inline constexpr int kMaxColumns = 1 << 24;
inline constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// The delimiter a setting value gives: its first byte; "," for an empty value
// or for a byte that cannot separate fields (a double quote, CR, LF, NUL).
char delimiterFrom(std::string_view setting);

struct CsvLoad {
  enum class Status {
    Loaded,
    Unreadable,  // missing, not a regular file, or a read error; error says why
    NoLineEnd,   // read, but no line end: the file does not open
    Cancelled,   // the pump asked to stop
  };
  Status status = Status::Unreadable;
  std::string error;
  CellTable table;
  std::uint64_t bytes = 0;  // input bytes read
  bool legacy() const { return table.source().legacy; }
  bool ok() const { return status == Status::Loaded; }
};

// Parses bytes held in memory.
CsvLoad readCsv(std::string_view bytes, char delimiter, bool checkForBom);

// Reads a file in chunks, then parses it in chunks. Between chunks
// pump->step() runs (when pump is set) and a true answer stops the read: the
// result is Cancelled and holds nothing. Once the read has run longer than a
// moment, pump->progress() gets the percentage done, and -1 at the end.
// chunkBytes is how much is read or parsed per step (0: the default of 1 MB).
CsvLoad readCsvFile(const std::string& path, char delimiter, bool checkForBom, Pump* pump = nullptr,
                    std::size_t chunkBytes = 0);

// Appends one field to out with the quoting rules of saving: a text holding
// a double quote goes between quotes with every quote doubled; else a text
// holding D, CR or LF (headerLine: holding D), or beginning or ending with a
// blank, goes between quotes; else it is written plain. An empty text writes
// nothing. alwaysQuote puts any text, an empty one too, between quotes.
void appendCsvField(std::string& out, std::string_view text, char delimiter, bool headerLine = false,
                    bool alwaysQuote = false);

// One field of a line as the reader splits it: its raw bytes [begin, end)
// within the line (leading blanks and quotes included, the delimiter after
// it not) and its text as read (UTF-8; legacy: decoded from Windows-1252).
struct CsvField {
  std::size_t begin = 0;
  std::size_t end = 0;
  std::string text;
};
// Splits the content of one line (without its line end) into its fields,
// exactly as reading the file did. A line ending right after a delimiter has
// an empty last field.
std::vector<CsvField> splitCsvLine(std::string_view line, char delimiter, bool legacy);

}  // namespace vm
