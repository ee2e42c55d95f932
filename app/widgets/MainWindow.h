#pragma once

#include "app/MainController.h"
#include "app/MainView.h"
#include "ui/QtUserInterface.h"

#include <QMainWindow>

#include <memory>

class QHeaderView;
class QMenu;
class QSplitter;
class QToolBar;
class QTreeView;
class TFormWait;

// The main window: the visual half of the program's one permanent window. It owns the
// controller and lends it itself as the view for the visual start-up and shut-down steps.
class MainWindow : public QMainWindow, public MainView {
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    MainController &controller() { return *m_controller; }
    TFormWait *waitWindow() const { return m_wait; }
    QMenu *debugMenu() const { return m_debugMenu; }

    // MainView
    void showWaitText(const QString &text) override;
    void startWaitCloseTimer() override;
    void loadListLayouts(const QString &programData, bool includeQueue) override;
    void saveListLayouts(const QString &programData) override;
    void loadToolbarPositions(const QString &path) override;
    void saveToolbarPositions(const QString &path) override;
    WindowGeometry currentGeometry() const override;
    void applyGeometry(const WindowGeometry &g, bool keepStoredPosition) override;
    void setDebugMenuVisible(bool visible) override;
    void applyInterfaceSettings() override;
    void closeMainWindow() override;

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void buildFrame();
    void applyPendingState();
    QTreeView *makeList(const QString &name, const QStringList &columns);

    QtUserInterface m_ui;
    std::unique_ptr<MainController> m_controller;
    TFormWait *m_wait;
    QMenu *m_debugMenu = nullptr;
    QTreeView *m_lLv = nullptr;
    QTreeView *m_rlv = nullptr;
    QTreeView *m_qLv = nullptr;
    QWidget *m_log = nullptr;
    QWidget *m_lPanel = nullptr;
    QWidget *m_bottomPanel = nullptr;
    QWidget *m_gamePanel = nullptr;
    QSplitter *m_vertical = nullptr;
    QSplitter *m_panes = nullptr;
    QSplitter *m_bottom = nullptr;
    int m_pendingState = 0;
};
