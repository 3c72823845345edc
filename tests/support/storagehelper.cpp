// A second copy of the program, as far as the statement ring and the history file go: tests
// start several of these at once to see what programs running side by side do to the files.
//
//   storagehelper ring-add INI LABEL COUNT   adds "LABEL i" for i = 0..COUNT-1 to the ring,
//                                            saving each at once, as a query window does
//   storagehelper ring-hold INI              takes the settings' update lock, prints "locked"
//                                            and waits until it is killed
//   storagehelper record FILE LABEL COUNT    records COUNT runs into the history file; exits
//                                            3 with the error when one is not stored

#include "core/history/historyfile.h"
#include "core/history/statementring.h"
#include "core/settings/settingsstore.h"
#include "core/tuning/runrecord.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>

using namespace qv;

namespace {

int addToRing(const QString& ini, const QString& label, int count) {
    SettingsStore store(ini);
    StatementRing ring(store);
    ring.load();
    for (int i = 0; i < count; ++i)
        ring.addAndSave(label + QLatin1Char(' ') + QString::number(i));
    ring.saveBeforeEnd();
    return 0;
}

int holdLock(const QString& ini) {
    SettingsStore store(ini);
    const SettingsStore::Update update(store, 5'000);
    if (!update.locked())
        return 1;
    std::fputs("locked\n", stdout);
    std::fflush(stdout);
    QFile in;
    if (in.open(stdin, QIODevice::ReadOnly))
        in.readAll();  // until killed
    return 0;
}

int record(const QString& path, const QString& label, int count) {
    RunRecord run;
    run.outcome = RunOutcome::CarriedOut;
    run.statisticsStep.outcome = StepOutcome::Done;
    run.statistics.append(
        {9, QStringLiteral("session logical reads"), QVariant(1LL), QVariant(4LL), QVariant(3LL)});
    run.planStep.outcome = StepOutcome::Done;
    PlanLine line;
    line.operation = QStringLiteral("SELECT STATEMENT");
    run.plan.append(line);
    const HistoryFile file(path);
    for (int i = 0; i < count; ++i) {
        run.sql = label + QLatin1Char(' ') + QString::number(i);
        try {
            file.record(run);
        } catch (const DbError& e) {
            std::fprintf(stderr, "%s\n", e.description().toUtf8().constData());
            return 3;
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString mode = args.value(1);
    if (mode == QLatin1String("ring-add") && args.size() == 5)
        return addToRing(args[2], args[3], args[4].toInt());
    if (mode == QLatin1String("ring-hold") && args.size() == 3)
        return holdLock(args[2]);
    if (mode == QLatin1String("record") && args.size() == 5)
        return record(args[2], args[3], args[4].toInt());
    std::fputs(
        "usage: storagehelper ring-add INI LABEL COUNT | ring-hold INI | "
        "record FILE LABEL COUNT\n",
        stderr);
    return 2;
}
