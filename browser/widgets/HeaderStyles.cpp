#include "browser/widgets/HeaderStyles.h"

#include <QHeaderView>
#include <QMenu>

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

void HeaderStyles::addHeader(QHeaderView *header, bool withMenu)
{
    m_headers.append(header);
    apply(header, m_style);
    if (withMenu) {
        header->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(header, &QHeaderView::customContextMenuRequested, this,
                [this, header](const QPoint &pos) { showMenu(header, pos); });
    }
}

void HeaderStyles::fillMenu(QMenu *menu, QHeaderView *header)
{
    const QAbstractItemModel *model = header->model();
    for (int visual = 0; visual < header->count(); ++visual) {
        const int column = header->logicalIndex(visual);
        QAction *item = menu->addAction(model ? model->headerData(column, Qt::Horizontal).toString() : QString());
        item->setCheckable(true);
        item->setChecked(!header->isSectionHidden(column));
        QPointer<QHeaderView> target(header);
        connect(item, &QAction::triggered, this, [target, column] {
            if (target)
                target->setSectionHidden(column, !target->isSectionHidden(column));
        });
    }
    QMenu *theme = menu->addMenu(QStringLiteral("Theme"));
    const QStringList captions = names();
    for (int style = 0; style < captions.size(); ++style) {
        QAction *item = theme->addAction(captions[style]);
        item->setCheckable(true);
        item->setChecked(style == m_style);
        connect(item, &QAction::triggered, this, [this, style] { setStyle(style); });
    }
}

void HeaderStyles::showMenu(QHeaderView *header, const QPoint &pos)
{
    QMenu menu(header);
    menu.setObjectName(QStringLiteral("lvHdrPopUp"));
    fillMenu(&menu, header);
    menu.exec(header->mapToGlobal(pos));
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
