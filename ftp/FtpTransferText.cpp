#include "ftp/FtpTransferText.h"

#include <QStringList>

namespace {

// A decimal number of at most three digits, blanks around it allowed.
std::optional<int> readByte(QStringView text)
{
    text = text.trimmed();
    if (text.isEmpty() || text.size() > 3)
        return std::nullopt;
    int value = 0;
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        value = value * 10 + (c.unicode() - '0');
    }
    if (value > 255)
        return std::nullopt;
    return value;
}

} // namespace

std::optional<FtpPasvAddress> FtpParsePasv(const QString &line)
{
    const qsizetype open = line.indexOf(QLatin1Char('('));
    if (open < 0)
        return std::nullopt;
    const qsizetype close = line.indexOf(QLatin1Char(')'), open + 1);
    if (close < 0)
        return std::nullopt;
    const QStringView inner = QStringView(line).mid(open + 1, close - open - 1);
    const auto parts = inner.split(QLatin1Char(','));
    if (parts.size() != 6)
        return std::nullopt;
    int numbers[6] = {};
    for (int i = 0; i < 6; ++i) {
        const auto value = readByte(parts[i]);
        if (!value)
            return std::nullopt;
        numbers[i] = *value;
    }
    FtpPasvAddress result;
    result.host = QStringLiteral("%1.%2.%3.%4").arg(numbers[0]).arg(numbers[1]).arg(numbers[2]).arg(numbers[3]);
    result.port = static_cast<uint16_t>(numbers[4] * 256 + numbers[5]);
    return result;
}

std::optional<uint16_t> FtpParseEpsv(const QString &line)
{
    const qsizetype open = line.indexOf(QLatin1Char('('));
    if (open < 0 || line.size() < open + 5)
        return std::nullopt;
    const QChar delimiter = line[open + 1];
    const char16_t d = delimiter.unicode();
    if (d < 33 || d > 126 || (d >= '0' && d <= '9'))
        return std::nullopt;
    if (line[open + 2] != delimiter || line[open + 3] != delimiter)
        return std::nullopt;
    qsizetype i = open + 4;
    uint32_t port = 0;
    int digits = 0;
    for (; i < line.size() && line[i] >= QLatin1Char('0') && line[i] <= QLatin1Char('9'); ++i) {
        if (++digits > 5)
            return std::nullopt;
        port = port * 10 + (line[i].unicode() - '0');
    }
    if (digits == 0 || port < 1 || port > 65535)
        return std::nullopt;
    if (i + 1 >= line.size() || line[i] != delimiter || line[i + 1] != QLatin1Char(')'))
        return std::nullopt;
    return static_cast<uint16_t>(port);
}

QString FtpEprtLine(const QString &address, uint16_t port)
{
    const bool ipv6 = address.contains(QLatin1Char(':'));
    return QStringLiteral("EPRT |%1|%2|%3|").arg(ipv6 ? 2 : 1).arg(address).arg(port);
}

QString FtpPortLine(uint32_t address, uint16_t port)
{
    return QStringLiteral("PORT %1,%2,%3,%4,%5,%6")
        .arg(address >> 24)
        .arg((address >> 16) & 0xFF)
        .arg((address >> 8) & 0xFF)
        .arg(address & 0xFF)
        .arg(port >> 8)
        .arg(port & 0xFF);
}

QString FtpTransferStatsLine(int64_t bytes, int64_t elapsedMs)
{
    QString line = QStringLiteral("! %1 bytes received/sent in %2 seconds").arg(bytes).arg(elapsedMs / 1000);
    if (elapsedMs != 0) {
        const int64_t rate = bytes < 32768 ? bytes * 1000 / elapsedMs : (bytes / elapsedMs) * 1000;
        line += QStringLiteral(" (%1 Bytes/sec)").arg(rate);
    }
    return line;
}
