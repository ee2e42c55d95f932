#include "app/ServerTimeOffset.h"

#include "app/tkftpclient.h"
#include "ftp/FtpReply.h"

#include <QTimeZone>

#include <algorithm>
#include <vector>

std::optional<std::int64_t> probeServerTimeOffset(tkftpclient &session, bool machineListings, const SyncTree &tree,
                                                  const QString &root, const SessionRequest &request, bool *asked)
{
    if (asked)
        *asked = false;
    if (machineListings)
        return 0;
    struct Candidate {
        QDateTime listed;
        std::int32_t packed;
        QString path;
    };
    std::vector<Candidate> candidates;
    for (const auto &[folder, entries] : tree) {
        for (const SyncEntry &e : entries) {
            if (e.kind != SyncEntry::Kind::File || !syncableName(e.name()))
                continue;
            const QDateTime listed = unpackFileTime(e.entry.time);
            // Old files are listed with their date only: such a time tells nothing.
            if (!listed.isValid() || listed.time() == QTime(0, 0))
                continue;
            const QString path = root + folder + e.name();
            if (!path.contains(QLatin1Char('\r')) && !path.contains(QLatin1Char('\n')))
                candidates.push_back({listed, e.entry.time, path});
        }
    }
    // The newest first: the likeliest to have been listed with their time.
    std::sort(candidates.begin(), candidates.end(),
              [](const Candidate &a, const Candidate &b) { return a.listed > b.listed; });
    if (candidates.size() > 3)
        candidates.resize(3);
    const QTimeZone localZone = QTimeZone::systemTimeZone();
    for (const Candidate &c : candidates) {
        session.SetLocalFileName(QStringLiteral("MDTM ") + c.path);
        const int error = request([&] { session.StartQuote(); });
        if (error < 0)
            return std::nullopt; // no answer: the session has other trouble
        if (asked)
            *asked = true;
        if (error != 0)
            continue;
        if (const auto offset = serverTimeOffset(c.packed, FtpMdtmResult(session.LastResponse().trimmed()), localZone))
            return offset;
    }
    return std::nullopt;
}
