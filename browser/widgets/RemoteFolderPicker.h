#pragma once

#include <QDialog>

class QTreeWidget;
class QTreeWidgetItem;

// "Select FTP Folder:": a tree of the remote folders listed during the connection (and the
// folders seen inside them), built without asking the server.
class RemoteFolderPicker : public QDialog {
    Q_OBJECT
public:
    // `folders` are canonical paths ("/pub/x/"); `current` is selected when present.
    RemoteFolderPicker(const QStringList &folders, const QString &current, QWidget *parent = nullptr);
    // The selected node's path ("/" for the top node); empty with nothing selected.
    QString chosenPath() const;

private:
    QTreeWidget *m_tree = nullptr;
};
