#pragma once

#include <QDialog>

class QCheckBox;

// The Compare Folders dialog: the two current folders and the "Ignore File Size" option.
class CompareFoldersDialog : public QDialog {
    Q_OBJECT
public:
    CompareFoldersDialog(const QString &lFolder, const QString &rFolder, bool ignoreSize, QWidget *parent = nullptr);
    bool ignoreSize() const;

private:
    QCheckBox *m_ignoreSize = nullptr;
};
