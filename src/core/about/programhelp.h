#pragma once

#include <QString>

namespace qv {

// What both programs' --help say of the files they use and of the environment they read, and
// the whole of `quervin --help`. The manual pages are made from these texts at build time
// (dist/manpage.sh): a block headed by a line "Files:" or "Environment:" lists one item a line,
// indented, its name and its text apart by two spaces or more.

// The Files block of quervin-cli: the history file and the sample database.
QString cliFilesHelp();
// The Environment block of quervin-cli.
QString cliEnvironmentHelp();
// `quervin --help`, answered before any window exists: what the program is, its files, the
// environment it reads and its options.
QString windowProgramHelp(const QString& program);

}  // namespace qv
