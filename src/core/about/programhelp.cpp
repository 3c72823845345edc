#include "core/about/programhelp.h"

namespace qv {

namespace {

QString historyFileItem() {
    return QStringLiteral(
        "  quervhst.mdb  The tuning-history file: beside the program when it runs from its own "
        "build or unpacked folder, that folder is the user's own and no one else may write "
        "there; $XDG_DATA_HOME/QUERVIN/quervhst.mdb (~/.local/share/QUERVIN/quervhst.mdb), "
        "readable by the user alone, when the program lies under /usr or /opt, as an installed "
        "package puts it, or its folder is shared or cannot be written.\n");
}

QString sampleItem() {
    return QStringLiteral(
        "  sample.db  The sample database of the service sqlite:sample, made at its first use in "
        "$XDG_DATA_HOME/QUERVIN, or in the folder QUERVIN_SAMPLE_DIR names.\n");
}

QString odbcDriversItem() {
    return QStringLiteral(
        "  /etc/odbcinst.ini  The ODBC drivers installed (unixODBC), among which the Oracle "
        "driver is found.\n");
}

QString nlsItem() {
    return QStringLiteral(
        "  NLS_LANG, NLS_DATE_FORMAT  The territory and the date format of a session on the "
        "embedded engine, as an Oracle client reads them.\n");
}

QString sampleDirItem() {
    return QStringLiteral("  QUERVIN_SAMPLE_DIR  The folder of the sample database.\n");
}

}  // namespace

QString cliFilesHelp() {
    return QStringLiteral("Files:\n") + historyFileItem() + sampleItem() + odbcDriversItem();
}

QString cliEnvironmentHelp() {
    return QStringLiteral(
               "Environment:\n"
               "  QUERVIN_PASSWORD  The password when neither --password nor "
               "--password-prompt is given.\n") +
           sampleDirItem() +
           QStringLiteral("  XDG_DATA_HOME  The user's data folder (default ~/.local/share).\n") +
           nlsItem();
}

QString windowProgramHelp(const QString& program) {
    return QStringLiteral("Usage: ") + program +
           QStringLiteral(
               " [options]\n"
               "QuervinStudio tunes one Oracle SQL statement at a time: each query window logs "
               "in to a service through ODBC and shows the statement's execution plan, its "
               "result rows and the change of every statistic of its session; runs can be "
               "recorded into a tuning-history file and compared. The user interface is "
               "Japanese. The service sqlite:sample, an embedded engine with a sample database, "
               "answers as an Oracle server does, so no server is needed to try it. quervin-cli "
               "makes the same run from scripts.\n"
               "Files:\n"
               "  $XDG_CONFIG_HOME/QUERVIN/quervin.ini  The settings, the statement ring and "
               "the windows' layout (~/.config/QUERVIN/quervin.ini).\n") +
           historyFileItem() + sampleItem() +
           QStringLiteral(
               "  tnsnames.ora  The net services the login dialog offers, looked for "
               "in $TNS_ADMIN, $ORACLE_HOME/network/admin, /etc and "
               "/var/opt/oracle.\n") +
           odbcDriversItem() + QStringLiteral("Environment:\n") + sampleDirItem() +
           QStringLiteral(
               "  XDG_CONFIG_HOME, XDG_DATA_HOME  The user's configuration and data "
               "folders (default ~/.config and ~/.local/share).\n"
               "  TNS_ADMIN, ORACLE_HOME  Where tnsnames.ora is looked for first.\n") +
           nlsItem() +
           QStringLiteral(
               "\nOptions:\n"
               "  -h, --help        Displays help on commandline options.\n"
               "  -v, --version     Displays version information.\n"
               "  -platform <NAME>  The Qt platform plugin that shows the windows "
               "(xcb, wayland, offscreen, ...); Qt's other application options are "
               "taken as well.\n");
}

}  // namespace qv
