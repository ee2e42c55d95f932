#include "peripheral/ReleaseNumber.h"

#include <QList>

namespace ReleaseNumber {

QString text(std::int64_t number)
{
    const std::int64_t major = number / 1000;
    const std::int64_t r = number % 1000;
    const std::int64_t beta = r % 10;
    const std::int64_t t = r / 10;
    const std::int64_t minor = t % 10 != 0 ? t : t / 10;
    QString s = QStringLiteral("%1.%2").arg(major).arg(minor);
    if (beta != 0)
        s += QStringLiteral(" b%1").arg(beta);
    return s;
}

bool isBeta(std::int64_t number)
{
    return number % 10 != 0;
}

std::optional<std::int64_t> parseAnswer(const QByteArray &body)
{
    QByteArray text = body;
    // The server answers in Windows-1252; accept the UTF-8 form of the sign as well.
    text.replace(QByteArray("\xC2\xA7"), QByteArray("\xA7"));
    const QList<QByteArray> parts = text.split('\xA7');
    if (parts.size() != 2 || parts.at(0) != "200")
        return std::nullopt;
    const QByteArray number = parts.at(1).trimmed();
    if (number.isEmpty() || number.size() > 12)
        return std::nullopt;
    for (char c : number) {
        if (c < '0' || c > '9')
            return std::nullopt;
    }
    const std::int64_t value = number.toLongLong();
    if (value <= 0)
        return std::nullopt;
    return value;
}

} // namespace ReleaseNumber
