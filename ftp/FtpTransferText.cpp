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
