#pragma once

#include "core/connection/databaseopener.h"
#include "core/history/historynotifier.h"
#include "core/history/statementring.h"
#include "core/settings/settingsstore.h"
#include "core/settings/sharedsettings.h"
#include "core/tuning/planlock.h"
#include "core/window/bindmemory.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>

namespace qv {

// Where a program learns what the machine holds. The programs ask the machine (thisMachine());
// a test gives answers of its own.
struct MachineSources {
    std::function<QStringList()> odbcDrivers;  // every installed ODBC driver
    std::function<QString()> tnsnamesPath;     // the TNSNAMES file in use; empty when none
    // The login dialog's list: the TNSNAMES aliases, then the embedded engine's sample. Read on
    // a thread of its own.
    std::function<QStringList()> serviceNames;

    static MachineSources thisMachine();
};

// Everything one running program shares: the settings store and the settings, the statement
// ring, the bind values last used, the history file being recorded into, where the embedded
// engine's sample lives, where the machine's facts come from, and what is left running in the
// drivers. main() of each program makes one and hands it to whoever needs it (the frame, the
// query windows, the dialogs, the command-line runner); a test makes its own, so no two share
// anything. Used on the windows' thread, except the settings, which runs read on theirs.
class ProgramState {
  public:
    // `store` keeps the settings and the statement ring: the platform's store in the programs,
    // a file of the test's own in tests.
    explicit ProgramState(std::unique_ptr<SettingsStore> store);
    ~ProgramState();
    ProgramState(const ProgramState&) = delete;
    ProgramState& operator=(const ProgramState&) = delete;

    SettingsStore& store() { return *store_; }
    // The one settings object, read from the store at first use (the first query window's).
    SharedSettings& settings() { return *settings_; }
    // The same, for a run that may outlive its window.
    std::shared_ptr<const SharedSettings> sharedSettings() const { return settings_; }
    // The ring of the last statements run, shared by every query window; loaded from the store
    // at first use.
    StatementRing& statementRing();
    // The bind values last used, by name; loaded from the store at first use.
    BindMemory& bindMemory();
    HistoryNotifier& historyNotifier() { return historyNotifier_; }

    // The history file the query windows record into, set when a window starts recording;
    // empty before that.
    const QString& recordingFilePath() const { return recordingFilePath_; }
    void setRecordingFilePath(const QString& path) { recordingFilePath_ = path; }

    // The folder of "sqlite:sample"; empty: the one sampleDatabasePath() finds.
    const QString& sampleDirectory() const { return sampleDirectory_; }
    void setSampleDirectory(const QString& dir) { sampleDirectory_ = dir; }
    // How the query windows and the command-line runner open their connections: the embedded
    // engine (this program's sample) for "sqlite:" services, ODBC otherwise, unless another
    // opener was set (a test's scripted server). A window takes it when it is made, so the
    // folder and the opener are set before.
    DatabaseOpener databaseOpener() const;
    void setDatabaseOpener(DatabaseOpener opener) { opener_ = std::move(opener); }

    MachineSources& machine() { return machine_; }
    const MachineSources& machine() const { return machine_; }

    // Counted by the runs left running when their window went away, and by the logins still in
    // a driver's call. The counters outlive this object for the threads that hold them.
    const std::shared_ptr<std::atomic<int>>& abandonedRuns() const { return abandonedRuns_; }
    const std::shared_ptr<std::atomic<int>>& loginsUnderWay() const { return loginsUnderWay_; }
    // The plan step of one window's run at a time: every window explains into the same rows of
    // its plan table. Shared with the runs, which may outlive this object.
    const std::shared_ptr<PlanStepLock>& planStepLock() const { return planStepLock_; }
    // Whether a thread of this program is still inside a driver's call that nobody will wait
    // for: the program should then end without waiting for it.
    bool threadsLeftInDrivers() const { return *abandonedRuns_ > 0 || *loginsUnderWay_ > 0; }

    // The end of the program (its last query window closed): saves the settings, the statement
    // ring and the bind values, then calls the end handler, which by default tells the event loop
    // to quit.
    void end();
    void setEndHandler(std::function<void()> handler) { endHandler_ = std::move(handler); }

  private:
    std::shared_ptr<SettingsStore> store_;
    std::shared_ptr<SharedSettings> settings_;
    std::unique_ptr<StatementRing> ring_;
    BindMemory bindMemory_;
    bool bindMemoryLoaded_ = false;
    HistoryNotifier historyNotifier_;
    QString recordingFilePath_;
    QString sampleDirectory_;
    DatabaseOpener opener_;
    MachineSources machine_ = MachineSources::thisMachine();
    std::shared_ptr<std::atomic<int>> abandonedRuns_ = std::make_shared<std::atomic<int>>(0);
    std::shared_ptr<std::atomic<int>> loginsUnderWay_ = std::make_shared<std::atomic<int>>(0);
    std::shared_ptr<PlanStepLock> planStepLock_ = std::make_shared<PlanStepLock>();
    std::function<void()> endHandler_;
};

}  // namespace qv
