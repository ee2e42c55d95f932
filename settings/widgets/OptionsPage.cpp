#include "settings/widgets/OptionsPage.h"

#include "settings/widgets/SetupControls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

OptionsPage::OptionsPage(const QString &caption, const QString &component, QWidget *parent)
    : QWidget(parent), m_caption(caption), m_component(component), m_layout(new QVBoxLayout(this))
{
    setObjectName(component);
    m_layout->setContentsMargins(8, 8, 8, 8);
}

QFormLayout *OptionsPage::form()
{
    if (!m_form) {
        m_form = new QFormLayout;
        m_layout->addLayout(m_form);
    }
    return m_form;
}

QGroupBox *OptionsPage::group(const QString &title)
{
    auto *box = new QGroupBox(title, this);
    m_form = new QFormLayout(box);
    m_layout->addWidget(box);
    return box;
}

void OptionsPage::endGroup()
{
    m_form = nullptr;
}

template <typename W> W *OptionsPage::bound(W *widget, const char *key)
{
    widget->setObjectName(QStringLiteral("s_") + QString::fromLatin1(key));
    return widget;
}

QCheckBox *OptionsPage::check(const BoolKey &key, const QString &caption)
{
    auto *box = bound(new QCheckBox(caption, this), key.name);
    box->setChecked(key.def);
    connect(box, &QCheckBox::toggled, this, &OptionsPage::edited);
    form()->addRow(box);
    return box;
}

QComboBox *OptionsPage::choice(const IntKey &key, const QString &label, const QStringList &items)
{
    auto *box = bound(new QComboBox(this), key.name);
    box->addItems(items);
    box->setCurrentIndex(static_cast<int>(key.def));
    connect(box, &QComboBox::currentIndexChanged, this, &OptionsPage::edited);
    form()->addRow(label, box);
    return box;
}

void OptionsPage::place(const QString &label, QWidget *control, std::function<void()> reset)
{
    if (!reset) {
        addRow(label, control);
        return;
    }
    auto *button = new QPushButton(QStringLiteral("Reset"), this);
    connect(button, &QPushButton::clicked, control, std::move(reset));
    auto *row = new QHBoxLayout;
    row->addWidget(control, 1);
    row->addWidget(button);
    addRow(label, row);
}

QComboBox *OptionsPage::editableChoice(const TextKey &key, const QString &label, bool withReset)
{
    auto *box = bound(new QComboBox(this), key.name);
    box->setEditable(true);
    box->setEditText(key.defText());
    connect(box, &QComboBox::editTextChanged, this, &OptionsPage::edited);
    place(label, box, withReset ? std::function<void()>([box, key] { box->setEditText(key.defText()); }) : nullptr);
    return box;
}

QLineEdit *OptionsPage::text(const TextKey &key, const QString &label)
{
    auto *edit = bound(new QLineEdit(key.defText(), this), key.name);
    connect(edit, &QLineEdit::textChanged, this, &OptionsPage::edited);
    if (label.isEmpty())
        form()->addRow(edit);
    else
        form()->addRow(label, edit);
    return edit;
}

QLineEdit *OptionsPage::fileText(const TextKey &key, const QString &label, std::function<QString()> choose,
                                 QWidget *extra)
{
    auto *edit = bound(new QLineEdit(key.defText(), this), key.name);
    connect(edit, &QLineEdit::textChanged, this, &OptionsPage::edited);
    auto *browse = new QPushButton(QStringLiteral("Browse"), this);
    connect(browse, &QPushButton::clicked, edit, [edit, choose = std::move(choose)] {
        const QString file = choose();
        if (!file.isEmpty())
            edit->setText(file);
    });
    auto *row = new QHBoxLayout;
    row->addWidget(edit, 1);
    if (extra)
        row->addWidget(extra);
    row->addWidget(browse);
    addRow(label, row);
    return edit;
}

QSpinBox *OptionsPage::number(const IntKey &key, const QString &label, int min, int max, const QString &suffix)
{
    auto *spin = bound(new QSpinBox(this), key.name);
    spin->setRange(min, max);
    spin->setValue(static_cast<int>(key.def));
    spin->setSuffix(suffix);
    connect(spin, &QSpinBox::valueChanged, this, &OptionsPage::edited);
    form()->addRow(label, spin);
    return spin;
}

QSlider *OptionsPage::slider(const IntKey &key, const QString &label, int min, int max, bool withReset)
{
    auto *bar = bound(new QSlider(Qt::Horizontal, this), key.name);
    bar->setRange(min, max);
    bar->setValue(static_cast<int>(key.def));
    bar->setTickPosition(QSlider::TicksBelow);
    connect(bar, &QSlider::valueChanged, this, &OptionsPage::edited);
    place(label, bar,
          withReset ? std::function<void()>([bar, key] { bar->setValue(static_cast<int>(key.def)); }) : nullptr);
    return bar;
}

HotKeyEdit *OptionsPage::hotKey(const TextKey &key, const QString &label)
{
    auto *edit = bound(new HotKeyEdit(this), key.name);
    edit->setKeySequence(hotKeyFromText(key.defText()));
    connect(edit, &QKeySequenceEdit::keySequenceChanged, this, &OptionsPage::edited);
    form()->addRow(label, edit);
    return edit;
}

QLabel *OptionsPage::note(const QString &text)
{
    auto *label = new QLabel(text, this);
    label->setWordWrap(true);
    form()->addRow(label);
    return label;
}

void OptionsPage::addRow(const QString &label, QWidget *widget)
{
    if (label.isEmpty())
        form()->addRow(widget);
    else
        form()->addRow(label, widget);
}

void OptionsPage::addRow(const QString &label, QLayout *layout)
{
    if (label.isEmpty())
        form()->addRow(layout);
    else
        form()->addRow(label, layout);
}

void OptionsPage::finish()
{
    m_layout->addStretch(1);
}
