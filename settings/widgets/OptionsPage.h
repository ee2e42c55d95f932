#pragma once

#include "settings/SettingsCatalogue.h"

#include <QWidget>

#include <functional>

class HotKeyEdit;
class QCheckBox;
class QComboBox;
class QFormLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QSlider;
class QSpinBox;
class QVBoxLayout;

// One page of the options dialog and the builder of its controls. Every bound control is
// named "s_" plus its key and starts at the key's default, so a page shows what the program
// uses until the store says otherwise. Controls go into the group opened last (or straight
// onto the page); any change of a bound control emits edited().
class OptionsPage : public QWidget {
    Q_OBJECT
public:
    // caption: the page's name in small letters; component: its help topic's stem.
    OptionsPage(const QString &caption, const QString &component, QWidget *parent = nullptr);

    QString caption() const { return m_caption; }
    QString component() const { return m_component; }

    bool loaded = false;
    // Run after the page's controls were filled from the store, and after they were copied
    // back into it.
    std::function<void()> onLoad;
    std::function<void()> onApply;

    QGroupBox *group(const QString &title);
    void endGroup();

    QCheckBox *check(const BoolKey &key, const QString &caption);
    // A drop-down list storing the chosen index.
    QComboBox *choice(const IntKey &key, const QString &label, const QStringList &items);
    // A drop-down with an edit field storing its text.
    // withReset adds a "Reset" button that puts the control back to the key's default.
    QComboBox *editableChoice(const TextKey &key, const QString &label, bool withReset = false);
    QLineEdit *text(const TextKey &key, const QString &label);
    // An edit box for a file path with a "Browse" button that puts choose()'s file into it
    // (nothing when it returns an empty text); extra goes between the box and the button.
    QLineEdit *fileText(const TextKey &key, const QString &label, std::function<QString()> choose,
                        QWidget *extra = nullptr);
    QSpinBox *number(const IntKey &key, const QString &label, int min, int max, const QString &suffix = {});
    QSlider *slider(const IntKey &key, const QString &label, int min, int max, bool withReset = false);
    HotKeyEdit *hotKey(const TextKey &key, const QString &label);
    QLabel *note(const QString &text);
    // A row of the current group holding any widget (a line of buttons, a preview).
    void addRow(const QString &label, QWidget *widget);
    void addRow(const QString &label, QLayout *layout);
    // Ends the page: what is left of its height stays empty below the controls.
    void finish();

signals:
    void edited();

private:
    QFormLayout *form();
    void place(const QString &label, QWidget *control, std::function<void()> reset);
    template <typename W> W *bound(W *widget, const char *key);

    QString m_caption;
    QString m_component;
    QVBoxLayout *m_layout;
    QFormLayout *m_form = nullptr;
};
