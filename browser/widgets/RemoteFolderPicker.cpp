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
    QHash<QString, QTreeWidgetItem *> nodes{{QStringLiteral("/"), top}};
    QTreeWidgetItem *selected = top;
    for (const QString &path : folders) {
        QTreeWidgetItem *node = top;
        QString built = QStringLiteral("/");
        for (const QString &piece : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
            built += piece + QLatin1Char('/');
            QTreeWidgetItem *&child = nodes[built.toLower()];
            if (!child) {
                child = new QTreeWidgetItem(node, {piece});
                child->setIcon(0, folderIcon);
                child->setData(0, kPathRole, built);
            }
            node = child;
        }
        if (QString::compare(path, current, Qt::CaseInsensitive) == 0)
            selected = node;
    }
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
