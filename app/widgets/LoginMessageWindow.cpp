#include "app/widgets/LoginMessageWindow.h"

#include "settings/SettingsCatalogue.h"
#include "status/DisplayFeed.h"
#include "status/LogModel.h"
#include "status/widgets/LogView.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

LoginMessageWindow::LoginMessageWindow(tSetupClass &setup, QWidget *parent)
    : QDialog(parent), m_setup(setup), m_lines(new LogModel(this))
{
    setObjectName(QStringLiteral("loginMessageWindow"));
    setWindowTitle(QStringLiteral("Login Message - Kestrin FTP Pro"));
    setModal(false);
    auto *layout = new QVBoxLayout(this);
    m_view = new LogView(this);
    m_view->setObjectName(QStringLiteral("loginMessages"));
    m_view->setLogModel(m_lines);
    m_view->setFollowNewLines(false);
    layout->addWidget(m_view, 1);
    auto *row = new QHBoxLayout;
    m_always = new QCheckBox(QStringLiteral("Always show message at login"), this);
    m_always->setObjectName(QStringLiteral("alwaysShowLoginMessage"));
    auto *ok = new QPushButton(QStringLiteral("&OK"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    row->addWidget(m_always, 1);
    row->addWidget(ok);
    layout->addLayout(row);
    resize(560, 300);
}

LoginMessageWindow::~LoginMessageWindow() = default;

void LoginMessageWindow::showLines(const QStringList &displayLines)
{
    m_lines->clear();
    // Each line goes through the log writer, so its marker colours it as in the log.
    for (const QString &line : displayLines) {
        const QString entry = DisplayFeed::logLine(line);
        if (!entry.isEmpty())
            m_lines->writeLog(entry);
    }
    m_always->setChecked(read(m_setup, Keys::showLoginMsg));
}

QStringList LoginMessageWindow::shownLines() const
{
    return m_lines->lines();
}

void LoginMessageWindow::done(int result)
{
    write(m_setup, Keys::showLoginMsg, m_always->isChecked());
    QDialog::done(result);
}
