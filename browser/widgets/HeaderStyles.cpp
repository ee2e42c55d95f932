#include "browser/widgets/HeaderStyles.h"

#include <QHeaderView>

QStringList HeaderStyles::names()
{
    return {QStringLiteral("Thick"), QStringLiteral("Flat "), QStringLiteral("Plate"), QStringLiteral("XP")};
}

void HeaderStyles::apply(QHeaderView *header, int style)
{
    QString sheet;
    switch (style) {
    case Thick:
        // Raised three-dimensional buttons with a heavy bevel.
        sheet = QStringLiteral("QHeaderView::section { background: palette(button); padding: 0 4px;"
                               " border: 2px outset palette(mid); }");
        break;
    case Flat:
        // No bevel at all: captions on the window colour, a thin rule between columns.
        sheet = QStringLiteral("QHeaderView::section { background: palette(base); padding: 0 5px; border: none;"
                               " border-right: 1px solid palette(midlight); border-bottom: 1px solid"
                               " palette(midlight); }");
        break;
    case Plate:
        // Flat plates with a hard frame and a slight shine.
        sheet = QStringLiteral("QHeaderView::section { padding: 0 4px; border: 1px solid palette(dark);"
                               " border-left: none; background: qlineargradient(x1:0, y1:0, x2:0, y2:1,"
                               " stop:0 palette(light), stop:1 palette(button)); }");
        break;
    default:
        // The desktop's own header look.
        break;
    }
    header->setStyleSheet(sheet);
}

void HeaderStyles::addHeader(QHeaderView *header)
{
    m_headers.append(header);
    apply(header, m_style);
}

void HeaderStyles::setStyle(int style)
{
    if (style < Thick || style > XP)
        style = XP;
    m_style = style;
    for (const QPointer<QHeaderView> &header : std::as_const(m_headers)) {
        if (header)
            apply(header, style);
    }
    emit styleChanged(style);
}
