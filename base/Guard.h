#pragma once

#include "base/Errors.h"

#include <QString>

#include <functional>
#include <utility>

// Where guarded places send an error that escaped their body: a short site id unique to
// the place and the error's message. The application installs the diagnostics here at
// start; until then reports go to standard error.
using BugReporter = std::function<void(const QString &siteId, const QString &message)>;

void setBugReporter(BugReporter reporter);
void reportBug(const QString &siteId, const QString &message) noexcept;

// Runs body; an error of the program's own hierarchy or a std::exception that escapes it
// is reported with siteId and swallowed. Returns true when body finished normally.
// A place may also compose its site id from a prefix and details.
template <typename Body> bool guarded(const QString &siteId, Body &&body) noexcept
{
    try {
        std::forward<Body>(body)();
        return true;
    } catch (const KestrinError &e) {
        reportBug(siteId, e.message());
    } catch (const std::exception &e) {
        reportBug(siteId, QString::fromLocal8Bit(e.what()));
    } catch (...) {
        reportBug(siteId, QStringLiteral("unknown error"));
    }
    return false;
}

template <typename Body> bool guarded(const char *siteId, Body &&body) noexcept
{
    return guarded(QString::fromLatin1(siteId), std::forward<Body>(body));
}
