#pragma once

#include <QString>

class QLabel;
class QMessageBox;

namespace qv {

// Text from the server, the driver or the user (an error, an object name, a statement, a path)
// is shown as it is: a label, a tooltip or a message box would otherwise take text that looks
// like HTML for markup, and a server's error could pass for a success.

// Makes `label` show its text literally; returns it.
QLabel* plainLabel(QLabel* label);
// Makes `box` show its text literally; returns it.
QMessageBox& plainBox(QMessageBox& box);
// A tooltip that shows `text` literally, its lines as they are; empty for an empty text. A
// tooltip guesses whether its text is markup, so the text is escaped and marked as rich text.
QString plainToolTip(const QString& text);

}  // namespace qv
