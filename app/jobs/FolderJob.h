#pragma once

#include "app/jobs/ListingJob.h"

#include <QStringList>

struct FolderExpansion;

// A folder download ("getfolder") or deletion ("deletefolder"): the folder is listed like
// a "list" item, then every entry becomes an item of the same expansion at the end of the
// queue (a file to fetch or delete, a folder to expand in turn). A deletion's folders are
// removed once the whole tree has been listed (QueueController's removal hook).
//
// Entering a folder is refused when the server shows a folder this expansion has listed
// already, a folder other than the one asked for, or one deeper than "folderDepthLimit":
// the work always ends, whatever the server does.
class FolderJob : public ListingJob {
public:
    using ListingJob::ListingJob;

    void start() override;

protected:
    bool folderReached() override;
    void listed(const std::vector<tTmbFtpEntry> &entries) override;
    // Tree work skips links to files too, which some machine listings show as the files.
    bool needsLinkCheck(const std::vector<tTmbFtpEntry> &entries) const override;

private:
    void skip(const QString &name, const QString &why);
    QStringList m_skipped; // this listing's entries left out, for one message
};
