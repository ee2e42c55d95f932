#include "ui/QtUserInterface.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {

// The host-key question in the window: the key's type and fingerprint are shown, each button
// gives its answer, and Enter, pressed by habit, cancels.
TEST(QtUserInterface, HostKeyQuestionShowsTheKeyAndCancelsByDefault)
{
    const HostKeyQuestion question{QStringLiteral("sftp.example.org"), 2222, QStringLiteral("ssh-ed25519"),
                                   QStringLiteral("SHA256:47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU")};
    struct Case {
        const char *name;
        std::function<void(QMessageBox *)> act;
        CertificateChoice expected;
    };
    const auto press = [](const char *caption) {
        return [caption](QMessageBox *box) {
            for (QAbstractButton *button : box->buttons()) {
                if (button->text().remove(QLatin1Char('&')) == QLatin1String(caption))
                    button->click();
            }
        };
    };
    const Case cases[] = {
        {"once", press("Trust once"), CertificateChoice::TrustOnce},
        {"always", press("Always trust"), CertificateChoice::TrustAlways},
        {"enter", [](QMessageBox *box) { QTest::keyClick(box, Qt::Key_Return); }, CertificateChoice::Cancel},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QString text;
        QTimer poll;
        poll.setInterval(5);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || !text.isEmpty())
                return;
            text = box->text();
            c.act(box);
        });
        poll.start();
        QtUserInterface ui;
        EXPECT_EQ(ui.askHostKey(question), c.expected);
        poll.stop();
        EXPECT_TRUE(text.contains(question.fingerprint)) << text.toStdString();
        EXPECT_TRUE(text.contains(QStringLiteral("ssh-ed25519")));
        EXPECT_TRUE(text.contains(QStringLiteral("sftp.example.org port 2222")));
    }
}

} // namespace
