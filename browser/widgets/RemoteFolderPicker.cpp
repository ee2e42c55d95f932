#include "browser/widgets/RemoteFolderPicker.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHash>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
constexpr int kPathRole = Qt::UserRole + 1;
}

RemoteFolderPicker::RemoteFolderPicker(const QStringList &folders, const QString &current, QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Select FTP Folder:"));
    auto *layout = new QVBoxLayout(this);
    m_tree = new QTreeWidget(this);
    m_tree->setHeaderHidden(true);
    m_tree->setItemsExpandable(false);
    layout->addWidget(m_tree);
    const QIcon folderIcon = style()->standardIcon(QStyle::SP_DirIcon);
    auto *top = new QTreeWidgetItem(m_tree, {QStringLiteral("/")});
    top->setIcon(0, folderIcon);
    top->setData(0, kPathRole, QStringLiteral("/"));
    // Nodes by their path. Letter case counts: "/Docs/" and "/docs/" are two folders on a
    // server that tells them apart, and choosing one must not list the other.
    QHash<QString, QTreeWidgetItem *> nodes{{QStringLiteral("/"), top}};
    for (const QString &path : folders) {
        QTreeWidgetItem *node = top;
        QString built = QStringLiteral("/");
        for (const QString &piece : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
            built += piece + QLatin1Char('/');
            QTreeWidgetItem *&child = nodes[built];
            if (!child) {
                child = new QTreeWidgetItem(node, {piece});
                child->setIcon(0, folderIcon);
                child->setData(0, kPathRole, built);
            }
            node = child;
        }
    }
    // The current folder's node; one that differs only in letter case (a server that ignores
    // case may report another spelling); else the top node.
    QTreeWidgetItem *selected = nodes.value(current);
    for (auto it = nodes.cbegin(); !selected && it != nodes.cend(); ++it) {
        if (QString::compare(it.key(), current, Qt::CaseInsensitive) == 0)
            selected = it.value();
    }
    if (!selected)
        selected = top;
    // The selected node shows an open folder.
    const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
    selected->setIcon(0, openIcon);
    connect(m_tree, &QTreeWidget::currentItemChanged, this,
            [folderIcon, openIcon](QTreeWidgetItem *now, QTreeWidgetItem *before) {
                if (before)
                    before->setIcon(0, folderIcon);
                if (now)
                    now->setIcon(0, openIcon);
            });
    m_tree->expandAll();
    m_tree->setCurrentItem(selected);
    m_tree->scrollToItem(selected);
    connect(m_tree, &QTreeWidget::itemDoubleClicked, this, &QDialog::accept);
    auto *buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("&OK"), QDialogButtonBox::AcceptRole)->setDefault(true);
    buttons->addButton(QStringLiteral("&Cancel"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    m_tree->setFocus();
    resize(360, 420);
}

QString RemoteFolderPicker::chosenPath() const
{
    const QTreeWidgetItem *item = m_tree->currentItem();
    return item ? item->data(0, kPathRole).toString() : QString();
}
