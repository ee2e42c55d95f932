#include "browser/widgets/TFormChMod.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TFormChMod::TFormChMod(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Change Permissions - Kestrin FTP Pro"));
    auto *layout = new QVBoxLayout(this);
    auto *banner = new QLabel(QStringLiteral(" Change permission on selected files / folders ..."), this);
    banner->setAutoFillBackground(true);
    banner->setBackgroundRole(QPalette::Highlight);
    banner->setForegroundRole(QPalette::HighlightedText);
    banner->setMinimumHeight(28);
    layout->addWidget(banner);

    auto *groups = new QHBoxLayout;
    const QString titles[] = {QStringLiteral(" Owner access to ... "), QStringLiteral(" Group access to ... "),
                              QStringLiteral(" Public access to ... ")};
    const QString names[] = {QStringLiteral("Read"), QStringLiteral("Write"), QStringLiteral("Execute")};
    for (int g = 0; g < 3; ++g) {
        auto *group = new QGroupBox(titles[g], this);
        auto *v = new QVBoxLayout(group);
        for (int b = 0; b < 3; ++b) {
            auto *box = new QCheckBox(names[b], group);
            m_boxes[static_cast<size_t>(g * 3 + b)] = box;
            v->addWidget(box);
            connect(box, &QCheckBox::clicked, this, &TFormChMod::boxClicked);
        }
        groups->addWidget(group);
    }
    layout->addLayout(groups);

    auto *codeGroup = new QGroupBox(QStringLiteral(" Permission code  "), this);
    auto *codeLayout = new QHBoxLayout(codeGroup);
    m_code = new QLineEdit(codeGroup);
    m_code->setMaxLength(9);
    codeLayout->addWidget(m_code);
    layout->addWidget(codeGroup);
    connect(m_code, &QLineEdit::textChanged, this, &TFormChMod::codeEdited);

    auto *buttons = new QDialogButtonBox(this);
    m_ok = buttons->addButton(QStringLiteral("&OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("&Cancel"), QDialogButtonBox::RejectRole);
    m_ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    setFixedSize(sizeHint());
    codeEdited();
}

void TFormChMod::setCode(const QString &code)
{
    m_code->setText(code);
    codeEdited(); // also when the text did not change
}

QString TFormChMod::code() const
{
    return m_code->text();
}

void TFormChMod::boxClicked()
{
    if (m_settingBoxes)
        return;
    PermissionBoxes boxes{};
    for (size_t i = 0; i < boxes.size(); ++i)
        boxes[i] = m_boxes[i]->isChecked();
    const QSignalBlocker quiet(m_code); // the code is written without setting the boxes again
    m_code->setText(permissionCodeText(boxes));
    m_ok->setEnabled(true);
}

void TFormChMod::codeEdited()
{
    const DecodedPermissionCode decoded = decodePermissionCode(m_code->text());
    m_settingBoxes = true;
    for (size_t i = 0; i < m_boxes.size(); ++i)
        m_boxes[i]->setChecked(decoded.boxes[i]);
    m_settingBoxes = false;
    m_ok->setEnabled(decoded.valid);
}
