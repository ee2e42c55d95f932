#include "settings/SettingsCatalogue.h"

#include <QSet>

#include <gtest/gtest.h>

namespace {

TEST(SettingsCatalogue, EveryKeyReadsItsDefaultOnAFreshStoreAndNamesAreUnique)
{
    const tSetupClass fresh;
    QSet<QString> seen;
    for (const Keys::AnyKey &key : Keys::mainStoreKeys()) {
        const QString name = Keys::nameOf(key);
        SCOPED_TRACE(name.toStdString());
        // Two constants for one key (in any letter case) would give it two defaults.
        EXPECT_FALSE(seen.contains(name.toLower()));
        seen.insert(name.toLower());
        std::visit([&fresh](const auto *k) { EXPECT_EQ(read(fresh, *k), defaultOf(*k)); }, key);
    }
}

TEST(SettingsCatalogue, ValuesWrittenInAnyLetterCaseAreReadBackTyped)
{
    tSetupClass s;
    // The options dialog writes keys in small letters.
    s.setString(QStringLiteral("anonpass"), QStringLiteral("me@host"));
    s.setString(QStringLiteral("connectiontype"), QStringLiteral("7"));
    s.setString(QStringLiteral("disablesound"), QStringLiteral("FALSE"));
    s.setString(QStringLiteral("maxretries"), QStringLiteral("many"));
    EXPECT_EQ(read(s, Keys::anonPass), QStringLiteral("me@host"));
    EXPECT_EQ(read(s, Keys::connectionType), 7);
    EXPECT_FALSE(read(s, Keys::disableSound));
    EXPECT_EQ(read(s, Keys::maxRetries), Keys::maxRetries.def); // not a number: the default
}

} // namespace
