#pragma once

#include <QStatusBar>

class QLabel;

// The status bar stat of the main window: a narrow first panel and the hint panel that
// fills the rest.
class MainStatusBar : public QStatusBar {
    Q_OBJECT
public:
    explicit MainStatusBar(QWidget *parent = nullptr);

    QLabel *firstPanel() const { return m_first; }
    QLabel *hintPanel() const { return m_hint; }
    // The lock in the first panel while the connection is encrypted; the description (TLS
    // version, cipher, data protection) is its tooltip. Empty: no lock.
    void setEncryption(const QString &description);
    // An open lock while the connection is plain FTP (nothing encrypted); the tooltip says so.
    void setPlainConnection(bool plain);
    bool showsPlainConnection() const { return m_plain; }

private:
    QLabel *m_first;
    QLabel *m_hint;
    bool m_plain = false;
};
