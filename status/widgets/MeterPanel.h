#pragma once

#include <QWidget>

class CaptionBar;

// The bandwidth meter's panel gamepanel at the left of the bottom panel: the caption bar
// icShape over the drawing area img. The area is a dark field until the meter draws in it.
class MeterPanel : public QWidget {
    Q_OBJECT
public:
    explicit MeterPanel(QWidget *parent = nullptr);

    CaptionBar *caption() const { return m_icShape; }
    // The drawing area; its context menu is requested with customContextMenuRequested.
    QWidget *area() const { return m_area; }

private:
    CaptionBar *m_icShape;
    QWidget *m_area;
};
