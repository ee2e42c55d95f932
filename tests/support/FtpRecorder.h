#pragma once

#include "ftp/FtpCli.h"

#include "support/WaitFor.h"

#include <QStringList>

#include <utility>

// Records what an FTP engine shows and reports: display lines, request completions, the
// session events. Tests wait for the next completion with waitDone().
struct FtpRecorder {
    QStringList display;
    QList<std::pair<TFtpRequest, int>> done;
    int sessionConnected = 0;
    int sessionClosed = 0;

    explicit FtpRecorder(TFtpClient &ftp)
    {
        ftp.OnDisplay = [this](TFtpClient *, QString &msg) { display << msg; };
        ftp.OnRequestDone = [this](TFtpClient *, TFtpRequest rq, int error) { done.append({rq, error}); };
        ftp.OnSessionConnected = [this](TFtpClient *, int) { ++sessionConnected; };
        ftp.OnSessionClosed = [this](TFtpClient *, int) { ++sessionClosed; };
    }
    // Waits for completion number n (1-based); false when it does not come in time.
    bool waitDone(qsizetype n = 1, int timeoutMs = 10000)
    {
        return waitFor([&] { return done.size() >= n; }, timeoutMs);
    }
    int lastError() const { return done.isEmpty() ? -1 : done.last().second; }
    TFtpRequest lastType() const { return done.isEmpty() ? TFtpRequest::rqNone : done.last().first; }
};
