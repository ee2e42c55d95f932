#pragma once

#include "app/jobs/QueueJob.h"
#include "listing/FolderEntries.h"

#include <optional>

#include <cstdint>

// A download ("getfile", "openfile", "editfile"): (overwrite question) -> [TYPE ->] RETR or
// REST + RETR -> [SIZE] -> [file time] -> done. A binary download is done only when its file holds the
// size the server gave for this transfer: the 150 reply's "(N bytes)", else the listing's
// size, and where that differs the size SIZE gives now (the file may have changed since it
// was listed). A text download is judged by the transfer alone: its line ends change.
// With "preserveFileTimes" a whole file then gets the remote file's time, asked of the
// server (MDTM, or the SFTP attributes): the listing keeps times only to two seconds.
class DownloadJob : public QueueJob {
public:
    using QueueJob::QueueJob;

    void start() override;
    void requestDone(RemoteRequest request, int error) override;
    QueueOutcome abandonOutcome() const override;
    bool endAfterLoss() override;

private:
    // Whether continuing the local file at its length is sound: binary, and smaller than
    // the remote file.
    bool resumeMakesSense() const;
    void startRetr();
    void transferDone(int error);
    void sizeCheckDone(int error);
    void failTransfer(int code, const QString &why);
    // Every byte is there: the file time (when asked for), then complete().
    void whole();
    void fileTimeDone(int error);
    void timeNotSet(const QString &why);
    void complete();
    void edit(const QString &local, const QString &remote, const std::optional<tFolderEntryObject> &entry);

    std::int64_t m_written = 0;
};
