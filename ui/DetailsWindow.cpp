#include "ui/DetailsWindow.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

DetailsWindow::DetailsWindow(const QString &title, const QString &text, const QString &details, QWidget *parent)
    : QDialog(parent), m_picture(new QLabel(this)), m_text(new QLabel(text, this)),
      m_detailsButton(new QPushButton(QStringLiteral("Details >>"), this)),
      m_closeButton(new QPushButton(QStringLiteral("Close"), this)), m_details(new QPlainTextEdit(details, this)),
      m_buttons(new QVBoxLayout)
{
    setWindowTitle(title);
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose);
    m_text->setObjectName(QStringLiteral("text"));
    m_text->setWordWrap(true);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_text->setMinimumWidth(320);
    m_detailsButton->setObjectName(QStringLiteral("detailsButton"));
    m_closeButton->setObjectName(QStringLiteral("closeButton"));
    m_details->setObjectName(QStringLiteral("details"));
    m_details->setReadOnly(true);
    m_details->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_details->setMinimumHeight(140);
    m_details->hide();

    auto *top = new QHBoxLayout;
    top->addWidget(m_picture, 0, Qt::AlignTop);
    top->addWidget(m_text, 1);
    m_buttons->addWidget(m_detailsButton);
    m_buttons->addWidget(m_closeButton);
    m_buttons->addStretch(1);
    top->addLayout(m_buttons);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_details, 1);
    layout->setSizeConstraint(QLayout::SetMinAndMaxSize);

    connect(m_detailsButton, &QPushButton::clicked, this, [this] { setDetailsShown(!detailsShown()); });
    connect(m_closeButton, &QPushButton::clicked, this, [this] { closeClicked(); });
    m_closeButton->setDefault(true);
}

bool DetailsWindow::detailsShown() const
{
    return !m_details->isHidden();
}

void DetailsWindow::setDetailsShown(bool shown)
{
    m_details->setVisible(shown);
    m_detailsButton->setText(shown ? QStringLiteral("<< Details") : QStringLiteral("Details >>"));
    if (shown)
        detailsOpened();
}

QPushButton *DetailsWindow::addButton(const QString &caption)
{
    auto *button = new QPushButton(caption, this);
    m_buttons->insertWidget(m_buttons->indexOf(m_closeButton), button);
    return button;
}

void DetailsWindow::setPicture(const QPixmap &picture)
{
    m_picture->setPixmap(picture);
}
