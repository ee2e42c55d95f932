#pragma once

#include <QPixmap>
#include <QWidget>

// The logo picture `image1` that takes the remote list's place while no session is open:
// the emblem and the product name centred below the pane's header band, or a custom
// picture chosen in the settings.
class LogoWidget : public QWidget {
    Q_OBJECT
public:
    explicit LogoWidget(QWidget *parent = nullptr);

    // A null pixmap goes back to the built-in logo.
    void setCustomPicture(const QPixmap &picture);
    bool hasCustomPicture() const { return !m_custom.isNull(); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QPixmap m_custom;
};
