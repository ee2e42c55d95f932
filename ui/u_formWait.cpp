#include "ui/u_formWait.h"

#include <QApplication>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

TFormWait::TFormWait(QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), m_message(new QLabel(this))
{
    setObjectName(QStringLiteral("formWait"));
    setFixedSize(300, 90);
    setAutoFillBackground(true);

    auto *header = new QLabel(QStringLiteral(" Please wait ..."), this);
    QFont headerFont = header->font();
    headerFont.setBold(true);
    header->setFont(headerFont);
    auto *sub = new QLabel(QStringLiteral("kestrin ftp pro"), this);
    QFont subFont = sub->font();
    subFont.setPointSizeF(subFont.pointSizeF() * 0.8);
    sub->setFont(subFont);

    QFont messageFont = m_message->font();
    messageFont.setPointSize(10);
    messageFont.setBold(true);
    messageFont.setItalic(true);
    m_message->setFont(messageFont);
    m_message->setAlignment(Qt::AlignCenter);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(header);
    layout->addWidget(sub);
    layout->addWidget(m_message, 1);

    m_closeTimer.setSingleShot(true);
    m_closeTimer.setInterval(250);
    connect(&m_closeTimer, &QTimer::timeout, this, &QWidget::close);
}

void TFormWait::text(const QString &message)
{
    if (m_disabled)
        return;
    m_closeTimer.stop();
    m_message->setText(message);
    if (QGuiApplication::applicationState() != Qt::ApplicationActive)
        return;
    if (QWidget *owner = parentWidget(); owner && owner->isVisible())
        move(owner->geometry().center() - rect().center());
    show();
    raise();
}

QString TFormWait::message() const
{
    return m_message->text();
}
