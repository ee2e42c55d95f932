#pragma once

#include "app/UserInterface.h"

#include <QPointer>
#include <QWidget>

// The user-interaction port with real Qt dialogs, owned by the main window.
class QtUserInterface : public UserInterface {
public:
    explicit QtUserInterface(QWidget *owner = nullptr) : m_owner(owner) {}
    void setOwner(QWidget *owner) { m_owner = owner; }
    // The window the dialogs and messages open above.
    QWidget *owner() const { return m_owner; }

    void showMessage(const QString &text) override;
    void showError(const QString &title, const QString &text) override;
    bool confirm(const QString &text) override;
    bool confirmDefaultNo(const QString &text) override;
    bool askText(const QString &caption, const QString &label, QString &text, bool masked) override;
    void showBugWindow(const QString &siteId, const QString &message) override;
    void showErrorWindow(const QString &message, const QString &details) override;
    void openUrl(const QUrl &url) override;
    OverwriteAnswer askOverwrite(const OverwriteQuestion &question) override;
    bool openWithDesktop(const QString &file) override;
    bool startProgram(const QString &program, const QStringList &arguments, const QString &workingFolder) override;
    bool pickLocalFolder(const QString &start, QString &chosen) override;
    bool pickLocalFile(const QString &caption, const QString &start, QString &chosen) override;
    bool pickRemoteFolder(const QStringList &folders, const QString &current, QString &chosen) override;
    bool askCompareFolders(const QString &lFolder, const QString &rFolder, bool &ignoreSize) override;
    bool askPermissions(QString &code) override;
    bool askSynchronize(SyncQuestion &question) override;
    CertificateChoice askCertificate(const CertificateQuestion &question) override;
    CertificateChoice askHostKey(const HostKeyQuestion &question) override;

    // Program texts use "\r" for line breaks; Qt wants "\n".
    static QString displayText(const QString &text);

private:
    QPointer<QWidget> m_owner;
};
