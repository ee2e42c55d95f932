#include "ui/u_FormSingleEditBox.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TFormSingleEditBox::TFormSingleEditBox(const QString &caption, const QString &label, const QString &text, bool masked,
                                       QWidget *parent)
    : QDialog(parent), m_label(new QLabel(label, this)), m_edit(new QLineEdit(text, this))
{
    setObjectName(QStringLiteral("TFormSingleEditBox"));
    setWindowTitle(caption);
    m_edit->setObjectName(QStringLiteral("edit"));
    m_edit->setMinimumWidth(320);
    if (masked) {
        m_edit->setEchoMode(QLineEdit::Password);
        m_edit->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));
    }
    m_edit->selectAll();
    m_label->setBuddy(m_edit);

    auto *buttons = new QDialogButtonBox(this);
    QPushButton *ok = buttons->addButton(tr("&OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(tr("&Cancel"), QDialogButtonBox::RejectRole);
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_label);
    layout->addWidget(m_edit);
    layout->addWidget(buttons);
    setLayout(layout);
}

QString TFormSingleEditBox::text() const
{
    return m_edit->text();
}
