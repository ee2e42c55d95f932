// Machine listings: MLSD/MLST fact lines and EPLF. Both carry their facts in a fixed
// syntax and the name after a fixed separator, so the name is taken whole, blanks and all.
#include "listing/ListingLineTools.h"
#include "listing/ProgramDateTime.h"

#include <limits>

namespace ListingLine {

namespace {

constexpr std::uint64_t kInt64Max = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());

// Octal mode digits ("0755", "755", "00") as the three-digit permission code.
// pyftpdlib writes the mode as Python prints octal numbers: "0o755".
QStringView octalDigits(QStringView text)
{
    if (text.size() > 2 && text[0] == u'0' && (text[1] == u'o' || text[1] == u'O'))
        return text.sliced(2);
    return text;
}

bool modeCode(QStringView text, std::int32_t &code)
{
    text = octalDigits(text);
    if (text.isEmpty() || text.size() > 7)
        return false;
    for (QChar c : text) {
        if (c.unicode() < u'0' || c.unicode() > u'7')
            return false;
    }
    code = 0;
    const QStringView last = text.size() > 3 ? text.last(3) : text;
    for (QChar c : last)
        code = code * 10 + (c.unicode() - u'0');
    return true;
}

// A full st_mode ("0120777", "120777") carries the file type above the permission digits;
// 012 is a symbolic link. A server whose type fact says "dir" for a link may still say so.
bool modeIsLink(QStringView text)
{
    text = octalDigits(text);
    qsizetype i = 0;
    while (i < text.size() && text[i] == u'0')
        ++i;
    const QStringView digits = text.sliced(i);
    return digits.size() == 6 && digits.startsWith(u"12"_v);
}

// "YYYYMMDDHHMMSS" with an optional fraction ".sss", in UTC.
bool readFactTime(QStringView text, const ParseContext &ctx, double &value)
{
    if (text.size() > 14 && text[14] == u'.' && isAllDigits(text.sliced(15)))
        text = text.first(14);
    if (text.size() != 14 || !isAllDigits(text))
        return false;
    const int year = smallNumber(text.first(4));
    const int month = smallNumber(text.sliced(4, 2));
    const int day = smallNumber(text.sliced(6, 2));
    const int hour = smallNumber(text.sliced(8, 2));
    const int minute = smallNumber(text.sliced(10, 2));
    const int second = smallNumber(text.sliced(12, 2));
    // RFC 3659 allows a leap second (60); it is read as 59.
    if (!isValidDate(year, month, day) || hour > 23 || minute > 59 || second > 60)
        return false;
    value = utcToLocalValue(dateOf(year, month, day), ((hour * 60 + minute) * 60 + std::min(second, 59)) * 1000, ctx);
    return true;
}

enum class FactResult { Ok, Bad, FolderItself };

// The value of a "type" fact; OS.unix types as RFC 3659 and common servers write them.
FactResult applyType(tTmbFtpEntry &entry, QStringView type)
{
    if (equalsAsciiNoCase(type, u"file"_v))
        return FactResult::Ok;
    if (equalsAsciiNoCase(type, u"dir"_v)) {
        entry.isFolder = true;
        return FactResult::Ok;
    }
    if (equalsAsciiNoCase(type, u"cdir"_v) || equalsAsciiNoCase(type, u"pdir"_v))
        return FactResult::FolderItself;
    static constexpr QStringView kUnix = u"os.unix="_v;
    if (type.size() > kUnix.size() && equalsAsciiNoCase(type.first(kUnix.size()), kUnix)) {
        const QStringView kind = type.sliced(kUnix.size());
        const auto startsWith = [kind](QStringView word) {
            return kind.size() >= word.size() && equalsAsciiNoCase(kind.first(word.size()), word);
        };
        if (startsWith(u"slink"_v) || startsWith(u"symlink"_v)) {
            entry.isLink = true;
            return FactResult::Ok;
        }
        if (startsWith(u"chr"_v))
            entry.special = SpecialFile::CharDevice;
        else if (startsWith(u"blk"_v))
            entry.special = SpecialFile::BlockDevice;
        else if (startsWith(u"fifo"_v) || startsWith(u"pipe"_v))
            entry.special = SpecialFile::Fifo;
        else if (startsWith(u"socket"_v) || startsWith(u"sock"_v))
            entry.special = SpecialFile::Socket;
        else
            entry.special = SpecialFile::Other;
        return FactResult::Ok;
    }
    entry.special = SpecialFile::Other;
    return FactResult::Ok;
}

} // namespace

namespace {

enum class FactKey { Other, Type, Size, Sizd, Modify, UnixMode };

// The facts the entry is made from, any case.
FactKey factKeyOf(QStringView key)
{
    switch (key.size()) {
    case 4:
        switch (asciiLower(key[0])) {
        case u't':
            return equalsAsciiNoCase(key, u"type"_v) ? FactKey::Type : FactKey::Other;
        case u's':
            if (equalsAsciiNoCase(key, u"size"_v))
                return FactKey::Size;
            return equalsAsciiNoCase(key, u"sizd"_v) ? FactKey::Sizd : FactKey::Other;
        default:
            return FactKey::Other;
        }
    case 6:
        return equalsAsciiNoCase(key, u"modify"_v) ? FactKey::Modify : FactKey::Other;
    case 9:
        return equalsAsciiNoCase(key, u"unix.mode"_v) ? FactKey::UnixMode : FactKey::Other;
    default:
        return FactKey::Other;
    }
}

// Where the facts end: at the first blank or tab. RFC 3659 puts one blank between the facts
// and the name; some servers put a tab there.
qsizetype factsEnd(QStringView line)
{
    const qsizetype end = indexOfEither(line, 0, u' ', u'\t');
    return end < line.size() ? end : -1;
}

bool hasTypeFact(QStringView facts)
{
    qsizetype from = 0;
    while (from < facts.size()) {
        qsizetype semicolon = indexOfChar(facts, u';', from);
        if (semicolon < 0)
            semicolon = facts.size();
        const QStringView fact = facts.sliced(from, semicolon - from);
        if (fact.size() > 5 && equalsAsciiNoCase(fact.first(5), u"type="_v))
            return true;
        from = semicolon + 1;
    }
    return false;
}

} // namespace

bool looksLikeFactsLine(QStringView line)
{
    const qsizetype end = factsEnd(line);
    if (end < 3)
        return false;
    const QStringView facts = line.first(end);
    const qsizetype equals = indexOfChar(facts, u'=');
    if (equals < 1 || indexOfChar(facts.first(equals), u';') >= 0)
        return false;
    // Drafts before RFC 3659 left out the ";" after the last fact; such a line must name
    // its type, or any "a=b c" would pass for facts.
    return facts.back() == u';' || hasTypeFact(facts);
}

void parseFactsLine(tTmbFtpEntry &entry, QStringView line, const ParseContext &ctx)
{
    QStringView facts, name;
    if (line.startsWith(u' ')) { // no facts were asked for
        name = line.sliced(1);
    } else if (const qsizetype end = factsEnd(line); end >= 0) {
        facts = line.first(end);
        if (facts.endsWith(u';'))
            facts.chop(1);
        name = line.sliced(end + 1);
    }
    if (name.isEmpty())
        return fail(entry, ListingStatus::FactsNoName, QStringLiteral("mlsd entry has no file name"));
    entry.style = ListingStyle::Mlsd;
    entry.permissions = -1;
    bool hasSize = false, isItself = false;
    std::int64_t folderSize = -1;
    qsizetype from = 0;
    while (from < facts.size()) {
        qsizetype semicolon = indexOfChar(facts, u';', from);
        if (semicolon < 0)
            semicolon = facts.size();
        const QStringView fact = facts.sliced(from, semicolon - from);
        from = semicolon + 1;
        // Keys are a few characters: a plain loop finds their end sooner than a search.
        qsizetype equals = 0;
        while (equals < fact.size() && fact[equals] != u'=')
            ++equals;
        if (equals < 1 || equals == fact.size())
            return fail(entry, ListingStatus::FactsBadFact, QStringLiteral("mlsd entry has an invalid fact"));
        const QStringView key = fact.first(equals);
        const QStringView value = fact.sliced(equals + 1);
        if (value.isEmpty())
            continue; // "Size=;": the server does not know; as if the fact were not there
        std::uint64_t number = 0;
        // The key's length and first letter leave one known fact to compare with; the facts
        // of no interest ("perm", "unique", "UNIX.owner") are passed over after that.
        switch (FactKey factKey = factKeyOf(key)) {
        case FactKey::Type:
            isItself = applyType(entry, value) == FactResult::FolderItself;
            break;
        case FactKey::Size:
        case FactKey::Sizd:
            if (!readNumber(value, kInt64Max, number))
                return fail(entry, ListingStatus::BadSize, QStringLiteral("mlsd entry has invalid size fact."));
            if (factKey == FactKey::Size) {
                entry.size = static_cast<std::int64_t>(number);
                hasSize = true;
            } else {
                folderSize = static_cast<std::int64_t>(number);
            }
            break;
        case FactKey::Modify:
            if (!readFactTime(value, ctx, entry.modified))
                return fail(entry, ListingStatus::FactsBadModify,
                            QStringLiteral("mlsd entry has invalid modify fact."));
            break;
        case FactKey::UnixMode:
            if (!modeCode(value, entry.permissions))
                entry.permissions = -1;
            else if (modeIsLink(value))
                entry.isLink = true;
            break;
        case FactKey::Other:
            break;
        }
    }
    if (isItself)
        return fail(entry, ListingStatus::FolderItself, QStringLiteral("current or parent folder entry"));
    if (!hasSize && folderSize >= 0)
        entry.size = folderSize;
    entry.name = name.toString();
    if (entry.isLink) // as for Unix links: a folder unless its own name has a dot
        entry.isFolder = !entry.name.contains(u'.');
    entry.status = ListingStatus::Ok;
}

bool parseEplfLine(tTmbFtpEntry &entry, QStringView line, const ParseContext &ctx)
{
    const qsizetype tab = indexOfChar(line, u'\t');
    if (line.isEmpty() || line[0] != u'+' || tab < 1)
        return false;
    const QStringView facts = line.sliced(1, tab - 1);
    const QStringView name = line.sliced(tab + 1);
    const auto bad = [&entry] {
        fail(entry, ListingStatus::EplfBadEntry, QStringLiteral("invalid eplf entry"));
        return true;
    };
    if (name.isEmpty())
        return bad();
    entry.style = ListingStyle::Eplf;
    entry.permissions = -1;
    bool usable = false; // "/" (may be entered) or "r" (may be retrieved): otherwise not an entry
    qsizetype from = 0;
    while (from <= facts.size()) {
        qsizetype comma = indexOfChar(facts, u',', from);
        if (comma < 0)
            comma = facts.size();
        const QStringView fact = facts.sliced(from, comma - from);
        from = comma + 1;
        if (fact.isEmpty())
            continue;
        std::uint64_t number = 0;
        switch (fact[0].unicode()) {
        case u'/':
            entry.isFolder = true;
            usable = true;
            break;
        case u'r':
            usable = true;
            break;
        case u's':
            if (!readNumber(fact.sliced(1), kInt64Max, number))
                return bad();
            entry.size = static_cast<std::int64_t>(number);
            break;
        case u'm': {
            // Seconds since 1970 in UTC; more than 400,000 years' worth is not a date.
            if (!readNumber(fact.sliced(1), 12'000'000'000'000ULL, number))
                return bad();
            const auto days = static_cast<qint64>(number / 86'400);
            const int msecs = static_cast<int>(number % 86'400) * 1000;
            // The program's dates end with the year 9999.
            if (days > ProgramDateTime::dayNumber(9999, 12, 31) - ProgramDateTime::dayNumber(1970, 1, 1))
                return bad();
            entry.modified = utcToLocalValue(dateAfter1970(days), msecs, ctx);
            break;
        }
        case u'u':
            if (fact.size() > 1 && fact[1] == u'p' && !modeCode(fact.sliced(2), entry.permissions))
                entry.permissions = -1;
            break;
        default: // "i" (identity) and unknown facts carry nothing we show
            break;
        }
    }
    if (!usable)
        return bad();
    entry.name = name.toString();
    entry.status = ListingStatus::Ok;
    return true;
}

} // namespace ListingLine

void parseMlsdListing(const QStringList &lines, std::vector<tTmbFtpEntry> &entries)
{
    const ListingLine::ParseContext ctx = ListingLine::contextFor(QDateTime::currentDateTime());
    entries.reserve(entries.size() + static_cast<std::size_t>(lines.size()));
    for (const QString &line : lines) {
        tTmbFtpEntry &entry = entries.emplace_back();
        entry.rawLine = line;
        ListingLine::parseFactsLine(entry, line, ctx);
    }
}

tTmbFtpEntry parseMlsdLine(const QString &line)
{
    std::vector<tTmbFtpEntry> entries;
    parseMlsdListing({line}, entries);
    return std::move(entries.front());
}

tTmbFtpEntry parseMlstLine(const QString &line)
{
    tTmbFtpEntry entry;
    entry.rawLine = line;
    if (!line.startsWith(u' ')) {
        ListingLine::fail(entry, ListingStatus::FactsNoName, QStringLiteral("mlsd entry has no file name"));
        return entry;
    }
    const ListingLine::ParseContext ctx = ListingLine::contextFor(QDateTime::currentDateTime());
    ListingLine::parseFactsLine(entry, QStringView(line).sliced(1), ctx);
    return entry;
}
