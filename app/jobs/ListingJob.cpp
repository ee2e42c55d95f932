#include "app/jobs/ListingJob.h"

#include "app/BrowserController.h"
#include "app/QueueController.h"
#include "settings/SettingsCatalogue.h"

#include <QSet>

#include <algorithm>

namespace {

QString listingCutText(const tSetupClass &setup, const QString &folder)
{
    return QStringLiteral("The listing of %1 was cut: it passed %2 MiB or %3 entries (\"listingMaxMiB\", "
                          "\"listingMaxEntries\")")
        .arg(folder)
        .arg(read(setup, Keys::listingMaxMiB))
        .arg(read(setup, Keys::listingMaxEntries));
}

} // namespace

void ListingJob::start()
{
    m_streamed = item().verb() == QueueVerb::List && m_queue.listingStream().receive;
    startCwd();
}

void ListingJob::listingData(const QString &text)
{
    if (m_streamed && step() == JobStep::Listing)
        m_queue.listingStream().receive(text);
    else
        m_buffer += text.toUtf8();
}

void ListingJob::startCwd()
{
    RemoteSession &s = session();
    const QString folder = item().field(1);
    if (folder.isEmpty()) {
        expect(JobStep::PrintFolder);
        s.printFolder();
    } else {
        expect(JobStep::ChangeFolder);
        s.changeFolder(folder);
    }
}

void ListingJob::requestDone(RemoteRequest request, int error)
{
    Q_UNUSED(request);
    switch (step()) {
    case JobStep::ChangeFolder:
        return cwdDone(error);
    case JobStep::PrintFolder:
        return pwdDone(error);
    case JobStep::TypeSwitch:
        if (error != 0)
            return fail(error, QStringLiteral("Unable to set transfer type"));
        return startDir();
    case JobStep::Listing:
        return dirDone(error);
    case JobStep::LinkCheck:
        return linkCheckDone(error);
    default:
        break;
    }
}

void ListingJob::cwdDone(int error)
{
    if (error != 0)
        return fail(error, QStringLiteral("Unable to change FTP folder to %1 (%2)")
                               .arg(item().field(1), session().lastReply().trimmed()));
    expect(JobStep::PrintFolder);
    session().printFolder();
}

void ListingJob::pwdDone(int error)
{
    RemoteSession &s = session();
    // A reply without a folder is no folder: relative paths must never be built from it.
    if ((error != 0 || s.folderResult().isEmpty()) && !item().has(QueueFlag::IgnoreError))
        return fail(error, QStringLiteral("Unable to get folder name"));
    m_folder = normalizeRemotePath(s.folderResult());
    if (!folderReached())
        return;
    if (s.hasTextMode() && s.binaryMode()) {
        expect(JobStep::TypeSwitch);
        s.setTextMode(true);
        return;
    }
    startDir();
}

bool ListingJob::folderReached()
{
    if (m_streamed)
        return true;
    BrowserController &browsers = m_queue.browsers();
    BrowserState &state = browsers.state();
    if (state.findCachedFolder(m_folder) && !state.isFolderStale(m_folder)) {
        browsers.setRemoteFolder(m_folder);
        browsers.refreshRemoteView();
        finish(QueueOutcome::done());
        return false;
    }
    return true;
}

void ListingJob::startDir()
{
    const bool machine = m_streamed ? m_queue.listingStream().machine : read(m_queue.setup(), Keys::useMlsd);
    // Listings made from attributes are machine lines whatever was asked.
    m_mlsd = session().attributeListings() || (machine && session().hasFeature(QStringLiteral("MLST")));
    // MLSD takes no LIST options.
    const bool hidden = !m_mlsd && read(m_queue.setup(), Keys::listHiddenFiles);
    sendListing(JobStep::Listing, m_mlsd, hidden ? QStringLiteral("-latr") : QString());
}

void ListingJob::sendListing(JobStep step, bool mlsd, const QString &arguments)
{
    // A listing starts empty: nothing of an earlier, broken one may join it.
    m_buffer.clear();
    ListingRequest request;
    request.machine = mlsd;
    request.options = arguments;
    request.maxBytes = read(m_queue.setup(), Keys::listingMaxMiB) * 1024 * 1024;
    request.maxEntries = read(m_queue.setup(), Keys::listingMaxEntries);
    prepareDataConnection();
    expect(step);
    session().listFolder(request);
}

namespace {

QStringList listingLines(const QString &text)
{
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast(); // the line end of the last line
    for (QString &line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    }
    return lines;
}

bool isEnterableFolder(const tTmbFtpEntry &e)
{
    return e.status == ListingStatus::Ok && e.isFolder && !e.isLink && e.name != QLatin1String(".") &&
           e.name != QLatin1String("..");
}

} // namespace

void ListingJob::dirDone(int error)
{
    // A listing cut by an error reply is not the folder's content: nothing is stored or
    // expanded from it.
    if (error != 0) {
        m_buffer.clear();
        if (session().listingCut())
            return fail(error, listingCutText(m_queue.setup(), m_folder));
        return fail(error, QStringLiteral("Unable to list folder \r\r") + item().field(1));
    }
    if (m_streamed)
        return finish(QueueOutcome::done()); // every line went to the stream
    RemoteSession &s = session();
    s.lastListing = QString::fromUtf8(std::exchange(m_buffer, QByteArray()));
    std::vector<tTmbFtpEntry> parsed;
    if (!m_mlsd) {
        parseListing(listingLines(s.lastListing), parsed);
        return store(std::move(parsed));
    }
    parseMlsdListing(listingLines(s.lastListing), parsed);
    if (s.attributeListings() || !needsLinkCheck(parsed))
        return store(std::move(parsed));
    m_machineEntries = std::move(parsed);
    sendListing(JobStep::LinkCheck, false, QStringLiteral("-a"));
}

bool ListingJob::needsLinkCheck(const std::vector<tTmbFtpEntry> &entries) const
{
    return std::any_of(entries.begin(), entries.end(), isEnterableFolder);
}

void ListingJob::linkCheckDone(int error)
{
    std::vector<tTmbFtpEntry> entries = std::exchange(m_machineEntries, {});
    QSet<QString> plainFolders, links;
    if (error == 0) {
        std::vector<tTmbFtpEntry> shown;
        parseListing(listingLines(QString::fromUtf8(m_buffer)), shown);
        for (const tTmbFtpEntry &e : shown) {
            if (isEnterableFolder(e))
                plainFolders.insert(e.name);
            else if (e.status == ListingStatus::Ok && e.isLink)
                links.insert(e.name);
        }
    }
    m_buffer.clear();
    QStringList kept;
    for (tTmbFtpEntry &e : entries) {
        if (e.status == ListingStatus::Ok && links.contains(e.name)) {
            e.isLink = true; // a link to a file, which the machine listing showed as the file
        } else if (isEnterableFolder(e) && !plainFolders.contains(e.name)) {
            e.isLink = true;
            kept << e.name;
        }
    }
    if (!kept.isEmpty())
        m_queue.writeLog(QString(QChar(0xA4)) +
                         QStringLiteral("Not shown as plain folders by LIST, so kept as links in %1: %2")
                             .arg(m_folder, kept.join(QStringLiteral(", "))));
    store(std::move(entries));
}

void ListingJob::store(std::vector<tTmbFtpEntry> entries)
{
    m_queue.browsers().state().storeListing(m_folder, entries, session().remoteHost());
    listed(entries);
}

void ListingJob::listed(const std::vector<tTmbFtpEntry> &entries)
{
    Q_UNUSED(entries);
    BrowserController &browsers = m_queue.browsers();
    browsers.setRemoteFolder(m_folder);
    browsers.refreshRemoteView();
    finish(QueueOutcome::done());
}
