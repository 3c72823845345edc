#pragma once

#include "core/cli/clirunner.h"
#include "core/db/database.h"

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

// Reads the password from the terminal when asked to and finds the driver when none was given
// (none for the embedded engine); the complaint when the password cannot be read.
std::optional<QString> completeLogin(CliLogin& login, const ProgramState& program,
                                     const CliTerminal& terminal);

// One session of a completed login through the program's opener. Throws DbError.
std::unique_ptr<Database> openSession(const CliLogin& login, const ProgramState& program);

}  // namespace qv
