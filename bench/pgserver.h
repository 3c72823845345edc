#pragma once

// A PostgreSQL server for a benchmark, started with the tests' fixture script
// (QUERVIN_PG_FIXTURE) on a free loopback port, and the environment libpq reads pointed at it.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <cstdio>
#include <optional>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace qv::bench {

// A throw-away server for the run, stopped when the program ends.
class OwnServer {
  public:
    bool start() {
        if (!dir_.isValid())
            return false;
        const int port = freePort();
        path_ = dir_.filePath(QStringLiteral("pg"));
        if (port <= 0 ||
            QProcess::execute(QStringLiteral(QUERVIN_PG_FIXTURE),
                              {QStringLiteral("start"), path_, QString::number(port)}) != 0)
            return false;
        qputenv("PGHOST", path_.toLocal8Bit());
        qputenv("PGPORT", QByteArray::number(port));
        qputenv("PGUSER", "quervin");
        qputenv("PGDATABASE", "quervin");
        return true;
    }
    ~OwnServer() {
        if (!path_.isEmpty())
            QProcess::execute(QStringLiteral(QUERVIN_PG_FIXTURE), {QStringLiteral("stop"), path_});
    }

  private:
    static int freePort() {
        const int s = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof a;
        int port = -1;
        if (s >= 0 && bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
            getsockname(s, reinterpret_cast<sockaddr*>(&a), &length) == 0)
            port = ntohs(a.sin_port);
        if (s >= 0)
            close(s);
        return port;
    }

    QTemporaryDir dir_;
    QString path_;
};

// The server PGHOST names, else one of our own kept in `own`; false, said on stderr, when
// ours would not start.
inline bool useServer(std::optional<OwnServer>& own) {
    if (!qEnvironmentVariableIsEmpty("PGHOST"))
        return true;
    own.emplace();
    if (own->start())
        return true;
    std::fprintf(stderr, "could not start a PostgreSQL server\n");
    return false;
}

}  // namespace qv::bench
