#pragma once

#include <QDialog>

class QCheckBox;

// Invites the user to tell the maker what works and what does not. Its check box
// "Never display this dialog" is stored by the caller into "neverShowAppFeedback".
class FeedbackWindow : public QDialog {
    Q_OBJECT
public:
    static constexpr const char *kFeedbackAddress = "feedback@kestrin-ftp.example";

    explicit FeedbackWindow(bool neverShow, QWidget *parent = nullptr);

    bool neverShow() const;
    QCheckBox *neverShowBox() const { return m_neverShow; }

signals:
    // The user chose to write; the caller opens the mail message.
    void writeRequested(const QUrl &mail);

private:
    QCheckBox *m_neverShow;
};
