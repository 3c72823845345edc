#pragma once

#include "core/connection/connectionservice.h"

namespace qv {

class SettingsStore;

// The service and user of the last accepted login, kept in the settings store under
// kLastServiceKey and kLastUserKey so that a new window, or the next start of the program, is
// offered them. The password is never stored.
inline const QString kLastServiceKey = QStringLiteral("s_last_dbq");
inline const QString kLastUserKey = QStringLiteral("s_last_uid");

// The service and user `store` holds (empty when none); the password is empty.
LoginValues recallLastLogin(SettingsStore& store);
// Stores the service and user of `login` in `store`; failures are not reported.
void rememberLastLogin(SettingsStore& store, const LoginValues& login);

// The box of the login dialog that takes the focus: the first one still empty (service, then
// user), else the password.
enum class LoginField { Service, User, Password };
LoginField firstEmptyLoginField(const LoginValues& values);

}  // namespace qv
