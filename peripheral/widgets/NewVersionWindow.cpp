#include "peripheral/widgets/NewVersionWindow.h"

#include "app/VersionCheck.h"
#include "peripheral/ReleaseNumber.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {

QGroupBox *group(const QString &title, QWidget *parent)
{
    auto *box = new QGroupBox(title, parent);
    new QFormLayout(box);
    return box;
}

} // namespace

QString NewVersionWindow::latestText(std::int64_t latest)
{
    if (latest == VersionCheck::kUnchecked)
        return QStringLiteral(": Unchecked");
    if (latest == VersionCheck::kChecking)
        return QStringLiteral(": Checking ...");
    return QStringLiteral(": v") + ReleaseNumber::text(latest);
}

QString NewVersionWindow::statusText(std::int64_t latest, std::int64_t own)
{
    if (latest == VersionCheck::kUnchecked)
        return QStringLiteral("Unchecked");
    if (latest == VersionCheck::kChecking)
        return QStringLiteral("Checking ... Wait");
    return ReleaseNumber::isNewer(latest, own) ? QStringLiteral("New Version Available")
                                               : QStringLiteral("No New Version");
}

NewVersionWindow::NewVersionWindow(VersionCheck &check, QWidget *parent) : QDialog(parent), m_check(check)
{
    setObjectName(QStringLiteral("TFormNewVersion"));
    setWindowTitle(QStringLiteral("New Version Check - Kestrin FTP Pro"));
    auto *layout = new QVBoxLayout(this);
    auto *header =
        new QLabel(QStringLiteral("<b>New Version Check</b><br>Check if a new version has been released ..."), this);
    layout->addWidget(header);

    QGroupBox *installed = group(QStringLiteral(" Currently Installed "), this);
    auto *installedForm = static_cast<QFormLayout *>(installed->layout());
    installedForm->addRow(QStringLiteral("Application"), new QLabel(QStringLiteral(": Kestrin FTP Pro"), installed));
    installedForm->addRow(QStringLiteral("Version"),
                          new QLabel(QStringLiteral(": v") + ReleaseNumber::text(check.ownRelease()), installed));
    layout->addWidget(installed);

    QGroupBox *latest = group(QStringLiteral(" Latest Release "), this);
    auto *latestForm = static_cast<QFormLayout *>(latest->layout());
    latestForm->addRow(QStringLiteral("Application"), new QLabel(QStringLiteral(": Kestrin FTP Pro"), latest));
    m_latest = new QLabel(latest);
    m_latest->setObjectName(QStringLiteral("latestVersion"));
    latestForm->addRow(QStringLiteral("Version"), m_latest);
    layout->addWidget(latest);

    auto *statusBox = new QGroupBox(QStringLiteral(" Version Check Status "), this);
    auto *statusLayout = new QVBoxLayout(statusBox);
    m_status = new QLabel(statusBox);
    m_status->setObjectName(QStringLiteral("checkStatus"));
    statusLayout->addWidget(m_status);
    auto *whatsNew = new QPushButton(QStringLiteral("&Whats New in Latest Release"), statusBox);
    connect(whatsNew, &QPushButton::clicked, this,
            [] { QDesktopServices::openUrl(QUrl(QString::fromLatin1(VersionCheck::kWhatsNewUrl))); });
    statusLayout->addWidget(whatsNew);
    layout->addWidget(statusBox);

    m_notifyNonBeta = new QCheckBox(QStringLiteral("No&tify when new non-beta is released"), this);
    m_notifyNonBeta->setObjectName(QStringLiteral("s_notifyNewNonBeta"));
    m_notifyNonBeta->setChecked(check.notifyNonBeta());
    m_notifyBeta = new QCheckBox(QStringLiteral("Notify &when new beta is released"), this);
    m_notifyBeta->setObjectName(QStringLiteral("s_notifyNewBeta"));
    m_notifyBeta->setChecked(check.notifyBeta());
    layout->addWidget(m_notifyNonBeta);
    layout->addWidget(m_notifyBeta);

    auto *buttons = new QHBoxLayout;
    m_checkNow = new QPushButton(QStringLiteral("Check &Now"), this);
    m_checkNow->setObjectName(QStringLiteral("checkNow"));
    auto *ok = new QPushButton(QStringLiteral("&OK"), this);
    ok->setDefault(true);
    buttons->addStretch(1);
    buttons->addWidget(m_checkNow);
    buttons->addWidget(ok);
    layout->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_checkNow, &QPushButton::clicked, this, [this] { m_check.checkClick(false); });
    connect(&m_check, &VersionCheck::stateChanged, this, &NewVersionWindow::refresh);
    refresh();
}

void NewVersionWindow::refresh()
{
    m_latest->setText(latestText(m_check.latest()));
    m_status->setText(statusText(m_check.latest(), m_check.ownRelease()));
    m_checkNow->setEnabled(!m_check.running());
}

void NewVersionWindow::done(int result)
{
    m_check.setNotifyNonBeta(m_notifyNonBeta->isChecked());
    m_check.setNotifyBeta(m_notifyBeta->isChecked());
    m_check.saveChoices();
    QDialog::done(result);
}
