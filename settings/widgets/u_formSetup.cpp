#include "settings/widgets/u_formSetup.h"

#include "base/Guard.h"
#include "settings/SettingsCatalogue.h"
#include "settings/widgets/OptionsPage.h"
#include "settings/widgets/SetupControls.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

struct NodeText {
    const char *name;
    const char *description;
};

// The tree's nodes in order, each with its children, and the band text under the title.
const std::vector<std::pair<NodeText, std::vector<NodeText>>> &treeNodes()
{
    static const std::vector<std::pair<NodeText, std::vector<NodeText>>> nodes = {
        {{"Advanced", " Select various advanced options here ..."}, {}},
        {{"Bandwidth Meter", " Specify various bandwidth meter settings here ..."}, {}},
        {{"Connection", " Set the general connection settings here ..."},
         {{"Anti Timeout", " Avoid geting kicked off FTP servers because of inactivity ..."},
          {"ASCII/Binary", " Text files should be ASCII, others should be binary ..."},
          {"History", " Specify various connection history settings here ..."},
          {"Firewall", " Setup connection type here ..."}}},
        {{"Display", " Adjust various display settings here ..."},
         {{"Font", " Specify various font settings here ..."},
          {"Shortcuts", " Set program shortcuts here ..."},
          {"Sound", " Specify various sound events here ..."},
          {"Toolbar", " Setup various toolbar settings here ..."}}},
        {{"General", " Specify general settings here ..."}, {}},
        {{"Prompts", " Turn on/off various prompts here ..."},
         {{"Transfer", " Set various transfer prompt settings here ..."}}},
        {{"Sharing", " Share FTP settings with other users here ..."}, {}},
        {{"Security", " Turn on/off various security settings here ..."}, {}},
    };
    return nodes;
}

constexpr int kDescriptionRole = Qt::UserRole + 1;

} // namespace

TFormSetup::TFormSetup(tSetupClass &setup, UserInterface &ui, OptionsHooks hooks, QWidget *parent)
    : QDialog(parent), m_setup(setup), m_ui(ui), m_hooks(std::move(hooks))
{
    setObjectName(QStringLiteral("TFormSetup"));
    setWindowTitle(QStringLiteral("Preferences - Kestrin FTP Pro"));
    buildFrame();
    buildAdvanced();
    buildBandwidthMeter();
    buildConnection();
    buildAntiTimeout();
    buildAsciiBinary();
    buildToolbar();
    buildGeneral();
    buildDisplay();
    buildFont();
    buildShortcuts();
    buildSound();
    buildFirewall();
    buildPrompts();
    buildTransfer();
    buildSecurity();
    buildHistory();
    buildSharing();
    buildTree();
    m_apply->setEnabled(false);
    if (!selectNode(read(m_setup, Keys::defaultSetupTab)))
        selectNode(Keys::defaultSetupTab.defText());
    m_tv->expandAll();
    resize(640, 500);
}

TFormSetup::~TFormSetup()
{
    stopTestSound();
}

void TFormSetup::buildFrame()
{
    m_tv = new QTreeWidget(this);
    m_tv->setObjectName(QStringLiteral("tv"));
    m_tv->setHeaderHidden(true);
    m_tv->setFixedWidth(160);
    m_tv->setEditTriggers(QAbstractItemView::NoEditTriggers);

    m_shape1 = new QLabel(this);
    m_shape1->setObjectName(QStringLiteral("shape1"));
    QFont bold = m_shape1->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.3);
    m_shape1->setFont(bold);
    m_shape2 = new QLabel(this);
    m_shape2->setObjectName(QStringLiteral("shape2"));
    for (QLabel *band : {m_shape1, m_shape2}) {
        band->setAutoFillBackground(true);
        band->setBackgroundRole(QPalette::Highlight);
        band->setForegroundRole(QPalette::HighlightedText);
        band->setContentsMargins(6, 3, 6, 3);
    }
    m_pc = new QStackedWidget(this);
    m_pc->setObjectName(QStringLiteral("pc"));

    auto *buttons = new QDialogButtonBox(this);
    m_ok = buttons->addButton(QStringLiteral("&OK"), QDialogButtonBox::AcceptRole);
    m_cancel = buttons->addButton(QStringLiteral("&Cancel"), QDialogButtonBox::RejectRole);
    m_apply = buttons->addButton(QStringLiteral("&Apply"), QDialogButtonBox::ApplyRole);
    m_ok->setObjectName(QStringLiteral("ok"));
    m_cancel->setObjectName(QStringLiteral("cancel"));
    m_apply->setObjectName(QStringLiteral("apply"));
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, [this] {
        guarded("stpok", [this] {
            if (m_apply->isEnabled())
                apply();
            accept();
        });
    });
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_apply, &QPushButton::clicked, this, [this] { guarded("stpapl", [this] { apply(); }); });

    auto *right = new QVBoxLayout;
    right->addWidget(m_shape1);
    right->addWidget(m_shape2);
    right->addWidget(m_pc, 1);
    auto *top = new QHBoxLayout;
    top->addWidget(m_tv);
    top->addLayout(right, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addWidget(buttons);
}

void TFormSetup::buildTree()
{
    for (const auto &[node, children] : treeNodes()) {
        auto *item = new QTreeWidgetItem(m_tv, {QString::fromLatin1(node.name)});
        item->setData(0, kDescriptionRole, QString::fromLatin1(node.description));
        for (const NodeText &child : children) {
            auto *sub = new QTreeWidgetItem(item, {QString::fromLatin1(child.name)});
            sub->setData(0, kDescriptionRole, QString::fromLatin1(child.description));
        }
    }
    connect(m_tv, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem *now) { guarded("stptv", [this, now] { showNode(now); }); });
}

OptionsPage *TFormSetup::addPage(const QString &caption, const char *component)
{
    auto *p = new OptionsPage(caption, QString::fromLatin1(component), m_pc);
    m_pc->addWidget(p);
    m_pages.push_back(p);
    connect(p, &OptionsPage::edited, this, &TFormSetup::markChanged);
    return p;
}

bool TFormSetup::selectNode(const QString &name)
{
    const QList<QTreeWidgetItem *> found = m_tv->findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
    if (found.isEmpty())
        return false;
    m_tv->setCurrentItem(found.first());
    return true;
}

QString TFormSetup::selectedNode() const
{
    const QTreeWidgetItem *item = m_tv->currentItem();
    return item ? item->text(0) : QString();
}

OptionsPage *TFormSetup::currentPage() const
{
    return qobject_cast<OptionsPage *>(m_pc->currentWidget());
}

OptionsPage *TFormSetup::page(const QString &caption) const
{
    for (OptionsPage *p : m_pages) {
        if (p->caption().compare(caption, Qt::CaseInsensitive) == 0)
            return p;
    }
    return nullptr;
}

QString TFormSetup::titleText() const
{
    return m_shape1->text();
}

QString TFormSetup::descriptionText() const
{
    return m_shape2->text();
}

void TFormSetup::showNode(QTreeWidgetItem *node)
{
    if (!node)
        return;
    const QString name = node->text(0);
    m_shape1->setText(node->parent() ? node->parent()->text(0) + QStringLiteral(" \\ ") + name : name);
    const QString description = node->data(0, kDescriptionRole).toString();
    m_shape2->setText(description.isEmpty() ? QStringLiteral(" No description available ...") : description);
    OptionsPage *p = page(name);
    if (!p)
        return;
    setUpdatesEnabled(false);
    m_pc->setCurrentWidget(p);
    if (!p->loaded)
        loadPage(p);
    setUpdatesEnabled(true);
}

void TFormSetup::loadPage(OptionsPage *p)
{
    // Filling the controls fires their change signals; that is not a change by the user.
    const bool applyWasEnabled = m_apply->isEnabled();
    setupToControls(m_setup, p, m_ui);
    if (p->onLoad)
        p->onLoad();
    p->loaded = true;
    m_apply->setEnabled(applyWasEnabled);
}

void TFormSetup::markChanged()
{
    m_apply->setEnabled(true);
}

void TFormSetup::apply()
{
    m_apply->setEnabled(false);
    for (OptionsPage *p : m_pages) {
        if (!p->loaded)
            continue;
        controlsToSetup(m_setup, p, m_ui);
        if (p->onApply)
            p->onApply();
    }
    if (m_hooks.applySettings)
        m_hooks.applySettings();
}

void TFormSetup::done(int result)
{
    guarded("stpcls", [this] {
        write(m_setup, Keys::defaultSetupTab, selectedNode());
        stopTestSound();
    });
    QDialog::done(result);
}

void TFormSetup::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_F1 && event->modifiers() == Qt::NoModifier) {
        if (OptionsPage *p = currentPage(); p && m_hooks.showHelp)
            guarded("stphlp",
                    [&] { m_hooks.showHelp(QStringLiteral("su") + p->component() + QStringLiteral(".htm")); });
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
