#include "status/widgets/LogView.h"

#include "status/LogModel.h"
#include "status/ReadableColor.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QLinearGradient>
#include <QPainter>
#include <QStyledItemDelegate>

namespace {

class LogRowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        return {QStyledItemDelegate::sizeHint(option, index).width(), LogView::kRowHeight};
    }

protected:
    // The lines' colours are chosen for a white log: on a dark palette they are made light
    // enough to read.
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        const QColor base = option->palette.color(QPalette::Base);
        option->palette.setColor(QPalette::Text, ReadableColor::on(option->palette.color(QPalette::Text), base));
    }
};

} // namespace

const QStringList &LogView::monospaceFamilies()
{
    static const QStringList families{QStringLiteral("DejaVu Sans Mono"), QStringLiteral("Liberation Mono"),
                                      QStringLiteral("Noto Sans Mono"),   QStringLiteral("Ubuntu Mono"),
                                      QStringLiteral("Cousine"),          QStringLiteral("Courier New"),
                                      QStringLiteral("monospace")};
    return families;
}

QFont LogView::chooseFixedFont(const QFont &desktopFixed, const std::function<bool(const QFont &)> &isFixed)
{
    const auto sized = [](QFont font) {
        font.setPixelSize(11);
        return font;
    };
    const QFont desktop = sized(desktopFixed);
    if (isFixed(desktop))
        return desktop;
    for (const QString &family : monospaceFamilies()) {
        QFont font = sized(QFont(family));
        font.setStyleHint(QFont::TypeWriter);
        font.setFixedPitch(true);
        if (isFixed(font))
            return font;
    }
    // Nothing answers as fixed-pitch: the desktop's choice is still the best guess.
    return desktop;
}

QFont LogView::fixedFont()
{
    return chooseFixedFont(QFontDatabase::systemFont(QFontDatabase::FixedFont),
                           [](const QFont &font) { return QFontInfo(font).fixedPitch(); });
}

LogView::LogView(QWidget *parent) : QListView(parent)
{
    setObjectName(QStringLiteral("lvLog"));
    setFont(fixedFont());
    setItemDelegate(new LogRowDelegate(this));
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setContextMenuPolicy(Qt::ActionsContextMenu);
}

void LogView::setLogModel(LogModel *model)
{
    if (m_model)
        disconnect(m_model, nullptr, this, nullptr);
    m_model = model;
    setModel(model);
    if (model) {
        connect(model, &QAbstractItemModel::rowsInserted, this,
                [this](const QModelIndex &, int, int last) { followInsertedRows(last); });
    }
}

void LogView::followInsertedRows(int last)
{
    if (m_follow)
        scrollTo(m_model->index(last, 0), QAbstractItemView::PositionAtCenter);
}

void LogView::setBackgroundPicture(bool on)
{
    m_picture = on;
    viewport()->update();
}

QString LogView::selectedText() const
{
    if (!m_model)
        return {};
    QList<int> rows;
    for (const QModelIndex &index : selectionModel()->selectedIndexes())
        rows << index.row();
    return m_model->copyText(rows);
}

void LogView::copySelectedToClipboard()
{
    QApplication::clipboard()->setText(selectedText());
}

void LogView::paintEvent(QPaintEvent *event)
{
    if (m_picture) {
        QPainter p(viewport());
        const QRect r = viewport()->rect();
        QLinearGradient wash(r.topLeft(), r.topRight());
        wash.setColorAt(0, palette().color(QPalette::Base));
        const QColor base = palette().color(QPalette::Base);
        wash.setColorAt(1, ReadableColor::isDark(base) ? ReadableColor::shade(base, 0.08) : QColor(232, 239, 250));
        p.fillRect(r, wash);
        QFont mark = font();
        mark.setPixelSize(std::max(10, std::min(r.height() - 4, 28)));
        mark.setBold(true);
        p.setFont(mark);
        p.setPen(ReadableColor::isDark(base) ? ReadableColor::shade(base, 0.12) : QColor(218, 228, 243));
        p.drawText(r.adjusted(0, 0, -8, 0), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("kestrin ftp pro"));
    }
    QListView::paintEvent(event);
}
