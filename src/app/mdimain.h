#pragma once

#include <QList>
#include <QMainWindow>
#include <QPointer>

class QAction;
class QMdiArea;
class QMdiSubWindow;
class QMenu;

namespace qv {

class FrmMain;

// The application frame: holds the query windows and the menu bar, which shows and acts on
// the current query window.
class MdiMain : public QMainWindow {
    Q_OBJECT
  public:
    explicit MdiMain(QWidget* parent = nullptr);
    ~MdiMain() override;

    // Opens a new query window of gMainWidth by gMainHeight twips.
    FrmMain* openForm();
    // The query window the menus act on; null when none is open.
    FrmMain* activeForm() const;
    QList<FrmMain*> forms() const { return forms_; }
    QMdiArea* mdiArea() const { return mdiArea_; }

    // A menu item by its name (mnuLogin, nrewindow, ...), for the tests.
    QAction* action(const QString& name) const;
    // Captions of the query windows listed in the Window menu, as it would show now.
    QStringList windowMenuEntries();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildMenus();
    QAction* addItem(QMenu* menu, const char* name, const QString& caption);
    void rebuildWindowMenu();
    void updateMenus();
    void formClosed(FrmMain* form);

    QMdiArea* mdiArea_;
    QList<FrmMain*> forms_;
    QMenu* windowMenu_ = nullptr;
    QAction* windowListSep_ = nullptr;
    QList<QAction*> windowList_;
    QMetaObject::Connection stateConnection_;
};

}  // namespace qv
