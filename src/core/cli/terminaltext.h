#pragma once

#include <QString>

namespace qv {

// Text the command line prints as text (not JSON) comes from the server, the history file and
// the user; on a terminal an ESC in it would start an escape sequence, a TAB would shift the
// columns and a line break would split a row. So each value is printed on one line, its control
// characters written as escapes: \t, \n, \r, \x1b (\xNN for any other of U+0000..U+001F,
// U+007F..U+009F), \u2028 for a character that breaks a line or turns the line's direction
// (U+2028, U+2029, U+202A..U+202E, U+2066..U+2069), and a backslash as \\, so that every escape
// reads back to one character. JSON output escapes them itself.
QString terminalText(const QString& value);

// The same for a whole document whose lines are its own (the comparison's Markdown): its line
// breaks stay, and so do its backslashes, which are the document's own escapes.
QString terminalDocument(const QString& document);

}  // namespace qv
