// The new-version check against a local HTTP peer on 127.0.0.1: what each kind of answer
// makes of the latest release, and the bounds on size, redirects and time.
#include "app/VersionCheck.h"
#include "peripheral/HttpReplyReader.h"
#include "peripheral/ReleaseNumber.h"
#include "support/TempHome.h"
#include "support/WaitFor.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

// Answers each request with what `reply` makes of its request line; an empty answer
// keeps the connection open and silent.
class HttpPeer {
public:
    using Reply = std::function<QByteArray(const QByteArray &requestLine)>;

    explicit HttpPeer(Reply reply) : m_reply(std::move(reply))
    {
        m_server.listen(QHostAddress::LocalHost);
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket *s = m_server.nextPendingConnection()) {
                auto buffer = std::make_shared<QByteArray>();
                QObject::connect(s, &QTcpSocket::readyRead, s, [this, s, buffer] {
                    *buffer += s->readAll();
                    if (!buffer->contains("\r\n\r\n"))
                        return;
                    const QByteArray line = buffer->left(buffer->indexOf("\r\n"));
                    m_requests << QString::fromLatin1(*buffer);
                    buffer->clear();
                    const QByteArray answer = m_reply(line);
                    if (answer.isEmpty())
                        return;
                    s->write(answer);
                    s->disconnectFromHost();
                });
                QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }
    QUrl url(const QString &path = QStringLiteral("/!tools/checkversion.php")) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path));
    }
    const QStringList &requests() const { return m_requests; }

private:
    QTcpServer m_server;
    Reply m_reply;
    QStringList m_requests;
};

QByteArray ok(const QByteArray &body)
{
    return "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\n\r\n" + body;
}

struct AnswerRow {
    const char *name;
    QByteArray reply; // empty: silent
    std::int64_t latest;
    bool newer;
};

class VersionAnswers : public ::testing::TestWithParam<AnswerRow> {};

TEST_P(VersionAnswers, LatestReleaseFromTheAnswer)
{
    const AnswerRow &row = GetParam();
    HttpPeer peer([&](const QByteArray &) { return row.reply; });
    VersionCheck check(2800);
    check.setEndpoint(peer.url());
    check.setTimeoutMs(1500);
    QSignalSpy found(&check, &VersionCheck::newVersionFound);
    check.checkClick(true);
    EXPECT_TRUE(check.running());
    ASSERT_TRUE(waitFor([&] { return !check.running(); }, 10000));
    EXPECT_EQ(check.latest(), row.latest);
    EXPECT_EQ(check.newerAvailable(), row.newer);
    EXPECT_EQ(found.size(), row.newer ? 1 : 0);
    EXPECT_TRUE(check.lastCheckTime().isValid());
    ASSERT_EQ(peer.requests().size(), 1);
    EXPECT_TRUE(peer.requests().first().startsWith(
        QStringLiteral("GET /!tools/checkversion.php?prod=kftp&relnr=2800 HTTP/1.0\r\n")))
        << peer.requests().first().toStdString();
    EXPECT_TRUE(peer.requests().first().contains(QStringLiteral("\r\nHost: 127.0.0.1\r\n")));
}

INSTANTIATE_TEST_SUITE_P(Rows, VersionAnswers,
                         ::testing::Values(AnswerRow{"newer", ok("200\xA7 2810\r\n"), 2810, true},
                                           AnswerRow{"newer-utf8-sign",
                                                     ok("200\xC2\xA7"
                                                        "2900"),
                                                     2900, true},
                                           AnswerRow{"equal",
                                                     ok("200\xA7"
                                                        "2800"),
                                                     2800, false},
                                           AnswerRow{"older-is-no-news",
                                                     ok("200\xA7"
                                                        "2700"),
                                                     2700, false},
                                           AnswerRow{"malformed-number", ok("200\xA7twenty"), 2800, false},
                                           AnswerRow{"no-section-sign", ok("2810"), 2800, false},
                                           AnswerRow{"first-part-not-200",
                                                     ok("404\xA7"
                                                        "2810"),
                                                     2800, false},
                                           AnswerRow{"not-http",
                                                     QByteArray("garbage\r\n\r\n200\xA7"
                                                                "2810"),
                                                     2800, false},
                                           AnswerRow{"error-status",
                                                     QByteArray("HTTP/1.0 500 Oops\r\n\r\n200\xA7"
                                                                "2810"),
                                                     2800, false},
                                           AnswerRow{"huge",
                                                     ok("200\xA7"
                                                        "2810" +
                                                        QByteArray(5000, ' ')),
                                                     2800, false},
                                           AnswerRow{"endless-header-line",
                                                     "HTTP/1.0 200 OK\r\nX: " + QByteArray(9000, 'x'), 2800, false},
                                           AnswerRow{"silent", QByteArray(), 2800, false}),
                         [](const auto &info) {
                             std::string n = info.param.name;
                             for (char &c : n)
                                 c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return n;
                         });

TEST(VersionCheck, FollowsAtMostFiveRedirectsAndOnlyToHttp)
{
    for (const int hops : {5, 6}) {
        int served = 0;
        HttpPeer peer([&](const QByteArray &line) {
            ++served;
            if (line.contains("/final"))
                return ok("200\xA7"
                          "2810");
            const QByteArray next = served < hops ? "/hop" + QByteArray::number(served) : QByteArray("/final");
            return QByteArray("HTTP/1.0 302 Found\r\nLocation: " + next + "\r\n\r\n");
        });
        VersionCheck check(2800);
        check.setEndpoint(peer.url());
        check.checkClick();
        ASSERT_TRUE(waitFor([&] { return !check.running(); }, 10000));
        EXPECT_EQ(check.latest(), hops <= 5 ? 2810 : 2800) << hops << " redirects";
        EXPECT_LE(served, 6);
    }
    HttpPeer tls(
        [](const QByteArray &) { return QByteArray("HTTP/1.0 301 Moved\r\nLocation: https://127.0.0.1/x\r\n\r\n"); });
    VersionCheck check(2800);
    check.setEndpoint(tls.url());
    check.checkClick();
    ASSERT_TRUE(waitFor([&] { return !check.running(); }, 10000));
    EXPECT_EQ(check.latest(), 2800);
}

TEST(VersionCheck, BackgroundCheckRunsOncePerRunAndNotifiesOnlyWhatTheUserWants)
{
    TempHome home;
    const QString store = home.path() + QStringLiteral("/newVersion.dat");
    HttpPeer peer([](const QByteArray &) {
        return ok("200\xA7"
                  "2813");
    });
    {
        VersionCheck check(2800);
        check.loadChoices(store);
        check.setNotifyBeta(false);
        ASSERT_TRUE(check.saveChoices());
    }
    VersionCheck check(2800);
    check.loadChoices(store);
    EXPECT_FALSE(check.notifyBeta());
    EXPECT_TRUE(check.notifyNonBeta());
    check.setEndpoint(peer.url());
    QSignalSpy found(&check, &VersionCheck::newVersionFound);
    check.timer_checkForNewVersion(false); // "noticeNewVersion" off, or debug mode
    EXPECT_EQ(check.latest(), VersionCheck::kUnchecked);
    check.timer_checkForNewVersion(true);
    ASSERT_TRUE(waitFor([&] { return check.latest() > 0; }, 10000));
    EXPECT_EQ(check.latest(), 2813);
    EXPECT_TRUE(check.newerAvailable());
    EXPECT_EQ(found.size(), 0); // a beta, and betas are not wanted
    check.timer_checkForNewVersion(true);
    EXPECT_FALSE(check.running());
    EXPECT_EQ(peer.requests().size(), 1);
}

TEST(VersionCheck, TheRealAddressIsAReservedExampleHost)
{
    EXPECT_EQ(QUrl(QString::fromLatin1(VersionCheck::kCheckUrl)).host().section(QLatin1Char('.'), -1),
              QStringLiteral("example"));
}

TEST(ReleaseNumber, TextOfReleaseNumbers)
{
    EXPECT_EQ(ReleaseNumber::text(2800), QStringLiteral("2.8"));
    EXPECT_EQ(ReleaseNumber::text(2850), QStringLiteral("2.85"));
    EXPECT_EQ(ReleaseNumber::text(2813), QStringLiteral("2.81 b3"));
    EXPECT_EQ(ReleaseNumber::text(2810), QStringLiteral("2.81"));
}

TEST(HttpReplyReader, ReadsTheSameReplyInPiecesOfAnySize)
{
    const QByteArray reply = "HTTP/1.1 200 OK\r\nContent-Length: 8\r\n\r\n200\xA7"
                             "2810";
    for (const int piece : {1, 2, 7, 1000}) {
        HttpReplyReader r(4096);
        for (qsizetype at = 0; at < reply.size(); at += piece)
            r.feed(reply.mid(at, piece));
        EXPECT_EQ(r.state(), HttpReplyReader::State::Body) << piece;
        EXPECT_EQ(r.status(), 200);
        EXPECT_EQ(r.body(), QByteArray("200\xA7"
                                       "2810"))
            << piece;
    }
    HttpReplyReader bare(4096);
    bare.feed("<HTML>200");
    EXPECT_EQ(bare.state(), HttpReplyReader::State::Body);
    EXPECT_EQ(bare.body(), QByteArray("<HTML>200"));
}

} // namespace
