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

QFont logFont()
{
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPixelSize(11);
    if (!QFontInfo(font).fixedPitch()) {
        // No Courier New here: take the desktop's fixed-pitch font at the same height.
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        font.setPixelSize(11);
    }
    return font;
}

} // namespace

LogView::LogView(QWidget *parent) : QListView(parent)
{
    setObjectName(QStringLiteral("lvLog"));
    setFont(logFont());
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
