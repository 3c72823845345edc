#pragma once

#include "gui/mainframe.h"
#include "gui/querywindow.h"
#include "support/checks.h"
#include "support/tempprogram.h"

#include <gtest/gtest.h>
#include <QString>
#include <QTemporaryDir>

#include <functional>

namespace qv::test {

// A frame with one query window, a fresh settings store and a sample database of its own, so
// a test runs as a first start on a new machine would.
class WindowTest : public ::testing::Test {
  protected:
    WindowTest();
    ~WindowTest() override;

    // Logs the current window in through the login dialog, typed as a user would.
    void login(const QString& service, const QString& user, const QString& password = QString());
    // Fills in and accepts the login dialog the next time it shows.
    void answerLogin(const QString& service, const QString& user,
                     const QString& password = QString());
    // Types `sql` into the SQL box and presses 実 行, then waits for the run to end.
    void run(const QString& sql);
    // The same without waiting.
    void start(const QString& sql);
    // Turns the event loop until `done` holds or `ms` milliseconds pass; whether it held.
    static bool waitUntil(const std::function<bool()>& done, int ms = 60'000);

    QueryWindow* window() { return frame->activeQueryWindow(); }
    QueryWindowModel& model() { return window()->model(); }
    QString line(WindowState::Line l) { return model().state().line(l); }
    // The value the statistics grid shows for the statistic called `name`; empty when absent.
    QString statValue(const QString& name);
    ProgramState& program() { return tmp.program(); }

    TempProgram tmp;
    QTemporaryDir sampleDir;
    QTemporaryDir historyDir;
    std::unique_ptr<MainFrame> frame;
};

}  // namespace qv::test
