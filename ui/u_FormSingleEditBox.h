#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;

// The single edit box: a caption, a label, one text box whose text is selected when
// shown (optionally masked with "*"), "&OK" as the default button and "&Cancel".
class TFormSingleEditBox : public QDialog {
    Q_OBJECT
public:
    TFormSingleEditBox(const QString &caption, const QString &label, const QString &text, bool masked,
                       QWidget *parent = nullptr);

    QString text() const;
    QLineEdit *edit() const { return m_edit; }

private:
    QLabel *m_label;
    QLineEdit *m_edit;
};
