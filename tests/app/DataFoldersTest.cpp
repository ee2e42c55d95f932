// The per-user folders: a profiles folder made by the program is its user's alone (profiles
// hold passwords); one that already existed keeps the modes it was given, since sharing
// profiles with others is what such a folder may be for.
#include "app/DataFolders.h"

#include "support/TempHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

constexpr QFileDevice::Permissions kGroupOrOther = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                                   QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                                   QFileDevice::WriteOther | QFileDevice::ExeOther;

TEST(DataFolders, ANewProfilesFolderIsPrivateAnExistingOneKeepsItsModes)
{
    {
        TempHome home;
        const DataFolders folders = DataFolders::locate();
        ASSERT_TRUE(folders.create());
        EXPECT_TRUE(QFileInfo(folders.sharedProfiles).isDir());
        EXPECT_FALSE(QFileInfo(folders.sharedProfiles).permissions() & kGroupOrOther);
    }
    {
        TempHome home;
        const DataFolders folders = DataFolders::locate();
        ASSERT_TRUE(QDir().mkpath(folders.sharedProfiles));
        const QFileDevice::Permissions shared = QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                QFileDevice::ExeOwner | QFileDevice::ReadGroup |
                                                QFileDevice::WriteGroup | QFileDevice::ExeGroup;
        ASSERT_TRUE(QFile::setPermissions(folders.sharedProfiles, shared));
        ASSERT_TRUE(folders.create());
        EXPECT_EQ(QFileInfo(folders.sharedProfiles).permissions() & kGroupOrOther, shared & kGroupOrOther);
    }
}

} // namespace
