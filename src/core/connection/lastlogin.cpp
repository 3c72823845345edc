#include "core/connection/lastlogin.h"

#include "core/settings/settingsstore.h"

namespace qv {

LoginValues recallLastLogin(SettingsStore& store) {
    LoginValues values;
    store.read(kLastServiceKey, values.service);
    store.read(kLastUserKey, values.user);
    return values;
}

void rememberLastLogin(SettingsStore& store, const LoginValues& login) {
    store.beginBatch();
    store.write(kLastServiceKey, login.service);
    store.write(kLastUserKey, login.user);
    store.endBatch();
}

LoginField firstEmptyLoginField(const LoginValues& values) {
    if (values.service.isEmpty())
        return LoginField::Service;
    if (values.user.isEmpty())
        return LoginField::User;
    return LoginField::Password;
}

}  // namespace qv
