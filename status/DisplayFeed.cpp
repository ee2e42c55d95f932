#include "status/DisplayFeed.h"

#include "status/LogModel.h"

QString DisplayFeed::logLine(const QString &displayLine)
{
    if (displayLine.isEmpty())
        return {};
    return displayLine.left(1) + displayLine.mid(2);
}

void DisplayFeed::display(Session session, SessionDisplay &fields, bool loggedIn, const QString &line)
{
    // The login messages and recent lines are shown in windows: the password of a PASS
    // command is masked there as it is in the log.
    if (!loggedIn)
        fields.loginMessages.append(LogModel::maskPassword(line));
    // An empty line has no marker: it carries nothing to count or show.
    if (line.isEmpty())
        return;
    if (m_countTraffic) {
        if (line.front() == QLatin1Char('<'))
            m_countTraffic(TrafficDirection::Received, line.size());
        else if (line.front() == QLatin1Char('>'))
            m_countTraffic(TrafficDirection::Sent, line.size());
    }
    const QString entry = logLine(line);
    fields.recentLines.append(LogModel::maskPassword(entry));
    while (fields.recentLines.size() > kRecentLines)
        fields.recentLines.removeFirst();
    if (!m_writeLog)
        return;
    if (session == Session::Main)
        m_writeLog(entry);
    else
        m_writeLog(line.left(1) + QStringLiteral("(SmartTransfer) ") + line.mid(2));
}
