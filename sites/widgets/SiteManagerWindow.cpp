#include "sites/widgets/SiteManagerWindow.h"

#include "app/MainController.h"
#include "app/SiteConnect.h"
#include "app/UserInterface.h"
#include "settings/SettingsCatalogue.h"
#include "sites/FtpUrl.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStyle>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

QString pathOf(const QTreeWidgetItem *item)
{
    return item ? item->data(0, SiteManagerWindow::kPathRole).toString() : QString();
}

bool isFolder(const QTreeWidgetItem *item)
{
    return item && item->data(0, SiteManagerWindow::kFolderRole).toBool();
}

} // namespace

SitesTree::SitesTree(QWidget *parent) : QTreeWidget(parent)
{
    setObjectName(QStringLiteral("tv"));
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::InternalMove);
    setContextMenuPolicy(Qt::CustomContextMenu);
}

void SitesTree::dragMoveEvent(QDragMoveEvent *event)
{
    QTreeWidgetItem *target = itemAt(event->position().toPoint());
    if (event->source() == this && isFolder(target) && currentItem() && currentItem()->parent())
        event->acceptProposedAction();
    else
        event->ignore();
}

void SitesTree::dropEvent(QDropEvent *event)
{
    QTreeWidgetItem *target = itemAt(event->position().toPoint());
    QTreeWidgetItem *dragged = currentItem();
    // The tree is rebuilt from the files afterwards: the view itself moves nothing.
    event->setDropAction(Qt::IgnoreAction);
    event->accept();
    if (event->source() != this || !isFolder(target) || !dragged || !dragged->parent())
        return;
    emit moveRequested(pathOf(dragged), pathOf(target));
}

SiteManagerWindow::SiteManagerWindow(MainController &controller, const SiteProfiles &profiles, Hooks hooks,
                                     QWidget *parent)
    : QWidget(parent, Qt::Window), m_controller(controller), m_profiles(profiles), m_hooks(std::move(hooks))
{
    setObjectName(QStringLiteral("TFormSites"));
    setWindowTitle(QStringLiteral("Site Manager - Kestrin FTP Pro"));
    setAttribute(Qt::WA_DeleteOnClose);
    buildControls();
    redrawTree();
    // Never smaller than its fields need: a window that grows when shown would not stay centred.
    resize(QSize(720, 460).expandedTo(minimumSizeHint()));
}

void SiteManagerWindow::buildControls()
{
    m_tv = new SitesTree(this);
    m_tv->setMinimumWidth(220);

    auto box = [this](const char *name, QLineEdit::EchoMode echo = QLineEdit::Normal) {
        auto *e = new QLineEdit(this);
        e->setObjectName(QString::fromLatin1(name));
        e->setEchoMode(echo);
        e->setMaxLength(tShortText::kMaxLength);
        connect(e, &QLineEdit::textEdited, this, &SiteManagerWindow::boxesEdited);
        return e;
    };
    m_host = box("siteHost");
    m_user = box("siteUsername");
    m_pass = box("sitePassword", QLineEdit::Password);
    m_port = box("sitePort");
    m_lFolder = box("SiteSlFolder");
    m_rFolder = box("siteSRFolder");
    m_keyFile = box("siteKeyFile");
    m_keyFile->setMaxLength(32767); // a path, not a short text
    m_keyFile->setPlaceholderText(QStringLiteral("empty: the SSH agent and the keys in ~/.ssh"));
    m_keyFile->setToolTip(QStringLiteral("SFTP: the private key to log in with, tried after the SSH agent's keys"));
    m_anonymous = new QCheckBox(QStringLiteral("Anonymous"), this);
    m_anonymous->setObjectName(QStringLiteral("anonymous"));
    m_smartTransfer = new QCheckBox(QStringLiteral("Enable Smart Transfer Technology"), this);
    m_smartTransfer->setObjectName(QStringLiteral("smartTransfer"));
    for (QCheckBox *c : {m_anonymous, m_smartTransfer})
        connect(c, &QCheckBox::toggled, this, &SiteManagerWindow::boxesEdited);
    m_protocol = new QComboBox(this);
    m_protocol->setObjectName(QStringLiteral("siteProtocol"));
    for (int i = 0; i < kProtocolChoiceCount; ++i)
        m_protocol->addItem(protocolChoiceText(static_cast<SiteProtocol>(i)));
    connect(m_protocol, &QComboBox::currentIndexChanged, this, &SiteManagerWindow::protocolChosen);
    m_encryption = new QComboBox(this);
    m_encryption->setObjectName(QStringLiteral("encryption"));
    for (int i = 0; i < kEncryptionChoiceCount; ++i)
        m_encryption->addItem(encryptionChoiceText(static_cast<SiteEncryption>(i)));
    connect(m_encryption, &QComboBox::currentIndexChanged, this, &SiteManagerWindow::boxesEdited);
    // 0 shows as empty: the site takes the global number.
    m_parallel = new QSpinBox(this);
    m_parallel->setObjectName(QStringLiteral("simultaneousTransfers"));
    m_parallel->setRange(0, Keys::kMaxSimultaneousTransfers);
    m_parallel->setSpecialValueText(QStringLiteral(" "));
    m_parallel->setToolTip(QStringLiteral("Empty: the number in the global FTP settings"));
    connect(m_parallel, &QSpinBox::valueChanged, this, &SiteManagerWindow::boxesEdited);
    m_desc = new QPlainTextEdit(this);
    m_desc->setObjectName(QStringLiteral("desc"));
    connect(m_desc, &QPlainTextEdit::textChanged, this, &SiteManagerWindow::boxesEdited);

    auto *browse = new QPushButton(QStringLiteral("..."), this);
    browse->setObjectName(QStringLiteral("SitelFolderBrowse"));
    browse->setFixedWidth(30);
    connect(browse, &QPushButton::clicked, this, [this] {
        QString chosen;
        if (m_controller.ui().pickLocalFolder(m_lFolder->text(), chosen)) {
            m_lFolder->setText(chosen);
            boxesEdited();
        }
    });
    auto *localRow = new QHBoxLayout;
    localRow->addWidget(m_lFolder);
    localRow->addWidget(browse);
    m_keyFileBrowse = new QPushButton(QStringLiteral("..."), this);
    m_keyFileBrowse->setObjectName(QStringLiteral("siteKeyFileBrowse"));
    m_keyFileBrowse->setFixedWidth(30);
    connect(m_keyFileBrowse, &QPushButton::clicked, this, [this] {
        const QString typed = m_keyFile->text().trimmed();
        QString chosen;
        if (m_controller.ui().pickLocalFile(QStringLiteral("SSH key file"),
                                            typed.isEmpty() ? QDir::homePath() + QStringLiteral("/.ssh") : typed,
                                            chosen)) {
            m_keyFile->setText(chosen);
            boxesEdited();
        }
    });
    auto *keyRow = new QHBoxLayout;
    keyRow->addWidget(m_keyFile);
    keyRow->addWidget(m_keyFileBrowse);

    auto *general = new QWidget(this);
    auto *form = new QFormLayout(general);
    m_userLabel = new QLabel(QStringLiteral("Username:"), this);
    m_passLabel = new QLabel(QStringLiteral("Password:"), this);
    m_portLabel = new QLabel(QStringLiteral("Port:"), this);
    m_keyFileLabel = new QLabel(QStringLiteral("Key file:"), this);
    form->addRow(QStringLiteral("Hostname:"), m_host);
    form->addRow(QStringLiteral("Protocol:"), m_protocol);
    form->addRow(m_userLabel, m_user);
    form->addRow(m_passLabel, m_pass);
    // Shown when passwords cannot go to the desktop's secret store.
    m_keyringNotice = new QLabel(this);
    m_keyringNotice->setObjectName(QStringLiteral("keyringNotice"));
    m_keyringNotice->setWordWrap(true);
    m_keyringNotice->hide();
    form->addRow(m_keyringNotice);
    form->addRow(m_keyFileLabel, keyRow);
    form->addRow(m_portLabel, m_port);
    form->addRow(QStringLiteral("Encryption:"), m_encryption);
    form->addRow(QStringLiteral("Initial local folder:"), localRow);
    form->addRow(QStringLiteral("Initial remote folder:"), m_rFolder);
    form->addRow(QString(), m_anonymous);
    form->addRow(QStringLiteral("Description:"), m_desc);

    auto *advanced = new QWidget(this);
    auto *adv = new QVBoxLayout(advanced);
    adv->addWidget(new QLabel(QStringLiteral("Options:"), this));
    adv->addWidget(m_smartTransfer);
    auto *parallelRow = new QHBoxLayout;
    parallelRow->addWidget(new QLabel(QStringLiteral("Simultaneous transfers:"), this));
    parallelRow->addWidget(m_parallel);
    parallelRow->addStretch();
    adv->addLayout(parallelRow);
    auto *global = new QPushButton(QStringLiteral("Global FTP settings"), this);
    global->setObjectName(QStringLiteral("Button1"));
    connect(global, &QPushButton::clicked, this, [this] {
        if (m_hooks.openOptions)
            m_hooks.openOptions();
    });
    adv->addWidget(global, 0, Qt::AlignLeft);
    adv->addStretch();

    m_sitePc = new QTabWidget(this);
    m_sitePc->setObjectName(QStringLiteral("sitePc"));
    m_sitePc->addTab(general, QStringLiteral("General"));
    m_sitePc->addTab(advanced, QStringLiteral("Advanced"));
    auto *none = new QLabel(QStringLiteral("No Site Selected"), this);
    none->setAlignment(Qt::AlignCenter);
    m_pages = new QStackedWidget(this);
    m_pages->addWidget(none);
    m_pages->addWidget(m_sitePc);

    auto button = [this](const char *name, const char *caption, void (SiteManagerWindow::*slot)()) {
        auto *b = new QPushButton(QString::fromLatin1(caption), this);
        b->setObjectName(QString::fromLatin1(name));
        connect(b, &QPushButton::clicked, this, slot);
        return b;
    };
    m_newSite = button("newsite", "New site", &SiteManagerWindow::newSite);
    m_newFolder = button("newfolder", "New folder", &SiteManagerWindow::newFolder);
    m_rename = button("Rename", "Rename", &SiteManagerWindow::renameNode);
    m_delete = button("delete", "Delete", &SiteManagerWindow::deleteNode);
    m_connect = button("connect", "Connect", &SiteManagerWindow::connectSite);
    m_save = button("save", "Save changes", &SiteManagerWindow::saveProfile);
    m_close = new QPushButton(QStringLiteral("Close"), this);
    m_close->setObjectName(QStringLiteral("btnClose"));
    connect(m_close, &QPushButton::clicked, this, &QWidget::close);
    m_connect->setDefault(true);

    m_openAtStartup = new QCheckBox(QStringLiteral("Open Site Manager at StartUp"), this);
    m_openAtStartup->setObjectName(QStringLiteral("openAtStartup"));
    m_openAtStartup->setChecked(read(m_controller.setup(), Keys::startupAction) == 1);
    connect(m_openAtStartup, &QCheckBox::toggled, this,
            [this](bool on) { write(m_controller.setup(), Keys::startupAction, on ? 1 : 0); });

    auto *treeButtons = new QHBoxLayout;
    for (QPushButton *b : {m_newSite, m_newFolder, m_rename, m_delete})
        treeButtons->addWidget(b);
    auto *left = new QVBoxLayout;
    left->addWidget(m_tv);
    left->addLayout(treeButtons);
    auto *right = new QVBoxLayout;
    right->addWidget(m_pages);
    right->addWidget(m_save, 0, Qt::AlignRight);
    auto *top = new QHBoxLayout;
    top->addLayout(left, 2);
    top->addLayout(right, 3);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(m_openAtStartup);
    bottom->addStretch();
    bottom->addWidget(m_connect);
    bottom->addWidget(m_close);
    auto *all = new QVBoxLayout(this);
    all->addLayout(top);
    all->addLayout(bottom);

    auto *menu = new QMenu(this);
    menu->addAction(QStringLiteral("New site"), this, &SiteManagerWindow::newSite);
    menu->addAction(QStringLiteral("New folder"), this, &SiteManagerWindow::newFolder);
    menu->addAction(QStringLiteral("Rename"), this, &SiteManagerWindow::renameNode);
    menu->addAction(QStringLiteral("Delete"), this, &SiteManagerWindow::deleteNode);
    connect(m_tv, &QWidget::customContextMenuRequested, this,
            [this, menu](const QPoint &at) { menu->popup(m_tv->viewport()->mapToGlobal(at)); });
    connect(m_tv, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem *current) { selectionChanged(current); });
    connect(m_tv, &QTreeWidget::itemDoubleClicked, this, [this] {
        if (m_connect->isEnabled())
            connectSite();
    });
    connect(m_tv, &SitesTree::moveRequested, this, &SiteManagerWindow::moveNode);
}

QString SiteManagerWindow::selectedPath() const
{
    return pathOf(m_tv->currentItem());
}

QTreeWidgetItem *SiteManagerWindow::findNodeByPath(const QString &path) const
{
    QTreeWidgetItem *root = m_tv->topLevelItem(0);
    QList<QTreeWidgetItem *> pending{root};
    while (!pending.isEmpty()) {
        QTreeWidgetItem *item = pending.takeFirst();
        if (!item)
            continue;
        if (pathOf(item) == path)
            return item;
        QList<QTreeWidgetItem *> children;
        for (int i = 0; i < item->childCount(); ++i)
            children << item->child(i);
        pending = children + pending; // tree order: depth first
    }
    return root;
}

void SiteManagerWindow::selectPath(const QString &path)
{
    QTreeWidgetItem *item = findNodeByPath(path);
    m_tv->setCurrentItem(item);
    if (item)
        m_tv->scrollToItem(item);
}

void SiteManagerWindow::redrawTree()
{
    m_rebuilding = true;
    m_tv->clear();
    const SiteProfiles::Node root = m_profiles.tree();
    auto *rootItem = new QTreeWidgetItem(m_tv, {SiteProfiles::kRootName});
    rootItem->setData(0, kPathRole, QString());
    rootItem->setData(0, kFolderRole, true);
    const QIcon folderIcon = style()->standardIcon(QStyle::SP_DirIcon);
    const QIcon siteIcon = style()->standardIcon(QStyle::SP_DriveNetIcon);
    rootItem->setIcon(0, style()->standardIcon(QStyle::SP_DirHomeIcon));
    std::function<void(QTreeWidgetItem *, const SiteProfiles::Node &, const QString &)> add =
        [&](QTreeWidgetItem *parent, const SiteProfiles::Node &node, const QString &path) {
            for (const SiteProfiles::Node &child : node.children) {
                const QString childPath = SiteProfiles::childPath(path, child.name, child.isFolder);
                auto *item = new QTreeWidgetItem(parent, {child.name});
                item->setData(0, kPathRole, childPath);
                item->setData(0, kFolderRole, child.isFolder);
                item->setIcon(0, child.isFolder ? folderIcon : siteIcon);
                if (child.isFolder)
                    add(item, child, childPath);
            }
        };
    add(rootItem, root, QString());
    m_tv->expandAll();
    m_rebuilding = false;
    m_loadedPath.clear();
    selectPath(read(m_controller.setup(), Keys::siteMgrSelNodePath));
    loadSelected();
    if (isVisible())
        emit profilesChanged();
}

bool SiteManagerWindow::hasUnsavedChanges() const
{
    return m_save->isEnabled();
}

void SiteManagerWindow::offerSave()
{
    if (!hasUnsavedChanges() || m_loadedPath.isEmpty())
        return;
    const QString path = m_loadedPath;
    if (m_controller.ui().confirm(
            QStringLiteral("Would you like to save changes to the current site profile before continuing?\n\n"
                           "Current site profile: ") +
            SiteProfiles::nodeName(path))) {
        // The boxes still show that profile: the selection has not reached the new node yet.
        saveProfile();
    }
    m_save->setEnabled(false);
}

void SiteManagerWindow::selectionChanged(QTreeWidgetItem *)
{
    if (m_rebuilding)
        return;
    offerSave();
    loadSelected();
}

void SiteManagerWindow::loadSelected()
{
    QTreeWidgetItem *item = m_tv->currentItem();
    m_site = tSiteRecord();
    m_loadedPath.clear();
    if (item && !isFolder(item)) {
        m_loadedPath = pathOf(item);
        if (!m_profiles.readProfile(m_loadedPath, m_site)) {
            m_site = tSiteRecord();
            m_controller.ui().showMessage(QStringLiteral("Unable to load site profile from disk."));
        }
        tellDamagedProfiles();
        m_site.name = item->text(0);
    }
    fillBoxes();
    m_save->setEnabled(false);
    updateState();
}

void SiteManagerWindow::tellDamagedProfiles()
{
    if (const QString notice = m_profiles.takeDamageNotice(); !notice.isEmpty())
        m_controller.ui().showMessage(notice);
}

void SiteManagerWindow::fillBoxes()
{
    m_filling = true;
    m_host->setText(m_site.Host);
    m_user->setText(m_site.User);
    m_pass->setText(m_site.Pass);
    m_port->setText(m_site.Port);
    m_lFolder->setText(m_site.lFolder);
    m_rFolder->setText(m_site.rFolder);
    m_desc->setPlainText(m_site.desc);
    m_anonymous->setChecked(m_site.anonymous);
    m_smartTransfer->setChecked(m_site.smartXfer);
    m_parallel->setValue(m_site.simultaneousTransfers);
    m_encryption->setCurrentIndex(static_cast<int>(m_site.encryption));
    m_protocol->setCurrentIndex(static_cast<int>(m_site.protocol));
    m_shownProtocol = m_site.protocol;
    m_keyFile->setText(m_site.keyFile);
    m_filling = false;
}

void SiteManagerWindow::protocolChosen()
{
    const auto chosen = static_cast<SiteProtocol>(std::max(0, m_protocol->currentIndex()));
    if (m_filling || chosen == m_shownProtocol)
        return;
    // A port that was the other protocol's default follows; one the user typed stays.
    const QString port =
        portAfterProtocolChange(m_port->text(), m_shownProtocol, chosen,
                                static_cast<SiteEncryption>(std::max(0, m_encryption->currentIndex())));
    m_shownProtocol = chosen;
    if (port != m_port->text())
        m_port->setText(port);
    boxesEdited();
}

void SiteManagerWindow::boxesEdited()
{
    if (m_filling)
        return;
    m_save->setEnabled(!m_loadedPath.isEmpty());
    updateState();
}

void SiteManagerWindow::updateState()
{
    const QString notice = m_controller.secrets().notice();
    if (notice.isEmpty() != m_keyringNotice->isHidden()) {
        // Plain words here; what the keyring answered is there for whoever asks.
        m_keyringNotice->setText(QStringLiteral("No desktop keyring answers, so the password is saved in the "
                                                "profile file, which only you can read."));
        m_keyringNotice->setToolTip(QStringLiteral("The keyring said: ") + notice);
        m_keyringNotice->setVisible(!notice.isEmpty());
    }
    const bool site = !m_loadedPath.isEmpty();
    m_pages->setCurrentIndex(site ? 1 : 0);
    // SFTP: no anonymous login and no FTP encryption, but a key file.
    const bool sftp = m_shownProtocol == SiteProtocol::Sftp;
    const bool named = sftp || !m_anonymous->isChecked();
    for (QWidget *w : std::initializer_list<QWidget *>{m_user, m_pass, m_port, m_userLabel, m_passLabel, m_portLabel})
        w->setEnabled(named);
    m_anonymous->setEnabled(!sftp);
    m_encryption->setEnabled(!sftp);
    for (QWidget *w : std::initializer_list<QWidget *>{m_keyFile, m_keyFileBrowse, m_keyFileLabel})
        w->setEnabled(sftp);
    m_connect->setEnabled(site && !m_site.Host.isEmpty());
    QTreeWidgetItem *item = m_tv->currentItem();
    const bool notRoot = item && item->parent();
    const bool linksBar = pathOf(item) == SiteProfiles::kLinksBar + QLatin1Char('\\');
    m_rename->setEnabled(notRoot && !linksBar);
    m_delete->setEnabled(notRoot && !linksBar);
}

void SiteManagerWindow::saveProfile()
{
    if (m_loadedPath.isEmpty())
        return;
    tSiteRecord edited = m_site;
    edited.Host = m_host->text().trimmed();
    edited.User = m_user->text();
    edited.Pass = m_pass->text();
    edited.Port = m_port->text().trimmed();
    edited.lFolder = m_lFolder->text();
    edited.rFolder = m_rFolder->text();
    edited.desc = m_desc->toPlainText();
    edited.anonymous = m_anonymous->isChecked();
    edited.smartXfer = m_smartTransfer->isChecked();
    edited.simultaneousTransfers = m_parallel->value();
    edited.encryption = static_cast<SiteEncryption>(std::max(0, m_encryption->currentIndex()));
    edited.protocol = m_shownProtocol;
    edited.keyFile = m_keyFile->text().trimmed();
    QString error;
    const bool written = m_profiles.writeProfile(m_loadedPath, edited, &error);
    tellDamagedProfiles();
    if (!written) {
        m_controller.ui().showMessage(QStringLiteral("Unable to save site profile to disk.\n\n") + error);
        return;
    }
    m_save->setEnabled(false);
    if (!m_profiles.readProfile(m_loadedPath, m_site))
        m_controller.ui().showMessage(QStringLiteral("Unable to load site profile from disk."));
    m_site.name = SiteProfiles::nodeName(m_loadedPath);
    updateState();
}

QString SiteManagerWindow::targetFolder() const
{
    QTreeWidgetItem *item = m_tv->currentItem();
    if (!item)
        return {};
    return isFolder(item) ? pathOf(item) : SiteProfiles::parentPath(pathOf(item));
}

void SiteManagerWindow::showRefusal(SiteProfiles::Result result, bool folder)
{
    switch (result) {
    case SiteProfiles::Result::BadName:
        m_controller.ui().showMessage(folder ? SiteProfiles::folderNameMessage() : SiteProfiles::siteNameMessage());
        break;
    case SiteProfiles::Result::SiteExists:
        m_controller.ui().showMessage(QStringLiteral("A site profile with that name already exists in that folder!"));
        break;
    case SiteProfiles::Result::FolderExists:
        m_controller.ui().showMessage(QStringLiteral("A folder with that name already exists in that folder!"));
        break;
    default:
        break; // the file system's refusals change nothing and say nothing
    }
}

void SiteManagerWindow::newSite()
{
    offerSave();
    const QString folder = targetFolder();
    QString name = QStringLiteral("My Homepage FTP site");
    if (!m_controller.ui().askText(QStringLiteral("Create new site"), QStringLiteral("New site nickname:"), name,
                                   false))
        return;
    name = name.trimmed();
    const QString existing = m_profiles.siteFile(SiteProfiles::childPath(folder, name, false));
    const bool isNew = existing.isEmpty() || !QFileInfo::exists(existing);
    const SiteProfiles::Result r = m_profiles.createSite(folder, name);
    if (r != SiteProfiles::Result::Done) {
        showRefusal(r, false);
        return;
    }
    write(m_controller.setup(), Keys::siteMgrSelNodePath, SiteProfiles::childPath(folder, name, false));
    redrawTree();
    // A new site: the user types the host over the site's name. A profile that was there
    // already shows what it holds.
    if (isNew) {
        m_host->setText(name);
        m_host->selectAll();
    }
    m_host->setFocus();
}

void SiteManagerWindow::newFolder()
{
    offerSave();
    const QString folder = targetFolder();
    QString name = QStringLiteral("Folder name");
    if (!m_controller.ui().askText(QStringLiteral("Create new folder"), QStringLiteral("New folder name:"), name,
                                   false))
        return;
    name = name.trimmed();
    const SiteProfiles::Result r = m_profiles.createFolder(folder, name);
    if (r == SiteProfiles::Result::Ignored)
        return;
    if (r == SiteProfiles::Result::Done)
        write(m_controller.setup(), Keys::siteMgrSelNodePath, SiteProfiles::childPath(folder, name, true));
    else if (r == SiteProfiles::Result::Failed)
        m_controller.ui().showMessage(SiteProfiles::folderNameMessage());
    else
        showRefusal(r, true);
    redrawTree();
}

void SiteManagerWindow::renameNode()
{
    QTreeWidgetItem *item = m_tv->currentItem();
    if (!item || !item->parent())
        return;
    offerSave();
    const QString path = pathOf(item);
    const bool folder = isFolder(item);
    QString name = item->text(0);
    if (!m_controller.ui().askText(folder ? QStringLiteral("Rename folder") : QStringLiteral("Rename site"),
                                   folder ? QStringLiteral("New folder name:") : QStringLiteral("New site name:"), name,
                                   false))
        return;
    name = name.trimmed();
    const SiteProfiles::Result r = m_profiles.rename(path, name);
    if (r == SiteProfiles::Result::Done)
        write(m_controller.setup(), Keys::siteMgrSelNodePath,
              SiteProfiles::childPath(SiteProfiles::parentPath(path), name, folder));
    else
        showRefusal(r, folder);
    redrawTree();
}

void SiteManagerWindow::deleteNode()
{
    QTreeWidgetItem *item = m_tv->currentItem();
    if (!item || !item->parent())
        return;
    const QString path = pathOf(item);
    const bool folder = isFolder(item);
    // The profile may hold the only copy of a password: a site goes only when the user says so.
    if (!folder && !m_controller.ui().confirm(QStringLiteral("Delete the site profile \"%1\"?\n\n"
                                                             "Its host, user name and password are removed from disk.")
                                                  .arg(item->text(0))))
        return;
    write(m_controller.setup(), Keys::siteMgrSelNodePath, SiteProfiles::parentPath(path));
    m_save->setEnabled(false); // the deleted profile's edits have nowhere to go
    m_profiles.remove(path);
    redrawTree();
}

void SiteManagerWindow::moveNode(const QString &nodePath, const QString &targetFolderPath)
{
    offerSave();
    const bool folder = SiteProfiles::isFolderPath(nodePath);
    const SiteProfiles::Result r = m_profiles.move(nodePath, targetFolderPath);
    if (r == SiteProfiles::Result::Done)
        write(m_controller.setup(), Keys::siteMgrSelNodePath,
              SiteProfiles::childPath(targetFolderPath, SiteProfiles::nodeName(nodePath), folder));
    else
        showRefusal(r, folder);
    redrawTree();
}

void SiteManagerWindow::connectSite()
{
    if (m_loadedPath.isEmpty() || m_site.Host.isEmpty())
        return;
    // The profile as last read from disk: edits that were not saved are not used.
    // Everything the connect needs is copied first: the window is gone once it has closed.
    const tSiteRecord site = m_site;
    const QString name = SiteProfiles::nodeName(m_loadedPath);
    MainController &controller = m_controller;
    m_save->setEnabled(false);
    close();
    connectToProfile(controller, site, name);
}

void SiteManagerWindow::closeEvent(QCloseEvent *event)
{
    offerSave();
    write(m_controller.setup(), Keys::siteMgrSelNodePath, selectedPath());
    event->accept();
}

void SiteManagerWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_F1 && m_hooks.showHelp) {
        m_hooks.showHelp(QStringLiteral("addToSiteMgr.htm"));
        return;
    }
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}
