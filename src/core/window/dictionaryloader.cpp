#include "core/window/dictionaryloader.h"

#include "core/connection/offthread.h"
#include "core/db/database.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <atomic>

namespace qv {

// One reading, shared by the window's thread and the thread that reads.
struct DictionaryLoader::Reading {
    QString owner;  // empty: the session's own schema
    std::shared_ptr<Database> stats;
    SchemaObjects result;
    std::atomic<bool> interrupted{false};
};

DictionaryLoader::DictionaryLoader(QObject* parent) : QObject(parent) {}

DictionaryLoader::~DictionaryLoader() {
    // The thread holds the session and its reading; it ends on its own.
    if (reading_)
        interrupt();
}

void DictionaryLoader::setSession(std::shared_ptr<Database> stats, const QString& user) {
    if (reading_)
        interrupt();
    reading_.reset();
    ownPending_ = false;
    stats_ = std::move(stats);
    dictionary_ = SchemaDictionary{user.toUpper(), nullptr, {}};
}

void DictionaryLoader::readOwnSchema() {
    if (!stats_)
        return;
    if (reading_) {
        ownPending_ = true;
        return;
    }
    start(QString());
}

void DictionaryLoader::readOwner(const QString& owner) {
    if (stats_ && !reading_ && !owner.isEmpty() && !dictionary_.schemaOf(owner))
        start(owner);
}

void DictionaryLoader::start(const QString& owner) {
    auto reading = std::make_shared<Reading>();
    reading->owner = owner;
    reading->stats = stats_;
    reading_ = reading;
    ownPending_ = ownPending_ && !owner.isEmpty();
    const ReadLimits limits = owner.isEmpty() ? kOwnSchemaLimits : kOwnerLimits;
    thread_ = runOffThread(
        this,
        [reading, limits] {
            reading->result = reading->owner.isEmpty()
                                  ? qv::readOwnSchema(*reading->stats, limits)
                                  : readOwnerSchema(*reading->stats, reading->owner, limits);
        },
        [this, reading](const std::optional<QString>&) { finish(reading); });
    // A statement the server keeps to itself past the time allowed is cancelled; only while
    // this reading, and no run, uses the session.
    QTimer::singleShot(limits.ms, this, [this, reading] {
        if (reading_ == reading)
            reading->stats->cancel();
    });
}

void DictionaryLoader::interrupt() {
    if (!reading_)
        return;
    reading_->interrupted = true;
    reading_->stats->cancel();
}

void DictionaryLoader::finish(const std::shared_ptr<Reading>& reading) {
    if (reading_ != reading)
        return;  // a reading for a session given up
    reading_.reset();
    auto read = std::make_shared<const SchemaObjects>(std::move(reading->result));
    const bool cut = reading->interrupted && !read->complete;
    if (reading->owner.isEmpty()) {
        dictionary_.own = read;
        ownPending_ = ownPending_ || cut;
    } else if (!cut) {
        dictionary_.owners[reading->owner] = read;
    }
    Q_EMIT this->read(reading->owner);
}

bool DictionaryLoader::wait(int ms) {
    if (reading_ && thread_)
        thread_->wait(ms);
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    return reading_ == nullptr;
}

}  // namespace qv
