#include "status/widgets/MeterPanel.h"

#include "status/widgets/MeterGraph.h"
#include "ui/CaptionBar.h"

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

    m_area = new MeterGraph(this);
    m_area->setObjectName(QStringLiteral("img"));
    m_area->setContextMenuPolicy(Qt::CustomContextMenu);
    layout->addWidget(m_area, 1);
}

QWidget *MeterPanel::area() const
{
    return m_area;
}
