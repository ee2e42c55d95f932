#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>

class QHeaderView;

// The four header styles of the lists ("Thick", "Flat ", "Plate", "XP") and the group of
// headers that share one: choosing a style from any list's header menu sets it on the
// local, remote and queue lists together.
class HeaderStyles : public QObject {
    Q_OBJECT
public:
    enum Style { Thick = 0, Flat = 1, Plate = 2, XP = 3 };

    // The menu captions, in style order.
    static QStringList names();
    static void apply(QHeaderView *header, int style);

    explicit HeaderStyles(QObject *parent = nullptr) : QObject(parent) {}

    void addHeader(QHeaderView *header);
    int style() const { return m_style; }
    // Sets the style on every header of the group.
    void setStyle(int style);

signals:
    void styleChanged(int style);

private:
    QList<QPointer<QHeaderView>> m_headers;
    int m_style = XP;
};
