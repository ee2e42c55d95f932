#pragma once

#include <QString>

#include <utility>
#include <vector>

// Records every bug report made while it lives, instead of showing or printing it.
class BugRecorder {
public:
    BugRecorder();
    ~BugRecorder();
    BugRecorder(const BugRecorder &) = delete;
    BugRecorder &operator=(const BugRecorder &) = delete;

    struct Report {
        QString siteId;
        QString message;
    };
    const std::vector<Report> &reports() const { return m_reports; }

private:
    std::vector<Report> m_reports;
};
