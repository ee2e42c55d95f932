#pragma once

#include <QListView>

#include <functional>

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

    // The log's font, 11 pixels high: the desktop's fixed-pitch font when it is one, else
    // the first of monospaceFamilies() that is, else the desktop's font all the same.
    // isFixed says whether a font as the machine would draw it is fixed-pitch.
    static QFont chooseFixedFont(const QFont &desktopFixed, const std::function<bool(const QFont &)> &isFixed);
    static const QStringList &monospaceFamilies();
    // chooseFixedFont with this machine's fonts.
    static QFont fixedFont();

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
