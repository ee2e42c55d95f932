#include "app/SavedQueues.h"

#include "app/Diagnostics.h"
#include "app/QueueController.h"
#include "app/UserInterface.h"
#include "base/Errors.h"
#include "base/Files.h"
#include "base/Guard.h"
#include "queue/QueueFile.h"
#include "settings/SettingsCatalogue.h"
#include "settings/u_tmbSetup.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

const QString kSection = QString(tSetupClass::kSeparator);

QString refusedNameText(const QString &name)
{
    return QStringLiteral("\"%1\" cannot be used as the name of a queue.\r\rA queue name may not be empty, \".\" or "
                          "\"..\", nor contain \"/\", \"\\\" or a NUL character.")
        .arg(name);
}

} // namespace

SavedQueues::SavedQueues(tSetupClass &setup, UserInterface &ui, QueueController &queue, LogWriter writeLog,
                         QObject *parent)
    : QObject(parent), m_setup(setup), m_ui(ui), m_queue(queue), m_writeLog(std::move(writeLog))
{
    m_recoveryTimer.setSingleShot(true);
    m_recoveryTimer.setInterval(kDefaultRecoveryDelayMs);
    connect(&m_recoveryTimer, &QTimer::timeout, this, &SavedQueues::writeRecovery);
    // Only the rows matter: a file holds each item's command and entry, which never change
    // while the item is queued; its status and progress are not written.
    QueueModel *model = &m_queue.model();
    connect(model, &QAbstractItemModel::rowsInserted, this, &SavedQueues::queueChanged);
    connect(model, &QAbstractItemModel::rowsRemoved, this, &SavedQueues::queueChanged);
    connect(model, &QAbstractItemModel::rowsMoved, this, &SavedQueues::queueChanged);
    connect(model, &QAbstractItemModel::layoutChanged, this, &SavedQueues::queueChanged);
    connect(model, &QAbstractItemModel::modelReset, this, &SavedQueues::queueChanged);
}

SavedQueues::~SavedQueues() = default;

bool SavedQueues::saveQueue(const QString &name, QString *error)
{
    if (!isValidQueueName(name) || name == QLatin1String(kRecoveryName)) {
        if (error)
            *error = refusedNameText(name);
        return false;
    }
    return saveQueueFile(m_queue.model(), m_folder + name, error);
}

bool SavedQueues::loadQueue(const QString &name, QString *error)
{
    if (!isValidQueueName(name)) {
        if (error)
            *error = refusedNameText(name);
        return false;
    }
    return load(m_folder + name, name, error);
}

bool SavedQueues::deleteQueue(const QString &name, QString *error)
{
    if (!isValidQueueName(name) || name == QLatin1String(kRecoveryName)) {
        if (error)
            *error = refusedNameText(name);
        return false;
    }
    QFile file(m_folder + name);
    if (!QFileInfo(file.fileName()).isFile()) {
        if (error)
            *error = QStringLiteral("no such queue file");
        return false;
    }
    if (!file.remove()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

QStringList SavedQueues::savedQueueNames() const
{
    QStringList names;
    const QStringList files =
        QDir(m_folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QString &file : files) {
        if (!file.contains(QLatin1String(".dat"), Qt::CaseInsensitive))
            names << file;
    }
    return names;
}

bool SavedQueues::load(const QString &path, const QString &name, QString *error)
{
    const QueueFileContents contents = loadQueueFile(path);
    for (const QueueFileRecord &record : contents.records)
        m_queue.addToQueue(record.command, record.entry ? &*record.entry : nullptr);
    if (contents.ok())
        return true;
    if (!contents.failedPair.isEmpty())
        reportBug(QStringLiteral("llklklqq - ") + contents.failedPair, contents.error);
    if (error)
        *error = QStringLiteral("%1: %2").arg(name, contents.error);
    return false;
}

void SavedQueues::saveQueueCommand()
{
    if (m_queue.model().isEmpty()) {
        m_writeLog(kSection + QStringLiteral("Queue is empty. Not saved."));
        return;
    }
    QString name = QStringLiteral("My saved queue");
    if (!m_ui.askText(QStringLiteral("Save Queue"), QStringLiteral("Queue Name:"), name, false) || name.isEmpty())
        return;
    if (!isValidQueueName(name) || name == QLatin1String(kRecoveryName)) {
        m_ui.showMessage(refusedNameText(name));
        return;
    }
    // A saved queue of the same name is the user's: it is replaced only when they say so.
    if (QFileInfo::exists(m_folder + name) &&
        !m_ui.confirm(QStringLiteral("A saved queue named \"%1\" already exists. Replace it?").arg(name)))
        return;
    if (saveQueue(name)) {
        m_writeLog(kSection + QStringLiteral("Queue saved to disk."));
        return;
    }
    m_ui.showMessage(QStringLiteral("Was unable to save queue.\r\r\nMake sure the name of the queue doesn't contains "
                                    "invalid filename characters."));
}

void SavedQueues::loadQueueCommand(const QString &name)
{
    if (loadQueue(name))
        m_writeLog(kSection + QStringLiteral("Queue loaded from disk."));
    else
        reportBug(QStringLiteral("nlnllkna"), QStringLiteral("could not load queue"));
}

void SavedQueues::deleteQueueCommand(const QString &name)
{
    if (deleteQueue(name)) {
        m_writeLog(kSection + QStringLiteral("Queue deleted from disk."));
        return;
    }
    m_ui.showMessage(
        QStringLiteral("Unable to delete the queue from disk. If problem persists, please report to author at %1.")
            .arg(QLatin1String(Diagnostics::kBugReportAddress)));
}

void SavedQueues::loadRecovery()
{
    if (read(m_setup, Keys::autoSaveQueue) && QFileInfo::exists(recoveryPath())) {
        QString error;
        bool loaded = false;
        // A file damaged in a way the reader did not foresee is still a damaged file, said
        // as one, not a fault of the program.
        try {
            loaded = loadRecoveryFile(&error);
        } catch (const KestrinError &e) {
            error = e.message();
        } catch (const std::exception &e) {
            error = QString::fromLocal8Bit(e.what());
        }
        if (!loaded) {
            // The items after the damage would be lost by the first rewrite: keep the file.
            const QString copy = m_folder + QLatin1String(kDamagedRecoveryName);
            QFile::remove(copy);
            const bool copied = QFile::copy(recoveryPath(), copy);
            const QString text = QStringLiteral("The recovery queue could not be read completely (%1).").arg(error) +
                                 (copied ? QStringLiteral(" It was copied to \"%1\".").arg(copy)
                                         : QStringLiteral(" It could not be copied aside."));
            m_writeLog(kSection + text);
            m_ui.showMessage(text);
        }
    }
    m_following = true;
    // What was loaded may differ from the file (a cached "list" is not queued again).
    queueChanged();
}

bool SavedQueues::loadRecoveryFile(QString *error)
{
    return load(recoveryPath(), QLatin1String(kRecoveryName), error);
}

bool SavedQueues::saveRecoveryNow(QString *error)
{
    m_recoveryTimer.stop();
    return writeRecoveryBytes(encodeQueueFile(m_queue.model()), error);
}

bool SavedQueues::writeRecoveryBytes(const QByteArray &bytes, QString *error)
{
    if (!saveFileAtomically(recoveryPath(), bytes, error))
        return false;
    m_recoveryBytes = bytes;
    m_recoveryKnown = true;
    m_writeFailed = false;
    return true;
}

void SavedQueues::finishRecovery()
{
    m_recoveryTimer.stop();
    if (m_following && read(m_setup, Keys::autoSaveQueue)) {
        QString error;
        if (!saveRecoveryNow(&error))
            m_ui.showMessage(
                QStringLiteral("Could not save the queue to \"%1\":\r%2\r\rThe queue saved before was kept.")
                    .arg(recoveryPath(), error));
    }
    m_following = false;
}

void SavedQueues::queueChanged()
{
    if (m_following && !m_recoveryTimer.isActive())
        m_recoveryTimer.start();
}

void SavedQueues::writeRecovery()
{
    if (!m_following || !read(m_setup, Keys::autoSaveQueue))
        return;
    const QByteArray bytes = encodeQueueFile(m_queue.model());
    if (m_recoveryKnown && bytes == m_recoveryBytes)
        return;
    QString error;
    const bool hadFailed = m_writeFailed;
    if (!writeRecoveryBytes(bytes, &error)) {
        // Told once per run of failures, not at every change; the next change tries again.
        if (!hadFailed)
            m_writeLog(kSection + QStringLiteral("Could not save the queue for recovery: %1").arg(error));
        m_writeFailed = true;
    }
}
