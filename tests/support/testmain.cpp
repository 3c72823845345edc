#include <gtest/gtest.h>
#include "gui/qttranslations.h"

#include <QApplication>

// Every test executable gets a QApplication (offscreen under CTest), so widget tests and
// core tests share one main.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    qv::installQtTranslations(app);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
