// The main window under a dark palette: the log's coloured lines must stay readable. Set
// KESTRIN_DARK_SCREENSHOT to a file name to save a picture of the window.
#include "app/widgets/MainWindow.h"
#include "app/widgets/ProgramWindow.h"
#include "status/ReadableColor.h"
#include "status/widgets/LogView.h"
#include "support/TempHome.h"
#include "support/WaitFor.h"

#include <QApplication>
#include <QImage>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

QPalette darkPalette()
{
    QPalette p;
    p.setColor(QPalette::Window, QColor(45, 45, 48));
    p.setColor(QPalette::WindowText, QColor(230, 230, 230));
    p.setColor(QPalette::Base, QColor(30, 30, 32));
    p.setColor(QPalette::AlternateBase, QColor(45, 45, 48));
    p.setColor(QPalette::Text, QColor(230, 230, 230));
    p.setColor(QPalette::Button, QColor(55, 55, 58));
    p.setColor(QPalette::ButtonText, QColor(230, 230, 230));
    p.setColor(QPalette::Highlight, QColor(42, 110, 190));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::ToolTipBase, QColor(55, 55, 58));
    p.setColor(QPalette::ToolTipText, QColor(230, 230, 230));
    p.setColor(QPalette::PlaceholderText, QColor(150, 150, 150));
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, QColor(130, 130, 130));
    return p;
}

// The application's look, put back when the test ends.
struct DarkLook {
    QPalette oldPalette = QApplication::palette();
    QString oldStyle = QApplication::style()->name();
    DarkLook()
    {
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        QApplication::setPalette(darkPalette());
    }
    ~DarkLook()
    {
        QApplication::setStyle(QStyleFactory::create(oldStyle));
        QApplication::setPalette(oldPalette);
    }
};

// The strongest contrast any pixel of the rectangle has against the background: the text's.
double textContrast(const QImage &image, const QRect &rect, const QColor &background)
{
    double best = 1.0;
    for (int y = rect.top(); y <= rect.bottom() && y < image.height(); ++y)
        for (int x = rect.left(); x <= rect.right() && x < image.width(); ++x)
            best = std::max(best, ReadableColor::contrast(image.pixelColor(x, y), background));
    return best;
}

TEST(DarkPalette, EveryLogLineReadsWellOnADarkLog)
{
    TempHome home;
    DarkLook look;
    auto w = std::make_unique<ProgramWindow>();
    w->controller().FormCreate({});
    w->show();
    ASSERT_TRUE(waitFor([&] { return w->controller().started(); }));
    // One line of each kind the log colours: replies, commands, errors, the program's notes.
    const QStringList lines{QStringLiteral("+ Connected to 127.0.0.1"), QStringLiteral("  230 Login successful."),
                            QStringLiteral("- 550 No such file"), QStringLiteral("! Transfer failed")};
    for (const QString &line : lines)
        w->controller().writeLog(line);
    LogView *log = w->logView();
    ASSERT_NE(log, nullptr);
    log->setBackgroundPicture(false);
    QTest::qWait(50);
    const QImage image = log->viewport()->grab().toImage();
    const QColor base = log->palette().color(QPalette::Base);
    ASSERT_TRUE(ReadableColor::isDark(base));
    const int rows = log->model()->rowCount();
    ASSERT_GE(rows, lines.size());
    for (int row = 0; row < rows; ++row) {
        const QModelIndex index = log->model()->index(row, 0);
        const QRect rect = log->visualRect(index);
        if (!rect.intersects(log->viewport()->rect()))
            continue;
        const double dpr = image.devicePixelRatio();
        const QRect pixels(QPoint(static_cast<int>(rect.left() * dpr), static_cast<int>(rect.top() * dpr)),
                           QPoint(static_cast<int>(rect.right() * dpr), static_cast<int>(rect.bottom() * dpr)));
        // Anti-aliased glyphs never reach the full colour: 3 is far above what dark blue on
        // a dark grey gives (about 1.3).
        EXPECT_GE(textContrast(image, pixels, base), 3.0) << index.data().toString().toStdString();
    }

    const QByteArray shot = qgetenv("KESTRIN_DARK_SCREENSHOT");
    if (!shot.isEmpty()) {
        log->setBackgroundPicture(true);
        QTest::qWait(300);
        EXPECT_TRUE(w->grab().save(QString::fromLocal8Bit(shot)));
    }
}

} // namespace
