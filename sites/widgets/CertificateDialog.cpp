#include "sites/widgets/CertificateDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QStyle>
#include <QTextEdit>
#include <QVBoxLayout>

namespace {
QString dateText(const QDateTime &when)
{
    return when.isValid() ? QLocale().toString(when.toLocalTime(), QLocale::ShortFormat) : QStringLiteral("unknown");
}
} // namespace

QString CertificateDialog::describe(const CertificateQuestion &question)
{
    const TTlsCertificate &c = question.certificate;
    QString text;
    if (question.changed)
        text += QStringLiteral("WARNING: this server showed a different certificate before, which you trusted. "
                               "The server may have been given a new certificate, or someone may be "
                               "intercepting the connection.\n\n");
    const QString problems = c.problems();
    if (!problems.isEmpty())
        text += problems + QStringLiteral("\n\n");
    text += QStringLiteral("Server: %1:%2\n").arg(question.host).arg(question.port);
    text += QStringLiteral("Subject: ") + c.subject + QLatin1Char('\n');
    text += QStringLiteral("Issuer: ") + c.issuer + QLatin1Char('\n');
    text += QStringLiteral("Valid from: ") + dateText(c.notBefore) + QLatin1Char('\n');
    text += QStringLiteral("Valid until: ") + dateText(c.notAfter) + QLatin1Char('\n');
    text += QStringLiteral("SHA-256 fingerprint:\n") + c.sha256;
    return text;
}

CertificateDialog::CertificateDialog(const CertificateQuestion &question, QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Untrusted Certificate - Kestrin FTP Pro"));
    setObjectName(QStringLiteral("CertificateDialog"));

    auto *icon = new QLabel(this);
    icon->setPixmap(style()
                        ->standardIcon(question.changed ? QStyle::SP_MessageBoxCritical : QStyle::SP_MessageBoxWarning)
                        .pixmap(48, 48));
    auto *heading = new QLabel(
        question.changed ? QStringLiteral("<b>The certificate of %1 has changed.</b>").arg(question.host)
                         : QStringLiteral("<b>The certificate of %1 cannot be verified.</b>").arg(question.host),
        this);
    heading->setTextFormat(Qt::RichText);
    heading->setWordWrap(true);

    auto *details = new QTextEdit(this);
    details->setObjectName(QStringLiteral("certificateDetails"));
    details->setReadOnly(true);
    details->setPlainText(describe(question));
    details->setMinimumSize(480, 220);

    auto *buttons = new QDialogButtonBox(this);
    m_once = buttons->addButton(QStringLiteral("Trust once"), QDialogButtonBox::AcceptRole);
    m_always =
        buttons->addButton(QStringLiteral("Always trust this certificate for this host"), QDialogButtonBox::AcceptRole);
    m_cancel = buttons->addButton(QDialogButtonBox::Cancel);
    for (QPushButton *b : {m_once, m_always})
        b->setAutoDefault(false);
    m_cancel->setDefault(true);
    m_cancel->setFocus();
    connect(m_once, &QPushButton::clicked, this, [this] {
        m_choice = CertificateChoice::TrustOnce;
        accept();
    });
    connect(m_always, &QPushButton::clicked, this, [this] {
        m_choice = CertificateChoice::TrustAlways;
        accept();
    });
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto *top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addWidget(heading, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(details, 1);
    layout->addWidget(buttons);
}
