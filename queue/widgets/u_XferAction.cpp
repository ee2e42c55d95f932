#include "queue/widgets/u_XferAction.h"

#include "base/Guard.h"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

TFormXFerAction::TFormXFerAction(const OverwriteQuestion &question, QWidget *parent)
    : QDialog(parent), m_question(question), m_countdown(question.countdownStart)
{
    setObjectName(QStringLiteral("TFormXFerAction"));
    setWindowTitle(QStringLiteral("Transfer Action Prompt - Kestrin FTP Pro"));
    setModal(true);

    auto *icon = new QLabel(this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32, 32));
    auto *heading = new QLabel(QStringLiteral("File Already Exists!"), this);
    QFont big = heading->font();
    big.setPointSizeF(big.pointSizeF() * 1.5);
    big.setBold(true);
    big.setUnderline(true);
    heading->setFont(big);
    auto *message = new QLabel(question.message, this);
    message->setObjectName(QStringLiteral("message"));
    message->setWordWrap(true);
    message->setAlignment(Qt::AlignCenter);
    auto *dates = new QLabel(question.dates, this);
    dates->setObjectName(QStringLiteral("dates"));
    dates->setWordWrap(true);
    dates->setAlignment(Qt::AlignCenter);
    dates->setVisible(!question.dates.isEmpty());

    m_resume = new QPushButton(QStringLiteral("Resume"), this);
    m_overwrite = new QPushButton(QStringLiteral("Overwrite"), this);
    m_skip = new QPushButton(QStringLiteral("Skip"), this);
    m_resume->setEnabled(question.resumeEnabled);
    for (QPushButton *b : {m_resume, m_overwrite, m_skip}) {
        b->setAutoDefault(false);
        b->setFocusPolicy(Qt::NoFocus); // no control has the keyboard focus
    }
    defaultButton()->setDefault(true);
    connect(m_resume, &QPushButton::clicked, this, [this] { choose(OverwriteChoice::Resume); });
    connect(m_overwrite, &QPushButton::clicked, this, [this] { choose(OverwriteChoice::Overwrite); });
    connect(m_skip, &QPushButton::clicked, this, [this] { choose(OverwriteChoice::Skip); });

    m_applyToAll = new QCheckBox(QStringLiteral("Apply selected choice to all entries in queue"), this);
    m_autoClose = new QCheckBox(this);
    m_autoClose->setObjectName(QStringLiteral("autoClose"));
    m_autoClose->setChecked(question.autoClose);
    // The timer runs exactly while the box is checked.
    m_timer.setInterval(1000);
    connect(&m_timer, &QTimer::timeout, this, &TFormXFerAction::timerStep);
    connect(m_autoClose, &QCheckBox::toggled, this, [this](bool on) {
        if (on)
            m_timer.start();
        else
            m_timer.stop();
    });
    if (question.autoClose)
        m_timer.start();

    auto *top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    auto *texts = new QVBoxLayout;
    texts->addWidget(heading);
    texts->addWidget(message);
    texts->addWidget(dates);
    top->addLayout(texts, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    for (QPushButton *b : {m_resume, m_overwrite, m_skip})
        buttons->addWidget(b);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
    layout->addWidget(m_applyToAll);
    layout->addWidget(m_autoClose);
    setFocus();
    timerStep();
}

QPushButton *TFormXFerAction::defaultButton() const
{
    switch (m_question.defaultChoice) {
    case OverwriteChoice::Overwrite:
        return m_overwrite;
    case OverwriteChoice::Resume:
        return m_question.resumeEnabled ? m_resume : m_skip;
    case OverwriteChoice::Skip:
        break;
    }
    return m_skip;
}

void TFormXFerAction::timerStep()
{
    --m_countdown;
    m_autoClose->setText(OverwriteQuestion::countdownText(m_countdown));
    if (m_autoClose->isChecked() && m_countdown < 1)
        defaultButton()->click();
}

void TFormXFerAction::choose(OverwriteChoice choice)
{
    guarded("lkajlksaj", [&] {
        m_timer.stop();
        m_answer = {choice, m_applyToAll->isChecked()};
        done(QDialog::Accepted);
    });
}

void TFormXFerAction::reject()
{
    // The close box or Escape: the file is skipped.
    m_timer.stop();
    m_answer = {OverwriteChoice::Skip, m_applyToAll->isChecked()};
    QDialog::reject();
}
