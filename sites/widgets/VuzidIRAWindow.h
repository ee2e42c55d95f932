#pragma once

#include "app/ConnectController.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

// The VuzidIRA window: an FTP URL typed or pasted into its first box is split into host,
// port, user name, password and folder, which the user may still edit before connecting.
// Created once and kept; it keeps its boxes between uses.
class VuzidIRAWindow : public QDialog {
    Q_OBJECT
public:
    explicit VuzidIRAWindow(ConnectController &connection, QWidget *parent = nullptr);

    // Puts a URL into the URL box, which fills the other boxes.
    void setUrl(const QString &url);
    ConnectController::SiteFields fields() const;

    QLineEdit *url() const { return m_url; }
    QLineEdit *host() const { return m_host; }
    QLineEdit *port() const { return m_port; }
    QLineEdit *user() const { return m_user; }
    QLineEdit *password() const { return m_pass; }
    QLineEdit *path() const { return m_path; }
    QPushButton *connectButton() const { return m_connect; }

private:
    void urlChanged(const QString &text);
    void connectClicked();

    ConnectController &m_connection;
    QLineEdit *m_url, *m_host, *m_port, *m_user, *m_pass, *m_path;
    // From the URL's scheme: "ftps://" and "ftpes://" ask for TLS, "sftp://" for SFTP.
    SiteEncryption m_encryption = SiteEncryption::ExplicitIfAvailable;
    SiteProtocol m_protocol = SiteProtocol::Ftp;
    QLabel *m_problem;
    QPushButton *m_connect;
};
