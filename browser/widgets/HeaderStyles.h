#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>

class QHeaderView;
class QMenu;
class QPoint;

// The four header styles of the lists ("Thick", "Flat ", "Plate", "XP") and the group of
// headers that share one: choosing a style from any list's header menu sets it on the
// local, remote and queue lists together. The group also builds that header menu.
class HeaderStyles : public QObject {
    Q_OBJECT
public:
    enum Style { Thick = 0, Flat = 1, Plate = 2, XP = 3 };

    // The menu captions, in style order.
    static QStringList names();
    static void apply(QHeaderView *header, int style);

    explicit HeaderStyles(QObject *parent = nullptr) : QObject(parent) {}

    // The header takes the group's style; with `withMenu` a right click on it opens the
    // header menu.
    void addHeader(QHeaderView *header, bool withMenu = false);
    int style() const { return m_style; }
    // The header menu of one header: an item per column, in the order shown, captioned with
    // the column's header text and checked while the column is visible (choosing it hides or
    // shows the column); then "Theme" with the four styles, the current one checked.
    void fillMenu(QMenu *menu, QHeaderView *header);
    // Opens the header menu of the header that was clicked, whichever list has the focus.
    void showMenu(QHeaderView *header, const QPoint &pos);
    // Sets the style on every header of the group.
    void setStyle(int style);

signals:
    void styleChanged(int style);

private:
    QList<QPointer<QHeaderView>> m_headers;
    int m_style = XP;
};
