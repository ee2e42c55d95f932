#pragma once

#include "ftp/WSocket.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// Records a socket's events as short texts ("connected 0", "closed 10057", "socks-error
// 20003", ...) and, unless told otherwise, reads every byte that arrives into data.
struct SocketEvents {
    QStringList log;
    QByteArray data;
    int closedCount = 0;
    bool readData = true;

    explicit SocketEvents(TWSocket &s)
    {
        s.OnSessionConnected = [this](TWSocket *, int e) { log << QStringLiteral("connected %1").arg(e); };
        s.OnSocksConnected = [this](TWSocket *, int e) { log << QStringLiteral("socks-connected %1").arg(e); };
        s.OnSessionClosed = [this](TWSocket *, int e) {
            ++closedCount;
            log << QStringLiteral("closed %1").arg(e);
        };
        s.OnDataAvailable = [this](TWSocket *sock, int) {
            if (readData)
                data += sock->ReceiveStr();
        };
        s.OnSocksError = [this](TWSocket *, int e, const QString &msg) {
            log << QStringLiteral("socks-error %1 %2").arg(e).arg(msg);
        };
        s.OnSocksAuthState = [this](TWSocket *, TSocksAuthState a) {
            log << QStringLiteral("auth %1").arg(static_cast<int>(a));
        };
        s.OnDnsLookupDone = [this](TWSocket *, int e) { log << QStringLiteral("dns %1").arg(e); };
    }
    bool has(const QString &entry) const { return log.contains(entry); }
    bool hasPrefix(const QString &prefix) const
    {
        for (const QString &e : log)
            if (e.startsWith(prefix))
                return true;
        return false;
    }
};
