#include "settings/SettingsCatalogue.h"
#include "settings/widgets/OptionsPage.h"
#include "settings/widgets/SetupControls.h"
#include "settings/widgets/u_formSetup.h"
#include "support/RecordingUserInterface.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <memory>

namespace {

QStringList itemsOf(const QListWidget *list)
{
    QStringList items;
    for (int i = 0; i < list->count(); ++i)
        items << list->item(i)->text();
    return items;
}

class OptionsDialog : public ::testing::Test {
protected:
    // The dialog as the program opens it: a store, the port and hooks that record.
    TFormSetup &open()
    {
        OptionsHooks hooks;
        hooks.asciiMasks = [this] { return masks; };
        hooks.setAsciiMasks = [this](const QStringList &m) { masks = m; };
        hooks.applySettings = [this] { ++applied; };
        hooks.showHelp = [this](const QString &topic) { topics << topic; };
        hooks.previewToolbarTheme = [this](int theme) { previewedThemes << theme; };
        dialog = std::make_unique<TFormSetup>(setup, ui, hooks);
        return *dialog;
    }
    template <typename W> W *control(const char *name)
    {
        auto *w = dialog->findChild<W *>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QPushButton *buttonOn(const QString &page, const char *caption)
    {
        for (auto *b : dialog->page(page)->findChildren<QPushButton *>()) {
            if (b->text() == QLatin1String(caption))
                return b;
        }
        ADD_FAILURE() << "no button " << caption;
        return nullptr;
    }

    tSetupClass setup;
    RecordingUserInterface ui;
    QStringList masks{QStringLiteral("*.txt")};
    int applied = 0;
    QStringList topics;
    QList<int> previewedThemes;
    std::unique_ptr<TFormSetup> dialog;
};

// Every control named "s_..." edits a key of the catalogue and starts at that key's default,
// so a page opened on a fresh store shows what the program is using.
TEST_F(OptionsDialog, EveryBoundControlIsACatalogueKeyStartingAtItsDefault)
{
    open();
    QHash<QString, Keys::AnyKey> catalogue;
    for (const Keys::AnyKey &key : Keys::mainStoreKeys())
        catalogue.insert(Keys::nameOf(key).toLower(), key);
    int bound = 0;
    for (QWidget *w : dialog->findChildren<QWidget *>()) {
        if (!w->objectName().startsWith(QLatin1String("s_")))
            continue;
        ++bound;
        const QString name = w->objectName().mid(2).toLower();
        SCOPED_TRACE(name.toStdString());
        ASSERT_TRUE(catalogue.contains(name));
        // Copy the control out into an empty store and read it back through the catalogue.
        tSetupClass out;
        controlsToSetup(out, w->parentWidget(), ui);
        std::visit([&out](const auto *k) { EXPECT_EQ(read(out, *k), defaultOf(*k)); }, catalogue.value(name));
    }
    EXPECT_GE(bound, 80);
    EXPECT_TRUE(ui.messages.isEmpty()) << ui.messages.join(QLatin1Char('\n')).toStdString();
}

// One control of each kind: a stored value shows in the control when its page is opened, and
// a value set in the control reaches the store on Apply.
TEST_F(OptionsDialog, ControlsOfEachKindRoundTripThroughTheStore)
{
    struct Row {
        const char *node, *control, *stored, *shown;
        std::function<void(QWidget *)> change;
        const char *written;
    };
    const Row table[] = {
        {"Display", "s_fullRowSelect", "true", "true",
         [](QWidget *w) { qobject_cast<QCheckBox *>(w)->setChecked(false); }, "false"},
        {"Firewall", "s_connectionType", "3", "Socks ",
         [](QWidget *w) { qobject_cast<QComboBox *>(w)->setCurrentIndex(2); }, "2"},
        {"Font", "s_fontFace", "Courier", "Courier",
         [](QWidget *w) { qobject_cast<QComboBox *>(w)->setEditText(QStringLiteral("Mono")); }, "Mono"},
        {"Connection", "s_anonPass", "a@b", "a@b",
         [](QWidget *w) { qobject_cast<QLineEdit *>(w)->setText(QStringLiteral("c@d")); }, "c@d"},
        {"History", "s_connectionHistorySize", "42", "42", [](QWidget *w) { qobject_cast<QSpinBox *>(w)->setValue(7); },
         "7"},
        {"Font", "s_fontSpace", "25", "25", [](QWidget *w) { qobject_cast<QSlider *>(w)->setValue(6); }, "6"},
        {"Shortcuts", "s_scConnect", "ctrl+shift+k", "CTRL+SHIFT+K",
         [](QWidget *w) { qobject_cast<HotKeyEdit *>(w)->setKeySequence(QKeySequence(QStringLiteral("Alt+F3"))); },
         "ALT+F3"},
        {"Shortcuts", "s_scHistory", "F9", "F9", [](QWidget *w) { qobject_cast<HotKeyEdit *>(w)->clear(); }, ""},
        {"Security", "s_launchPassword", "old", "old",
         [](QWidget *w) { qobject_cast<QLineEdit *>(w)->setText(QStringLiteral("new")); }, "new"},
    };
    const auto shownBy = [](QWidget *w) -> QString {
        if (auto *c = qobject_cast<QCheckBox *>(w))
            return c->isChecked() ? QStringLiteral("true") : QStringLiteral("false");
        if (auto *c = qobject_cast<QComboBox *>(w))
            return c->currentText();
        if (auto *e = qobject_cast<QLineEdit *>(w))
            return e->text();
        if (auto *s = qobject_cast<QSpinBox *>(w))
            return QString::number(s->value());
        if (auto *s = qobject_cast<QSlider *>(w))
            return QString::number(s->value());
        if (auto *h = qobject_cast<HotKeyEdit *>(w))
            return hotKeyText(h->keySequence());
        return QStringLiteral("?");
    };
    for (const Row &row : table)
        setup.setString(QString::fromLatin1(row.control).mid(2), QString::fromLatin1(row.stored));
    open();
    for (const Row &row : table) {
        SCOPED_TRACE(row.control);
        ASSERT_TRUE(dialog->selectNode(QString::fromLatin1(row.node)));
        QWidget *w = control<QWidget>(row.control);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(shownBy(w), QString::fromLatin1(row.shown));
        row.change(w);
    }
    EXPECT_TRUE(dialog->applyButton()->isEnabled());
    dialog->apply();
    for (const Row &row : table) {
        SCOPED_TRACE(row.control);
        EXPECT_EQ(setup.getRaw(QString::fromLatin1(row.control).mid(2)), QString::fromLatin1(row.written));
    }
    EXPECT_EQ(applied, 1);
    EXPECT_FALSE(dialog->applyButton()->isEnabled());
}

TEST_F(OptionsDialog, OnlyPagesThatWereShownAreWritten)
{
    write(setup, Keys::connectionType, 1);
    open();
    ASSERT_EQ(dialog->selectedNode(), QStringLiteral("General"));
    EXPECT_EQ(dialog->titleText(), QStringLiteral("General"));
    // Loading a page is not a change.
    EXPECT_FALSE(dialog->applyButton()->isEnabled());
    control<QComboBox>("s_startupAction")->setCurrentIndex(0);
    EXPECT_TRUE(dialog->applyButton()->isEnabled());
    QTest::mouseClick(dialog->okButton(), Qt::LeftButton);

    EXPECT_EQ(read(setup, Keys::startupAction), 0);
    EXPECT_TRUE(setup.exists(QStringLiteral("defaultEditorAlways")));
    EXPECT_FALSE(setup.exists(QStringLiteral("ConnectionTypeAddress")));
    EXPECT_EQ(read(setup, Keys::connectionType), 1);
    EXPECT_EQ(applied, 1);
}

TEST_F(OptionsDialog, ReopensOnTheLastPageShowingItsTitleAndHelp)
{
    open();
    ASSERT_TRUE(dialog->selectNode(QStringLiteral("Firewall")));
    EXPECT_EQ(dialog->titleText(), QStringLiteral("Connection \\ Firewall"));
    EXPECT_EQ(dialog->descriptionText(), QStringLiteral(" Setup connection type here ..."));
    QTest::keyClick(dialog.get(), Qt::Key_F1);
    ASSERT_TRUE(dialog->selectNode(QStringLiteral("Sharing")));
    QTest::keyClick(dialog.get(), Qt::Key_F1);
    EXPECT_EQ(topics, (QStringList{QStringLiteral("sufirewall.htm"), QStringLiteral("suTabSheet1.htm")}));
    dialog->reject();
    // Cancel writes nothing but the page to come back to.
    EXPECT_EQ(read(setup, Keys::defaultSetupTab), QStringLiteral("Sharing"));
    EXPECT_EQ(setup.settingEntries().size(), 1u);
    EXPECT_EQ(applied, 0);

    open();
    EXPECT_EQ(dialog->currentPage()->caption(), QStringLiteral("sharing"));
}

TEST_F(OptionsDialog, AsciiMasksAreEditedInTheListAndOnlyApplyReplacesThem)
{
    open();
    ASSERT_TRUE(dialog->selectNode(QStringLiteral("ASCII/Binary")));
    auto *list = control<QListWidget>("lbAsciiFiles");
    EXPECT_EQ(itemsOf(list), QStringList{QStringLiteral("*.txt")});

    // Reset, then Cancel: the program's list stays.
    buttonOn(QStringLiteral("ascii/binary"), "Reset")->click();
    EXPECT_EQ(itemsOf(list), (QStringList{QStringLiteral("*.*htm*"), QStringLiteral("*.php*")}));
    dialog->reject();
    EXPECT_EQ(masks, QStringList{QStringLiteral("*.txt")});

    open();
    ASSERT_TRUE(dialog->selectNode(QStringLiteral("ASCII/Binary")));
    list = control<QListWidget>("lbAsciiFiles");
    ui.textAnswers = {{true, QStringLiteral("*.log")}, {true, QStringLiteral("*.txt")}, {true, QStringLiteral("  ")}};
    for (int i = 0; i < 3; ++i)
        buttonOn(QStringLiteral("ascii/binary"), "Add")->click();
    EXPECT_EQ(ui.textPrompts.value(0),
              QStringLiteral("Specify Filemask for text (ASCII) File|Text (ASCII) File Mask: (example: *.txt)"));
    // A mask already listed is not added twice, a blank one not at all; the list stays sorted.
    EXPECT_EQ(itemsOf(list), (QStringList{QStringLiteral("*.log"), QStringLiteral("*.txt")}));
    list->item(1)->setSelected(true);
    list->item(0)->setSelected(false);
    buttonOn(QStringLiteral("ascii/binary"), "Delete")->click();
    EXPECT_TRUE(dialog->applyButton()->isEnabled());
    dialog->apply();
    EXPECT_EQ(masks, QStringList{QStringLiteral("*.log")});
}

TEST_F(OptionsDialog, HotKeyBoxTakesCombinationsAndRefusesTypingKeys)
{
    open();
    ASSERT_TRUE(dialog->selectNode(QStringLiteral("Shortcuts")));
    auto *box = control<HotKeyEdit>("s_scRefresh");
    EXPECT_EQ(box->keySequence(), QKeySequence(Qt::Key_F5));
    struct {
        Qt::Key key;
        Qt::KeyboardModifiers mods;
        QKeySequence expected;
    } const presses[] = {
        {Qt::Key_A, Qt::NoModifier, QKeySequence(Qt::Key_F5)},     // refused
        {Qt::Key_A, Qt::ShiftModifier, QKeySequence(Qt::Key_F5)},  // refused
        {Qt::Key_Space, Qt::NoModifier, QKeySequence(Qt::Key_F5)}, // refused
        {Qt::Key_F6, Qt::NoModifier, QKeySequence(Qt::Key_F6)},    // a function key alone
        {Qt::Key_K, Qt::ControlModifier | Qt::AltModifier, QKeySequence(QStringLiteral("Ctrl+Alt+K"))},
        {Qt::Key_Backspace, Qt::NoModifier, QKeySequence()}, // cleared
    };
    for (const auto &press : presses) {
        QTest::keyClick(box, press.key, press.mods);
        EXPECT_EQ(box->keySequence(), press.expected) << press.expected.toString().toStdString();
    }
    // Reset brings all eleven back.
    buttonOn(QStringLiteral("shortcuts"), "Reset")->click();
    EXPECT_EQ(box->keySequence(), QKeySequence(Qt::Key_F5));
    EXPECT_EQ(hotKeyText(control<HotKeyEdit>("s_scChMod")->keySequence()), QStringLiteral("CTRL+ALT+P"));
}

TEST_F(OptionsDialog, FontPreviewFollowsTheControlsAndResetsToTheDefaults)
{
    write(setup, Keys::fontSize, 12);
    open();
    ASSERT_TRUE(dialog->selectNode(QStringLiteral("Font")));
    auto *lv = control<QTreeWidget>("lv");
    ASSERT_EQ(lv->topLevelItemCount(), 4);
    EXPECT_EQ(lv->topLevelItem(3)->text(0), QStringLiteral("paper3.txt"));
    EXPECT_EQ(lv->topLevelItem(3)->text(1), QStringLiteral("3072KB"));
    EXPECT_EQ(lv->font().pointSize(), 12);
    // Filling the font names keeps the stored face, and loading did not count as a change.
    EXPECT_EQ(control<QComboBox>("s_fontFace")->currentText(), QStringLiteral("Tahoma"));
    EXPECT_FALSE(dialog->applyButton()->isEnabled());

    control<QSlider>("s_fontSpace")->setValue(28);
    EXPECT_EQ(lv->topLevelItem(0)->sizeHint(0).height(), 28);
    for (QPushButton *reset : dialog->page(QStringLiteral("font"))->findChildren<QPushButton *>())
        reset->click();
    EXPECT_EQ(control<QSlider>("s_fontSize")->value(), 8);
    EXPECT_EQ(control<QSlider>("s_fontSpace")->value(), 18);
    EXPECT_EQ(lv->font().pointSize(), 8);
}

TEST_F(OptionsDialog, ThemeChoiceIsPreviewedAtOnceButStoredOnlyOnApply)
{
    open();
    ASSERT_TRUE(dialog->selectNode(QStringLiteral("Toolbar")));
    auto *theme = control<QComboBox>("s_toolbarTheme");
    EXPECT_EQ(theme->currentIndex(), 2);
    theme->setCurrentIndex(1);
    emit theme->activated(1); // as a choice by the user
    EXPECT_EQ(previewedThemes, QList<int>{1});
    dialog->reject();
    EXPECT_FALSE(setup.exists(QStringLiteral("toolbarTheme")));
}

TEST_F(OptionsDialog, ASoundThatCannotBePlayedIsTold)
{
    open();
    ASSERT_TRUE(dialog->selectNode(QStringLiteral("Sound")));
    control<QLineEdit>("s_sndOnConnect")->setText(QStringLiteral("/no/such/file.wav"));
    buttonOn(QStringLiteral("sound"), "Test")->click();
    EXPECT_EQ(ui.messages, QStringList{QStringLiteral("Could not play selected WAV file")});
}

TEST_F(OptionsDialog, SharedFolderGetsItsTrailingSlash)
{
    open();
    ASSERT_TRUE(dialog->selectNode(QStringLiteral("Sharing")));
    auto *folder = control<QLineEdit>("s_sharedFavoritesFolder");
    folder->setText(QStringLiteral("/srv/favs"));
    emit folder->editingFinished();
    EXPECT_EQ(folder->text(), QStringLiteral("/srv/favs/"));
}

} // namespace
