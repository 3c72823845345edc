#include "gui/qttranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace qv {

bool installQtTranslations(QCoreApplication& app) {
    auto* translator = new QTranslator(&app);
    // qt_ja is the catalogue that takes in qtbase_ja and the other modules' texts.
    if (!translator->load(QStringLiteral("qt_ja"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

}  // namespace qv
