#pragma once

#include "browser/PermissionCode.h"

#include <QDialog>

#include <array>

class QCheckBox;
class QLineEdit;
class QPushButton;

// The Change Permissions dialog: nine check boxes (owner, group, public; read, write,
// execute) and the permission code they add up to. Editing the code sets the boxes; a box
// click writes the code. OK is enabled only while the code decodes completely.
class TFormChMod : public QDialog {
    Q_OBJECT
public:
    explicit TFormChMod(QWidget *parent = nullptr);

    void setCode(const QString &code);
    QString code() const;
    QPushButton *okButton() const { return m_ok; }
    QCheckBox *box(int index) const { return m_boxes[static_cast<size_t>(index)]; }
    QLineEdit *codeEdit() const { return m_code; }

private:
    void boxClicked();
    void codeEdited();

    std::array<QCheckBox *, 9> m_boxes{};
    QLineEdit *m_code = nullptr;
    QPushButton *m_ok = nullptr;
    bool m_settingBoxes = false;
};
