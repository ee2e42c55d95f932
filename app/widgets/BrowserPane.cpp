#include "app/widgets/BrowserPane.h"

#include "app/widgets/LogoWidget.h"
#include "ui/CaptionBar.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QStackedLayout>
#include <QStyle>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace {
QToolButton *navButton(const QString &name, QStyle::StandardPixmap icon, const QString &hint, QWidget *parent)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(name);
    button->setIcon(parent->style()->standardIcon(icon));
    button->setToolTip(hint);
    button->setAutoRaise(true);
    button->setFixedSize(24, 24);
    return button;
}
} // namespace

BrowserPane::BrowserPane(Side side, QTreeView *list, QWidget *parent) : QWidget(parent), m_side(side), m_list(list)
{
    const bool local = side == Side::Local;
    const QString p = local ? QStringLiteral("l") : QStringLiteral("r");
    setObjectName(p + QStringLiteral("Panel"));
    setMinimumSize(12, 12);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(buildNavPanel(p));
    m_caption = new CaptionBar(local ? QStringLiteral("my computer") : QStringLiteral("ftp server  -  not connected"),
                               QStringLiteral("kestrin ftp pro"), this);
    m_caption->setObjectName(local ? QStringLiteral("shape1") : QStringLiteral("shape2"));
    layout->addWidget(m_caption);

    if (local) {
        layout->addWidget(m_list, 1);
    } else {
        auto *holder = new QWidget(this);
        m_stack = new QStackedLayout(holder);
        m_stack->addWidget(m_list);
        m_logo = new LogoWidget(holder);
        m_stack->addWidget(m_logo);
        m_stale = new QLabel(holder);
        m_stale->setObjectName(p + QStringLiteral("StaleListing"));
        m_stale->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        m_stale->setToolTip(QStringLiteral("The connection was lost: this is the last listing, shown until the "
                                           "connection is made again"));
        m_stack->addWidget(m_stale);
        layout->addWidget(holder, 1);
    }
    layout->addWidget(buildFilterPanel(p));
}

QWidget *BrowserPane::buildNavPanel(const QString &p)
{
    auto *panel = new QWidget(this);
    panel->setObjectName(p + QStringLiteral("NavPanel"));
    panel->setFixedHeight(26);
    auto *row = new QHBoxLayout(panel);
    row->setContentsMargins(1, 1, 1, 1);
    row->setSpacing(1);
    m_goUp =
        navButton(p + QStringLiteral("GoUp"), QStyle::SP_FileDialogToParent, QStringLiteral("Go up one folder"), panel);
    m_browse =
        navButton(p + QStringLiteral("Browse"), QStyle::SP_DirOpenIcon, QStringLiteral("Browse for a folder"), panel);
    m_combo = new QComboBox(panel);
    m_combo->setObjectName(p + QStringLiteral("Combo"));
    m_combo->setEditable(true);
    m_combo->setInsertPolicy(QComboBox::NoInsert);
    m_combo->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    row->addWidget(m_goUp);
    row->addWidget(m_browse);
    row->addWidget(m_combo, 1);
    return panel;
}

QWidget *BrowserPane::buildFilterPanel(const QString &p)
{
    m_filterPanel = new QWidget(this);
    m_filterPanel->setObjectName(p + QStringLiteral("FilterPanel"));
    m_filterPanel->setFixedHeight(25);
    auto *row = new QHBoxLayout(m_filterPanel);
    row->setContentsMargins(3, 1, 3, 1);
    row->setSpacing(4);
    m_filter = new QLineEdit(m_filterPanel);
    m_filter->setObjectName(p + QStringLiteral("Filter"));
    m_alwaysFolders = new QCheckBox(QStringLiteral("Always show folders"), m_filterPanel);
    m_alwaysFolders->setObjectName(p + QStringLiteral("FilterAlwaysFolders"));
    m_wildcard = new QCheckBox(QStringLiteral("Wildcard"), m_filterPanel);
    m_wildcard->setObjectName(p + QStringLiteral("FilterWildcard"));
    row->addWidget(new QLabel(QStringLiteral("Filter:"), m_filterPanel));
    row->addWidget(m_filter, 1);
    row->addWidget(m_alwaysFolders);
    row->addWidget(m_wildcard);
    return m_filterPanel;
}

void BrowserPane::setLogoShown(bool shown)
{
    if (m_stack)
        m_stack->setCurrentIndex(shown ? 1 : 0);
}

bool BrowserPane::logoShown() const
{
    return m_stack && m_stack->currentIndex() == 1;
}

void BrowserPane::setReconnecting(const QPixmap &lastListing)
{
    if (!m_stack)
        return;
    if (lastListing.isNull()) {
        setLogoShown(true);
        return;
    }
    // Grey, and faded toward the window's colour, so it reads as not current.
    QImage image = lastListing.toImage()
                       .convertToFormat(QImage::Format_Grayscale8)
                       .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    QColor veil = palette().color(QPalette::Window);
    veil.setAlpha(110);
    painter.fillRect(image.rect(), veil);
    painter.end();
    QPixmap greyed = QPixmap::fromImage(image);
    greyed.setDevicePixelRatio(lastListing.devicePixelRatio());
    m_stale->setPixmap(greyed);
    m_stack->setCurrentIndex(2);
}

bool BrowserPane::reconnectingShown() const
{
    return m_stack && m_stack->currentIndex() == 2;
}
