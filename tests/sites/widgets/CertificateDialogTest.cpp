#include "sites/widgets/CertificateDialog.h"

#include <QPushButton>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

CertificateQuestion question(bool changed)
{
    CertificateQuestion q;
    q.host = QStringLiteral("ftp.example.org");
    q.port = 21;
    q.changed = changed;
    TTlsCertificate &c = q.certificate;
    c.subject = QStringLiteral("CN=ftp.example.org");
    c.issuer = QStringLiteral("CN=Example Internal CA");
    c.notBefore = QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC);
    c.notAfter = QDateTime(QDate(2027, 1, 1), QTime(0, 0), Qt::UTC);
    c.sha256 = QStringLiteral("AB:").repeated(31) + QStringLiteral("CD");
    c.chainTrusted = false;
    c.chainProblem = QStringLiteral("unable to get local issuer certificate");
    c.hostMatches = true;
    c.host = q.host;
    return q;
}

} // namespace

TEST(CertificateDialog, ShowsWhatIsWrongAndEveryChoiceAnswersWithCancelTheDefault)
{
    const CertificateQuestion q = question(false);
    const QString text = CertificateDialog::describe(q);
    for (const QString &part : {q.certificate.subject, q.certificate.issuer, q.certificate.sha256,
                                q.certificate.problems(), QStringLiteral("ftp.example.org:21")})
        EXPECT_TRUE(text.contains(part)) << part.toStdString();
    EXPECT_FALSE(text.contains(QLatin1String("WARNING")));
    EXPECT_TRUE(CertificateDialog::describe(question(true)).startsWith(QLatin1String("WARNING")));

    // Enter pressed by habit cancels; each button gives its answer.
    {
        CertificateDialog d(q);
        EXPECT_TRUE(d.cancelButton()->isDefault());
        EXPECT_FALSE(d.trustOnceButton()->isDefault() || d.trustAlwaysButton()->isDefault());
        QTimer::singleShot(0, &d, [&d] { QTest::keyClick(&d, Qt::Key_Return); });
        EXPECT_EQ(d.exec(), QDialog::Rejected);
        EXPECT_EQ(d.choice(), CertificateChoice::Cancel);
    }
    const std::pair<QPushButton *(CertificateDialog::*)() const, CertificateChoice> buttons[] = {
        {&CertificateDialog::trustOnceButton, CertificateChoice::TrustOnce},
        {&CertificateDialog::trustAlwaysButton, CertificateChoice::TrustAlways},
        {&CertificateDialog::cancelButton, CertificateChoice::Cancel}};
    for (const auto &[button, choice] : buttons) {
        CertificateDialog d(q);
        QTimer::singleShot(0, &d, [&d, button = button] { (d.*button)()->click(); });
        d.exec();
        EXPECT_EQ(d.choice(), choice);
    }

    // KESTRIN_SHOTS=<folder>: the picture of the dialog for the documentation.
    const QString shots = qEnvironmentVariable("KESTRIN_SHOTS");
    if (!shots.isEmpty()) {
        CertificateDialog d(question(true));
        d.show();
        QTest::qWait(50);
        EXPECT_TRUE(d.grab().save(shots + QStringLiteral("/certificate.png")));
    }
}
