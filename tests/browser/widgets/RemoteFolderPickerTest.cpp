// The remote folder picker: the tree it builds from the folders the connection has seen, the
// node it selects, and what OK, Cancel and a double click answer.
#include "browser/widgets/RemoteFolderPicker.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace {

using namespace Qt::StringLiterals;

// "/[docs,pub[incoming]]": each node's text, its children in brackets.
QString shape(const QTreeWidgetItem *node)
{
    QString text = node->text(0);
    if (node->childCount() == 0)
        return text;
    QStringList children;
    for (int i = 0; i < node->childCount(); ++i)
        children << shape(node->child(i));
    return text + QLatin1Char('[') + children.join(QLatin1Char(',')) + QLatin1Char(']');
}

QTreeWidget *treeOf(RemoteFolderPicker &picker)
{
    return picker.findChild<QTreeWidget *>();
}

QPushButton *button(RemoteFolderPicker &picker, const QString &text)
{
    for (QAbstractButton *b : picker.findChild<QDialogButtonBox *>()->buttons()) {
        if (b->text() == text)
            return qobject_cast<QPushButton *>(b);
    }
    return nullptr;
}

QTreeWidgetItem *nodeAt(QTreeWidget *tree, const QString &path)
{
    QTreeWidgetItem *node = tree->topLevelItem(0);
    for (const QString &piece : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        QTreeWidgetItem *next = nullptr;
        for (int i = 0; node && i < node->childCount() && !next; ++i)
            if (node->child(i)->text(0) == piece)
                next = node->child(i);
        node = next;
    }
    return node;
}

struct PickerCase {
    const char *what;
    QStringList folders; // as the controller hands them over: sorted, without duplicates
    QString current;
    QString tree;
    QString selected;
};

class PickerCases : public ::testing::TestWithParam<PickerCase> {};

TEST_P(PickerCases, BuildsTheTreeAndSelectsTheCurrentFolder)
{
    const PickerCase &c = GetParam();
    RemoteFolderPicker picker(c.folders, c.current);
    QTreeWidget *tree = treeOf(picker);
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    EXPECT_EQ(shape(tree->topLevelItem(0)), c.tree);
    EXPECT_EQ(picker.chosenPath(), c.selected);
    // Every node is open: the whole tree shows at once.
    for (QTreeWidgetItemIterator it(tree); *it; ++it)
        EXPECT_TRUE((*it)->childCount() == 0 || (*it)->isExpanded()) << (*it)->text(0).toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Folders, PickerCases,
    ::testing::Values(
        PickerCase{"nested",
                   {u"/"_s, u"/docs/"_s, u"/pub/"_s, u"/pub/incoming/"_s, u"/pub/old/"_s},
                   u"/pub/incoming/"_s,
                   u"/[docs,pub[incoming,old]]"_s,
                   u"/pub/incoming/"_s},
        PickerCase{"current unknown: the top node", {u"/"_s, u"/docs/"_s}, u"/gone/"_s, u"/[docs]"_s, u"/"_s},
        PickerCase{"a node made only on the way down", {u"/a/b/c/"_s}, u"/a/b/"_s, u"/[a[b[c]]]"_s, u"/a/b/"_s},
        PickerCase{"names differing in case are two folders",
                   {u"/"_s, u"/Docs/"_s, u"/docs/"_s, u"/docs/x/"_s},
                   u"/docs/"_s,
                   u"/[Docs,docs[x]]"_s,
                   u"/docs/"_s},
        PickerCase{"a server that ignores case", {u"/"_s, u"/Pub/"_s}, u"/pub/"_s, u"/[Pub]"_s, u"/Pub/"_s},
        PickerCase{"names with blanks and dots",
                   {u"/"_s, u"/my files/"_s, u"/my files/.hidden/"_s},
                   u"/my files/.hidden/"_s,
                   u"/[my files[.hidden]]"_s,
                   u"/my files/.hidden/"_s}),
    [](const ::testing::TestParamInfo<PickerCase> &info) { return "case" + std::to_string(info.index); });

TEST(RemoteFolderPicker, OkCancelAndDoubleClickAnswerWithTheChosenNode)
{
    const QStringList folders = {u"/"_s, u"/docs/"_s, u"/pub/"_s, u"/pub/incoming/"_s};
    {
        RemoteFolderPicker picker(folders, QStringLiteral("/pub/"));
        EXPECT_EQ(picker.windowTitle(), QStringLiteral("Select FTP Folder:"));
        picker.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&picker));
        EXPECT_TRUE(treeOf(picker)->hasFocus());
        // Nodes stay open whatever keys the user presses.
        QTreeWidgetItem *pub = nodeAt(treeOf(picker), QStringLiteral("/pub/"));
        QTest::keyClick(treeOf(picker), Qt::Key_Left);
        EXPECT_TRUE(pub->isExpanded());
        treeOf(picker)->setCurrentItem(nodeAt(treeOf(picker), QStringLiteral("/docs/")));
        button(picker, QStringLiteral("&OK"))->click();
        EXPECT_EQ(picker.result(), QDialog::Accepted);
        EXPECT_EQ(picker.chosenPath(), QStringLiteral("/docs/"));
    }
    {
        RemoteFolderPicker picker(folders, QStringLiteral("/pub/"));
        picker.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&picker));
        button(picker, QStringLiteral("&Cancel"))->click();
        EXPECT_EQ(picker.result(), QDialog::Rejected);
    }
    {
        RemoteFolderPicker picker(folders, QStringLiteral("/"));
        picker.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&picker));
        QTreeWidget *tree = treeOf(picker);
        const QRect incoming = tree->visualItemRect(nodeAt(tree, QStringLiteral("/pub/incoming/")));
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, incoming.center());
        QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, incoming.center());
        EXPECT_EQ(picker.result(), QDialog::Accepted);
        EXPECT_FALSE(picker.isVisible());
        EXPECT_EQ(picker.chosenPath(), QStringLiteral("/pub/incoming/"));
    }
}

} // namespace
