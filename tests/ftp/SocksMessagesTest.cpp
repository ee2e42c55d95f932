// SOCKS request bytes and reply verdicts, whole and in fragments.
#include "ftp/SocksMessages.h"
#include "ftp/WSocketErrors.h"

#include <gtest/gtest.h>

namespace {

QByteArray bytes(std::initializer_list<int> list)
{
    QByteArray out;
    for (int b : list)
        out.append(static_cast<char>(b));
    return out;
}

TEST(SocksMessages, RequestsCarryTheExactBytes)
{
    EXPECT_EQ(Socks::Greeting(Socks::Method::NoAuthentication), bytes({5, 1, 0}));
    EXPECT_EQ(Socks::Greeting(Socks::Method::UserPassword), bytes({5, 1, 2}));
    EXPECT_EQ(Socks::AuthRequest("bob", "pw"), bytes({1, 3, 'b', 'o', 'b', 2, 'p', 'w'}));
    EXPECT_EQ(Socks::Connect4(21, 0x7F000001, "me"), bytes({4, 1, 0, 21, 127, 0, 0, 1, 'm', 'e', 0}));
    EXPECT_EQ(Socks::Connect4A(0x1234, "", "ftp.x"),
              bytes({4, 1, 0x12, 0x34, 0, 0, 0, 1, 0, 'f', 't', 'p', '.', 'x', 0}));
    const uint8_t v6[16] = {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    EXPECT_EQ(Socks::Connect5IPv6(v6, 2121),
              bytes({5, 1, 0, 4, 0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2121 >> 8, 2121 & 0xFF}));
    EXPECT_EQ(Socks::Connect5("10.0.0.1", 2121),
              bytes({5, 1, 0, 3, 8, '1', '0', '.', '0', '.', '0', '.', '1', 2121 >> 8, 2121 & 0xFF}));
}

using Judge = Socks::Verdict (*)(QByteArrayView);

struct ReplyCase {
    const char *name;
    Judge judge;
    QByteArray reply;
    int code;          // 0: success
    int used;          // reply length on success
    const char *bound; // bound address on success ("" to skip)
};

// Test names show the case instead of its bytes.
void PrintTo(const ReplyCase &c, std::ostream *os)
{
    *os << c.name;
}

class SocksReplies : public ::testing::TestWithParam<ReplyCase> {};

// A reply must give the same verdict however it is split, and no verdict before its end.
TEST_P(SocksReplies, SameVerdictWholeAndInFragments)
{
    const ReplyCase &c = GetParam();
    for (int piece : {0, 1, 2, 7}) {
        // "Too much data" exists only when the extra bytes arrive together with the reply.
        if (piece != 0 && c.code == SocksError::LogicError)
            continue;
        QByteArray got;
        Socks::Verdict v;
        const qsizetype step = piece == 0 ? c.reply.size() : piece;
        for (qsizetype at = 0; at < c.reply.size(); at += step) {
            got += c.reply.mid(at, step);
            v = c.judge(got);
            if (!v.needMore())
                break;
        }
        SCOPED_TRACE(piece);
        if (c.code == 0) {
            ASSERT_TRUE(v.ok()) << v.code << " " << v.text.toStdString();
            EXPECT_EQ(v.used, c.used);
            if (*c.bound) {
                EXPECT_EQ(v.boundAddress.toStdString(), c.bound);
            }
        } else {
            ASSERT_TRUE(v.failed());
            EXPECT_EQ(v.code, c.code) << v.text.toStdString();
        }
    }
}

const QByteArray kDestData = QByteArrayLiteral("220 hello\r\n");

INSTANTIATE_TEST_SUITE_P(
    Table, SocksReplies,
    ::testing::Values(
        ReplyCase{"greeting_none", Socks::JudgeGreetingReply, bytes({5, 0}), 0, 2, ""},
        ReplyCase{"greeting_userpass", Socks::JudgeGreetingReply, bytes({5, 2}), 0, 2, ""},
        ReplyCase{"greeting_version", Socks::JudgeGreetingReply, bytes({4, 0}), SocksError::VersionError, 0, ""},
        ReplyCase{"greeting_no_method", Socks::JudgeGreetingReply, bytes({5, 0xFF}), SocksError::MethodNotAcceptable, 0,
                  ""},
        ReplyCase{"greeting_too_much", Socks::JudgeGreetingReply, bytes({5, 0, 9}), SocksError::LogicError, 0, ""},
        ReplyCase{"auth_ok", Socks::JudgeAuthReply, bytes({1, 0}), 0, 2, ""},
        ReplyCase{"auth_refused", Socks::JudgeAuthReply, bytes({1, 1}), SocksError::AuthenticationFailed, 0, ""},
        ReplyCase{"auth_version", Socks::JudgeAuthReply, bytes({5, 0}), SocksError::VersionError, 0, ""},
        ReplyCase{"auth_too_much", Socks::JudgeAuthReply, bytes({1, 0, 0}), SocksError::LogicError, 0, ""},
        ReplyCase{"v4_granted_with_data", Socks::JudgeConnect4Reply, bytes({0, 90, 0, 21, 10, 0, 0, 7}) + kDestData, 0,
                  8, "10.0.0.7"},
        ReplyCase{"v4_rejected", Socks::JudgeConnect4Reply, bytes({0, 91, 0, 0, 0, 0, 0, 0}),
                  SocksError::RequestRejected, 0, ""},
        ReplyCase{"v4_refused", Socks::JudgeConnect4Reply, bytes({0, 92, 0, 0, 0, 0, 0, 0}),
                  SocksError::ConnectionRefused, 0, ""},
        ReplyCase{"v4_ident", Socks::JudgeConnect4Reply, bytes({0, 93, 0, 0, 0, 0, 0, 0}),
                  SocksError::AuthenticationFailed, 0, ""},
        ReplyCase{"v4_unassigned", Socks::JudgeConnect4Reply, bytes({0, 17, 0, 0, 0, 0, 0, 0}),
                  SocksError::UnassignedError, 0, ""},
        ReplyCase{"v4_version", Socks::JudgeConnect4Reply, bytes({4, 90, 0, 0, 0, 0, 0, 0}), SocksError::VersionError,
                  0, ""},
        ReplyCase{"v5_ipv4_with_data", Socks::JudgeConnect5Reply, bytes({5, 0, 0, 1, 127, 0, 0, 1, 0, 21}) + kDestData,
                  0, 10, "127.0.0.1"},
        ReplyCase{"v5_name", Socks::JudgeConnect5Reply, bytes({5, 0, 0, 3, 4, 'h', 'o', 's', 't', 0, 21}), 0, 11,
                  "host"},
        ReplyCase{"v5_general", Socks::JudgeConnect5Reply, bytes({5, 1, 0, 1, 0, 0, 0, 0, 0, 0}), 20004, 0, ""},
        ReplyCase{"v5_ruleset", Socks::JudgeConnect5Reply, bytes({5, 2}), 20005, 0, ""},
        ReplyCase{"v5_refused", Socks::JudgeConnect5Reply, bytes({5, 5}), 20008, 0, ""},
        ReplyCase{"v5_addr_type", Socks::JudgeConnect5Reply, bytes({5, 8}), 20011, 0, ""},
        ReplyCase{"v5_unassigned", Socks::JudgeConnect5Reply, bytes({5, 9}), SocksError::UnassignedError, 0, ""},
        ReplyCase{"v5_ipv6_with_data", Socks::JudgeConnect5Reply,
                  bytes({5, 0, 0, 4, 0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 21}) + kDestData, 0,
                  22, "2001:db8::1"},
        ReplyCase{"v5_unknown_type", Socks::JudgeConnect5Reply, bytes({5, 0, 0, 7, 0, 0, 0, 0, 0, 0}),
                  SocksError::AddressTypeNotSupported, 0, ""},
        ReplyCase{"v5_garbage", Socks::JudgeConnect5Reply, QByteArrayLiteral("HTTP/1.0 400 Bad Request\r\n"),
                  SocksError::VersionError, 0, ""}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(SocksMessages, ReplyTextsAreTheProgramsOwn)
{
    EXPECT_EQ(Socks::JudgeConnect5Reply(bytes({5, 3})).text, QStringLiteral("network unreachable"));
    EXPECT_EQ(Socks::JudgeConnect5Reply(bytes({5, 6})).text, QStringLiteral("time to live expired"));
    EXPECT_EQ(Socks::JudgeConnect5Reply(bytes({5, 42})).text, QStringLiteral("unassigned error #42"));
    EXPECT_EQ(Socks::JudgeConnect4Reply(bytes({0, 91, 0, 0, 0, 0, 0, 0})).text,
              QStringLiteral("request rejected or failed"));
    EXPECT_EQ(Socks::JudgeAuthReply(bytes({1, 0, 0})).text, QStringLiteral("too much data availaible"));
}

} // namespace
