#include "browser/widgets/CompareFoldersDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

CompareFoldersDialog::CompareFoldersDialog(const QString &lFolder, const QString &rFolder, bool ignoreSize,
                                           QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Compare Folders - Kestrin FTP"));
    auto *layout = new QVBoxLayout(this);
    auto *title = new QLabel(QStringLiteral("<b>Compare Folders</b><br> Keep your folders synchronized ..."), this);
    title->setAutoFillBackground(true);
    title->setBackgroundRole(QPalette::Highlight);
    title->setForegroundRole(QPalette::HighlightedText);
    layout->addWidget(title);
    for (const auto &[caption, folder] :
         {std::pair{QStringLiteral("Local Folder"), lFolder}, std::pair{QStringLiteral("Remote Folder"), rFolder}}) {
        layout->addWidget(new QLabel(caption, this));
        auto *path = new QLabel(folder, this);
        path->setTextFormat(Qt::PlainText);
        path->setIndent(12);
        layout->addWidget(path);
    }
    auto *options = new QGroupBox(QStringLiteral(" Options "), this);
    auto *v = new QVBoxLayout(options);
    m_ignoreSize = new QCheckBox(QStringLiteral("I&gnore File Size"), options);
    m_ignoreSize->setChecked(ignoreSize);
    v->addWidget(m_ignoreSize);
    layout->addWidget(options);
    auto *buttons = new QDialogButtonBox(this);
    QPushButton *ok = buttons->addButton(QStringLiteral("&OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("&Cancel"), QDialogButtonBox::RejectRole);
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    setFixedSize(sizeHint());
}

bool CompareFoldersDialog::ignoreSize() const
{
    return m_ignoreSize->isChecked();
}
