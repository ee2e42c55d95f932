#pragma once

#include <QAbstractListModel>
#include <QColor>
#include <QStringList>

#include <QList>

// The rows of a log list. Every line keeps its marker as the first character: ">" a
// command sent, "<" a reply received, "¤" (U+00A4) an error, "§" (U+00A7) a program
// message; anything else is an engine notice. The marker is never displayed, it only
// chooses the text colour. The list keeps the newest kMaxRows lines.
//
// User-interface thread only.
class LogModel : public QAbstractListModel {
    Q_OBJECT
public:
    static constexpr int kMaxRows = 1000;
    static constexpr QChar kCommand = QChar(u'>');
    static constexpr QChar kReply = QChar(u'<');
    static constexpr QChar kError = QChar(0xA4);
    static constexpr QChar kInfo = QChar(0xA7);
    // The whole stored line, marker included.
    static constexpr int LineRole = Qt::UserRole + 1;

    explicit LogModel(QObject *parent = nullptr);

    // Appends one line: drops the oldest row at the cap, masks what follows "pass ".
    void writeLog(const QString &text);
    void clear();

    const QStringList &lines() const { return m_lines; }
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    // Everything after the first "pass " (any letter case) becomes "[*** hidden ***]".
    static QString maskPassword(const QString &text);
    static QColor markerColor(QChar marker);
    // The clipboard text of the given rows: in list order, each without its marker,
    // at most 999 characters, followed by CR LF.
    QString copyText(QList<int> rows) const;

private:
    QStringList m_lines;
};
