#pragma once

#include "app/jobs/QueueJob.h"
#include "listing/u_tmbFtpParser.h"

#include <QByteArray>

#include <vector>

// A "list" item: [CWD ->] PWD -> [TYPE A ->] LIST (or MLSD [-> LIST -a]); the entries go into
// the remote folder cache and the remote list shows the folder, or, while the queue has a
// listing stream, the lines go there as they arrive. FolderJob builds folder transfers and
// deletions on the same steps.
//
// Some servers report a link to a folder as "type=dir" in a machine listing. A folder the
// cache holds is one that tree work may enter and delete inside, so a machine listing that
// shows folders is followed by a LIST of the same folder, and a folder that LIST does not
// show as a plain folder is kept as a link.
class ListingJob : public QueueJob {
public:
    using QueueJob::QueueJob;

    void start() override;
    void requestDone(RemoteRequest request, int error) override;
    void listingData(const QString &text) override;

protected:
    // The folder is known (PWD answered, `m_folder` set). False when the job ended here.
    virtual bool folderReached();
    // The listing arrived and is stored in the cache under `m_folder`.
    virtual void listed(const std::vector<tTmbFtpEntry> &entries);
    // Whether a machine listing is followed by LIST to tell its links apart: when it shows
    // folders (the cache must never take a link for a folder).
    virtual bool needsLinkCheck(const std::vector<tTmbFtpEntry> &entries) const;
    // The folder the server reported, normalised.
    QString m_folder;

private:
    void startCwd();
    void cwdDone(int error);
    void pwdDone(int error);
    void startDir();
    void sendListing(JobStep step, bool mlsd, const QString &arguments);
    void dirDone(int error);
    void linkCheckDone(int error);
    void store(std::vector<tTmbFtpEntry> entries);

    // The listing so far, kept as UTF-8: half the memory of the decoded text, which matters
    // for a listing that runs up to its size limit.
    QByteArray m_buffer;
    bool m_mlsd = false;
    // The listing goes to the queue's listing stream, not into the cache.
    bool m_streamed = false;
    // The machine listing, kept while LIST tells which of its folders are links.
    std::vector<tTmbFtpEntry> m_machineEntries;
};
