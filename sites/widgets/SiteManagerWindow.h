#pragma once

#include "sites/SiteProfiles.h"
#include "sites/SiteRecord.h"

#include <QTreeWidget>
#include <QWidget>

#include <functional>

class MainController;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QStackedWidget;
class QTabWidget;

// The profile tree of the site manager: drags move sites and folders onto folders. The
// tree never moves items itself; it reports the drop and the window changes the files
// and rebuilds.
class SitesTree : public QTreeWidget {
    Q_OBJECT
public:
    explicit SitesTree(QWidget *parent = nullptr);

signals:
    void moveRequested(const QString &nodePath, const QString &targetFolderPath);

protected:
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
};

// The site manager window `TFormSites`: the profile tree on the left, the selected site's
// profile on the right, and the commands for sites and folders. Every change is written to
// disk at once; the window only keeps the profile last read for the selected site, and
// Connect uses that (edits not yet saved are not connected to).
class SiteManagerWindow : public QWidget {
    Q_OBJECT
public:
    struct Hooks {
        std::function<void()> openOptions;             // "Global FTP settings"
        std::function<void(const QString &)> showHelp; // F1
    };

    static constexpr int kPathRole = Qt::UserRole;
    static constexpr int kFolderRole = Qt::UserRole + 1;

    SiteManagerWindow(MainController &controller, const SiteProfiles &profiles, Hooks hooks, QWidget *parent = nullptr);

    SitesTree *tree() const { return m_tv; }
    // The node path of the selected node ("" for the root or nothing).
    QString selectedPath() const;
    // Selects the first node whose node path is exactly `path`, else the root.
    void selectPath(const QString &path);
    QTreeWidgetItem *findNodeByPath(const QString &path) const;
    const tSiteRecord &site() const { return m_site; }
    bool hasUnsavedChanges() const;

    // The commands, also reached by the buttons and the tree's menu.
    void newSite();
    void newFolder();
    void renameNode();
    void deleteNode();
    void saveProfile();
    // Connects to the selected site as last read from disk, then closes the window.
    void connectSite();
    // Moves a node into a folder (what a drop does).
    void moveNode(const QString &nodePath, const QString &targetFolderPath);

signals:
    // The tree was rebuilt while the window is shown: the links bar follows it.
    void profilesChanged();

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void buildControls();
    void redrawTree();
    void selectionChanged(QTreeWidgetItem *current);
    // Asks whether to save the edited profile before the selection leaves it; false when
    // there is nothing to ask about or the answer was No.
    void offerSave();
    void loadSelected();
    // Shows the notice about damaged profiles the last read or write found, once each.
    void tellDamagedProfiles();
    void fillBoxes();
    void updateState();
    void boxesEdited();
    // The protocol choice changed: a default port follows it.
    void protocolChosen();
    // The folder a new node goes into: the selection, or the folder of a selected site.
    QString targetFolder() const;
    void showRefusal(SiteProfiles::Result result, bool folder);

    MainController &m_controller;
    SiteProfiles m_profiles;
    Hooks m_hooks;
    tSiteRecord m_site;
    QString m_loadedPath; // the site whose profile the boxes show, "" for none
    bool m_rebuilding = false;
    bool m_filling = false;

    SitesTree *m_tv;
    QStackedWidget *m_pages;
    QTabWidget *m_sitePc;
    QLineEdit *m_host, *m_user, *m_pass, *m_port, *m_lFolder, *m_rFolder, *m_keyFile;
    QLabel *m_userLabel, *m_passLabel, *m_portLabel, *m_keyFileLabel;
    QPushButton *m_keyFileBrowse;
    QComboBox *m_protocol;
    // The protocol the boxes were filled or last switched for.
    SiteProtocol m_shownProtocol = SiteProtocol::Ftp;
    QLabel *m_keyringNotice = nullptr;
    QCheckBox *m_anonymous, *m_smartTransfer, *m_openAtStartup;
    QComboBox *m_encryption;
    QSpinBox *m_parallel;
    QPlainTextEdit *m_desc;
    QPushButton *m_newSite, *m_newFolder, *m_rename, *m_delete, *m_connect, *m_close, *m_save;
};
