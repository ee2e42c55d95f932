#pragma once

#include <QWidget>

class QTextBrowser;

// The help window: shows the HTML topics of the manual/ folder beside the program, with
// Back, Forward and Contents. One instance is kept by the main window and reused.
class HelpBrowser : public QWidget {
    Q_OBJECT
public:
    static constexpr const char *kContents = "index.htm";

    explicit HelpBrowser(QWidget *parent = nullptr);

    // The folder that holds the topics, ending in "/".
    void setManualFolder(const QString &folder);
    QString manualFolder() const { return m_folder; }
    // Shows the window at the topic ("welcome.htm"); a missing topic shows a short page
    // that says so and where the manual was looked for.
    void showTopic(const QString &topic);
    QString currentTopic() const;
    QTextBrowser *browser() const { return m_browser; }

private:
    QTextBrowser *m_browser;
    QString m_folder;
};
