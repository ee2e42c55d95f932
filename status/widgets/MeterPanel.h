#pragma once

#include <QWidget>

class CaptionBar;
class MeterGraph;

// The bandwidth meter's panel gamepanel at the left of the bottom panel: the caption bar
// icShape over the graph img.
class MeterPanel : public QWidget {
    Q_OBJECT
public:
    explicit MeterPanel(QWidget *parent = nullptr);

    CaptionBar *caption() const { return m_icShape; }
    // The drawing area; its context menu is requested with customContextMenuRequested.
    QWidget *area() const;
    MeterGraph *graph() const { return m_area; }

private:
    CaptionBar *m_icShape;
    MeterGraph *m_area;
};
