#include "browser/widgets/SynchronizeDialog.h"

#include "base/TextUtil.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

QLabel *plainLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QString shownPath(const QString &path)
{
    return path.isEmpty() ? QStringLiteral("(the folder itself)") : path;
}

} // namespace

SynchronizeDialog::SynchronizeDialog(SyncQuestion &question, QWidget *parent) : QDialog(parent), m_question(question)
{
    setWindowTitle(QStringLiteral("Synchronize - Kestrin FTP Pro"));
    auto *layout = new QVBoxLayout(this);
    auto *folders = new QFormLayout;
    folders->addRow(QStringLiteral("Local folder:"), plainLabel(question.localFolder, this));
    folders->addRow(QStringLiteral("Remote folder:"), plainLabel(question.remoteFolder, this));
    layout->addLayout(folders);

    auto *options = new QGroupBox(QStringLiteral(" Options "), this);
    auto *form = new QFormLayout(options);
    auto *direction = new QHBoxLayout;
    m_upload = new QRadioButton(QStringLiteral("&Upload: make the server like this computer"), options);
    m_download = new QRadioButton(QStringLiteral("&Download: make this computer like the server"), options);
    m_upload->setObjectName(QStringLiteral("syncUpload"));
    m_download->setObjectName(QStringLiteral("syncDownload"));
    (question.options.direction == SyncDirection::Upload ? m_upload : m_download)->setChecked(true);
    direction->addWidget(m_upload);
    direction->addWidget(m_download);
    form->addRow(QStringLiteral("Direction:"), direction);
    m_rule = new QComboBox(options);
    m_rule->setObjectName(QStringLiteral("syncRule"));
    m_rule->addItem(QStringLiteral("Missing files only"), static_cast<int>(SyncRule::MissingOnly));
    m_rule->addItem(QStringLiteral("Missing files and files of another size"),
                    static_cast<int>(SyncRule::MissingOrSize));
    m_rule->addItem(QStringLiteral("Missing files and newer files"), static_cast<int>(SyncRule::MissingOrNewer));
    m_rule->addItem(QStringLiteral("Missing files, files of another size and newer files"),
                    static_cast<int>(SyncRule::MissingSizeOrNewer));
    m_rule->setCurrentIndex(m_rule->findData(static_cast<int>(question.options.rule)));
    form->addRow(QStringLiteral("&Transfer:"), m_rule);
    m_tolerance = new QSpinBox(options);
    m_tolerance->setRange(0, 24 * 3600);
    m_tolerance->setSuffix(QStringLiteral(" s"));
    m_tolerance->setValue(question.options.timeToleranceSecs);
    m_tolerance->setToolTip(QStringLiteral("Times closer than this count as equal; listings often show minutes only."));
    form->addRow(QStringLiteral("Time t&olerance:"), m_tolerance);
    m_offset = new QSpinBox(options);
    m_offset->setRange(-24 * 3600, 24 * 3600);
    m_offset->setSuffix(QStringLiteral(" s"));
    m_offset->setValue(static_cast<int>(question.options.serverOffsetSecs));
    m_offset->setToolTip(
        QStringLiteral("How far the server's clock runs ahead of this computer's (negative: behind)."));
    form->addRow(QStringLiteral("Server clock &ahead by:"), m_offset);
    m_delete = new QCheckBox(QStringLiteral("De&lete what the source lacks"), options);
    m_delete->setObjectName(QStringLiteral("syncDelete"));
    m_delete->setChecked(question.options.deleteExtra);
    form->addRow(QString(), m_delete);
    layout->addWidget(options);

    m_preview = new QTreeWidget(this);
    m_preview->setObjectName(QStringLiteral("syncPreview"));
    m_preview->setColumnCount(2);
    m_preview->setHeaderLabels({QStringLiteral("Plan"), QStringLiteral("Size")});
    m_preview->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_preview->setMinimumSize(520, 260);
    layout->addWidget(m_preview, 1);

    auto *unlisted = new QHBoxLayout;
    m_unlisted = plainLabel(QString(), this);
    m_unlisted->setWordWrap(true);
    m_list = new QPushButton(QStringLiteral("L&ist them"), this);
    m_list->setToolTip(QStringLiteral("Queue listings of the remote folders not listed yet; the plan follows as they "
                                      "arrive."));
    unlisted->addWidget(m_unlisted, 1);
    unlisted->addWidget(m_list);
    layout->addLayout(unlisted);

    auto *buttons = new QDialogButtonBox(this);
    m_start = buttons->addButton(QStringLiteral("&Start"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("&Cancel"), QDialogButtonBox::RejectRole);
    m_start->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    connect(m_upload, &QRadioButton::toggled, this, &SynchronizeDialog::replan);
    connect(m_rule, &QComboBox::currentIndexChanged, this, &SynchronizeDialog::replan);
    connect(m_tolerance, &QSpinBox::valueChanged, this, &SynchronizeDialog::replan);
    connect(m_offset, &QSpinBox::valueChanged, this, &SynchronizeDialog::replan);
    connect(m_delete, &QCheckBox::toggled, this, &SynchronizeDialog::replan);
    connect(m_list, &QPushButton::clicked, this, [this] {
        if (m_question.listUnlisted)
            m_question.listUnlisted();
    });
    replan();
}

SyncOptions SynchronizeDialog::options() const
{
    SyncOptions o = m_question.options;
    o.direction = m_upload->isChecked() ? SyncDirection::Upload : SyncDirection::Download;
    o.rule = static_cast<SyncRule>(m_rule->currentData().toInt());
    o.timeToleranceSecs = m_tolerance->value();
    o.serverOffsetSecs = m_offset->value();
    o.deleteExtra = m_delete->isChecked();
    return o;
}

void SynchronizeDialog::replan()
{
    const auto rule = static_cast<SyncRule>(m_rule->currentData().toInt());
    const bool newer = rule == SyncRule::MissingOrNewer || rule == SyncRule::MissingSizeOrNewer;
    m_tolerance->setEnabled(newer);
    m_offset->setEnabled(newer);
    m_plan = m_question.plan ? m_question.plan(options()) : SyncPlan();
    showPlan();
}

void SynchronizeDialog::showPlan()
{
    const bool up = m_upload->isChecked();
    m_preview->clear();
    const auto group = [this](const QString &title, std::int64_t bytes, bool withBytes) {
        auto *item = new QTreeWidgetItem(m_preview, {title, withBytes ? formatBytes(bytes) : QString()});
        item->setExpanded(true);
        return item;
    };
    struct Group {
        SyncAction action;
        QString title;
        bool bytes;
    };
    const QString where = up ? QStringLiteral("on the server") : QStringLiteral("on this computer");
    const Group groups[] = {
        {SyncAction::MakeFolder, QStringLiteral("Make folders ") + where, false},
        {SyncAction::Transfer, up ? QStringLiteral("Upload files") : QStringLiteral("Download files"), true},
        {SyncAction::DeleteFile, QStringLiteral("Delete files ") + where, true},
        {SyncAction::DeleteFolder, QStringLiteral("Delete folders ") + where, false},
    };
    for (const Group &g : groups) {
        const int n = m_plan.count(g.action);
        if (n == 0)
            continue;
        QTreeWidgetItem *parent = group(QStringLiteral("%1 (%2)").arg(g.title).arg(n), m_plan.bytes(g.action), g.bytes);
        for (const SyncStep &s : m_plan.steps) {
            if (s.action != g.action)
                continue;
            const QString text = s.replaces ? s.path + QStringLiteral("  (replaces)") : s.path;
            new QTreeWidgetItem(parent, {text, g.bytes ? formatBytes(s.entry.size) : QString()});
        }
    }
    if (!m_plan.skipped.empty()) {
        QTreeWidgetItem *parent = group(QStringLiteral("Skipped (%1)").arg(m_plan.skipped.size()), 0, false);
        for (const SyncSkip &k : m_plan.skipped)
            new QTreeWidgetItem(parent, {shownPath(k.path) + QStringLiteral(": ") + k.reason, QString()});
    }
    if (m_plan.steps.empty())
        new QTreeWidgetItem(m_preview,
                            {QStringLiteral("Nothing to do: %1 files are alike").arg(m_plan.unchanged), QString()});
    else if (m_plan.unchanged > 0)
        new QTreeWidgetItem(m_preview, {QStringLiteral("Unchanged files (%1)").arg(m_plan.unchanged), QString()});
    m_start->setEnabled(!m_plan.steps.empty());

    const QStringList unlisted = m_question.unlisted ? m_question.unlisted() : QStringList();
    m_unlisted->setText(unlisted.isEmpty()
                            ? QStringLiteral("The plan covers the whole tree: every folder on both sides is listed.")
                            : QStringLiteral("%1 remote folders are not listed yet and are left out of the plan.")
                                  .arg(unlisted.size()));
    m_list->setEnabled(!unlisted.isEmpty());
}
