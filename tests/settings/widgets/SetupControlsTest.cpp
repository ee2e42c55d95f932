#include "settings/widgets/SetupControls.h"
#include "settings/u_tmbSetup.h"
#include "support/RecordingUserInterface.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QGroupBox>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>

#include <gtest/gtest.h>

namespace {

template <typename W> W *named(QWidget *parent, const char *name)
{
    auto *w = new W(parent);
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

// A dialog with one control of each bound type, some nested in a group box.
struct Dialog {
    Dialog()
    {
        check = named<QCheckBox>(&root, "s_confirmDragDrop");
        auto *group = named<QGroupBox>(&root, "group");
        radio = named<QRadioButton>(group, "S_UseRadio");
        editable = named<QComboBox>(group, "s_editableCombo");
        editable->setEditable(true);
        list = named<QComboBox>(group, "s_listCombo");
        list->addItems({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
        edit = named<QLineEdit>(&root, "s_anonPass");
        labeled = named<LabeledEdit>(&root, "s_labeled");
        slider = named<QSlider>(&root, "s_track");
        slider->setRange(0, 100);
        spin = named<QSpinBox>(&root, "s_connectionHistorySize");
        spin->setRange(0, 1000);
        hotKey = named<QKeySequenceEdit>(&root, "s_scConnect");
        dateTime = named<QDateTimeEdit>(&root, "s_when");
        colour = new ColorBox(Qt::blue, &root);
        colour->setObjectName(QStringLiteral("s_logColor"));
        notBound = named<QLineEdit>(&root, "name_s_later");
        label = named<QLabel>(&root, "s_caption");
    }
    QWidget root;
    QCheckBox *check;
    QRadioButton *radio;
    QComboBox *editable, *list;
    QLineEdit *edit;
    LabeledEdit *labeled;
    QSlider *slider;
    QSpinBox *spin;
    QKeySequenceEdit *hotKey;
    QDateTimeEdit *dateTime;
    ColorBox *colour;
    QLineEdit *notBound;
    QLabel *label;
};

TEST(SetupControls, ControlsToSetupStoresEveryBoundControlUnderItsLowerCaseKey)
{
    Dialog d;
    RecordingUserInterface ui;
    d.check->setChecked(true);
    d.radio->setChecked(true);
    d.editable->setEditText(QStringLiteral("typed"));
    d.list->setCurrentIndex(2);
    d.edit->setText(QStringLiteral("guest@"));
    d.labeled->setText(QStringLiteral("lab"));
    d.slider->setValue(42);
    d.spin->setValue(25);
    d.hotKey->setKeySequence(QKeySequence(QStringLiteral("Ctrl+Alt+C")));
    d.colour->setSelectedColor(Qt::red);
    d.notBound->setText(QStringLiteral("ignored"));

    tSetupClass s;
    controlsToSetup(s, &d.root, ui);
    EXPECT_TRUE(ui.messages.isEmpty());
    EXPECT_EQ(s.getRaw(QStringLiteral("confirmdragdrop")), QStringLiteral("true"));
    EXPECT_EQ(s.getRaw(QStringLiteral("userradio")), tSetupClass::kMissing);
    EXPECT_EQ(s.getRaw(QStringLiteral("useradio")), QStringLiteral("true"));
    EXPECT_EQ(s.getRaw(QStringLiteral("editablecombo")), QStringLiteral("typed"));
    EXPECT_EQ(s.getRaw(QStringLiteral("listcombo")), QStringLiteral("2"));
    EXPECT_EQ(s.getRaw(QStringLiteral("anonpass")), QStringLiteral("guest@"));
    EXPECT_EQ(s.getRaw(QStringLiteral("labeled")), QStringLiteral("lab"));
    EXPECT_EQ(s.getRaw(QStringLiteral("track")), QStringLiteral("42"));
    EXPECT_EQ(s.getRaw(QStringLiteral("connectionhistorysize")), QStringLiteral("25"));
    EXPECT_EQ(s.getRaw(QStringLiteral("scconnect")), QStringLiteral("CTRL+ALT+C"));
    EXPECT_EQ(s.getInt(QStringLiteral("logcolor"), 0), 0xFF0000);
    EXPECT_TRUE(s.exists(QStringLiteral("when")));
    EXPECT_FALSE(s.exists(QStringLiteral("later")));
    EXPECT_FALSE(s.exists(QStringLiteral("caption")));
    // Keys are written in small letters.
    for (const auto &e : s.settingEntries())
        EXPECT_EQ(e.key, e.key.toLower());
}

TEST(SetupControls, SetupToControlsChangesOnlyControlsWhoseKeyExists)
{
    Dialog d;
    RecordingUserInterface ui;
    d.check->setChecked(true); // designed state
    d.list->setCurrentIndex(1);
    tSetupClass s;
    s.setString(QStringLiteral("anonPass"), QStringLiteral("me@host"));
    s.setString(QStringLiteral("scConnect"), QStringLiteral("ctrl+shift+n"));
    s.setString(QStringLiteral("connectionHistorySize"), QStringLiteral("77"));
    s.setString(QStringLiteral("useRadio"), QStringLiteral("garbage")); // keeps the current state
    s.setString(QStringLiteral("when"), QStringLiteral("not a date"));
    s.setInt(QStringLiteral("logColor"), 0x008000);
    const QDateTime before = d.dateTime->dateTime();

    setupToControls(s, &d.root, ui);
    EXPECT_TRUE(d.check->isChecked());
    EXPECT_EQ(d.list->currentIndex(), 1);
    EXPECT_EQ(d.edit->text(), QStringLiteral("me@host"));
    EXPECT_EQ(d.hotKey->keySequence(), QKeySequence(QStringLiteral("Ctrl+Shift+N")));
    EXPECT_EQ(d.spin->value(), 77);
    EXPECT_FALSE(d.radio->isChecked());
    EXPECT_EQ(d.dateTime->dateTime(), before);
    EXPECT_EQ(d.colour->selectedColor(), QColor(0, 0x80, 0));
    // The labelled edit writes its text back whether or not its key existed.
    EXPECT_TRUE(s.exists(QStringLiteral("labeled")));

    // Copying out afterwards stores the designed state of the untouched check box.
    controlsToSetup(s, &d.root, ui);
    EXPECT_EQ(s.getRaw(QStringLiteral("confirmdragdrop")), QStringLiteral("true"));
}

TEST(SetupControls, DateAndTimeRoundTripThroughTheStore)
{
    Dialog d;
    RecordingUserInterface ui;
    const QDateTime when(QDate(2026, 12, 10), QTime(13, 45, 30));
    d.dateTime->setDateTime(when);
    tSetupClass s;
    controlsToSetup(s, &d.root, ui);
    d.dateTime->setDateTime(QDateTime(QDate(2000, 1, 1), QTime(0, 0)));
    setupToControls(s, &d.root, ui);
    EXPECT_EQ(d.dateTime->dateTime().time(), when.time());
    EXPECT_EQ(d.dateTime->dateTime().date().month(), 12);
}

TEST(SetupControls, UnknownBoundControlTypeIsReportedAndTheWalkGoesOn)
{
    Dialog d;
    RecordingUserInterface ui;
    named<QPlainTextEdit>(&d.root, "s_notes");
    d.edit->setText(QStringLiteral("after"));
    tSetupClass s;
    controlsToSetup(s, &d.root, ui);
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_TRUE(
        ui.messages[0].startsWith(QStringLiteral("Unknown control type: \"s_notes\" - Please report to author at ")));
    EXPECT_EQ(s.getRaw(QStringLiteral("anonpass")), QStringLiteral("after"));
}

TEST(SetupControls, HotKeyTextsParseInAnyCase)
{
    const struct {
        const char *text;
        const char *portable;
    } rows[] = {{"CTRL+ALT+C", "Ctrl+Alt+C"}, {"ctrl+n", "Ctrl+N"}, {"Shift+F5", "Shift+F5"}, {"", ""}};
    for (const auto &r : rows) {
        const QKeySequence seq = hotKeyFromText(QString::fromLatin1(r.text));
        EXPECT_EQ(seq.toString(QKeySequence::PortableText), QString::fromLatin1(r.portable)) << r.text;
        EXPECT_EQ(hotKeyText(seq), QString::fromLatin1(r.portable).toUpper());
    }
}

} // namespace
