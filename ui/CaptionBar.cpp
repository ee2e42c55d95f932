#include "ui/CaptionBar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>

namespace {
QLabel *whiteLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, Qt::white);
    label->setPalette(p);
    return label;
}
} // namespace

CaptionBar::CaptionBar(const QString &caption, const QString &subCaption, QWidget *parent)
    : QWidget(parent), m_layout(new QHBoxLayout(this)), m_caption(whiteLabel(caption, this)),
      m_subCaption(whiteLabel(subCaption, this))
{
    setFixedHeight(18);
    m_layout->setContentsMargins(4, 0, 4, 0);
    m_layout->setSpacing(4);
    QFont bold = m_caption->font();
    bold.setBold(true);
    m_caption->setFont(bold);
    m_caption->setObjectName(QStringLiteral("caption"));
    // A long caption is cut at the bar's end instead of widening the pane.
    m_caption->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    QFont small = m_subCaption->font();
    small.setPointSizeF(std::max(6.0, small.pointSizeF() * 0.8));
    m_subCaption->setFont(small);
    m_subCaption->setObjectName(QStringLiteral("subCaption"));
    m_layout->addWidget(m_caption, 1);
    m_layout->addWidget(m_subCaption);
    const QColor highlight = palette().color(QPalette::Highlight);
    setColors(highlight.darker(130), highlight.lighter(150));
}

void CaptionBar::setCaption(const QString &caption)
{
    // Captions are written only when they change, so periodic refreshes cost nothing.
    if (m_caption->text() != caption)
        m_caption->setText(caption);
}

QString CaptionBar::caption() const
{
    return m_caption->text();
}

QString CaptionBar::subCaption() const
{
    return m_subCaption->text();
}

void CaptionBar::setColors(const QColor &from, const QColor &to)
{
    m_from = from;
    m_to = to;
    update();
}

void CaptionBar::addLeading(QWidget *widget)
{
    m_layout->insertWidget(m_layout->indexOf(m_caption), widget);
}

void CaptionBar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    QLinearGradient gradient(rect().topLeft(), rect().topRight());
    gradient.setColorAt(0, m_from);
    gradient.setColorAt(1, m_to);
    painter.fillRect(rect(), gradient);
}
