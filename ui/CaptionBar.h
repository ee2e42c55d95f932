#pragma once

#include <QColor>
#include <QWidget>

class QHBoxLayout;
class QLabel;

// A caption bar over a pane: a horizontal gradient in the caption colours with the
// caption in bold and a sub-caption in small type at the right. Widgets added with
// addLeading() sit before the caption (the queue's buttons).
class CaptionBar : public QWidget {
    Q_OBJECT
public:
    explicit CaptionBar(const QString &caption, const QString &subCaption = QString(), QWidget *parent = nullptr);

    void setCaption(const QString &caption);
    QString caption() const;
    QString subCaption() const;
    void setColors(const QColor &from, const QColor &to);
    void addLeading(QWidget *widget);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QHBoxLayout *m_layout;
    QLabel *m_caption;
    QLabel *m_subCaption;
    QColor m_from, m_to;
};
