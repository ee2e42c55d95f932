#include "ui/QtUserInterface.h"

#include "ui/u_FormSingleEditBox.h"

#include <QMessageBox>

QString QtUserInterface::displayText(const QString &text)
{
    QString out = text;
    out.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    out.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return out;
}

void QtUserInterface::showMessage(const QString &text)
{
    QMessageBox::information(m_owner, QStringLiteral("Kestrin FTP Pro"), displayText(text));
}

bool QtUserInterface::confirm(const QString &text)
{
    return QMessageBox::question(m_owner, QStringLiteral("Kestrin FTP Pro"), displayText(text),
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

bool QtUserInterface::askText(const QString &caption, const QString &label, QString &text, bool masked)
{
    TFormSingleEditBox box(caption, label, text, masked, m_owner);
    if (box.exec() != QDialog::Accepted)
        return false;
    text = box.text();
    return true;
}

void QtUserInterface::showBugWindow(const QString &siteId, const QString &message)
{
    auto *box = new QMessageBox(
        QMessageBox::Warning, QStringLiteral("A application bug has occurred - Please report to author!"),
        QStringLiteral("An application bug has occurred! Please help us to improve the stability of "
                       "this software by reporting the bug."),
        QMessageBox::Close, m_owner);
    box->setDetailedText(QStringLiteral("Bug Data1:\n%1\n\nBug Data2:\n%2").arg(siteId, message));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}
