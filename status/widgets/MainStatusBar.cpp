#include "status/widgets/MainStatusBar.h"

#include <QLabel>

MainStatusBar::MainStatusBar(QWidget *parent) : QStatusBar(parent)
{
    setObjectName(QStringLiteral("stat"));
    setFixedHeight(19);
    setSizeGripEnabled(true);
    m_first = new QLabel(this);
    m_first->setObjectName(QStringLiteral("statPanel0"));
    m_first->setFixedWidth(25);
    m_hint = new QLabel(this);
    m_hint->setObjectName(QStringLiteral("statPanel1"));
    addWidget(m_first);
    addWidget(m_hint, 1);
}
