#pragma once

#include "core/settings/sharedsettings.h"
#include "core/tuning/gridmodel.h"
#include "core/tuning/runthread.h"
#include "core/tuning/runwindow.h"

#include <QString>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

class QObject;

namespace qv {

class StatementRing;

// Between two notes of a run on the note line.
inline const QString kNoteSeparator = QStringLiteral("　");
class WindowPort;
class WindowState;

// A query window as a run on a thread of its own (RunThread) sees it, so that the window, the
// frame and other windows stay usable and the run can be stopped. The run works on the
// statement as it was when the run started, reads each setting from the program's settings at
// the moment it uses it, and fills grids of its own; whatever it shows reaches the window on
// the window's thread, in the order the run produces it: message lines as they change, each
// grid when its step shows it. A question waits for the user's answer.
class BackgroundRun final : public RunWindow, public std::enable_shared_from_this<BackgroundRun> {
  public:
    // The window's side; used only on the window's thread, and only while `receiver` lives.
    struct Window {
        QObject* receiver = nullptr;  // the window's object: everything is posted to it
        WindowState* state = nullptr;
        WindowPort* port = nullptr;
        std::array<GridModel*, 3> grids{};  // plan, result, statistics
        StatementRing* ring = nullptr;      // the program's: the run adds its statement, which
                                            // is saved on a thread of its own
        // Told when the run has ended and everything it showed has been delivered.
        std::function<void(BackgroundRun*, const RunRecord&)> finished;
    };
    // What the run works with.
    struct Setup {
        QString sql;
        // The program's settings, shared with the windows and the options dialog; kept alive
        // for a run that outlives its window.
        std::shared_ptr<const SharedSettings> settings;
        QString user;
        QString service;
        double twipsPerBlank = 0;
        std::shared_ptr<Database> query;
        std::shared_ptr<Database> stats;
        std::shared_ptr<QString> statisticsLevel;         // kept with the query connection
        std::shared_ptr<SessionTransaction> transaction;  // the same
        std::shared_ptr<SessionMemory> sessionMemory;     // kept with both connections
        BindList binds;  // the values given for the statement's variables
        // The program's count of runs left running by their window.
        std::shared_ptr<std::atomic<int>> abandonedRuns;
        // The program's turn for the plan step, shared by its windows.
        std::shared_ptr<PlanStepLock> planStepLock;
        QString driver;  // the ODBC driver the connections went through
    };

    // Takes the contents of the window's grids (they are hidden meanwhile) and starts the run.
    // Call on the window's thread.
    static std::shared_ptr<BackgroundRun> start(Window window, Setup setup);
    ~BackgroundRun() override;

    // Waits up to `ms` milliseconds for the run to end, delivering to the window what the run
    // posts meanwhile (a question must be answered for the run to go on); true when it ended.
    // Call on the window's thread.
    bool wait(int ms);
    // Asks the run to stop.
    void stop() { control_.requestStop(); }
    // The window goes away before the run ended: nothing more is posted to it, the run is asked
    // to stop, and its thread finishes on its own; the run is counted among the abandoned ones
    // (Setup::abandonedRuns), which a program that ends should not wait for.
    void abandon();

    // RunWindow, on the run's thread.
    QString sqlText() const override { return setup_.sql; }
    BindList binds() const override { return setup_.binds; }
    void setPlanMessage(const QString& text) override;
    void setResultMessage(const QString& text) override;
    void setStatsMessage(const QString& text) override;
    void setCountLabel(const QString& text) override;
    GridModel& planGrid() override { return grids_[0]; }
    GridModel& resultGrid() override { return grids_[1]; }
    GridModel& statsGrid() override { return grids_[2]; }
    Answer ask(const QString& text) override;
    void showMessage(const QString& text) override;
    void showNote(const QString& text) override;
    QString& sessionStatisticsLevel() override { return *setup_.statisticsLevel; }
    SessionTransaction& transaction() override { return *setup_.transaction; }
    SessionMemory& sessionMemory() override { return *setup_.sessionMemory; }
    int blankWidthTwips(int count) const override;
    const SharedSettings& settings() const override { return *setup_.settings; }
    Database& queryDatabase() override { return *setup_.query; }
    Database& statsDatabase() override { return *setup_.stats; }
    QString userName() const override { return setup_.user; }
    QString serviceName() const override { return setup_.service; }
    QString driverName() const override { return setup_.driver; }
    void addToRing(const QString& sql) override;
    RunControl& control() override { return control_; }
    PlanStepLock* planStepLock() override { return setup_.planStepLock.get(); }

  private:
    // Hands a finished grid to the window as soon as its step shows it.
    struct Publisher : GridObserver {
        BackgroundRun* run = nullptr;
        int index = 0;
        void gridChanged() override {}
        void gridVisibilityChanged(bool visible) override {
            if (visible)
                run->publish(index);
        }
    };

    BackgroundRun(Window window, Setup setup);
    void finish(const RunRecord& record);
    void post(std::function<void()> f);
    void showLine(int line, const QString& text);
    void publish(int index);

    Window window_;
    Setup setup_;
    RunControl control_;
    std::shared_ptr<RunThread> thread_;
    std::array<GridModel, 3> grids_;
    std::array<Publisher, 3> publishers_;
    std::array<bool, 3> published_{};
    std::mutex mutex_;  // guards windowGone_ against a post in flight
    bool windowGone_ = false;
    int64_t posts_ = 0;  // things posted to the window so far, under the control's lock
};

}  // namespace qv
