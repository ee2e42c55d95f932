#pragma once

#include <QDialog>

class LogModel;
class LogView;
class QCheckBox;
class tSetupClass;

// "Login Message - Kestrin FTP Pro": the lines the server sent while the main session logged
// in, drawn as the log draws them, with "&OK" and the check box "Always show message at
// login". The check box shows "showLoginMsg" when the window is filled and writes it back
// when the window closes. Shown without waiting; the main window keeps one and refills it.
class LoginMessageWindow : public QDialog {
    Q_OBJECT
public:
    // The settings store must outlive the window.
    explicit LoginMessageWindow(tSetupClass &setup, QWidget *parent = nullptr);
    ~LoginMessageWindow() override;

    // Replaces the shown lines with the session's login lines (display lines: marker, blank,
    // text) and reads the setting into the check box.
    void showLines(const QStringList &displayLines);
    QStringList shownLines() const;
    QCheckBox *alwaysShow() const { return m_always; }

protected:
    // Every way of closing (OK, Esc, the title bar) ends here and stores the check box.
    void done(int result) override;

private:
    tSetupClass &m_setup;
    LogModel *m_lines;
    LogView *m_view;
    QCheckBox *m_always;
};
