#pragma once

#include "app/BrowserController.h"
#include "browser/FileFilter.h"
#include "browser/FileListModel.h"
#include "browser/widgets/FileListView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <QTimer>

class FileIconSource;
class tSetupClass;
class QWidget;

// The widgets around a file list that its browser drives. Any of them may be missing.
struct BrowserRowWidgets {
    QComboBox *folderBox = nullptr; // the navigation row's folder box with its history
    QWidget *filterPanel = nullptr; // the filter row
    QLineEdit *filter = nullptr;
    QCheckBox *alwaysFolders = nullptr;
    QCheckBox *wildcard = nullptr;
};

// One side of the window's file browsing: the list's model and view, its folder box, its
// filter row with the delayed rebuild, and the focus rules that make a side the active one
// (localActive). The controller's browsers own the entries and folders; this view redraws
// on their signals and hands every change back to them.
//
// User-interface thread only. The controller must outlive the browser.
class FileBrowser : public QObject {
    Q_OBJECT
public:
    using Side = FileListModel::Side;
    // A list is rebuilt once this long has passed since its filter last changed.
    static constexpr int kFilterDelayMs = 300;
    // How often a pending filter change is looked at (the interface timer's period).
    static constexpr int kFilterCheckMs = 200;
    static constexpr int kFolderHistoryItems = BrowserController::kFolderHistoryItems;

    // The list becomes a child of listParent and owns its model; the browser itself has no
    // parent unless given one.
    FileBrowser(Side side, BrowserController &browsers, tSetupClass &setup, QWidget *listParent,
                QObject *parent = nullptr);
    ~FileBrowser() override;

    Side side() const { return m_side; }
    FileListView *list() const { return m_list; }
    FileListModel *model() const { return m_model; }
    QComboBox *folderBox() const { return m_folderBox; }

    void setIconSource(FileIconSource *icons);
    // Connects the row widgets: filter edits record a change (and the check boxes save
    // their settings) and the folder box's focus makes this side active.
    void attachRow(const BrowserRowWidgets &row);
    // A mouse press on this widget (a caption bar, the logo) gives the focus to the folder
    // box, which makes this side the active one.
    void addFocusSource(QWidget *widget);
    // Shows the filter row when the filters are switched on and puts the stored filter into
    // its widgets.
    void applyFilterRow();
    bool filterChangePending() const { return m_filterChangedAt.isValid(); }
    // With this on, the list's picture is kept each time its rows are dropped (null when it
    // was not on screen), so a view can show what was there while it waits for more.
    void setKeepsLastPicture(bool on) { m_keepsPicture = on; }
    const QPixmap &lastPicture() const { return m_lastPicture; }
    // Rebuilds the list after the filter delay, as a filter change does.
    void scheduleRebuild() { recordFilterChange(); }

    // Has the controller rebuild the side (refreshLocalView or refreshRemoteView).
    virtual void refresh() = 0;

protected:
    BrowserController &browsers();
    const FileFilter &filterState() const;
    // Shows the folder in the folder box; a folder its drop-down does not hold yet goes on
    // top, and the drop-down keeps the last kFolderHistoryItems.
    void showInFolderBox(const QString &folder);
    // Rows for the side's entries through the filter, sorted as the header says, with the
    // folder just left (directly inside `folder`) selected and in view.
    void fillList(const QString &folder, const QString &justLeft);

    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void recordFilterChange();
    void checkFilterChange();
    void onFocusChanged(QWidget *now);

    Side m_side;
    BrowserController &m_browsers;
    tSetupClass &m_setup;
    // The window owns the widgets; they may go before the browser does.
    QPointer<FileListModel> m_model;
    QPointer<FileListView> m_list;
    QPointer<QComboBox> m_folderBox;
    QPointer<QWidget> m_filterPanel;
    QPointer<QLineEdit> m_filter;
    QPointer<QCheckBox> m_alwaysFolders;
    QPointer<QCheckBox> m_wildcard;
    QList<QPointer<QWidget>> m_focusSources;
    QTimer m_filterTimer;
    QElapsedTimer m_filterChangedAt;
    bool m_keepsPicture = false;
    QPixmap m_lastPicture;
};
