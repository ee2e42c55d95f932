#include "sites/SiteRecord.h"

#include <gtest/gtest.h>

namespace {

TEST(SiteRecord, TextsAreCutTo255Characters)
{
    const QString host300 = QString(300, u'h');
    tSiteRecord site;
    site.Host = host300;
    site.desc = QStringLiteral("line one\r\nline two");
    site.Port = QString(255, u'9');
    EXPECT_EQ(site.Host.text(), host300.left(255));
    EXPECT_EQ(site.desc.text(), QStringLiteral("line one\r\nline two"));
    EXPECT_EQ(site.Port.text().size(), 255);

    const tSiteRecord copy = site;
    EXPECT_EQ(copy.Host, site.Host);
}

// A character outside the Basic Multilingual Plane takes two UTF-16 units; one that would be
// split by the cut is dropped whole.
TEST(SiteRecord, CutNeverSplitsACharacter)
{
    const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80"); // U+1F600, two UTF-16 units
    tShortText text = QString(254, u'a') + emoji;
    EXPECT_EQ(text.text(), QString(254, u'a'));
    text = QString(253, u'a') + emoji + QStringLiteral("b");
    EXPECT_EQ(text.text(), QString(253, u'a') + emoji);
}

} // namespace
