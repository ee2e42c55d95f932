#include "ui/BugWindow.h"

#include "app/Diagnostics.h"

#include <QDesktopServices>
#include <QPushButton>
#include <QStyle>

BugWindow::BugWindow(const QString &siteId, const QString &message, QWidget *parent)
    : DetailsWindow(QStringLiteral("A application bug has occurred - Please report to author!"),
                    QStringLiteral("An application bug has occurred! Please help us to improve the stability of this "
                                   "software by reporting the bug. Press \"Details\" for more info."),
                    Diagnostics::bugDetails(siteId, message), parent),
      m_siteId(siteId), m_message(message),
      m_mailButton(
          addButton(QStringLiteral("Click here to automatically generate a bug report to the software author")))
{
    setObjectName(QStringLiteral("bugWindow"));
    setPicture(style()->standardPixmap(QStyle::SP_MessageBoxWarning));
    m_mailButton->setObjectName(QStringLiteral("mailButton"));
    connect(m_mailButton, &QPushButton::clicked, this,
            [this] { QDesktopServices::openUrl(Diagnostics::bugReportMail(m_siteId, m_message)); });
}
