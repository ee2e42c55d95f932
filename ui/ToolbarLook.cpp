#include "ui/ToolbarLook.h"

#include <QFont>
#include <QToolBar>

namespace ToolbarLook {

Theme themeFromSetting(qint64 value)
{
    if (value == 0)
        return Theme::Standard;
    if (value == 1)
        return Theme::Stripes;
    return Theme::OfficeXP;
}

namespace {
// The themes below paint light backgrounds of their own: their text is dark whatever the
// desktop's palette says, or a dark palette's light text would vanish on them.
const QString kDarkText = QStringLiteral("QToolBar QToolButton, QToolBar QLabel { color: #000000; }"
                                         "QToolBar QToolButton:disabled { color: #808080; }");
} // namespace

QString styleSheet(Theme theme)
{
    switch (theme) {
    case Theme::Standard:
        // The desktop's own toolbar look.
        return QString();
    case Theme::Stripes:
        return QStringLiteral(
                   "QToolBar { border: none; border-bottom: 1px solid #a0a0a0; padding: 1px;"
                   "  background: qlineargradient(spread:repeat, x1:0, y1:0, x2:0, y2:0.1,"
                   "    stop:0 #f2f2f2, stop:0.5 #f2f2f2, stop:0.51 #dcdcdc, stop:1 #dcdcdc); }"
                   "QToolBar QToolButton { border: 1px solid transparent; border-radius: 2px; padding: 2px; }"
                   "QToolBar QToolButton:hover { border-color: #808080; background: #ffffff; }"
                   "QToolBar QToolButton:pressed, QToolBar QToolButton:checked { background: #c8c8c8; }"
                   "QToolBar QToolButton[popupMode=\"1\"] { padding-right: 14px; }"
                   "QToolBar QLabel { background: transparent; }") +
               kDarkText;
    case Theme::OfficeXP:
        return QStringLiteral("QToolBar { border: none; border-bottom: 1px solid #7b9ebd; padding: 1px;"
                              "  background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #f9fbff, stop:0.5 #dfe9f7,"
                              "    stop:1 #c3d6ee); }"
                              "QToolBar QToolButton { border: 1px solid transparent; padding: 2px; }"
                              "QToolBar QToolButton:hover { border-color: #316ac5; background: #c1d2ee; }"
                              "QToolBar QToolButton:pressed, QToolBar QToolButton:checked { border-color: #316ac5;"
                              "  background: #98b5e2; }"
                              "QToolBar QToolButton[popupMode=\"1\"] { padding-right: 14px; }"
                              "QToolBar QLabel { background: transparent; }") +
               kDarkText;
    }
    return QString();
}

void applyTheme(const QList<QToolBar *> &bars, Theme theme)
{
    const QString sheet = styleSheet(theme);
    for (QToolBar *bar : bars)
        bar->setStyleSheet(sheet);
}

void applySize(const QList<QToolBar *> &bars, Size size, const QFont &base)
{
    QFont font = base;
    const qreal points = base.pointSizeF() > 0 ? base.pointSizeF() : 9.0;
    int icon = 24;
    if (size == Size::Small) {
        font.setPointSizeF(std::max(6.0, points - 1.5));
        icon = 16;
    } else if (size == Size::Large) {
        font.setPointSizeF(points + 2.5);
        icon = 32;
    } else {
        font.setPointSizeF(points);
    }
    for (QToolBar *bar : bars) {
        bar->setFont(font);
        // Items of a bar with a style sheet do not follow the bar's font: set each one.
        for (QWidget *item : bar->findChildren<QWidget *>())
            item->setFont(font);
        // Bars without captions sit beside the quick-connect boxes and keep their height.
        const int side = bar->toolButtonStyle() == Qt::ToolButtonIconOnly ? std::max(16, icon - 8) : icon;
        bar->setIconSize(QSize(side, side));
    }
}

} // namespace ToolbarLook
