// TFtpClient: the single-command Start operations, composite requests and their scheduler.
#include "ftp/FtpCli.h"

namespace {

size_t bit(TFtpStep step)
{
    return static_cast<size_t>(step);
}

} // namespace

// --- single commands -------------------------------------------------------------------------
// Each Begin... starts its command and says whether it did; the public Start... turns a
// refusal into a usage error, a composite request into the failure of the request.

bool TFtpClient::BeginUser(QString &why)
{
    if (m_userName.isEmpty()) {
        why = QStringLiteral("UserName emtpy");
        return false;
    }
    if (RefuseClearCredentials(why))
        return false;
    m_lastStep = TFtpStep::User;
    QString line = QStringLiteral("USER ") + m_userName;
    if (m_connectionType == TFtpConnectionType::ftpProxy) {
        // The proxy learns the target from the user name: user@host, plus :port when it
        // is not the standard one.
        line += QLatin1Char('@') + m_hostName;
        if (m_port.compare(QLatin1String("ftp"), Qt::CaseInsensitive) != 0 && m_port != QLatin1String("21"))
            line += QLatin1Char(':') + m_port;
    }
    return ExecAsync(TFtpRequest::rqUser, line, {331, 230}, why);
}

bool TFtpClient::BeginPass(QString &why)
{
    if (m_passWord.isEmpty()) {
        why = QStringLiteral("Password emtpy");
        return false;
    }
    if (RefuseClearCredentials(why))
        return false;
    m_lastStep = TFtpStep::Pass;
    return ExecAsync(TFtpRequest::rqPass, QStringLiteral("PASS ") + m_passWord, {230}, why);
}

bool TFtpClient::BeginCwd(QString &why)
{
    if (m_hostDirName.isEmpty()) {
        why = QStringLiteral("HostDirName emtpy");
        return false;
    }
    m_lastStep = TFtpStep::Cwd;
    return ExecAsync(TFtpRequest::rqCwd, QStringLiteral("CWD ") + m_hostDirName, {200, 250, 257}, why,
                     &TFtpClient::DirReply);
}

bool TFtpClient::BeginSyst(QString &why)
{
    m_lastStep = TFtpStep::Syst;
    return ExecAsync(TFtpRequest::rqSyst, QStringLiteral("SYST"), {215}, why);
}

bool TFtpClient::BeginQuit(QString &why)
{
    m_localFile.close();
    m_lastStep = TFtpStep::Quit;
    return ExecAsync(TFtpRequest::rqQuit, QStringLiteral("QUIT"), {221}, why, &TFtpClient::QuitReply);
}

bool TFtpClient::BeginAbor(QString &why)
{
    m_lastStep = TFtpStep::Abor;
    return ExecAsync(TFtpRequest::rqAbor, QStringLiteral("ABOR"), {}, why);
}

bool TFtpClient::BeginSize(QString &why)
{
    m_sizeResult = 0;
    m_sizeName.clear();
    m_lastStep = TFtpStep::Size;
    return ExecAsync(TFtpRequest::rqSize, QStringLiteral("SIZE ") + m_hostFileName, {213}, why, &TFtpClient::SizeReply);
}

bool TFtpClient::BeginMkd(QString &why)
{
    m_lastStep = TFtpStep::Mkd;
    return ExecAsync(TFtpRequest::rqMkd, QStringLiteral("MKD ") + m_hostFileName, {250, 257}, why,
                     &TFtpClient::DirReply);
}

bool TFtpClient::BeginRmd(QString &why)
{
    m_lastStep = TFtpStep::Rmd;
    return ExecAsync(TFtpRequest::rqRmd, QStringLiteral("RMD ") + m_hostFileName, {250, 257}, why);
}

bool TFtpClient::BeginDele(QString &why)
{
    m_lastStep = TFtpStep::Dele;
    return ExecAsync(TFtpRequest::rqDele, QStringLiteral("DELE ") + m_hostFileName, {250, 257}, why);
}

bool TFtpClient::BeginRnto(QString &why)
{
    m_lastStep = TFtpStep::Rnto;
    return ExecAsync(TFtpRequest::rqRnto, QStringLiteral("RNTO ") + m_localFileName, {200, 250, 257}, why);
}

bool TFtpClient::BeginRnfr(QString &why)
{
    m_lastStep = TFtpStep::Rnfr;
    return ExecAsync(TFtpRequest::rqRnfr, QStringLiteral("RNFR ") + m_hostFileName, {350}, why);
}

bool TFtpClient::BeginPwd(QString &why)
{
    m_lastStep = TFtpStep::Pwd;
    return ExecAsync(TFtpRequest::rqPwd, QStringLiteral("PWD"), {250, 257}, why, &TFtpClient::PwdReply);
}

bool TFtpClient::BeginQuote(QString &why)
{
    m_lastStep = TFtpStep::Quote;
    return ExecAsync(TFtpRequest::rqQuote, m_localFileName, {}, why);
}

bool TFtpClient::BeginCdup(QString &why)
{
    m_lastStep = TFtpStep::Cdup;
    return ExecAsync(TFtpRequest::rqCdup, QStringLiteral("CDUP"), {250}, why, &TFtpClient::DirReply);
}

// The facts MLST offers (FEAT's "MLST type*;size*;modify*;unix.mode;"; a "*" marks those
// sent now): when one the listing reads is offered but not sent, the facts to ask for with
// OPTS MLST — those sent now plus the missing ones — else empty. Without "unix.mode" a
// machine listing carries no permissions.
QString TFtpClient::MlstFactsToAsk() const
{
    static const QStringList wanted = {QStringLiteral("type"), QStringLiteral("size"), QStringLiteral("modify"),
                                       QStringLiteral("unix.mode")};
    QStringList ask;
    bool missing = false;
    for (const QString &offered : m_mlstFacts.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const bool sent = offered.endsWith(QLatin1Char('*'));
        const QString name = sent ? offered.chopped(1) : offered;
        const bool want = wanted.contains(name, Qt::CaseInsensitive);
        if (sent || want)
            ask << name;
        missing = missing || (want && !sent);
    }
    return missing ? ask.join(QLatin1Char(';')) + QLatin1Char(';') : QString();
}

bool TFtpClient::BeginTypeSet(QString &why)
{
    m_lastStep = TFtpStep::TypeSet;
    return ExecAsync(TFtpRequest::rqTypeSet, QStringLiteral("TYPE ") + m_typeLetter, {200}, why);
}

bool TFtpClient::BeginFeat(QString &why)
{
    m_lastStep = TFtpStep::Feat;
    m_serverOffersUtf8 = false;
    m_features.clear();
    m_mlstFacts.clear();
    return ExecAsync(TFtpRequest::rqQuote, QStringLiteral("FEAT"), {}, why, &TFtpClient::FeatReply);
}

bool TFtpClient::BeginOptsMlst(QString &why)
{
    m_lastStep = TFtpStep::OptsMlst;
    return ExecAsync(TFtpRequest::rqQuote, QStringLiteral("OPTS MLST ") + MlstFactsToAsk(), {}, why,
                     &TFtpClient::FeatReply);
}

bool TFtpClient::BeginOptsUtf8(QString &why)
{
    m_lastStep = TFtpStep::OptsUtf8;
    return ExecAsync(TFtpRequest::rqQuote, QStringLiteral("OPTS UTF8 ON"), {}, why, &TFtpClient::FeatReply);
}

void TFtpClient::StartUser()
{
    Run(&TFtpClient::BeginUser);
}

void TFtpClient::StartPass()
{
    Run(&TFtpClient::BeginPass);
}

void TFtpClient::StartCwd()
{
    Run(&TFtpClient::BeginCwd);
}

void TFtpClient::StartSyst()
{
    Run(&TFtpClient::BeginSyst);
}

void TFtpClient::StartQuit()
{
    Run(&TFtpClient::BeginQuit);
}

void TFtpClient::StartAbor()
{
    Run(&TFtpClient::BeginAbor);
}

void TFtpClient::StartSize()
{
    Run(&TFtpClient::BeginSize);
}

void TFtpClient::StartMkd()
{
    Run(&TFtpClient::BeginMkd);
}

void TFtpClient::StartRmd()
{
    Run(&TFtpClient::BeginRmd);
}

void TFtpClient::StartDele()
{
    Run(&TFtpClient::BeginDele);
}

void TFtpClient::StartRnto()
{
    Run(&TFtpClient::BeginRnto);
}

void TFtpClient::StartRnfr()
{
    Run(&TFtpClient::BeginRnfr);
}

void TFtpClient::StartPwd()
{
    Run(&TFtpClient::BeginPwd);
}

void TFtpClient::StartQuote()
{
    Run(&TFtpClient::BeginQuote);
}

void TFtpClient::StartCdup()
{
    Run(&TFtpClient::BeginCdup);
}

void TFtpClient::StartTypeSet()
{
    Run(&TFtpClient::BeginTypeSet);
}

void TFtpClient::StartTypeBinary()
{
    SetBinary(true);
    StartTypeSet();
}

void TFtpClient::StartTypeAscii()
{
    SetBinary(false);
    StartTypeSet();
}

// --- composite requests ----------------------------------------------------------------------

void TFtpClient::StartConnect()
{
    StartComposite(TFtpRequest::rqConnect, {TFtpStep::Open, TFtpStep::User, TFtpStep::Pass});
}

void TFtpClient::StartSystemSession()
{
    StartComposite(TFtpRequest::rqSystemSession,
                   {TFtpStep::Open, TFtpStep::User, TFtpStep::Pass, TFtpStep::Syst, TFtpStep::Quit});
}

void TFtpClient::StartSizeSession()
{
    StartComposite(TFtpRequest::rqSize,
                   {TFtpStep::Open, TFtpStep::User, TFtpStep::Pass, TFtpStep::Cwd, TFtpStep::Size, TFtpStep::Quit});
}

void TFtpClient::StartMkdSession()
{
    StartComposite(TFtpRequest::rqMkdSession,
                   {TFtpStep::Open, TFtpStep::User, TFtpStep::Pass, TFtpStep::Cwd, TFtpStep::Mkd, TFtpStep::Quit});
}

void TFtpClient::StartRmdSession()
{
    StartComposite(TFtpRequest::rqRmdSession,
                   {TFtpStep::Open, TFtpStep::User, TFtpStep::Pass, TFtpStep::Cwd, TFtpStep::Rmd, TFtpStep::Quit});
}

void TFtpClient::StartDeleteSession()
{
    StartComposite(TFtpRequest::rqDeleteSession,
                   {TFtpStep::Open, TFtpStep::User, TFtpStep::Pass, TFtpStep::Cwd, TFtpStep::Dele, TFtpStep::Quit});
}

void TFtpClient::StartRename()
{
    StartComposite(TFtpRequest::rqRename, {TFtpStep::Rnfr, TFtpStep::Rnto});
}

void TFtpClient::StartRenameSession()
{
    StartComposite(TFtpRequest::rqRenameSession, {TFtpStep::Open, TFtpStep::User, TFtpStep::Pass, TFtpStep::Cwd,
                                                  TFtpStep::Rnfr, TFtpStep::Rnto, TFtpStep::Quit});
}

void TFtpClient::StartQuoteSession()
{
    StartComposite(TFtpRequest::rqQuoteSession,
                   {TFtpStep::Open, TFtpStep::User, TFtpStep::Pass, TFtpStep::Cwd, TFtpStep::Quote, TFtpStep::Quit});
}

void TFtpClient::StartComposite(TFtpRequest rq, std::initializer_list<TFtpStep> steps)
{
    QString why;
    if (!BeginComposite(rq, steps, why))
        HandleError(why);
}

bool TFtpClient::BeginComposite(TFtpRequest rq, std::initializer_list<TFtpStep> steps, QString &why)
{
    std::bitset<static_cast<size_t>(TFtpStep::None)> set;
    for (TFtpStep s : steps)
        set.set(bit(s));
    if (set.test(bit(TFtpStep::Open)) && m_connected) {
        why = QStringLiteral("FTP component already connected");
        return false;
    }
    if (!Ready(why))
        return false;
    // Every operand the steps will send is checked before the first command goes out.
    if (!NoLineBreaks({&m_userName, &m_passWord, &m_hostDirName, &m_hostFileName}, why))
        return false;
    if ((set.test(bit(TFtpStep::Quote)) || set.test(bit(TFtpStep::Rnto))) && !NoLineBreaks({&m_localFileName}, why))
        return false;
    if (m_negotiateUtf8 && set.test(bit(TFtpStep::User)))
        set.set(bit(TFtpStep::Feat));
    m_savedResponse = m_lastResponse;
    m_savedCode = -1;
    m_requestType = rq;
    m_requestResult = 0;
    m_steps = set;
    m_lastStep = TFtpStep::None;
    m_compositeResult = 0;
    m_composite = true;
    m_lastResponse.clear();
    m_errorMessage.clear();
    NextStep();
    return true;
}

void TFtpClient::NextStep()
{
    if (m_state == TFtpEngineState::stAbort) {
        m_steps.reset();
        m_compositeResult = 426;
        m_errorMessage = QStringLiteral("426 Operation aborted.");
    }
    for (size_t i = 0; i < m_steps.size(); ++i) {
        if (!m_steps.test(i))
            continue;
        m_steps.reset(i);
        const auto step = static_cast<TFtpStep>(i);
        // A 230 to USER means no password is wanted.
        if (step == TFtpStep::Pass && m_lastStep == TFtpStep::User && m_statusCode != 331)
            continue;
        if (step == TFtpStep::Cwd && m_hostDirName.isEmpty())
            continue;
        // A download resumes only where the server agreed to restart.
        if (step == TFtpStep::Get && !(m_lastStep == TFtpStep::Rest && m_statusCode == 350))
            ResumeAt = 0;
        // The caller reads the login's (or the last step's) reply, not QUIT's or FEAT's.
        if (step == TFtpStep::Quit || step == TFtpStep::Feat) {
            m_savedResponse = m_lastResponse;
            m_savedCode = m_statusCode;
        }
        m_lastStep = step;
        RunStep(step);
        return;
    }
    m_steps.reset();
    m_composite = false;
    m_requestDone = false;
    TriggerRequestDone(m_compositeResult);
}

// Starts one step. A step that cannot start (a usage error such as an empty user name met
// halfway) ends the whole request with 500 and the error text, so it never hangs.
void TFtpClient::RunStep(TFtpStep step)
{
    static const std::pair<TFtpStep, Starter> starts[] = {
        {TFtpStep::Open, &TFtpClient::BeginOpen},         {TFtpStep::User, &TFtpClient::BeginUser},
        {TFtpStep::Pass, &TFtpClient::BeginPass},         {TFtpStep::Feat, &TFtpClient::BeginFeat},
        {TFtpStep::OptsUtf8, &TFtpClient::BeginOptsUtf8}, {TFtpStep::OptsMlst, &TFtpClient::BeginOptsMlst},
        {TFtpStep::Cwd, &TFtpClient::BeginCwd},           {TFtpStep::Cdup, &TFtpClient::BeginCdup},
        {TFtpStep::TypeSet, &TFtpClient::BeginTypeSet},   {TFtpStep::Rest, &TFtpClient::BeginRest},
        {TFtpStep::Syst, &TFtpClient::BeginSyst},         {TFtpStep::Mkd, &TFtpClient::BeginMkd},
        {TFtpStep::Rmd, &TFtpClient::BeginRmd},           {TFtpStep::Rnfr, &TFtpClient::BeginRnfr},
        {TFtpStep::Rnto, &TFtpClient::BeginRnto},         {TFtpStep::Size, &TFtpClient::BeginSize},
        {TFtpStep::Dele, &TFtpClient::BeginDele},         {TFtpStep::Pwd, &TFtpClient::BeginPwd},
        {TFtpStep::Abor, &TFtpClient::BeginAbor},         {TFtpStep::Quote, &TFtpClient::BeginQuote},
        {TFtpStep::Quit, &TFtpClient::BeginQuit},         {TFtpStep::Port, &TFtpClient::BeginPort},
        {TFtpStep::Get, &TFtpClient::BeginRetr},          {TFtpStep::Put, &TFtpClient::BeginStor},
        {TFtpStep::Append, &TFtpClient::BeginAppe},       {TFtpStep::Dir, &TFtpClient::BeginList},
        {TFtpStep::Ls, &TFtpClient::BeginNlst},           {TFtpStep::Mlsd, &TFtpClient::BeginMlsd},
    };
    QString why = QStringLiteral("step not available");
    bool started = false;
    try {
        for (const auto &[s, start] : starts) {
            if (s == step) {
                started = (this->*start)(why);
                break;
            }
        }
    } catch (const std::exception &e) {
        // The socket layer refuses by exception (a listener that cannot listen, say).
        why = QString::fromLocal8Bit(e.what());
        started = false;
    }
    if (!started)
        FailStep(why);
}

void TFtpClient::FailStep(const QString &why)
{
    if (OnUsageError) {
        QString msg = why;
        OnUsageError(this, msg);
    }
    TriggerDisplay(QStringLiteral("! ") + why);
    m_requestResult = 500;
    m_errorMessage = QStringLiteral("500 ") + why;
    m_composite = false;
    m_steps.reset();
    m_requestDone = false;
    TriggerRequestDone(500);
}
