// The command line's login (clilogin.h).
#include "core/cli/clilogin.h"

#include "core/connection/connectstring.h"
#include "core/connection/odbcdrivers.h"
#include "core/db/dberror.h"
#include "core/embedded/service/embeddedengine.h"

namespace qv {

std::optional<QString> completeLogin(CliLogin& login, const ProgramState& program,
                                     const CliTerminal& terminal) {
    if (login.passwordPrompt) {
        const std::optional<QString> typed =
            terminal.readPassword ? terminal.readPassword(QStringLiteral("Password: "))
                                  : std::nullopt;
        if (!typed)
            return QStringLiteral("--password-prompt needs a terminal to read from.");
        login.password = *typed;
    }
    if (login.driver.isEmpty() && !isEmbeddedService(login.service))
        login.driver =
            driverToUse(QString(), program.machine().odbcDrivers ? program.machine().odbcDrivers()
                                                                 : QStringList());
    return std::nullopt;
}

std::unique_ptr<Database> openSession(const CliLogin& login, const ProgramState& program) {
    const DatabaseOpener opener = program.databaseOpener();
    if (!opener)
        throw DbError(kErrOdbcCall, QStringLiteral("No database driver is available."));
    return opener(login.service,
                  buildConnectString(login.driver, login.service, login.user, login.password),
                  login.user);
}

CliLoginOptions::CliLoginOptions()
    : service(QStringLiteral("service"),
              QStringLiteral("Oracle net service name, or sqlite:sample / sqlite:<file> for the "
                             "embedded engine."),
              QStringLiteral("NAME")),
      user(QStringLiteral("user"), QStringLiteral("User name."), QStringLiteral("NAME")),
      password(QStringLiteral("password"),
               QStringLiteral("Password (prefer QUERVIN_PASSWORD or --password-prompt)."),
               QStringLiteral("TEXT")),
      passwordPrompt(QStringLiteral("password-prompt"),
                     QStringLiteral("Read the password from the terminal, without echo.")),
      driver(QStringLiteral("driver"), QStringLiteral("ODBC driver name."),
             QStringLiteral("NAME")) {}

void CliLoginOptions::addTo(QCommandLineParser& parser) const {
    parser.addOptions({service, user, password, passwordPrompt, driver});
}

bool CliLoginOptions::given(const QCommandLineParser& parser) const {
    return !parser.value(service).isEmpty() && !parser.value(user).isEmpty();
}

CliLogin CliLoginOptions::read(const QCommandLineParser& parser) const {
    return {
        parser.value(service), parser.value(user), parser.value(driver),
        parser.isSet(password) ? parser.value(password) : qEnvironmentVariable("QUERVIN_PASSWORD"),
        parser.isSet(passwordPrompt)};
}

std::optional<int> parseCommandLine(QCommandLineParser& parser, const QStringList& args,
                                    QTextStream& out, QTextStream& err) {
    if (!parser.parse(args)) {
        err << parser.errorText() << "\n";
        return kCliBadArguments;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        out << parser.helpText();
        return kCliCarriedOut;
    }
    if (!parser.positionalArguments().isEmpty()) {
        err << QStringLiteral("Unexpected argument: ") + parser.positionalArguments().first()
            << "\n";
        return kCliBadArguments;
    }
    return std::nullopt;
}

}  // namespace qv
