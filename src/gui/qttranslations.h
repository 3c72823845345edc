#pragma once

class QCoreApplication;

namespace qv {

// Qt's own texts (the standard buttons of message boxes, the context menus of text boxes) in
// Japanese, like the rest of the program, from the translations Qt is installed with. False
// when they are missing: Qt then shows its English texts.
bool installQtTranslations(QCoreApplication& app);

}  // namespace qv
