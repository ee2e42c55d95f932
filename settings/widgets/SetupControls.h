#pragma once

#include <QColor>
#include <QComboBox>
#include <QKeySequenceEdit>
#include <QWidget>

class QLabel;
class QLineEdit;
class UserInterface;
class tSetupClass;

// An edit box with its own caption label; bound like an edit box, and written back to the
// store after every load so the store always holds what the box shows.
class LabeledEdit : public QWidget {
    Q_OBJECT
public:
    explicit LabeledEdit(QWidget *parent = nullptr) : LabeledEdit(QString(), parent) {}
    LabeledEdit(const QString &caption, QWidget *parent);
    QString text() const;
    void setText(const QString &text);
    QLineEdit *edit() const { return m_edit; }

private:
    QLabel *m_label;
    QLineEdit *m_edit;
};

// A drop-down of colours. Its value is the colour as 0xRRGGBB.
class ColorBox : public QComboBox {
    Q_OBJECT
public:
    explicit ColorBox(QColor defaultColor = Qt::black, QWidget *parent = nullptr);
    QColor selectedColor() const;
    void setSelectedColor(const QColor &color);
    QColor defaultColor() const { return m_default; }

private:
    QColor m_default;
};

// A hot-key box: one key combination, taken as soon as its key is pressed. A key that types
// text (a letter, digit, space or sign) is refused unless Ctrl, Alt or Meta is held, so a
// shortcut never eats what the user types; function and navigation keys are taken alone.
// Backspace or Delete alone clears the box (no shortcut).
class HotKeyEdit : public QKeySequenceEdit {
    Q_OBJECT
public:
    explicit HotKeyEdit(QWidget *parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
};

// Binds the controls of a dialog to the settings store by name: a control named "s_" (in
// either case) followed by a key is bound to that key in small letters. The walk visits
// the container's children in order and descends into every child.
void controlsToSetup(tSetupClass &setup, QWidget *container, UserInterface &ui);
void setupToControls(tSetupClass &setup, QWidget *container, UserInterface &ui);

// Shortcut texts: parsed without regard to case, written in the upper-case form "CTRL+ALT+C".
// An empty text and "None" are no shortcut.
QString hotKeyText(const QKeySequence &sequence);
QKeySequence hotKeyFromText(const QString &text);
