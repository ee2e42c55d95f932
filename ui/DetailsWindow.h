#pragma once

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QVBoxLayout;

// A non-modal window with a picture, a main text, a "Details >>" / "<< Details" button
// that opens and closes a lower part with read-only details, and "Close". It is destroyed
// when closed. The bug window and the error window are built on it.
class DetailsWindow : public QDialog {
    Q_OBJECT
public:
    DetailsWindow(const QString &title, const QString &text, const QString &details, QWidget *parent = nullptr);

    bool detailsShown() const;
    QPushButton *detailsButton() const { return m_detailsButton; }
    QPushButton *closeButton() const { return m_closeButton; }
    QPlainTextEdit *details() const { return m_details; }
    QLabel *textLabel() const { return m_text; }

    void setDetailsShown(bool shown);

protected:
    // Adds a button to the row above the details, before "Close".
    QPushButton *addButton(const QString &caption);
    void setPicture(const QPixmap &picture);
    // Runs when the details open; the default does nothing.
    virtual void detailsOpened() {}
    // "Close" was pressed; the default closes the window.
    virtual void closeClicked() { close(); }

private:
    QLabel *m_picture;
    QLabel *m_text;
    QPushButton *m_detailsButton;
    QPushButton *m_closeButton;
    QPlainTextEdit *m_details;
    QVBoxLayout *m_buttons;
};
