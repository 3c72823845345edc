#include "oracle/connection.h"

namespace qv {

DatabaseOpener defaultDatabaseOpener() { return nullptr; }

}  // namespace qv
