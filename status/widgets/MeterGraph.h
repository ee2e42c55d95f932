#pragma once

#include "status/MeterModel.h"

#include <QElapsedTimer>
#include <QWidget>

#include <functional>

// The bandwidth meter's graph: one column per second of the model's rings, the received
// and sent areas with their outline, a grid line per minute and 30 rows, and the scale and
// rate texts. Painted straight onto the widget from the model; it repaints when told the
// rings changed, on resizes, and when the pointer enters or leaves (rate lines in mode 0).
class MeterGraph : public QWidget {
    Q_OBJECT
public:
    struct Options {
        bool disabled = false;
        int infoMode = 0; // 0: rate lines under the pointer, 1: always, other: never
    };

    explicit MeterGraph(QWidget *parent = nullptr);

    // The model must outlive the graph; null shows an empty graph.
    void setModel(const MeterModel *model);
    // Read at every paint, so a changed setting shows at the next repaint.
    void setOptions(std::function<Options()> options) { m_options = std::move(options); }
    // The rings changed.
    void samplesChanged() { update(); }

    // The scale text shows the covered time span for this long after a resize.
    static constexpr int kSpanTextMs = 2500;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    const MeterModel *m_model = nullptr;
    std::function<Options()> m_options;
    QElapsedTimer m_sinceResize;
    bool m_pointerInside = false;
};
