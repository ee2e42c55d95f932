#pragma once

#include "app/UserInterface.h"

#include <QDialog>

class QPushButton;

// Shows a server certificate the program could not trust by itself: what is wrong, the
// subject, issuer, validity and SHA-256 fingerprint, with "Trust once", "Always trust this
// certificate for this host" and Cancel. Cancel is the default button, so Enter pressed by
// habit never trusts anything. A certificate that replaced one trusted before is shown as a
// warning.
class CertificateDialog : public QDialog {
    Q_OBJECT
public:
    explicit CertificateDialog(const CertificateQuestion &question, QWidget *parent = nullptr);

    CertificateChoice choice() const { return m_choice; }
    QPushButton *trustOnceButton() const { return m_once; }
    QPushButton *trustAlwaysButton() const { return m_always; }
    QPushButton *cancelButton() const { return m_cancel; }

    // The text block shown, also for tests: problems, then the certificate's fields.
    static QString describe(const CertificateQuestion &question);

private:
    CertificateChoice m_choice = CertificateChoice::Cancel;
    QPushButton *m_once = nullptr;
    QPushButton *m_always = nullptr;
    QPushButton *m_cancel = nullptr;
};
