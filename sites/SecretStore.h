#pragma once

#include <QObject>
#include <QString>

#include <memory>

// Where passwords live when they are not written into the program's own files: the
// desktop's secret store (Secret Service: GNOME Keyring, KWallet, KeePassXC ...).
//
// Every call returns within a bounded time. When no secret store answers, calls report
// Unavailable and the caller keeps the password in its own file as before; the first
// such answer is announced once through `unavailable`, with the reason.
class SecretStore : public QObject {
    Q_OBJECT
public:
    enum class Status {
        Ok,
        NotFound,    // the store answered: no entry under that key
        Unavailable, // no store, store switched off, locked, or no answer in time
    };

    using QObject::QObject;
    ~SecretStore() override = default;

    virtual Status read(const QString &key, QString &secret) = 0;
    virtual Status write(const QString &key, const QString &secret) = 0;
    // Removing a key that is not there is Ok.
    virtual Status remove(const QString &key) = 0;

    // Moves an entry to a new key: Ok also when there was nothing to move.
    Status move(const QString &from, const QString &to);

    // The reason the store is not used, empty while it is (or has not been tried yet).
    const QString &unavailableReason() const { return m_reason; }

    // The store of this desktop: the Secret Service through QtKeychain when the program
    // was built with it, otherwise a store that is always unavailable.
    // waitMs bounds every call.
    static std::unique_ptr<SecretStore> desktop(const QString &service, int waitMs = 5000);
    // A store that is always unavailable: passwords stay in the program's files.
    static std::unique_ptr<SecretStore> none(const QString &reason);

signals:
    // Emitted once, the first time the store turns out to be unavailable.
    void unavailable(const QString &reason);

protected:
    // Records the reason and emits `unavailable` the first time.
    void markUnavailable(const QString &reason);

private:
    QString m_reason;
};
