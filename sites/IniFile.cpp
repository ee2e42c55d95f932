#include "sites/IniFile.h"

namespace {

bool isHeader(const QString &line)
{
    const QString t = line.trimmed();
    return t.startsWith(QLatin1Char('[')) && t.endsWith(QLatin1Char(']'));
}

QString headerName(const QString &line)
{
    const QString t = line.trimmed();
    return t.mid(1, t.size() - 2).trimmed();
}

// The key of a "key=value" line, or a null string for any other line.
QString lineKey(const QString &line)
{
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (eq < 0)
        return {};
    const QString t = line.trimmed();
    if (t.startsWith(QLatin1Char(';')) || t.startsWith(QLatin1Char('#')))
        return {};
    return line.left(eq).trimmed();
}

} // namespace

IniFile IniFile::fromBytes(const QByteArray &bytes)
{
    IniFile ini;
    if (bytes.isEmpty())
        return ini;
    QString text = QString::fromUtf8(bytes);
    ini.m_crlf = text.contains(QLatin1String("\r\n"));
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    ini.m_lines = text.split(QLatin1Char('\n'));
    // A final line end leaves an empty last piece that is not a line of its own.
    if (!ini.m_lines.isEmpty() && ini.m_lines.constLast().isEmpty())
        ini.m_lines.removeLast();
    return ini;
}

qsizetype IniFile::sectionStart(const QString &section) const
{
    for (qsizetype i = 0; i < m_lines.size(); ++i)
        if (isHeader(m_lines[i]) && headerName(m_lines[i]).compare(section, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

qsizetype IniFile::sectionEnd(qsizetype start) const
{
    qsizetype i = start + 1;
    while (i < m_lines.size() && !isHeader(m_lines[i]))
        ++i;
    return i;
}

qsizetype IniFile::keyLine(const QString &section, const QString &key) const
{
    const qsizetype start = sectionStart(section);
    if (start < 0)
        return -1;
    const qsizetype end = sectionEnd(start);
    for (qsizetype i = start + 1; i < end; ++i)
        if (lineKey(m_lines[i]).compare(key, Qt::CaseInsensitive) == 0 && !lineKey(m_lines[i]).isNull())
            return i;
    return -1;
}

QString IniFile::value(const QString &section, const QString &key, const QString &def) const
{
    const qsizetype i = keyLine(section, key);
    if (i < 0)
        return def;
    const QString &line = m_lines[i];
    return line.mid(line.indexOf(QLatin1Char('=')) + 1).trimmed();
}

bool IniFile::contains(const QString &section, const QString &key) const
{
    return keyLine(section, key) >= 0;
}

bool IniFile::setValue(const QString &section, const QString &key, const QString &value)
{
    if (value.contains(QLatin1Char('\n')) || value.contains(QLatin1Char('\r')) || key.contains(QLatin1Char('=')))
        return false;
    const QString line = key + QLatin1Char('=') + value;
    const qsizetype existing = keyLine(section, key);
    if (existing >= 0) {
        m_lines[existing] = line;
        return true;
    }
    qsizetype start = sectionStart(section);
    if (start < 0) {
        m_lines.append(QLatin1Char('[') + section + QLatin1Char(']'));
        m_lines.append(line);
        return true;
    }
    // After the section's last non-blank line, so blank separator lines stay between sections.
    qsizetype at = sectionEnd(start);
    while (at > start + 1 && m_lines[at - 1].trimmed().isEmpty())
        --at;
    m_lines.insert(at, line);
    return true;
}

QByteArray IniFile::toBytes() const
{
    const QLatin1String end = m_crlf ? QLatin1String("\r\n") : QLatin1String("\n");
    QString text;
    for (const QString &line : m_lines)
        text += line + end;
    return text.toUtf8();
}
