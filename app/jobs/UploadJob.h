#pragma once

#include "app/jobs/QueueJob.h"

#include <QString>

#include <cstdint>

// An upload ("putfile"): [TYPE I ->] SIZE -> (overwrite question) -> [TYPE ->] STOR or
// REST + STOR -> done. The size question is asked only when the setting says an existing
// file is not simply overwritten and the queue does not know already that nothing is
// there (a folder it made, or a fresh listing without the name); a continued partial
// upload always asks.
class UploadJob : public QueueJob {
public:
    using QueueJob::QueueJob;

    void start() override;
    void requestDone(RemoteRequest request, int error) override;
    QueueOutcome abandonOutcome() const override;
    bool endAfterLoss() override;

private:
    bool resumeMakesSense() const;
    void startSize();
    void sizeDone(int error);
    void startPut();
    void putDone(int error);
    // Every byte is there: the file time (when asked for), then complete().
    void whole();
    void fileTimeDone(int error);
    // The upload is whole: counted, done, and the folder shown again.
    void complete(const QString &timeNote = QString());
    // The folder the upload goes into, for the refresh.
    QString remoteFolder() const;

    bool m_asksSize = false;
    bool m_remoteSizeKnown = false;
    // The size of the existing remote file; -1 when the server knows none.
    std::int64_t m_remoteSize = -1;
    // Where the file goes (the name in small letters when the setting asks for it).
    QString m_remote;
};
