#include "core/window/backgroundrun.h"

#include "core/history/statementring.h"
#include "core/program.h"
#include "core/window/windowport.h"
#include "core/window/windowstate.h"

#include <QMetaObject>
#include <QObject>

#include <atomic>
#include <chrono>
#include <optional>
#include <thread>

namespace qv {

namespace {

std::atomic<int> gAbandoned{0};

// The user's answer to a question, handed from the window's thread to the run's.
struct PendingAnswer {
    std::mutex mutex;
    std::condition_variable answered;
    std::optional<Answer> answer;
};

}  // namespace

int abandonedRuns() {
    return gAbandoned.load();
}

BackgroundRun::BackgroundRun(Window window, Setup setup)
    : window_(std::move(window)), setup_(std::move(setup)) {
    control_.setCancelTarget(setup_.query);
    for (int i = 0; i < 3; ++i) {
        // The run begins by hiding all three grids; the window's are hidden at once.
        grids_[i].swapContents(*window_.grids[i]);
        window_.grids[i]->setVisible(false);
        publishers_[i].run = this;
        publishers_[i].index = i;
        grids_[i].setObserver(&publishers_[i]);
    }
}

BackgroundRun::~BackgroundRun() {
    for (GridModel& g : grids_)
        g.setObserver(nullptr);
}

std::shared_ptr<BackgroundRun> BackgroundRun::start(Window window, Setup setup) {
    std::shared_ptr<BackgroundRun> run(new BackgroundRun(std::move(window), std::move(setup)));
    // The thread keeps the run alive; the window can wait for it or leave it.
    std::thread([run] { run->work(); }).detach();
    return run;
}

void BackgroundRun::work() {
    const RunOutcome outcome = runTuning(*this);
    // Grids whose step failed go back as they are, hidden.
    for (int i = 0; i < 3; ++i) {
        if (!published_[i])
            publish(i);
    }
    post([self = shared_from_this(), outcome] {
        if (self->window_.finished)
            self->window_.finished(self.get(), outcome);
    });
    std::lock_guard lock(mutex_);
    done_ = true;
    ended_.notify_all();
}

bool BackgroundRun::wait(int ms) {
    std::unique_lock lock(mutex_);
    return ended_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return done_; });
}

void BackgroundRun::abandon() {
    {
        std::lock_guard lock(mutex_);
        if (windowGone_)
            return;
        windowGone_ = true;
        if (!done_)
            ++gAbandoned;
    }
    control_.requestStop();
}

void BackgroundRun::post(std::function<void()> f) {
    // Under the lock, so the window cannot go away between the check and the posting.
    std::lock_guard lock(mutex_);
    if (!windowGone_ && window_.receiver)
        QMetaObject::invokeMethod(window_.receiver, std::move(f), Qt::QueuedConnection);
}

void BackgroundRun::showLine(int line, const QString& text) {
    WindowState* state = window_.state;
    post([state, line, text] { state->setLine(static_cast<WindowState::Line>(line), text); });
}

void BackgroundRun::setPlanMessage(const QString& text) {
    showLine(int(WindowState::Line::Plan), text);
}
void BackgroundRun::setResultMessage(const QString& text) {
    showLine(int(WindowState::Line::Result), text);
}
void BackgroundRun::setStatsMessage(const QString& text) {
    showLine(int(WindowState::Line::Stats), text);
}
void BackgroundRun::setCountLabel(const QString& text) {
    showLine(int(WindowState::Line::Count), text);
}

void BackgroundRun::publish(int index) {
    published_[index] = true;
    auto finished = std::make_shared<GridModel>();
    finished->swapContents(grids_[index]);
    GridModel* target = window_.grids[index];
    post([finished, target] { target->swapContents(*finished); });
}

Answer BackgroundRun::ask(const QString& text) {
    auto pending = std::make_shared<PendingAnswer>();
    WindowPort* port = window_.port;
    post([pending, port, text] {
        const Answer a = port->ask(text);
        std::lock_guard lock(pending->mutex);
        pending->answer = a;
        pending->answered.notify_all();
    });
    std::unique_lock lock(pending->mutex);
    // A stopped run (or a window that went away) takes Cancel instead of waiting on.
    while (!pending->answer && !control_.stopRequested())
        pending->answered.wait_for(lock, std::chrono::milliseconds(50));
    return pending->answer.value_or(Answer::Cancel);
}

void BackgroundRun::showMessage(const QString& text) {
    WindowPort* port = window_.port;
    post([port, text] { port->showMessage(text, kAppTitle); });
}

int BackgroundRun::blankWidthTwips(int count) const {
    return count <= 0 ? 0 : static_cast<int>(count * setup_.twipsPerBlank + 0.5);
}

void BackgroundRun::addToRing(const QString& sql) {
    post([sql] { statementRing().addAndSave(sql); });
}

}  // namespace qv
