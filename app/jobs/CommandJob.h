#pragma once

#include "app/jobs/QueueJob.h"

// One request, one answer: "makefolder" (MKD), "deletefile" (DELE), "deletefolder" with
// "@folderempty" (RMD), "renamefile"/"renamefolder" (RNFR + RNTO), "chmodfile"/"chmodfolder"
// (SITE CHMOD). A change the server made refreshes the folder it happened in.
class CommandJob : public QueueJob {
public:
    using QueueJob::QueueJob;

    void start() override;
    void requestDone(RemoteRequest request, int error) override;
};
