#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// A Windows-style INI text ("[section]" lines and "key=value" lines) edited in place: a
// value that is set replaces the text after "=" on its own line, a missing key is appended
// at the end of its section, and every other line (comments, keys this program does not
// know, blank lines) is written back unchanged. Section and key names compare without
// regard to letter case, as the Windows profile functions do.
class IniFile {
public:
    IniFile() = default;
    // The file's bytes, read as UTF-8. Line ends may be "\r\n" or "\n"; the ones found are kept.
    static IniFile fromBytes(const QByteArray &bytes);

    // The value of the first "key=" line in the section, or def when there is none.
    QString value(const QString &section, const QString &key, const QString &def = QString()) const;
    bool contains(const QString &section, const QString &key) const;
    // Sets a value, appending the key (and the section) when missing. Line breaks in the
    // value are refused (false): they would make lines of their own.
    bool setValue(const QString &section, const QString &key, const QString &value);

    QByteArray toBytes() const;
    const QStringList &lines() const { return m_lines; }

private:
    // Index of the section's header line, or -1.
    qsizetype sectionStart(const QString &section) const;
    // One past the section's last line (the next header or the end).
    qsizetype sectionEnd(qsizetype start) const;
    qsizetype keyLine(const QString &section, const QString &key) const;

    QStringList m_lines;
    bool m_crlf = true; // new files are written with Windows line ends
};
