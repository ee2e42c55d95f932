#include "sites/SiteRecord.h"

QString tShortText::cut(const QString &text)
{
    if (text.size() <= kMaxLength)
        return text;
    qsizetype length = kMaxLength;
    // Keep a surrogate pair whole: a lone half would turn into a replacement character on disk.
    if (text.at(length - 1).isHighSurrogate())
        --length;
    return text.left(length);
}
