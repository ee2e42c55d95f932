#pragma once

#include <QDialog>

// The about box: product, version, maker and licence notice.
class AboutBox : public QDialog {
    Q_OBJECT
public:
    explicit AboutBox(QWidget *parent = nullptr);
};
