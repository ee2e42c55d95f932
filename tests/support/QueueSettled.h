#pragma once

#include "app/QueueController.h"
#include "app/SessionSupervisor.h"
#include "support/WaitFor.h"

// Runs the supervisor and the pump until the queue is empty or paused and every session
// (FTP or SFTP) is idle; false when that does not happen within ms.
inline bool queueSettled(SessionSupervisor &sessions, QueueController &queue, int ms = 30000)
{
    return waitFor(
        [&] {
            sessions.timer_threads();
            queue.timer_checkQueue();
            for (tkftpclient *s : sessions.allSessions()) {
                if (s->busy() || (s->connectedNow() && !s->idleState()))
                    return false;
            }
            return queue.model().isEmpty() || queue.model().isPaused();
        },
        ms);
}
