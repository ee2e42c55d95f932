#include "app/widgets/FeedbackWindow.h"

#include "base/Version.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

FeedbackWindow::FeedbackWindow(bool neverShow, QWidget *parent)
    : QDialog(parent), m_neverShow(new QCheckBox(QStringLiteral("Never display this dialog"), this))
{
    setObjectName(QStringLiteral("feedbackWindow"));
    setWindowTitle(QStringLiteral("Give Feedback - Kestrin FTP Pro"));
    auto *text =
        new QLabel(QStringLiteral("<b>How is Kestrin FTP Pro working for you?</b><p>Tell us what you like, what "
                                  "gets in your way and which server did something unexpected. Every message "
                                  "is read.</p>"),
                   this);
    text->setWordWrap(true);
    m_neverShow->setObjectName(QStringLiteral("neverShow"));
    m_neverShow->setChecked(neverShow);

    auto *buttons = new QDialogButtonBox(this);
    QPushButton *write = buttons->addButton(QStringLiteral("Write to us ..."), QDialogButtonBox::ActionRole);
    buttons->addButton(QDialogButtonBox::Close);
    connect(write, &QPushButton::clicked, this, [this] {
        emit writeRequested(QUrl(QStringLiteral("mailto:") + QLatin1String(kFeedbackAddress) +
                                 QStringLiteral("?subject=Feedback%20on%20Kestrin%20FTP%20Pro%20") +
                                 QLatin1String(Version::kVersionText)));
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addWidget(m_neverShow);
    layout->addWidget(buttons);
    setMinimumWidth(380);
}

bool FeedbackWindow::neverShow() const
{
    return m_neverShow->isChecked();
}
