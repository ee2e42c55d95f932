#pragma once

#include <QList>
#include <QString>

class QFont;
class QToolBar;

// The looks of the toolbars: three themes drawn with style sheets and three font sizes.
// Theme and size numbers are the values of "toolbarTheme" and "toolbarFontSize".
namespace ToolbarLook {

enum class Theme { Standard = 0, Stripes = 1, OfficeXP = 2 };
enum class Size { Small = 0, Normal = 1, Large = 2 };

// Any stored number other than 0 and 1 is the OfficeXP theme.
Theme themeFromSetting(qint64 value);
QString styleSheet(Theme theme);
void applyTheme(const QList<QToolBar *> &bars, Theme theme);

// The font of every item of the bars, from the application font; icons follow the size
// (a little smaller on bars that show no captions).
void applySize(const QList<QToolBar *> &bars, Size size, const QFont &base);

} // namespace ToolbarLook
