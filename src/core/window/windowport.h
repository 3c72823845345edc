#pragma once

#include "core/connection/connectionservice.h"
#include "core/tuning/runwindow.h"

#include <QString>

#include <optional>

namespace qv {

// What only the window on the screen can do for the window's logic: the SQL box, focus,
// immediate repaint, modal questions and text measurement. The query window widget implements
// it; tests and the headless runner implement it too.
class WindowPort {
  public:
    virtual ~WindowPort() = default;

    // The SQL box's text exactly as typed.
    virtual QString sqlText() const = 0;
    // Replaces the whole text and puts the caret after its last character.
    virtual void setSqlText(const QString& text) = 0;
    // Replaces the selection (or inserts at the caret); the caret ends after the new text.
    virtual void replaceSqlSelection(const QString& text) = 0;
    virtual void focusSql() = 0;
    // Puts the caret at character `position` of the SQL box and marks its line, where the server
    // stopped reading the statement it refused; -1 takes the mark away. The box takes the mark
    // away itself at the next edit. Nothing where there is no box to mark.
    virtual void markSqlError(qsizetype position) { (void)position; }

    // Paints the window at once, before the thread blocks in a database call.
    virtual void repaintNow() = 0;

    // Modal Yes/No/Cancel question with Yes as the default and the application's title.
    virtual Answer ask(const QString& text) = 0;
    // Modal Yes/No question with the application's title and `preset` as the button Enter
    // presses; true for Yes. A question before something that cannot be undone presets No.
    virtual bool confirm(const QString& text, Answer preset) = 0;
    // Modal message box with an OK button.
    virtual void showMessage(const QString& text, const QString& title) = 0;
    // A passing note in the status bar: why a command did nothing, for instance.
    virtual void showStatus(const QString& text) = 0;
    // Runs the login dialog preset with `values`; true and the accepted values when the user
    // connects, false when the dialog is cancelled or closed.
    virtual bool runLoginDialog(LoginValues& values) = 0;

    // The bind dialog, one line for each of `prefilled`'s variables with the type and value
    // offered; the values to run with, or nothing when the user abandons the run.
    virtual std::optional<BindList> askBinds(const BindList& prefilled) = 0;

    // Width in twips of one blank in the window's font.
    virtual double twipsPerBlank() const = 0;
};

}  // namespace qv
