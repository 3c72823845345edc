#include "core/window/backgroundrun.h"

#include "core/history/statementring.h"
#include "core/program.h"
#include "core/window/windowport.h"
#include "core/window/windowstate.h"

#include <QMetaObject>
#include <QObject>

#include <QCoreApplication>

#include <atomic>
#include <chrono>
#include <optional>

namespace qv {

BackgroundRun::BackgroundRun(Window window, Setup setup)
    : window_(std::move(window)), setup_(std::move(setup)) {
    if (!setup_.statisticsLevel)
        setup_.statisticsLevel = std::make_shared<QString>();
    if (!setup_.transaction)
        setup_.transaction = std::make_shared<SessionTransaction>();
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
    run->thread_ = RunThread::start(
        *run, run, [raw = run.get()](const RunRecord& record) { raw->finish(record); });
    return run;
}

void BackgroundRun::finish(const RunRecord& record) {
    // Grids whose step failed go back as they are, hidden.
    for (int i = 0; i < 3; ++i) {
        if (!published_[i])
            publish(i);
    }
    post([self = shared_from_this(), record] {
        if (self->window_.finished)
            self->window_.finished(self.get(), record);
    });
}

bool BackgroundRun::wait(int ms) {
    // The window may drop this run when its end is delivered below.
    const std::shared_ptr<BackgroundRun> keep = shared_from_this();
    const auto deadline = RunControl::Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        int64_t seen = 0;
        control_.signal([&] { seen = posts_; });
        const bool ended = thread_->hasEnded();
        // What the run posted (lines, grids, a question, the ring, its end) is taken now.
        QCoreApplication::sendPostedEvents(window_.receiver, QEvent::MetaCall);
        if (ended)
            return true;
        const bool woken =
            control_.waitUntil([&] { return posts_ != seen || thread_->hasEnded(); }, deadline);
        if (!woken) {
            QCoreApplication::sendPostedEvents(window_.receiver, QEvent::MetaCall);
            return thread_->hasEnded();
        }
    }
}

void BackgroundRun::abandon() {
    {
        std::lock_guard lock(mutex_);
        if (windowGone_)
            return;
        windowGone_ = true;
        if (!thread_->hasEnded() && setup_.abandonedRuns)
            ++*setup_.abandonedRuns;
    }
    control_.requestStop();
}

void BackgroundRun::post(std::function<void()> f) {
    // Under the lock, so the window cannot go away between the check and the posting.
    {
        std::lock_guard lock(mutex_);
        if (windowGone_ || !window_.receiver)
            return;
        QMetaObject::invokeMethod(window_.receiver, std::move(f), Qt::QueuedConnection);
    }
    // Wakes a window that waits for the run (wait()), so it delivers this at once.
    control_.signal([this] { ++posts_; });
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
    auto answer = std::make_shared<std::optional<Answer>>();
    WindowPort* port = window_.port;
    post([self = shared_from_this(), answer, port, text] {
        const Answer a = port->ask(text);
        self->control_.signal([&] { *answer = a; });
    });
    // A stopped run (or a window that went away) takes Cancel instead of waiting on.
    std::optional<Answer> given;
    control_.waitUntil([&] {
        given = *answer;
        return given || control_.stopRequested();
    });
    return given.value_or(Answer::Cancel);
}

void BackgroundRun::showNote(const QString& text) {
    // Beside the status bar's panels, after the run's other notes; never over the panels.
    WindowState* state = window_.state;
    post([state, text] {
        const QString shown = state->line(WindowState::Line::Note);
        state->setLine(WindowState::Line::Note,
                       shown.isEmpty() ? text : shown + kNoteSeparator + text);
    });
}

void BackgroundRun::showMessage(const QString& text) {
    WindowPort* port = window_.port;
    post([port, text] { port->showMessage(text, kAppTitle); });
}

int BackgroundRun::blankWidthTwips(int count) const {
    return count <= 0 ? 0 : static_cast<int>(count * setup_.twipsPerBlank + 0.5);
}

void BackgroundRun::addToRing(const QString& sql) {
    StatementRing* ring = window_.ring;
    if (!ring)
        return;
    // Saved off the window's thread, which never waits for the store's lock; what the ring
    // has to say about the lock is said in this window.
    QObject* receiver = window_.receiver;
    WindowPort* port = window_.port;
    post([ring, receiver, port, sql] {
        ring->addAndSaveInBackground(sql, receiver, [port](const QString& message) {
            port->showMessage(message, kAppTitle);
        });
    });
}

}  // namespace qv
