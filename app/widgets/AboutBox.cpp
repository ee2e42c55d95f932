#include "app/widgets/AboutBox.h"

#include "app/widgets/AppArt.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

AboutBox::AboutBox(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("aboutBox"));
    setWindowTitle(QStringLiteral("About Kestrin FTP Pro"));
    auto *picture = new QLabel(this);
    picture->setPixmap(AppArt::emblem(72));
    auto *text = new QLabel(this);
    text->setTextFormat(Qt::RichText);
    text->setText(QStringLiteral("<h2>Kestrin FTP Pro 2.8</h2>"
                                 "<p>A desktop FTP client: your computer on one side, the FTP server on the other,<br>"
                                 "with a transfer queue, a log and a bandwidth meter.</p>"
                                 "<p>Copyright &copy; Tamberlyn. Free to use, no warranty.</p>"
                                 "<p>Built with Qt %1.</p>")
                      .arg(QString::fromLatin1(qVersion())));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto *row = new QHBoxLayout;
    row->addWidget(picture, 0, Qt::AlignTop);
    row->addWidget(text, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons);
}
