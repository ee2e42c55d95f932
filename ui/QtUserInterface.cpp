#include "ui/QtUserInterface.h"

#include "app/FolderSync.h"
#include "app/SftpQuestions.h"
#include "base/Guard.h"
#include "browser/widgets/CompareFoldersDialog.h"
#include "browser/widgets/RemoteFolderPicker.h"
#include "browser/widgets/SynchronizeDialog.h"
#include "browser/widgets/TFormChMod.h"
#include "queue/widgets/u_XferAction.h"
#include "sites/widgets/CertificateDialog.h"
#include "ui/BugWindow.h"
#include "ui/ErrorWindow.h"
#include "ui/u_FormSingleEditBox.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QProcess>

#include <QMessageBox>
#include <QPushButton>

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

void QtUserInterface::showError(const QString &title, const QString &text)
{
    QMessageBox::critical(m_owner, title, displayText(text));
}

bool QtUserInterface::confirm(const QString &text)
{
    return QMessageBox::question(m_owner, QStringLiteral("Kestrin FTP Pro"), displayText(text),
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

bool QtUserInterface::confirmDefaultNo(const QString &text)
{
    return QMessageBox::question(m_owner, QStringLiteral("Kestrin FTP Pro"), displayText(text),
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
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
    auto *window = new BugWindow(siteId, message, m_owner);
    window->show();
}

void QtUserInterface::showErrorWindow(const QString &message, const QString &details)
{
    guarded("nnlknas", [&] {
        auto *window = new ErrorWindow(message, details, m_owner);
        window->show();
    });
}

void QtUserInterface::openUrl(const QUrl &url)
{
    QDesktopServices::openUrl(url);
}

OverwriteAnswer QtUserInterface::askOverwrite(const OverwriteQuestion &question)
{
    OverwriteAnswer answer{OverwriteChoice::Skip, false};
    guarded("mnak3", [&] {
        TFormXFerAction prompt(question, m_owner);
        prompt.exec();
        answer = prompt.answer();
    });
    return answer;
}

// --- file list commands -------------------------------------------------------------------

bool QtUserInterface::openWithDesktop(const QString &file)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(file));
}

bool QtUserInterface::startProgram(const QString &program, const QStringList &arguments, const QString &workingFolder)
{
    return QProcess::startDetached(program, arguments, workingFolder);
}

bool QtUserInterface::pickLocalFolder(const QString &start, QString &chosen)
{
    const QString folder = QFileDialog::getExistingDirectory(m_owner, QString(), start);
    if (folder.isEmpty())
        return false;
    chosen = folder;
    return true;
}

bool QtUserInterface::pickLocalFile(const QString &caption, const QString &start, QString &chosen)
{
    QFileDialog dialog(m_owner, caption, start);
    dialog.setFileMode(QFileDialog::ExistingFile);
    // Keys live in ~/.ssh, a hidden folder, beside files with hidden names.
    dialog.setFilter(dialog.filter() | QDir::Hidden);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    chosen = dialog.selectedFiles().constFirst();
    return true;
}

bool QtUserInterface::pickRemoteFolder(const QStringList &folders, const QString &current, QString &chosen)
{
    RemoteFolderPicker picker(folders, current, m_owner);
    if (picker.exec() != QDialog::Accepted)
        return false;
    chosen = picker.chosenPath();
    return !chosen.isEmpty();
}

bool QtUserInterface::askCompareFolders(const QString &lFolder, const QString &rFolder, bool &ignoreSize)
{
    CompareFoldersDialog dialog(lFolder, rFolder, ignoreSize, m_owner);
    const bool ok = dialog.exec() == QDialog::Accepted;
    ignoreSize = dialog.ignoreSize();
    return ok;
}

bool QtUserInterface::askSynchronize(SyncQuestion &question)
{
    SynchronizeDialog dialog(question, m_owner);
    if (auto *sync = qobject_cast<FolderSync *>(question.notifier))
        QObject::connect(sync, &FolderSync::treesChanged, &dialog, &SynchronizeDialog::replan);
    const bool start = dialog.exec() == QDialog::Accepted;
    question.options = dialog.options();
    question.shown = dialog.shownPlan();
    return start;
}

bool QtUserInterface::askPermissions(QString &code)
{
    TFormChMod dialog(m_owner);
    dialog.setCode(code);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    code = dialog.code();
    return true;
}

CertificateChoice QtUserInterface::askCertificate(const CertificateQuestion &question)
{
    CertificateDialog dialog(question, m_owner);
    if (dialog.exec() != QDialog::Accepted)
        return CertificateChoice::Cancel;
    return dialog.choice();
}

CertificateChoice QtUserInterface::askHostKey(const HostKeyQuestion &question)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Unknown host key"), SftpQuestions::hostKeyText(question),
                    QMessageBox::NoButton, m_owner);
    QPushButton *once = box.addButton(QStringLiteral("Trust &once"), QMessageBox::AcceptRole);
    QPushButton *always = box.addButton(QStringLiteral("&Always trust"), QMessageBox::AcceptRole);
    QPushButton *cancel = box.addButton(QMessageBox::Cancel);
    // Enter pressed by habit does not trust a key nobody looked at.
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == once)
        return CertificateChoice::TrustOnce;
    if (box.clickedButton() == always)
        return CertificateChoice::TrustAlways;
    return CertificateChoice::Cancel;
}
