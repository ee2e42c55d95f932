#include "status/widgets/MeterGraph.h"

#include "base/TextUtil.h"

#include <QPainter>
#include <QTimer>

#include <cmath>

namespace {

const QColor kReceivedOnly = QColor::fromRgba(0xFFC1C8D9);
const QColor kSentOnly = QColor::fromRgba(0xFFD0D5E2);
const QColor kBoth = QColor::fromRgba(0xFFBBC2D3);
const QColor kOutline = QColor::fromRgba(0xFF0A246A);
const QColor kGrid = QColor::fromRgba(0x11000000);

// A vertical run from y0 to y1, both rows included.
void run(QPainter &p, int x, int y0, int y1, const QColor &c)
{
    if (y1 < y0)
        std::swap(y0, y1);
    p.fillRect(x, y0, 1, y1 - y0 + 1, c);
}

QString kbPerSecond(std::int64_t bytes)
{
    return QString::number(static_cast<double>(bytes) / 1024.0, 'f', 1);
}

void drawColumns(QPainter &p, const MeterModel::Frame &f)
{
    const int H = f.height;
    for (int x = 0; x < f.width; ++x) {
        const int r = f.rxHeight[static_cast<std::size_t>(x)];
        const int t = f.txHeight[static_cast<std::size_t>(x)];
        if (r <= 0 && t <= 0)
            continue;
        if (r > t) {
            run(p, x, H - r, H - t, kReceivedOnly);
            if (t > 0)
                run(p, x, H - t, H - 1, kBoth);
        } else if (t > r) {
            run(p, x, H - t, H - r, kSentOnly);
            if (r > 0)
                run(p, x, H - r, H - 1, kBoth);
        } else {
            run(p, x, H - r, H - 1, kBoth);
        }
    }
    // The outline over the higher of the two areas, closed where neighbours differ.
    for (int x = 0; x < f.width; ++x) {
        const int m = std::max(f.rxHeight[static_cast<std::size_t>(x)], f.txHeight[static_cast<std::size_t>(x)]);
        p.fillRect(x, H - m - 1, 1, 1, kOutline);
        if (x + 1 >= f.width)
            continue;
        const int n =
            std::max(f.rxHeight[static_cast<std::size_t>(x + 1)], f.txHeight[static_cast<std::size_t>(x + 1)]);
        if (m + 1 < n)
            run(p, x, H - n, H - m - 2, kOutline);
        if (n < m - 1)
            run(p, x + 1, H - m, H - n - 2, kOutline);
    }
}

void drawGrid(QPainter &p, int W, int H)
{
    for (int y = H - 30; y >= 0; y -= 30)
        p.fillRect(0, y, W, 1, kGrid);
    for (int x = W - 60; x >= 0; x -= 60)
        p.fillRect(x, 0, 1, H, kGrid);
}

} // namespace

MeterGraph::MeterGraph(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    m_sinceResize.start();
}

void MeterGraph::setModel(const MeterModel *model)
{
    m_model = model;
    update();
}

void MeterGraph::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_sinceResize.restart();
    // The span text gives way to the scale once its time is up.
    QTimer::singleShot(kSpanTextMs + 50, this, [this] { update(); });
}

void MeterGraph::enterEvent(QEnterEvent *event)
{
    QWidget::enterEvent(event);
    m_pointerInside = true;
    update();
}

void MeterGraph::leaveEvent(QEvent *event)
{
    QWidget::leaveEvent(event);
    m_pointerInside = false;
    update();
}

void MeterGraph::paintEvent(QPaintEvent *)
{
    const int W = width();
    const int H = height();
    // A collapsed splitter leaves no area: nothing to draw.
    if (W < 1 || H < 1)
        return;
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    const MeterModel empty;
    const MeterModel::Frame f = (m_model ? *m_model : empty).frame(W, H);
    if (f.empty())
        return;
    drawColumns(p, f);
    drawGrid(p, W, H);

    const Options o = m_options ? m_options() : Options{};
    QFont font = p.font();
    font.setBold(true);
    // The graph is small: its texts use a small type whatever the window's font.
    font.setPixelSize(10);
    p.setFont(font);
    p.setPen(Qt::black);
    p.setRenderHint(QPainter::TextAntialiasing);
    const QFontMetrics fm(font);
    // The line height of the graph's type, as a text height of "O" measures it.
    const int h = fm.height();
    auto text = [&](int y, const QString &s) { p.drawText(4, y + fm.ascent(), s); };
    if (m_sinceResize.elapsed() >= kSpanTextMs)
        text(1, kbPerSecond(f.peak) + QStringLiteral(" KB/s"));
    else
        text(1, QStringLiteral("%1:%2 minutes").arg(W / 60).arg(padLeft(QString::number(W % 60), 2, QLatin1Char('0'))));
    if (o.disabled) {
        text(static_cast<int>(std::lround(1.2 * h)) + 1, QStringLiteral("meter disabled"));
        return;
    }
    if (o.infoMode == 1 || (o.infoMode == 0 && m_pointerInside)) {
        text(static_cast<int>(std::lround(1.2 * h)) + 1,
             QStringLiteral(" receiving with %1 KB/s").arg(kbPerSecond(f.rxNow)));
        text(static_cast<int>(std::lround(2.4 * h)) - 2,
             QStringLiteral("   avg. receive speed is %1 KB/s").arg(kbPerSecond(f.rxAverage)));
        text(static_cast<int>(std::lround(3.6 * h)) + 1,
             QStringLiteral(" sending with %1 KB/s").arg(kbPerSecond(f.txNow)));
        text(static_cast<int>(std::lround(4.8 * h)) - 2,
             QStringLiteral("   avg. send speed is %1 KB/s").arg(kbPerSecond(f.txAverage)));
    }
}
