#pragma once

#include "core/cli/clirunner.h"
#include "core/db/database.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

#include <memory>
#include <optional>

namespace qv {

// A login of the command line: as its options give it, then completed by completeLogin().
struct CliLogin {
    QString service;
    QString user;
    QString driver;    // --driver; completed: the Oracle driver installed when none was given
    QString password;  // --password or QUERVIN_PASSWORD; completed: read from the terminal
    bool passwordPrompt = false;
};

// The login options a command of the program takes: --service, --user, --password,
// --password-prompt and --driver.
struct CliLoginOptions {
    CliLoginOptions();
    void addTo(QCommandLineParser& parser) const;
    // Service and user given.
    bool given(const QCommandLineParser& parser) const;
    // The login as the parsed options give it, the password from QUERVIN_PASSWORD when none.
    CliLogin read(const QCommandLineParser& parser) const;

    QCommandLineOption service, user, password, passwordPrompt, driver;
};

// Parses `args` for one of the program's commands: nullopt to go on, else the exit status when
// the arguments are bad or stray (told on `err`), or when help was asked for (printed on `out`).
std::optional<int> parseCommandLine(QCommandLineParser& parser, const QStringList& args,
                                    QTextStream& out, QTextStream& err);

// Reads the password from the terminal when asked to and finds the driver when none was given
// (none for the embedded engine); the complaint when the password cannot be read.
std::optional<QString> completeLogin(CliLogin& login, const ProgramState& program,
                                     const CliTerminal& terminal);

// One session of a completed login through the program's opener. Throws DbError.
std::unique_ptr<Database> openSession(const CliLogin& login, const ProgramState& program);

}  // namespace qv
