#pragma once

#include "ui/DetailsWindow.h"

// The window that tells the user about a failed FTP operation: the message, and in the
// details the message underlined, the server's last reply and the recent protocol lines.
// Opening the details scrolls them to their last line.
class ErrorWindow : public DetailsWindow {
    Q_OBJECT
public:
    ErrorWindow(const QString &message, const QString &details, QWidget *parent = nullptr);

protected:
    void detailsOpened() override;
    void closeClicked() override;
};
