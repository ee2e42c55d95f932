#pragma once

#include <QListView>

class LogModel;

// The log list `lvLog`: one column without header in a fixed-pitch font, rows 12 pixels
// high, full-row multiple selection, the text coloured by each line's marker (selected
// rows keep the selection colours) and a faint background picture unless pictures are
// switched off. With follow-new-lines on (the "Auto Scroll" mark) every new line is
// scrolled into view, centred.
class LogView : public QListView {
    Q_OBJECT
public:
    static constexpr int kRowHeight = 12;

    explicit LogView(QWidget *parent = nullptr);

    void setLogModel(LogModel *model);
    LogModel *logModel() const { return m_model; }

    void setFollowNewLines(bool on) { m_follow = on; }
    bool followNewLines() const { return m_follow; }
    void setBackgroundPicture(bool on);
    bool backgroundPicture() const { return m_picture; }

    // The selected rows as "Copy selected to clipboard" puts them on the clipboard.
    QString selectedText() const;
    void copySelectedToClipboard();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void followInsertedRows(int last);

    LogModel *m_model = nullptr;
    bool m_follow = true;
    bool m_picture = true;
};
