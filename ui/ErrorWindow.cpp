#include "ui/ErrorWindow.h"

#include "base/Guard.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStyle>

ErrorWindow::ErrorWindow(const QString &message, const QString &details, QWidget *parent)
    : DetailsWindow(QStringLiteral("Message! - Kestrin FTP Pro"), message, details, parent)
{
    setObjectName(QStringLiteral("errorWindow"));
    setPicture(style()->standardPixmap(QStyle::SP_MessageBoxCritical));
}

void ErrorWindow::detailsOpened()
{
    guarded("nnqllsk", [this] {
        QPlainTextEdit *text = details();
        text->moveCursor(QTextCursor::End);
        text->ensureCursorVisible();
        text->verticalScrollBar()->setValue(text->verticalScrollBar()->maximum());
    });
}

void ErrorWindow::closeClicked()
{
    guarded("nnlqlks", [this] { close(); });
}
