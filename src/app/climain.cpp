#include "core/cli/clirunner.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quervin-cli"));
    QCoreApplication::setOrganizationName(QStringLiteral("QUERVIN"));
    QTextStream in(stdin);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const int status = qv::runCli(QCoreApplication::arguments(), in, out, err);
    out.flush();
    err.flush();
    return status;
}
