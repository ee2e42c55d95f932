#include "app/QueueController.h"

#include "app/BrowserController.h"
#include "app/SessionSupervisor.h"
#include "app/UserInterface.h"
#include "base/Guard.h"
#include "base/TextUtil.h"
#include "browser/LocalFiles.h"
#include "settings/SettingsCatalogue.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace {

const QString kSection = QString(tSetupClass::kSeparator);

bool isTransfer(QueueVerb verb)
{
    return verb == QueueVerb::GetFile || verb == QueueVerb::PutFile;
}

} // namespace

QueueController::QueueController(tSetupClass &setup, UserInterface &ui, BrowserController &browsers,
                                 SessionSupervisor &sessions, LogWriter writeLog, QObject *parent)
    : QObject(parent), m_setup(setup), m_ui(ui), m_browsers(browsers), m_sessions(sessions),
      m_writeLog(std::move(writeLog)), m_model(setup), m_temporaryFolder(QDir::tempPath() + QLatin1Char('/'))
{
    connect(&m_model, &QueueModel::itemRemoved, this, &QueueController::onItemRemoved);
    connect(&m_model, &QueueModel::queueEmptied, this, &QueueController::onQueueEmptied);
    // The progress cell follows the bytes of the running transfer.
    connect(&m_sessions, &SessionSupervisor::progress, this, [this](tkftpclient *session, qint64 count, bool *) {
        if (QueueItem *item = session->currentItem)
            m_model.setProgressBytes(item, count + session->ResumeAt);
    });
}

QueueController::~QueueController()
{
    m_terminating = true;
    // Sessions outlive nothing of the queue: unbind them before the items go.
    for (tkftpclient *s : {m_sessions.mainSession, m_sessions.xferSession}) {
        if (s)
            s->currentItem = nullptr;
    }
}

QueueItem *QueueController::addToQueue(const QString &command, const tFolderEntryObject *entry, bool atFront)
{
    const ParsedQueueCommand parsed = parseQueueCommand(command, entry);
    if (!parsed.ok()) {
        m_ui.showMessage(parsed.error);
        return nullptr;
    }
    if (parsed.verb == QueueVerb::List) {
        const QString folder = parsed.normalizedFolder();
        BrowserState &state = m_browsers.state();
        const bool refresh = parsed.has(QueueFlag::Refresh);
        if (!folder.isEmpty() && !refresh && state.findCachedFolder(folder) && !state.isFolderStale(folder)) {
            m_browsers.setRemoteFolder(folder);
            m_browsers.refreshRemoteView();
            return nullptr;
        }
        if (refresh)
            state.markFolderStale(folder);
    }
    const QueueModel::AddResult added = m_model.addToQueue(command, entry, atFront);
    if (!added.message.isEmpty())
        m_ui.showMessage(added.message);
    return added.item;
}

void QueueController::queueQuietly(const QString &command, const tFolderEntryObject *entry)
{
    const QueueModel::AddResult added = m_model.addToQueue(command, entry, false);
    if (!added.item)
        m_writeLog(QString(QChar(0xA4)) + added.message);
}

void QueueController::toggleQueue()
{
    m_model.setPaused(!m_model.isPaused());
}

void QueueController::timer_checkQueue()
{
    // A skip removes its item and looks at the next one in the same run: a loop, so that
    // skipping thousands of existing files never deepens the stack.
    for (;;) {
        RunResult result = RunResult::Done;
        guarded("ioioass", [&] { result = pumpOnce(); });
        if (result != RunResult::RunAgain)
            return;
    }
}

QueueController::RunResult QueueController::pumpOnce()
{
    if (m_promptOpen)
        return RunResult::Done;
    QueueItem *item = nullptr;
    if (!guarded("nqnas", [&] { item = m_model.firstWithoutSession(); }) || !item)
        return RunResult::Done;
    if (item->verb() != QueueVerb::List && m_model.isPaused())
        return RunResult::Done;
    tkftpclient *session = nullptr;
    if (!guarded("nnllqis", [&] { session = sessionFor(*item); }) || !session || !usable(*session))
        return RunResult::Done;
    if (!guarded("jlkslkjdlk", [&] { markRunning(*item, *session); }))
        return RunResult::Done;
    RunResult result = RunResult::Done;
    const std::uint64_t id = item->id();
    const bool started = guarded("qnnalas", [&] { result = startWork(*item, *session); });
    if (!started) {
        // A start operation refused to run: the item fails instead of blocking its session.
        if (QueueItem *still = m_model.itemById(id)) {
            emit itemFailed(*still);
            m_model.setPaused(true);
            if (isTransfer(still->verb()))
                m_model.releaseItem(still, QStringLiteral("Error"));
            else
                m_model.removeItem(still);
        }
        session->currentItem = nullptr;
    }
    return result;
}

tkftpclient *QueueController::sessionFor(const QueueItem &item) const
{
    if (m_sessions.ravuzAro() && isTransfer(item.verb()))
        return m_sessions.xferSession;
    return m_sessions.mainSession;
}

bool QueueController::usable(const tkftpclient &session)
{
    // Exactly ready: an engine in its internal-ready state is between two steps of a request.
    return session.IsConnected() && !session.busy() && session.State() == TFtpEngineState::stReady && session.loggedIn;
}

void QueueController::markRunning(QueueItem &item, tkftpclient &session)
{
    m_model.startItem(&item, &session);
    session.currentItem = &item;
    session.ResumeAt = 0;
    session.lastByteCount = 0;
}

void QueueController::expect(QueueItem &item, tkftpclient &session, QueueStep step)
{
    item.step = step;
    session.requestToken = m_model.issueRequestToken(&item);
}

bool QueueController::stillBound(std::uint64_t itemId, const tkftpclient &session) const
{
    const QueueItem *item = m_model.itemById(itemId);
    return item && item->session == &session && session.currentItem == item && session.IsConnected();
}

QueueController::RunResult QueueController::startWork(QueueItem &item, tkftpclient &session)
{
    const QStringList f = splitCommand(item.command);
    const auto field = [&f](int i) { return i < f.size() ? f[i] : QString(); };
    switch (item.verb()) {
    case QueueVerb::ChmodFile:
    case QueueVerb::ChmodFolder:
        session.SetLocalFileName(QStringLiteral("SITE CHMOD ") + field(2) + QLatin1Char(' ') + field(1));
        session.SetHostFileName(QStringLiteral("*chmod*"));
        expect(item, session, QueueStep::Command);
        session.StartQuote();
        break;
    case QueueVerb::DeleteFile:
        session.SetHostFileName(field(1));
        expect(item, session, QueueStep::Command);
        session.StartDele();
        break;
    case QueueVerb::DeleteFolder:
        if (hasFlag(f, QueueFlag::FolderEmpty)) {
            session.SetHostFileName(field(1));
            expect(item, session, QueueStep::Command);
            session.StartRmd();
        } else {
            startListing(item, session, field(1));
        }
        break;
    case QueueVerb::List:
        startListing(item, session, field(1));
        break;
    case QueueVerb::GetFolder:
        QDir().mkpath(field(2));
        m_browsers.refreshLocalView();
        startListing(item, session, field(1));
        break;
    case QueueVerb::MakeFolder:
        session.SetHostFileName(field(1));
        expect(item, session, QueueStep::Command);
        session.StartMkd();
        break;
    case QueueVerb::RenameFile:
    case QueueVerb::RenameFolder:
        session.SetLocalFileName(field(2));
        session.SetHostFileName(field(1));
        expect(item, session, QueueStep::Command);
        session.StartRename();
        break;
    case QueueVerb::OpenFile:
    case QueueVerb::EditFile:
    case QueueVerb::GetFile:
        return startDownload(item, session);
    case QueueVerb::PutFile:
        startUpload(item, session);
        break;
    case QueueVerb::PutFolder:
        expandPutFolder(item, session);
        break;
    case QueueVerb::StopQueue:
        session.currentItem = nullptr;
        m_model.removeItem(&item);
        if (!m_model.isPaused())
            m_model.setPaused(true);
        break;
    case QueueVerb::Unknown: {
        // An unknown verb would hold its session for ever: it leaves the queue with the message.
        const QString message = unknownQueueEntryMessage(item.command);
        session.currentItem = nullptr;
        m_model.removeItem(&item);
        m_ui.showMessage(message);
        return RunResult::RunAgain;
    }
    }
    return RunResult::Done;
}

void QueueController::startListing(QueueItem &item, tkftpclient &session, const QString &folder)
{
    session.SetLocalFileName(listingFile(session));
    if (item.verb() == QueueVerb::GetFolder || item.verb() == QueueVerb::DeleteFolder)
        session.SetHostFileName(QString());
    session.SetHostDirName(folder);
    if (folder.isEmpty()) {
        expect(item, session, QueueStep::PrintFolder);
        session.StartPwd();
    } else {
        expect(item, session, QueueStep::ChangeFolder);
        session.StartCwd();
    }
}

QueueController::RunResult QueueController::startDownload(QueueItem &item, tkftpclient &session)
{
    const QStringList f = splitCommand(item.command);
    const QString remote = f.value(1);
    const QString local = f.value(2);
    const bool exists = QFileInfo::exists(local);
    // Resume only where the prompt would offer it; a stored "resume" that does not fit (the
    // local file is as large as the remote one, or a text transfer) asks again.
    const bool ask = item.transferAction == 3 || (item.transferAction == 1 && !resumeMakesSense(session, item));
    if (exists && ask) {
        const std::uint64_t id = item.id();
        {
            PromptGuard prompt(m_promptOpen);
            item.step = QueueStep::OverwritePrompt;
            askOverwrite(item, session);
        }
        // The prompt ran an event loop: the item may be gone, or its session lost.
        if (!stillBound(id, session))
            return RunResult::Done;
    }
    // Skip drops the item only when there is a local file to keep.
    if (item.transferAction == 2 && exists) {
        session.currentItem = nullptr;
        m_model.removeItem(&item);
        return RunResult::RunAgain;
    }
    session.SetLocalFileName(local);
    session.SetHostFileName(remote);
    const QString name = item.entry ? item.entry->name : remote.mid(remote.lastIndexOf(QLatin1Char('/')) + 1);
    if (!typeIsRight(session, name)) {
        expect(item, session, QueueStep::TypeSwitch);
        toggleType(session);
        return RunResult::Done;
    }
    startRetr(session, item);
    return RunResult::Done;
}

void QueueController::startUpload(QueueItem &item, tkftpclient &session)
{
    const QStringList f = splitCommand(item.command);
    item.remoteSizeKnown = false;
    session.SetLocalFileName(f.value(1));
    QString remote = f.value(2);
    if (read(m_setup, Keys::forceRemoteLowercase) && item.entry) {
        // Only the name goes to small letters; the folder keeps its case.
        const qsizetype nameLength = item.entry->name.size();
        if (nameLength <= remote.size())
            remote = remote.left(remote.size() - nameLength) + item.entry->name.toLower();
    }
    session.SetHostFileName(remote);
    if (read(m_setup, Keys::xferAction) != 0) {
        // Many servers answer SIZE only in binary mode; an ASCII session switches first.
        if (!session.Binary()) {
            expect(item, session, QueueStep::TypeSwitch);
            session.StartTypeBinary();
            return;
        }
        expect(item, session, QueueStep::SizeQuery);
        session.StartSize();
        return;
    }
    startPut(item, session);
}

void QueueController::startPut(QueueItem &item, tkftpclient &session)
{
    if (!typeIsRight(session, item.entry ? item.entry->name : session.HostFileName())) {
        expect(item, session, QueueStep::TypeSwitch);
        toggleType(session);
        return;
    }
    item.startTime = QDateTime::currentDateTime();
    expect(item, session, QueueStep::Transfer);
    if (item.transferAction == 1 && item.remoteSizeKnown && item.remoteSize >= 0) {
        session.ResumeAt = item.remoteSize;
        session.StartRestPut();
    } else {
        session.StartPut();
    }
}

void QueueController::expandPutFolder(QueueItem &item, tkftpclient &session)
{
    const QStringList f = splitCommand(item.command);
    QString localFolder = f.value(1);
    const QString remoteFolder = f.value(2);
    emit waitTextChanged(QStringLiteral("Preparing to send folder ..."));
    queueQuietly(QStringLiteral("makefolder*") + remoteFolder + QStringLiteral("*@ignoreerror"), nullptr);
    if (!localFolder.endsWith(QLatin1Char('/')))
        localFolder += QLatin1Char('/');
    tLocalEntryList scanned;
    scanFolder(localFolder, scanned, true, QStringLiteral("*.*"));
    for (const auto &found : scanned) {
        // The scan gives full paths; the part after the folder begins with "/" for the
        // remote side.
        const QString relative = found.name.mid(localFolder.size() - 1);
        const QString target = remoteFolder + relative;
        if (found.entry.isFolder)
            queueQuietly(QStringLiteral("makefolder*") + target + QStringLiteral("*@ignoreerror"), nullptr);
        else
            queueQuietly(QStringLiteral("putfile*") + found.name + QLatin1Char('*') + target, &found.entry);
    }
    emit waitEnded();
    session.currentItem = nullptr;
    m_model.removeItem(&item);
}

void QueueController::askOverwrite(QueueItem &item, tkftpclient &session)
{
    const QStringList f = splitCommand(item.command);
    std::int64_t localSize = -1;
    std::int64_t remoteSize = -1;
    if (item.verb() == QueueVerb::PutFile) {
        localSize = localFileSize(f.value(1));
        remoteSize = item.remoteSize;
    } else {
        localSize = localFileSize(f.value(2));
        remoteSize = item.entrySize();
    }
    OverwriteQuestion question = overwriteQuestion(item, localSize, remoteSize);
    if (question.resumeEnabled && !resumeMakesSense(session, item)) {
        question.resumeEnabled = false; // a text transfer cannot continue at a byte offset
        question.defaultChoice = OverwriteChoice::Skip;
    }
    question.autoClose = read(m_setup, Keys::autoCloseXferActionPrompt);
    question.countdownStart = OverwriteQuestion::countdownFor(read(m_setup, Keys::autoCloseXferActionPromptSecs));
    const std::uint64_t id = item.id();
    const OverwriteAnswer answer = m_ui.askOverwrite(question);
    // The item may have left the queue while the prompt was open.
    QueueItem *still = m_model.itemById(id);
    if (!still)
        return;
    const int action = static_cast<int>(answer.choice);
    still->transferAction = action;
    if (answer.applyToAll)
        m_model.setTransferActionForAll(action);
}

bool QueueController::isAsciiFile(const QString &fileName) const
{
    switch (read(m_setup, Keys::transferMode)) {
    case 2:
        return true;
    case 1:
        return false;
    default:
        break;
    }
    const QString name = fileName.toLower();
    return std::any_of(m_asciiMasks.begin(), m_asciiMasks.end(),
                       [&name](const QString &mask) { return wildcardMatch(name, mask.toLower()); });
}

bool QueueController::typeIsRight(const tkftpclient &session, const QString &fileName) const
{
    return session.Binary() != isAsciiFile(fileName);
}

void QueueController::toggleType(tkftpclient &session)
{
    if (session.Binary())
        session.StartTypeAscii();
    else
        session.StartTypeBinary();
}

QString QueueController::listingFile(const tkftpclient &session) const
{
    return m_temporaryFolder + QStringLiteral("list_") + session.objectName() + QStringLiteral(".txt");
}

void QueueController::onItemRemoved(QueueItem *item)
{
    if (m_terminating)
        return;
    guarded("qrmhk", [&] {
        tkftpclient *session = item->session;
        if (!session || session->currentItem != item)
            return;
        // The session lets go of the item and its data connection ends a running transfer;
        // the engine's later completion finds no item and is ignored.
        session->currentItem = nullptr;
        session->requestToken = 0;
        session->AbortTransfer();
    });
}

void QueueController::onQueueEmptied()
{
    if (m_terminating || m_sessions.isFullyDisconnected())
        return;
    // Runs after the handler that emptied the queue has returned, never inside it.
    switch (m_model.whenXferDone()) {
    case QueueModel::WhenEmpty::Disconnect:
        QMetaObject::invokeMethod(this, &QueueController::disconnectRequested, Qt::QueuedConnection);
        break;
    case QueueModel::WhenEmpty::CloseApplication:
        QMetaObject::invokeMethod(this, &QueueController::closeRequested, Qt::QueuedConnection);
        break;
    case QueueModel::WhenEmpty::DoNothing:
        break;
    }
}
