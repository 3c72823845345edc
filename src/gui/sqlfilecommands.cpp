#include "gui/sqlfilecommands.h"

#include "gui/scriptrundialog.h"

#include "core/program.h"
#include "core/window/sqlfile.h"
#include "gui/querywindow.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>

namespace qv {

namespace {

const QString kFilter = QStringLiteral("SQLファイル (*.sql);;すべてのファイル (*)");
// A recent file's path is shortened in its middle beyond this many characters.
constexpr int kRecentWidth = 70;

SqlFileChooser& chooser() {
    static SqlFileChooser c;
    return c;
}

QString dialogChoice(QWidget* parent, bool save, const QString& start) {
    QFileDialog dialog(
        parent, save ? QStringLiteral("名前を付けて保存") : QStringLiteral("SQLファイルを開く"),
        start, kFilter);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (save)
        dialog.setDefaultSuffix(QStringLiteral("sql"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().first();
}

// The recent files of the program `w` belongs to.
RecentSqlFiles recentFiles(QueryWindow& w) {
    return RecentSqlFiles(w.model().program().store());
}

QString choose(QWidget* parent, bool save, const QString& start) {
    return chooser() ? chooser()(parent, save, start) : dialogChoice(parent, save, start);
}

// Where the file dialogs start: the window's file's folder, else the last file's, else home.
QString startFolder(QueryWindow& w) {
    QString file = w.sqlFile().path;
    if (file.isEmpty()) {
        const QStringList recent = recentFiles(w).paths();
        file = recent.isEmpty() ? QString() : recent.first();
    }
    return file.isEmpty() ? QDir::homePath() : QFileInfo(file).absolutePath();
}

// The label right of the SQL heading says which file the box holds, the heading's tooltip and
// its own where it is (the window's caption is the connection's).
void showFile(QueryWindow& w) {
    const SqlFile& f = w.sqlFile();
    const QString where = f.isOpen() ? QDir::toNativeSeparators(f.path) + QStringLiteral("（") +
                                           encodingName(f.encoding) + QStringLiteral("）")
                                     : QString();
    if (auto* heading = w.findChild<QLabel*>(QStringLiteral("sqlHeading")))
        heading->setToolTip(where);
    w.sqlFileLabel()->setToolTip(where);
    w.sqlFileSaved();
}

QString recentCaption(int n, const QString& path) {
    QString shown = QDir::toNativeSeparators(path);
    if (shown.size() > kRecentWidth) {
        const qsizetype keep = (kRecentWidth - 1) / 2;
        shown = shown.left(keep) + QStringLiteral("…") + shown.right(keep);
    }
    return QStringLiteral("&%1 %2").arg(n).arg(shown.replace(u'&', QStringLiteral("&&")));
}

void fillRecentMenu(QMenu* menu, SettingsStore& store,
                    const std::function<QueryWindow*()>& current) {
    menu->clear();
    const QStringList paths = RecentSqlFiles(store).paths();
    for (int i = 0; i < paths.size(); ++i) {
        QAction* a = menu->addAction(recentCaption(i + 1, paths[i]));
        a->setToolTip(QDir::toNativeSeparators(paths[i]));
        const QString path = paths[i];
        QObject::connect(a, &QAction::triggered, menu, [current, path] {
            if (QueryWindow* w = current())
                openSqlFile(*w, path);
        });
    }
    menu->menuAction()->setEnabled(!paths.isEmpty());
}

}  // namespace

void setSqlFileChooser(SqlFileChooser c) {
    chooser() = std::move(c);
}

void addSqlFileItems(QMenu* file, SettingsStore& store, std::function<QueryWindow*()> current) {
    auto item = [&](const char* name, const QString& caption, QKeySequence key,
                    void (*command)(QueryWindow&)) {
        QAction* a = file->addAction(caption);
        a->setObjectName(QString::fromLatin1(name));
        a->setShortcut(key);
        QObject::connect(a, &QAction::triggered, file, [current, command] {
            if (QueryWindow* w = current())
                command(*w);
        });
    };
    item("openSqlFile", QStringLiteral("開く...(&O)"), QKeySequence(Qt::CTRL | Qt::Key_O),
         &chooseAndOpenSqlFile);
    item("saveSqlFile", QStringLiteral("上書き保存(&W)"), QKeySequence(Qt::CTRL | Qt::Key_S),
         [](QueryWindow& w) { saveSqlFile(w); });
    item("saveSqlFileAs", QStringLiteral("名前を付けて保存...(&A)"), QKeySequence(),
         [](QueryWindow& w) { saveSqlFileAs(w); });
    item("runScript", QStringLiteral("スクリプトの実行...(&P)"), QKeySequence(),
         [](QueryWindow& w) { chooseAndRunScript(w); });
    QMenu* recent = file->addMenu(QStringLiteral("最近使ったファイル(&R)"));
    recent->setObjectName(QStringLiteral("recentSqlFiles"));
    recent->setToolTipsVisible(true);
    // Read when the menu opens: another window or another copy of the program may have used
    // a file since.
    QObject::connect(file, &QMenu::aboutToShow, recent,
                     [recent, &store, current] { fillRecentMenu(recent, store, current); });
    fillRecentMenu(recent, store, current);
    file->addSeparator();
}

QString chooseSqlFile(QueryWindow& w) {
    return choose(&w, false, startFolder(w));
}

void chooseAndOpenSqlFile(QueryWindow& w) {
    const QString path = choose(&w, false, startFolder(w));
    if (!path.isEmpty())
        openSqlFile(w, path);
}

bool openSqlFile(QueryWindow& w, const QString& path) {
    if (!settleSqlFileBefore(w))
        return false;
    SqlFile& current = w.sqlFile();
    QString error;
    std::optional<SqlFile> file = readSqlFile(path, error);
    if (!file) {
        w.showMessage(error, kAppTitle);
        if (!QFileInfo::exists(path))
            recentFiles(w).remove(path);
        return false;
    }
    // The caret at the start: a long line is laid out once, for the lines shown.
    w.sqlEdit()->replaceText(file->savedText);
    w.sqlEdit()->setCaretOffset(0);
    // As the box holds it, which is what a later edit is compared with.
    file->savedText = w.sqlText();
    current = std::move(*file);
    recentFiles(w).add(current.path);
    showFile(w);
    w.showStatus(QStringLiteral("%1 を開きました（%2）")
                     .arg(QDir::toNativeSeparators(current.path), encodingName(current.encoding)));
    return true;
}

bool settleSqlFileBefore(QueryWindow& w) {
    const SqlFile& current = w.sqlFile();
    if (!current.modified(w.sqlText()))
        return true;
    const Answer a =
        w.ask(QStringLiteral("SQLファイル %1 への変更は保存されていません。保存しますか？")
                  .arg(QDir::toNativeSeparators(current.path)));
    return a == Answer::No || (a == Answer::Yes && saveSqlFile(w));
}

bool saveSqlFile(QueryWindow& w) {
    if (!w.sqlFile().isOpen())
        return saveSqlFileAs(w);
    return saveSqlFileTo(w, w.sqlFile().path);
}

bool saveSqlFileAs(QueryWindow& w) {
    const QString path = choose(&w, true, startFolder(w));
    return !path.isEmpty() && saveSqlFileTo(w, path);
}

bool saveSqlFileTo(QueryWindow& w, const QString& path) {
    SqlFile file = w.sqlFile();
    if (!file.isOpen()) {
#ifdef Q_OS_WIN
        file.crlf = true;
#endif
    }
    file.path = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    const QString text = w.sqlText();
    QString error;
    if (!encodable(text, file.encoding)) {
        if (!w.confirm(QStringLiteral("%1で表せない文字が含まれています。UTF-8で保存しますか？")
                           .arg(encodingName(file.encoding)),
                       Answer::Yes))
            return false;
        file.encoding = SqlFileEncoding::Utf8;
    }
    if (!writeSqlFile(file, text, error)) {
        w.showMessage(error, kAppTitle);
        return false;
    }
    w.sqlFile() = file;
    recentFiles(w).add(file.path);
    showFile(w);
    w.showStatus(QStringLiteral("%1 に保存しました（%2）")
                     .arg(QDir::toNativeSeparators(file.path), encodingName(file.encoding)));
    return true;
}

}  // namespace qv
