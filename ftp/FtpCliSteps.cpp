// TFtpClient: the single-command Start operations, composite requests and their scheduler.
#include "ftp/FtpCli.h"

namespace {

size_t bit(TFtpStep step)
{
    return static_cast<size_t>(step);
}

} // namespace

// --- single commands -------------------------------------------------------------------------

void TFtpClient::StartUser()
{
    if (m_userName.isEmpty())
        return HandleError(QStringLiteral("UserName emtpy"));
    m_lastStep = TFtpStep::User;
    QString line = QStringLiteral("USER ") + m_userName;
    if (m_connectionType == TFtpConnectionType::ftpProxy) {
        // The proxy learns the target from the user name: user@host, plus :port when it
        // is not the standard one.
        line += QLatin1Char('@') + m_hostName;
        if (m_port.compare(QLatin1String("ftp"), Qt::CaseInsensitive) != 0 && m_port != QLatin1String("21"))
            line += QLatin1Char(':') + m_port;
    }
    ExecAsync(TFtpRequest::rqUser, line, {331, 230});
}

void TFtpClient::StartPass()
{
    if (m_passWord.isEmpty())
        return HandleError(QStringLiteral("Password emtpy"));
    m_lastStep = TFtpStep::Pass;
    ExecAsync(TFtpRequest::rqPass, QStringLiteral("PASS ") + m_passWord, {230});
}

void TFtpClient::StartCwd()
{
    if (m_hostDirName.isEmpty())
        return HandleError(QStringLiteral("HostDirName emtpy"));
    m_lastStep = TFtpStep::Cwd;
    ExecAsync(TFtpRequest::rqCwd, QStringLiteral("CWD ") + m_hostDirName, {200, 250, 257});
}

void TFtpClient::StartSyst()
{
    m_lastStep = TFtpStep::Syst;
    ExecAsync(TFtpRequest::rqSyst, QStringLiteral("SYST"), {215});
}

void TFtpClient::StartQuit()
{
    m_localFile.close();
    m_lastStep = TFtpStep::Quit;
    ExecAsync(TFtpRequest::rqQuit, QStringLiteral("QUIT"), {221}, &TFtpClient::QuitDone);
}

void TFtpClient::StartAbor()
{
    m_lastStep = TFtpStep::Abor;
    ExecAsync(TFtpRequest::rqAbor, QStringLiteral("ABOR"), {});
}

void TFtpClient::StartSize()
{
    m_sizeResult = 0;
    m_lastStep = TFtpStep::Size;
    ExecAsync(TFtpRequest::rqSize, QStringLiteral("SIZE ") + m_hostFileName, {213});
}

void TFtpClient::StartMkd()
{
    m_lastStep = TFtpStep::Mkd;
    ExecAsync(TFtpRequest::rqMkd, QStringLiteral("MKD ") + m_hostFileName, {250, 257});
}

void TFtpClient::StartRmd()
{
    m_lastStep = TFtpStep::Rmd;
    ExecAsync(TFtpRequest::rqRmd, QStringLiteral("RMD ") + m_hostFileName, {250, 257});
}

void TFtpClient::StartDele()
{
    m_lastStep = TFtpStep::Dele;
    ExecAsync(TFtpRequest::rqDele, QStringLiteral("DELE ") + m_hostFileName, {250, 257});
}

void TFtpClient::StartRnto()
{
    m_lastStep = TFtpStep::Rnto;
    ExecAsync(TFtpRequest::rqRnto, QStringLiteral("RNTO ") + m_localFileName, {200, 250, 257});
}

void TFtpClient::StartRnfr()
{
    m_lastStep = TFtpStep::Rnfr;
    ExecAsync(TFtpRequest::rqRnfr, QStringLiteral("RNFR ") + m_hostFileName, {350});
}

void TFtpClient::StartPwd()
{
    m_lastStep = TFtpStep::Pwd;
    ExecAsync(TFtpRequest::rqPwd, QStringLiteral("PWD"), {250, 257});
}

void TFtpClient::StartQuote()
{
    m_lastStep = TFtpStep::Quote;
    ExecAsync(TFtpRequest::rqQuote, m_localFileName, {});
}

void TFtpClient::StartCdup()
{
    m_lastStep = TFtpStep::Cdup;
    ExecAsync(TFtpRequest::rqCdup, QStringLiteral("CDUP"), {250});
}

void TFtpClient::StartTypeSet()
{
    m_lastStep = TFtpStep::TypeSet;
    ExecAsync(TFtpRequest::rqTypeSet, QStringLiteral("TYPE ") + m_typeLetter, {200});
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
    std::bitset<static_cast<size_t>(TFtpStep::None)> set;
    for (TFtpStep s : steps)
        set.set(bit(s));
    if (set.test(bit(TFtpStep::Open)) && m_connected)
        return HandleError(QStringLiteral("FTP component already connected"));
    if (!CheckReady())
        return;
    // Every operand the steps will send is checked before the first command goes out.
    if (!RefuseLineBreaks({&m_userName, &m_passWord, &m_hostDirName, &m_hostFileName}))
        return;
    if ((set.test(bit(TFtpStep::Quote)) || set.test(bit(TFtpStep::Rnto))) && !RefuseLineBreaks({&m_localFileName}))
        return;
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
        if (step == TFtpStep::Quit) {
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
    static const std::pair<TFtpStep, void (TFtpClient::*)()> starts[] = {
        {TFtpStep::Open, &TFtpClient::StartOpen},   {TFtpStep::User, &TFtpClient::StartUser},
        {TFtpStep::Pass, &TFtpClient::StartPass},   {TFtpStep::Cwd, &TFtpClient::StartCwd},
        {TFtpStep::Cdup, &TFtpClient::StartCdup},   {TFtpStep::TypeSet, &TFtpClient::StartTypeSet},
        {TFtpStep::Rest, &TFtpClient::StartRest},   {TFtpStep::Syst, &TFtpClient::StartSyst},
        {TFtpStep::Mkd, &TFtpClient::StartMkd},     {TFtpStep::Rmd, &TFtpClient::StartRmd},
        {TFtpStep::Rnfr, &TFtpClient::StartRnfr},   {TFtpStep::Rnto, &TFtpClient::StartRnto},
        {TFtpStep::Size, &TFtpClient::StartSize},   {TFtpStep::Dele, &TFtpClient::StartDele},
        {TFtpStep::Pwd, &TFtpClient::StartPwd},     {TFtpStep::Abor, &TFtpClient::StartAbor},
        {TFtpStep::Quote, &TFtpClient::StartQuote}, {TFtpStep::Quit, &TFtpClient::StartQuit},
        {TFtpStep::Port, &TFtpClient::StartPort},   {TFtpStep::Get, &TFtpClient::StartRetr},
        {TFtpStep::Put, &TFtpClient::StartStor},    {TFtpStep::Append, &TFtpClient::StartAppe},
        {TFtpStep::Dir, &TFtpClient::StartList},    {TFtpStep::Ls, &TFtpClient::StartNlst},
    };
    QString failure = QStringLiteral("step not available");
    bool started = false;
    auto saved = std::move(OnUsageError);
    OnUsageError = [&](TFtpClient *, QString &msg) { failure = msg; };
    try {
        for (const auto &[s, start] : starts) {
            if (s == step) {
                const uint64_t before = m_stepStarts;
                (this->*start)();
                started = m_stepStarts != before;
                break;
            }
        }
    } catch (const std::exception &e) {
        failure = QString::fromLocal8Bit(e.what());
    }
    OnUsageError = std::move(saved);
    if (started)
        return;
    if (OnUsageError) {
        QString msg = failure;
        OnUsageError(this, msg);
    }
    TriggerDisplay(QStringLiteral("! ") + failure);
    m_requestResult = 500;
    m_errorMessage = QStringLiteral("500 ") + failure;
    m_composite = false;
    m_steps.reset();
    m_requestDone = false;
    TriggerRequestDone(500);
}
