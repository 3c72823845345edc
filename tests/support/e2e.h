#pragma once

#include "app/frmmain.h"
#include "app/mdimain.h"
#include "support/tempstore.h"

#include <gtest/gtest.h>
#include <QString>
#include <QTemporaryDir>

namespace qv::test {

// A frame with one query window, a fresh settings store and a sample database of its own, so
// a test runs as a first start on a new machine would.
class WindowTest : public ::testing::Test {
  protected:
    WindowTest();
    ~WindowTest() override;

    // Logs the current window in through the login dialog, typed as a user would.
    void login(const QString& service, const QString& user, const QString& pass = QString());
    // Fills in and accepts the login dialog the next time it shows.
    void answerLogin(const QString& service, const QString& user, const QString& pass = QString());
    // Types `sql` into the SQL box and presses 実 行.
    void run(const QString& sql);

    FrmMain* form() { return frame->activeForm(); }
    QueryWindowModel& model() { return form()->model(); }
    QString line(WindowState::Line l) { return model().state().line(l); }
    // The value the statistics grid shows for the statistic called `name`; empty when absent.
    QString statValue(const QString& name);

    TempStore store;
    QTemporaryDir sampleDir;
    QTemporaryDir historyDir;
    std::unique_ptr<MdiMain> frame;
};

}  // namespace qv::test
