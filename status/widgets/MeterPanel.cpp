#include "status/widgets/MeterPanel.h"

#include "app/widgets/CaptionBar.h"

#include <QVBoxLayout>

MeterPanel::MeterPanel(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("gamepanel"));
    setMinimumWidth(50);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_icShape = new CaptionBar(QStringLiteral(" bandwidth meter"), QString(), this);
    m_icShape->setObjectName(QStringLiteral("icShape"));
    layout->addWidget(m_icShape);

    m_area = new QWidget(this);
    m_area->setObjectName(QStringLiteral("img"));
    m_area->setAutoFillBackground(true);
    QPalette p = m_area->palette();
    p.setColor(QPalette::Window, QColor(16, 24, 40));
    m_area->setPalette(p);
    m_area->setContextMenuPolicy(Qt::CustomContextMenu);
    layout->addWidget(m_area, 1);
}
