#include "support/BugRecorder.h"

#include "base/Guard.h"

BugRecorder::BugRecorder()
{
    setBugReporter([this](const QString &siteId, const QString &message) { m_reports.push_back({siteId, message}); });
}

BugRecorder::~BugRecorder()
{
    setBugReporter({});
}
