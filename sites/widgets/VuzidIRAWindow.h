#pragma once

#include "app/ConnectController.h"

#include <QDialog>

class QFormLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class UserInterface;

// The VuzidIRA window: an FTP URL typed or pasted into its first box is split into host,
// port, user name, password and folder, which the user may still edit before connecting.
// For an sftp:// URL a "Key file" box (with "..." to choose one through the user-interaction
// port) names the private key to log in with; it is shown only for SFTP.
// Created once and kept; it keeps its boxes between uses.
class VuzidIRAWindow : public QDialog {
    Q_OBJECT
public:
    VuzidIRAWindow(ConnectController &connection, UserInterface &ui, QWidget *parent = nullptr);

    // Puts a URL into the URL box, which fills the other boxes.
    void setUrl(const QString &url);
    ConnectController::SiteFields fields() const;

    QLineEdit *url() const { return m_url; }
    QLineEdit *host() const { return m_host; }
    QLineEdit *port() const { return m_port; }
    QLineEdit *user() const { return m_user; }
    QLineEdit *password() const { return m_pass; }
    QLineEdit *path() const { return m_path; }
    QLineEdit *keyFile() const { return m_keyFile; }
    QPushButton *keyFileBrowse() const { return m_keyFileBrowse; }
    QPushButton *connectButton() const { return m_connect; }

private:
    void urlChanged(const QString &text);
    void connectClicked();
    void browseKeyFile();
    // Shows the key-file row only for SFTP.
    void showProtocol();

    ConnectController &m_connection;
    UserInterface &m_ui;
    QLineEdit *m_url, *m_host, *m_port, *m_user, *m_pass, *m_path, *m_keyFile;
    QFormLayout *m_form;
    QLabel *m_keyFileLabel;
    QPushButton *m_keyFileBrowse;
    // From the URL's scheme: "ftps://" and "ftpes://" ask for TLS, "sftp://" for SFTP.
    SiteEncryption m_encryption = SiteEncryption::ExplicitIfAvailable;
    SiteProtocol m_protocol = SiteProtocol::Ftp;
    QLabel *m_problem;
    QPushButton *m_connect;
};
