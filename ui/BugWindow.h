#pragma once

#include "ui/DetailsWindow.h"

// The window of an unexpected error: invites the user to send the report to the maker and
// offers a ready-made mail message with the site id and the message.
class BugWindow : public DetailsWindow {
    Q_OBJECT
public:
    BugWindow(const QString &siteId, const QString &message, QWidget *parent = nullptr);

    QString siteId() const { return m_siteId; }
    QString message() const { return m_message; }
    QPushButton *mailButton() const { return m_mailButton; }

private:
    QString m_siteId;
    QString m_message;
    QPushButton *m_mailButton;
};
