#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QPushButton;
class VersionCheck;

// "New Version Check": our own release, the latest one the server named and whether it is
// newer, the two notification choices, "Check Now" (disabled while a check runs) and a link
// to what is new. Closing writes the choices back to their store.
class NewVersionWindow : public QDialog {
    Q_OBJECT
public:
    // The check must outlive the window.
    explicit NewVersionWindow(VersionCheck &check, QWidget *parent = nullptr);

    QPushButton *checkNowButton() const { return m_checkNow; }
    QLabel *latestLabel() const { return m_latest; }
    QLabel *statusLabel() const { return m_status; }

    // The texts for a latest-release value, as the window shows them.
    static QString latestText(std::int64_t latest);
    static QString statusText(std::int64_t latest, std::int64_t own);

protected:
    void done(int result) override;

private:
    void refresh();

    VersionCheck &m_check;
    QLabel *m_latest;
    QLabel *m_status;
    QCheckBox *m_notifyNonBeta;
    QCheckBox *m_notifyBeta;
    QPushButton *m_checkNow;
};
