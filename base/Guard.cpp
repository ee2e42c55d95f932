#include "base/Guard.h"

#include <cstdio>

namespace {
BugReporter &installedReporter()
{
    static BugReporter reporter;
    return reporter;
}
} // namespace

void setBugReporter(BugReporter reporter)
{
    installedReporter() = std::move(reporter);
}

void reportBug(const QString &siteId, const QString &message) noexcept
{
    try {
        if (const auto &reporter = installedReporter()) {
            reporter(siteId, message);
            return;
        }
    } catch (...) {
        // A failing reporter must not take the program down; fall through to stderr.
    }
    std::fprintf(stderr, "Bug %s: %s\n", siteId.toLocal8Bit().constData(), message.toLocal8Bit().constData());
}
