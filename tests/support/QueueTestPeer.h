#pragma once

#include "app/QueueController.h"
#include "app/jobs/ListingJob.h"
#include "app/tkftpclient.h"

#include <memory>

// Puts a session in the state a long request leaves it in, without a server: a job bound
// to it that waits for nothing.
class QueueTestPeer {
public:
    // The item runs on the session as the pump would make it run, with a job that starts
    // nothing; removing the item releases the session.
    static void bind(QueueController &queue, QueueItem &item, tkftpclient &session)
    {
        queue.bindJob(item, session, std::make_shared<ListingJob>(queue, item, session));
    }
    // A session marked busy with no queue at all (job must outlive the mark).
    static void occupy(tkftpclient &session, QueueJob *job) { session.m_job = job; }
};
