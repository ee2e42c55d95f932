#pragma once

#include <QList>
#include <QObject>
#include <QUrl>

// Receives the addresses the program asks the desktop to open (install it with
// QDesktopServices::setUrlHandler for a scheme and the slot "open").
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls << url; }
};
