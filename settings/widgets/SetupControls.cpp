#include "settings/widgets/SetupControls.h"

#include "app/UserInterface.h"
#include "settings/u_tmbSetup.h"

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>

LabeledEdit::LabeledEdit(const QString &caption, QWidget *parent)
    : QWidget(parent), m_label(new QLabel(caption, this)), m_edit(new QLineEdit(this))
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_label);
    layout->addWidget(m_edit, 1);
    m_label->setBuddy(m_edit);
    setFocusProxy(m_edit);
}

QString LabeledEdit::text() const
{
    return m_edit->text();
}

void LabeledEdit::setText(const QString &text)
{
    m_edit->setText(text);
}

ColorBox::ColorBox(QColor defaultColor, QWidget *parent) : QComboBox(parent), m_default(defaultColor)
{
    const std::pair<const char *, QColor> colours[] = {{"Black", Qt::black},
                                                       {"Maroon", QColor(0x80, 0, 0)},
                                                       {"Green", QColor(0, 0x80, 0)},
                                                       {"Olive", QColor(0x80, 0x80, 0)},
                                                       {"Navy", QColor(0, 0, 0x80)},
                                                       {"Purple", QColor(0x80, 0, 0x80)},
                                                       {"Teal", QColor(0, 0x80, 0x80)},
                                                       {"Gray", Qt::gray},
                                                       {"Silver", QColor(0xC0, 0xC0, 0xC0)},
                                                       {"Red", Qt::red},
                                                       {"Lime", Qt::green},
                                                       {"Yellow", Qt::yellow},
                                                       {"Blue", Qt::blue},
                                                       {"Fuchsia", Qt::magenta},
                                                       {"Aqua", Qt::cyan},
                                                       {"White", Qt::white}};
    for (const auto &[name, colour] : colours) {
        QPixmap swatch(12, 12);
        swatch.fill(colour);
        addItem(QIcon(swatch), QString::fromLatin1(name), colour);
    }
    setSelectedColor(defaultColor);
}

QColor ColorBox::selectedColor() const
{
    return currentData().value<QColor>();
}

void ColorBox::setSelectedColor(const QColor &color)
{
    int index = findData(color);
    if (index < 0) {
        // A colour that is not one of the named ones gets its own entry.
        QPixmap swatch(12, 12);
        swatch.fill(color);
        addItem(QIcon(swatch), color.name(), color);
        index = count() - 1;
    }
    setCurrentIndex(index);
}

HotKeyEdit::HotKeyEdit(QWidget *parent) : QKeySequenceEdit(parent)
{
    setClearButtonEnabled(true);
}

void HotKeyEdit::keyPressEvent(QKeyEvent *event)
{
    event->accept();
    const int key = event->key();
    const Qt::KeyboardModifiers mods =
        event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier | Qt::MetaModifier);
    switch (key) {
    case Qt::Key_Control:
    case Qt::Key_Shift:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Meta:
    case Qt::Key_unknown:
        return; // wait for the key that goes with the modifiers
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        if ((mods & ~Qt::ShiftModifier) == 0) {
            focusNextPrevChild(key == Qt::Key_Tab && mods == 0);
            return;
        }
        break;
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
        if (mods == 0) {
            clear();
            emit editingFinished();
            return;
        }
        break;
    default:
        break;
    }
    const bool typesText = key < Qt::Key_Escape;
    if (typesText && (mods & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) == 0)
        return;
    setKeySequence(QKeySequence(QKeyCombination(mods, static_cast<Qt::Key>(key))));
    emit editingFinished();
}

void HotKeyEdit::keyReleaseEvent(QKeyEvent *event)
{
    // The combination is complete on the press; the base class would wait for more keys.
    event->accept();
}

QString hotKeyText(const QKeySequence &sequence)
{
    return sequence.toString(QKeySequence::PortableText).toUpper();
}

QKeySequence hotKeyFromText(const QString &text)
{
    // Qt reads modifier names only in their own spelling ("Ctrl+Alt+C"); bring each part
    // into that form first.
    if (text.trimmed().compare(QLatin1String("None"), Qt::CaseInsensitive) == 0)
        return {};
    QStringList parts = text.trimmed().split(QLatin1Char('+'));
    for (QString &part : parts) {
        part = part.trimmed();
        if (part.size() > 1)
            part = part.left(1).toUpper() + part.mid(1).toLower();
        else
            part = part.toUpper();
    }
    return QKeySequence::fromString(parts.join(QLatin1Char('+')), QKeySequence::PortableText);
}

namespace {

enum class Direction { IntoStore, IntoControls };

QString dateTimeFormat()
{
    const QLocale locale;
    return locale.dateFormat(QLocale::ShortFormat) + QLatin1Char(' ') + locale.timeFormat(QLocale::LongFormat);
}

// Returns false for a control type the binding does not know.
bool bindControl(tSetupClass &s, QWidget *w, const QString &key, Direction dir)
{
    const bool in = dir == Direction::IntoControls;
    const bool exists = s.exists(key);
    if (auto *c = qobject_cast<QCheckBox *>(w)) {
        if (!in)
            s.setBool(key, c->isChecked());
        else if (exists)
            c->setChecked(s.getBool(key, false));
    } else if (auto *r = qobject_cast<QRadioButton *>(w)) {
        if (!in)
            s.setBool(key, r->isChecked());
        else if (exists)
            r->setChecked(s.getBool(key, r->isChecked()));
    } else if (auto *cb = qobject_cast<ColorBox *>(w)) {
        if (!in)
            s.setInt(key, cb->selectedColor().rgb() & 0xFFFFFF);
        else if (exists)
            cb->setSelectedColor(
                QColor::fromRgb(static_cast<QRgb>(s.getInt(key, cb->defaultColor().rgb() & 0xFFFFFF))));
    } else if (auto *combo = qobject_cast<QComboBox *>(w)) {
        if (combo->isEditable()) {
            if (!in)
                s.setString(key, combo->currentText());
            else if (exists)
                combo->setEditText(s.getString(key, QString()));
        } else {
            if (!in)
                s.setInt(key, combo->currentIndex());
            else if (exists)
                combo->setCurrentIndex(static_cast<int>(s.getInt(key, 0)));
        }
    } else if (auto *edit = qobject_cast<QLineEdit *>(w)) {
        if (!in)
            s.setString(key, edit->text());
        else if (exists)
            edit->setText(s.getString(key, QString()));
    } else if (auto *labeled = qobject_cast<LabeledEdit *>(w)) {
        if (in && exists)
            labeled->setText(s.getString(key, QString()));
        s.setString(key, labeled->text());
    } else if (auto *slider = qobject_cast<QSlider *>(w)) {
        if (!in)
            s.setInt(key, slider->value());
        else if (exists)
            slider->setValue(static_cast<int>(s.getInt(key, 0)));
    } else if (auto *spin = qobject_cast<QSpinBox *>(w)) {
        if (!in)
            s.setInt(key, spin->value());
        else if (exists)
            spin->setValue(static_cast<int>(s.getInt(key, 0)));
    } else if (auto *hotKey = qobject_cast<QKeySequenceEdit *>(w)) {
        if (!in)
            s.setString(key, hotKeyText(hotKey->keySequence()));
        else if (exists)
            hotKey->setKeySequence(hotKeyFromText(s.getString(key, QString())));
    } else if (auto *dt = qobject_cast<QDateTimeEdit *>(w)) {
        if (!in) {
            s.setString(key, QLocale().toString(dt->dateTime(), dateTimeFormat()));
        } else if (exists) {
            const QDateTime parsed = QLocale().toDateTime(s.getString(key, QString()), dateTimeFormat());
            if (parsed.isValid())
                dt->setDateTime(parsed);
        }
    } else {
        return false;
    }
    return true;
}

void walk(tSetupClass &s, QWidget *container, UserInterface &ui, Direction dir)
{
    for (QObject *child : container->children()) {
        auto *w = qobject_cast<QWidget *>(child);
        if (!w)
            continue;
        // Labels are not controls: they are never bound.
        const QString name = w->objectName();
        if (!qobject_cast<QLabel *>(w) && name.startsWith(QLatin1String("s_"), Qt::CaseInsensitive)) {
            const QString key = name.mid(2).toLower();
            if (!bindControl(s, w, key, dir))
                ui.showMessage(QStringLiteral("Unknown control type: \"%1\" - Please report to author at "
                                              "support@kestrinftp.example")
                                   .arg(name));
        }
        walk(s, w, ui, dir);
    }
}

} // namespace

void controlsToSetup(tSetupClass &setup, QWidget *container, UserInterface &ui)
{
    walk(setup, container, ui, Direction::IntoStore);
}

void setupToControls(tSetupClass &setup, QWidget *container, UserInterface &ui)
{
    walk(setup, container, ui, Direction::IntoControls);
}
