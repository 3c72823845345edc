#include "core/internalerror.h"

#include <exception>

namespace qv {

QString currentExceptionText() {
    try {
        throw;
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QString();
    }
}

QString internalErrorMessage(const QString& text) {
    return text.isEmpty() ? kMsgInternalError : kMsgInternalError + u'\n' + text;
}

}  // namespace qv
