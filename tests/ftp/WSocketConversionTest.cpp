// Name and number conversions, error texts and the send queue's chunking.
#include "ftp/WSocketBuffer.h"
#include "ftp/WSocketErrors.h"
#include "ftp/WSocketResolve.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

struct DottedCase {
    const char *name;
    const char *text;
    bool dotted;
};

// Test names show the case instead of its bytes.
void PrintTo(const DottedCase &c, std::ostream *os)
{
    *os << c.name;
}

class DottedQuad : public ::testing::TestWithParam<DottedCase> {};

TEST_P(DottedQuad, Classifies)
{
    EXPECT_EQ(WSocketIsDottedIP(QString::fromLatin1(GetParam().text)), GetParam().dotted) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Table, DottedQuad,
    ::testing::Values(DottedCase{"plain", "10.0.0.1", true}, DottedCase{"leading-blanks", "   127.0.0.1", true},
                      DottedCase{"trailing-blanks", "127.0.0.1  ", true},
                      DottedCase{"broadcast", "255.255.255.255", true}, DottedCase{"part-too-big", "1.2.3.256", false},
                      DottedCase{"leading-dot", ".1.2.3", false}, DottedCase{"two-dots", "1.2.3", false},
                      DottedCase{"four-dots", "1.2.3.4.5", false}, DottedCase{"empty-part", "1..2.3", false},
                      DottedCase{"trailing-dot", "1.2.3.", false}, DottedCase{"letters", "ftp.example.com", false},
                      DottedCase{"blank-inside", "1.2 .3.4", false}, DottedCase{"empty", "", false}),
    [](const auto &info) {
        std::string n = info.param.name;
        std::replace(n.begin(), n.end(), '-', '_');
        return n;
    });

std::string raised(const std::function<void()> &f)
{
    try {
        f();
    } catch (const ESocketException &e) {
        return e.message().toStdString();
    }
    return "nothing raised";
}

// Addresses as the user types them and as the program shows them.
TEST(WSocketResolve, IPv6LiteralsAreReadAndShownInTheirUsualForms)
{
    struct Case {
        const char *typed;
        bool numeric;      // needs no lookup
        const char *shown; // the address as WSocketAddressText gives it back; "" when not numeric
    };
    const Case cases[] = {
        {"::1", true, "::1"},
        {"[::1]", true, "::1"},
        {" [2001:DB8:0:0::1] ", true, "2001:db8::1"},
        {"2001:db8::1", true, "2001:db8::1"},
        {"::ffff:10.1.2.3", true, "10.1.2.3"}, // IPv4 mapped into IPv6 reads as IPv4
        {"127.0.0.1", true, "127.0.0.1"},
        {"[127.0.0.1]", false, ""},
        {"2001:db8::g", false, ""},
        {"2001:db8:::1", false, ""},
        {"[::1", false, ""},
        {"ftp.example.com", false, ""},
        {"", false, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.typed);
        const QString typed = QString::fromLatin1(c.typed);
        EXPECT_EQ(WSocketIsNumericAddress(typed), c.numeric);
        const auto address = WSocketNumericAddress(typed, 2121);
        ASSERT_EQ(address.has_value(), c.numeric);
        if (address) {
            EXPECT_EQ(WSocketAddressText(address->data()).toStdString(), c.shown);
            EXPECT_EQ(address->port(), 2121);
        }
    }
    EXPECT_EQ(WSocketHostPortText(QStringLiteral("2001:db8::1"), QStringLiteral("21")),
              QStringLiteral("[2001:db8::1]:21"));
    EXPECT_EQ(WSocketHostPortText(QStringLiteral("[::1]"), QStringLiteral("21")), QStringLiteral("[::1]:21"));
    EXPECT_EQ(WSocketHostPortText(QStringLiteral("::1"), QString()), QStringLiteral("[::1]"));
    EXPECT_EQ(WSocketHostPortText(QStringLiteral("10.0.0.1"), QStringLiteral("21")), QStringLiteral("10.0.0.1:21"));
    EXPECT_EQ(WSocketHostPortText(QStringLiteral("ftp.example.com"), QStringLiteral("21")),
              QStringLiteral("ftp.example.com:21"));
    // The IPv4 conversion never answers with an IPv6 address, nor loops on one.
    EXPECT_NE(raised([] { WSocketResolveHost(QStringLiteral("::1")); }), "nothing raised");
}

TEST(WSocketResolve, ConvertsAndRefusesWithTheTextsShown)
{
    EXPECT_EQ(WSocketResolveHost(QStringLiteral(" 10.1.2.3")), 0x0A010203u);
    EXPECT_EQ(WSocketResolveHost(QStringLiteral("255.255.255.255")), 0xFFFFFFFFu);
    EXPECT_EQ(WSocketResolveHost(QStringLiteral("localhost")), 0x7F000001u);
    EXPECT_EQ(raised([] { WSocketResolveHost(QString()); }), "WSocketResolveHost: '' Invalid Hostname.");
    EXPECT_EQ(raised([] { WSocketResolveHost(QString(257, QLatin1Char('a'))); }).substr(0, 21),
              "WSocketResolveHost: '");

    EXPECT_EQ(WSocketResolvePort(QStringLiteral("21"), QStringLiteral("tcp")), 21);
    EXPECT_EQ(WSocketResolvePort(QStringLiteral(" 2121abc"), QStringLiteral("tcp")), 2121);
    EXPECT_EQ(WSocketResolvePort(QStringLiteral("65535"), QStringLiteral("tcp")), 65535);
    EXPECT_EQ(raised([] { WSocketResolvePort(QString(), QStringLiteral("tcp")); }),
              "WSocketResolvePort: Invalid Port.");
    EXPECT_EQ(raised([] { WSocketResolvePort(QString(32, QLatin1Char('1')), QStringLiteral("tcp")); }),
              "WSocketResolvePort: Invalid Port.");
    // A number past 65535 would wrap onto some other port.
    EXPECT_EQ(raised([] { WSocketResolvePort(QStringLiteral("65557"), QStringLiteral("tcp")); }),
              "WSocketResolvePort: Invalid Port.");
    EXPECT_EQ(raised([] { WSocketResolvePort(QStringLiteral("21"), QString()); }),
              "WSocketResolvePort: Invalid Proto.");
    EXPECT_EQ(raised([] { WSocketResolvePort(QStringLiteral("no-such-service-x"), QStringLiteral("tcp")); }),
              "WSocketResolvePort: Cannot convert port 'no-such-service-x', Error #11004");

    EXPECT_EQ(WSocketResolveProto(QStringLiteral("tcp")), 6);
    EXPECT_EQ(WSocketResolveProto(QStringLiteral("17")), 17);
    EXPECT_EQ(raised([] { WSocketResolveProto(QString()); }), "WSocketResolveProto: Invalid Protocol.");
}

TEST(WSocketErrors, SystemErrorsReadAsTheirClassicNumbersAndTexts)
{
    const struct {
        int err;
        int number;
        const char *text;
    } rows[] = {
        {ECONNREFUSED, 10061, "Connection refused"},     {ETIMEDOUT, 10060, "Connection timed out"},
        {ECONNRESET, 10054, "Connection reset by peer"}, {ENOTCONN, 10057, "Socket is not connected"},
        {ECONNABORTED, 10053, "Connection aborted"},     {EHOSTUNREACH, 10065, "No route to host"},
        {ENETUNREACH, 10051, "Network is unreachable"},  {EADDRINUSE, 10048, "Address already in use"},
        {EAGAIN, 10035, "Operation would block"},        {EINPROGRESS, 10036, "Operation now in progress"},
        {EINTR, 10004, "Interrupted system call"},       {EACCES, 10013, "Permission denied"},
    };
    for (const auto &r : rows) {
        EXPECT_EQ(WSocketErrnoToError(r.err), r.number);
        EXPECT_EQ(WSocketErrorDesc(r.number).toStdString(), r.text);
    }
    EXPECT_EQ(WSocketErrorDesc(0), QStringLiteral("No Error"));
    EXPECT_EQ(WSocketErrorDesc(11001), QStringLiteral("Host not found"));
    EXPECT_EQ(WSocketErrorDesc(12345), QStringLiteral("Not a WinSock error"));
}

TEST(TSendQueue, CopiesIntoFixedChunksAndDrainsInOrder)
{
    TSendQueue q;
    QByteArray data(5000, '\0');
    for (int i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 7);
    q.Append(data.constData(), static_cast<int>(data.size()));
    ASSERT_EQ(q.ChunkCount(), 4u);
    QByteArray out;
    std::vector<int> sizes;
    for (;;) {
        int length = 0;
        const char *bytes = q.Front(length);
        if (length == 0) {
            if (!q.DropEmptyFront())
                break;
            continue;
        }
        sizes.push_back(length);
        // Hand out a part of the chunk first, as a short write would.
        const int part = length > 100 ? 100 : length;
        out.append(bytes, part);
        q.Consume(part);
        if (part < length) {
            q.Front(length);
            out.append(q.Front(length), length);
            q.Consume(length);
        }
    }
    EXPECT_EQ(sizes, (std::vector<int>{1460, 1460, 1460, 620}));
    EXPECT_EQ(out, data);
    EXPECT_FALSE(q.HasUnsent());
    EXPECT_EQ(q.ChunkCount(), 1u); // the last chunk is kept for reuse
    q.Append("abc", 3);
    EXPECT_EQ(q.ChunkCount(), 1u);
    EXPECT_EQ(q.Unsent(), 3u);
}

} // namespace
