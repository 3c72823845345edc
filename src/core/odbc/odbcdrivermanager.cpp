#include "core/odbc/odbcdrivermanager.h"

#include "core/odbc/odbchandles.h"

#include <algorithm>

namespace qv {

namespace {

// Longer than any driver name; the attributes are not wanted, and cutting them short is only a
// warning.
constexpr SQLSMALLINT kNameCapacity = 1024;
constexpr SQLSMALLINT kAttributesCapacity = 2;

// The next driver's name; false after the last one.
bool nextDriver(const EnvHandle& env, SQLUSMALLINT direction, QString& name) {
    SQLSMALLINT nameLength = 0, attributesLength = 0;
#ifdef _WIN32
    SQLWCHAR buffer[kNameCapacity] = {};
    SQLWCHAR attributes[kAttributesCapacity] = {};
    const SQLRETURN rc =
        env.check(SQLDriversW(env.get(), direction, buffer, kNameCapacity, &nameLength, attributes,
                              kAttributesCapacity, &attributesLength));
#else
    // unixODBC widens the bytes of odbcinst.ini one by one in the wide call; the narrow call
    // gives them as they are, in the locale's encoding.
    SQLCHAR buffer[kNameCapacity] = {};
    SQLCHAR attributes[kAttributesCapacity] = {};
    const SQLRETURN rc =
        env.check(SQLDrivers(env.get(), direction, buffer, kNameCapacity, &nameLength, attributes,
                             kAttributesCapacity, &attributesLength));
#endif
    if (rc == SQL_NO_DATA)
        return false;
#ifdef _WIN32
    name = fromOdbcBuffer(buffer, nameLength, kNameCapacity);
#else
    const qsizetype length = std::clamp<qsizetype>(nameLength, 0, kNameCapacity - 1);
    name = QString::fromLocal8Bit(reinterpret_cast<const char*>(buffer), length);
#endif
    return true;
}

}  // namespace

QStringList installedOdbcDrivers() {
    QStringList drivers;
    try {
        const EnvHandle env = EnvHandle::create();
        QString name;
        for (SQLUSMALLINT direction = SQL_FETCH_FIRST; nextDriver(env, direction, name);
             direction = SQL_FETCH_NEXT)
            drivers.append(name);
    } catch (const DbError&) {
        return {};
    }
    return drivers;
}

QString odbcDriverManagerVersion() {
    try {
        const EnvHandle env = EnvHandle::create();
        const DbcHandle dbc = DbcHandle::create(env);
        SQLCHAR buf[64] = {};
        SQLSMALLINT len = 0;
        if (SQL_SUCCEEDED(SQLGetInfo(dbc.get(), SQL_DM_VER, buf, sizeof buf, &len)))
            return QString::fromLatin1(reinterpret_cast<const char*>(buf)).trimmed();
    } catch (const DbError&) {
        // No driver manager to ask: the version stays unknown.
    }
    return QString();
}

}  // namespace qv
