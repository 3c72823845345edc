#include "core/embedded/service/embeddedengine.h"

#include "core/embedded/service/embeddeddatabase.h"
#include "core/embedded/service/sampledb.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace qv {

namespace {

const QString kPrefix = QStringLiteral("sqlite:");

}  // namespace

bool isEmbeddedService(const QString& service) {
    return service.startsWith(kPrefix, Qt::CaseInsensitive);
}

QString sampleDatabasePath(const QString& sampleDir) {
    QString dir = sampleDir;
    if (dir.isEmpty())
        dir = qEnvironmentVariable("QUERVIN_SAMPLE_DIR");
    if (dir.isEmpty()) {
        dir = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
              QStringLiteral("/QUERVIN");
    }
    return QDir(dir).filePath(QStringLiteral("sample.db"));
}

std::unique_ptr<Database> openEmbeddedDatabase(const QString& service, const QString& user,
                                               const QString& sampleDir) {
    const QString target = service.mid(kPrefix.size()).trimmed();
    if (!isEmbeddedService(service) || target.isEmpty()) {
        throw DbError(kErrOdbcCall,
                      QStringLiteral("%1: give sqlite:sample or sqlite:<file>").arg(service));
    }
    QString path = target;
    if (target.compare(u"sample", Qt::CaseInsensitive) == 0) {
        path = sampleDatabasePath(sampleDir);
        // What a making of the sample cut short by a crash left (13 MB and more) goes first.
        embedded::removeAbandonedSampleFiles(QFileInfo(path).absolutePath());
        switch (embedded::sampleState(path)) {
            case embedded::SampleState::Missing:
                QDir().mkpath(QFileInfo(path).absolutePath());
                embedded::generateSampleDatabase(path);
                break;
            case embedded::SampleState::Outdated: {
                // What the user added to the old sample stays in sample.db.bak.
                const QString backup = path + QStringLiteral(".bak");
                QFile::remove(backup);
                if (!QFile::rename(path, backup))
                    throw DbError(kErrOdbcCall,
                                  QStringLiteral("cannot keep the old sample as %1").arg(backup));
                embedded::generateSampleDatabase(path);
                break;
            }
            case embedded::SampleState::Foreign:
                throw DbError(kErrOdbcCall,
                              QStringLiteral("%1 is not a sample made by QuervinStudio and is left "
                                             "as it is; move it away, or name another folder in "
                                             "QUERVIN_SAMPLE_DIR")
                                  .arg(QDir::toNativeSeparators(path)));
            case embedded::SampleState::Current:
            case embedded::SampleState::Busy:
                break;
        }
    }
    return std::make_unique<embedded::EmbeddedDatabase>(path, user);
}

}  // namespace qv
