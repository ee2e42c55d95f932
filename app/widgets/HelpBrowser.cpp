#include "app/widgets/HelpBrowser.h"

#include <QFile>
#include <QFileInfo>
#include <QStyle>
#include <QTextBrowser>
#include <QToolBar>
#include <QVBoxLayout>

HelpBrowser::HelpBrowser(QWidget *parent) : QWidget(parent, Qt::Window), m_browser(new QTextBrowser(this))
{
    setObjectName(QStringLiteral("helpBrowser"));
    setWindowTitle(QStringLiteral("Kestrin FTP Pro Help"));
    resize(640, 520);
    m_browser->setObjectName(QStringLiteral("helpText"));
    m_browser->setOpenExternalLinks(true);

    auto *bar = new QToolBar(this);
    QAction *back = bar->addAction(style()->standardIcon(QStyle::SP_ArrowBack), QStringLiteral("Back"));
    QAction *forward = bar->addAction(style()->standardIcon(QStyle::SP_ArrowForward), QStringLiteral("Forward"));
    QAction *contents = bar->addAction(style()->standardIcon(QStyle::SP_DirHomeIcon), QStringLiteral("Contents"));
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    back->setEnabled(false);
    forward->setEnabled(false);
    connect(back, &QAction::triggered, m_browser, &QTextBrowser::backward);
    connect(forward, &QAction::triggered, m_browser, &QTextBrowser::forward);
    connect(m_browser, &QTextBrowser::backwardAvailable, back, &QAction::setEnabled);
    connect(m_browser, &QTextBrowser::forwardAvailable, forward, &QAction::setEnabled);
    connect(contents, &QAction::triggered, this, [this] { showTopic(QString::fromLatin1(kContents)); });

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(bar);
    layout->addWidget(m_browser, 1);
}

void HelpBrowser::setManualFolder(const QString &folder)
{
    m_folder = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    // The pages link "style.css" for ordinary browsers; the help window's text engine takes
    // style sheets only this way.
    QFile css(m_folder + QStringLiteral("style.css"));
    if (css.open(QIODevice::ReadOnly))
        m_browser->document()->setDefaultStyleSheet(QString::fromUtf8(css.readAll()));
}

void HelpBrowser::showTopic(const QString &topic)
{
    const QString path = m_folder + topic;
    if (QFileInfo(path).isFile()) {
        m_browser->setSource(QUrl::fromLocalFile(path));
    } else {
        m_browser->setHtml(QStringLiteral("<h2>Help topic not found</h2><p>The page <b>%1</b> is not in the manual "
                                          "folder <tt>%2</tt>. The help pages are installed beside the program; a "
                                          "fresh build copies them there.</p>")
                               .arg(topic.toHtmlEscaped(), m_folder.toHtmlEscaped()));
    }
    show();
    raise();
    activateWindow();
}

QString HelpBrowser::currentTopic() const
{
    return QFileInfo(m_browser->source().toLocalFile()).fileName();
}
