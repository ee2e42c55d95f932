#pragma once

#include <QColor>
#include <QComboBox>
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

// Binds the controls of a dialog to the settings store by name: a control named "s_" (in
// either case) followed by a key is bound to that key in small letters. The walk visits
// the container's children in order and descends into every child.
void controlsToSetup(tSetupClass &setup, QWidget *container, UserInterface &ui);
void setupToControls(tSetupClass &setup, QWidget *container, UserInterface &ui);

// Shortcut texts: parsed without regard to case, written in the upper-case form "CTRL+ALT+C".
QString hotKeyText(const QKeySequence &sequence);
QKeySequence hotKeyFromText(const QString &text);
