#pragma once

#include "core/editor/schemadictionary.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class QThread;

namespace qv {

// Reads the dictionary that completion offers names from, for one window's login, on its
// statistics session and off the window's thread: the session's own schema, and another owner's
// when first named. A session belongs to the window's run: the window starts a reading only while
// no run is under way and starts no run until the reading has ended (interrupt() ends it soon).
// A reading that fails leaves what it could not read out, silently.
class DictionaryLoader : public QObject {
    Q_OBJECT
  public:
    explicit DictionaryLoader(QObject* parent = nullptr);
    ~DictionaryLoader() override;

    const SchemaDictionary& dictionary() const { return dictionary_; }
    // The login to read for: its statistics session and its user (the schema of its own).
    // Forgets what was read for another; null forgets everything (logged out).
    void setSession(std::shared_ptr<Database> stats, const QString& user);
    bool hasSession() const { return stats_ != nullptr; }

    bool busy() const { return reading_ != nullptr; }
    // Whether the session's own schema is to be read: never read, or cut short.
    bool ownSchemaStale() const { return stats_ && (!dictionary_.own || ownPending_); }
    // Starts reading the session's own schema; once the reading under way has ended when one
    // is. Nothing without a session.
    void readOwnSchema();
    // Starts reading `owner`'s schema (as the dictionary holds the name) unless it was read or
    // a reading is under way.
    void readOwner(const QString& owner);
    // Asks the reading under way to stop at once: the server cancels its statement. A schema cut
    // short this way is read again by the next readOwnSchema() or readOwner().
    void interrupt();
    // Waits up to `ms` milliseconds for the reading under way and takes what it read; true when
    // none is left.
    bool wait(int ms);

  Q_SIGNALS:
    // A reading has ended and its names are in the dictionary; `owner` is empty for the
    // session's own schema.
    void read(const QString& owner);

  private:
    struct Reading;
    void start(const QString& owner);
    void finish(const std::shared_ptr<Reading>& reading);

    SchemaDictionary dictionary_;
    std::shared_ptr<Database> stats_;
    std::shared_ptr<Reading> reading_;
    QPointer<QThread> thread_;
    bool ownPending_ = false;  // the own schema waits for the reading under way
};

}  // namespace qv
