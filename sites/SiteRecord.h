#pragma once

#include <QString>

#include <type_traits>
#include <utility>

// A text field of the site record: at most 255 characters. Longer texts are cut when they
// enter, never in the middle of a character that takes two UTF-16 units.
class tShortText {
public:
    static constexpr qsizetype kMaxLength = 255;

    tShortText() = default;
    // Anything that makes a QString (string-builder expressions too); cut on the way in.
    template <typename Text>
    requires(!std::is_same_v<std::remove_cvref_t<Text>, tShortText> && std::is_convertible_v<Text, QString>)
        tShortText(Text &&text)
        : m_text(cut(QString(std::forward<Text>(text))))
    {
    }

    const QString &text() const { return m_text; }
    operator const QString &() const { return m_text; } // reads like the QString it holds
    bool isEmpty() const { return m_text.isEmpty(); }

    friend bool operator==(const tShortText &a, const tShortText &b) { return a.m_text == b.m_text; }
    friend bool operator==(const tShortText &a, const QString &b) { return a.m_text == b; }

private:
    static QString cut(const QString &text);
    QString m_text;
};

// How a site's connection is encrypted, as stored in site profiles (the numbers are
// written to files: never renumber).
enum class SiteEncryption {
    ExplicitIfAvailable = 0, // AUTH TLS when the server offers it, plain otherwise (the default)
    ExplicitRequired = 1,    // AUTH TLS or no login
    Implicit = 2,            // TLS from the first byte, port 990 by default
    Plain = 3,               // plain FTP (insecure)
};

// The choice as the user sees it, in the order of the numbers above.
QString encryptionChoiceText(SiteEncryption encryption);
constexpr int kEncryptionChoiceCount = 4;

// The protocol a site speaks, as stored in site profiles ("Protocol"; a profile without the
// key is FTP). The numbers are written to files: never renumber.
enum class SiteProtocol {
    Ftp = 0,  // FTP, with the encryption choice below
    Sftp = 1, // SFTP over SSH, port 22 by default; the encryption choice does not apply
};

// The choice as the user sees it ("FTP", "SFTP"), in the order of the numbers above.
QString protocolChoiceText(SiteProtocol protocol);
constexpr int kProtocolChoiceCount = 2;

// One FTP site: where to connect, how to log in, which folders to open after login. The
// program keeps one current record (the site being or last connected); each way into
// Connect overwrites only the fields it names.
struct tSiteRecord {
    tShortText name; // display name: the profile's name, or the host
    tShortText Host; // host name or address
    tShortText User;
    tShortText Pass;              // plain in memory
    tShortText lFolder;           // initial local folder; empty for none
    tShortText rFolder;           // initial remote folder; empty for the server's default
    tShortText Port;              // port number as text
    tShortText desc;              // free description, may hold line breaks
    bool smartXfer = false;       // carry transfers on the second connection
    bool fromSiteManager = false; // a connection started from the site manager; nothing clears it
    bool anonymous = false;
    SiteProtocol protocol = SiteProtocol::Ftp;
    QString keyFile; // SFTP: the private key file the site names; empty for the agent and ~/.ssh's keys
    SiteEncryption encryption = SiteEncryption::ExplicitIfAvailable;
    int simultaneousTransfers = 0; // transfer sessions for this site; 0 takes the global setting
};
