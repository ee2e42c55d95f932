#include "app/widgets/ListLook.h"

#include <QAbstractItemDelegate>
#include <QTreeView>

namespace {

// Forwards everything to the list's own delegate and only fixes the height of its rows.
class RowHeightDelegate : public QAbstractItemDelegate {
public:
    RowHeightDelegate(QAbstractItemDelegate *inner, QObject *parent) : QAbstractItemDelegate(parent), m_inner(inner)
    {
        connect(inner, &QAbstractItemDelegate::commitData, this, &QAbstractItemDelegate::commitData);
        connect(inner, &QAbstractItemDelegate::closeEditor, this, &QAbstractItemDelegate::closeEditor);
        connect(inner, &QAbstractItemDelegate::sizeHintChanged, this, &QAbstractItemDelegate::sizeHintChanged);
    }

    int height = 0;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        m_inner->paint(painter, option, index);
    }
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QSize size = m_inner->sizeHint(option, index);
        if (height > 0)
            size.setHeight(height);
        return size;
    }
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        return m_inner->createEditor(parent, option, index);
    }
    void destroyEditor(QWidget *editor, const QModelIndex &index) const override
    {
        m_inner->destroyEditor(editor, index);
    }
    void setEditorData(QWidget *editor, const QModelIndex &index) const override
    {
        m_inner->setEditorData(editor, index);
    }
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override
    {
        m_inner->setModelData(editor, model, index);
    }
    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const override
    {
        m_inner->updateEditorGeometry(editor, option, index);
    }
    bool editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                     const QModelIndex &index) override
    {
        return m_inner->editorEvent(event, model, option, index);
    }
    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override
    {
        return m_inner->helpEvent(event, view, option, index);
    }
    QList<int> paintingRoles() const override { return m_inner->paintingRoles(); }

private:
    QAbstractItemDelegate *m_inner;
};

} // namespace

namespace ListLook {

void apply(QTreeView *view, const QFont &font, int rowHeight)
{
    auto *delegate = dynamic_cast<RowHeightDelegate *>(view->itemDelegate());
    if (!delegate) {
        delegate = new RowHeightDelegate(view->itemDelegate(), view);
        view->setItemDelegate(delegate);
    }
    delegate->height = rowHeight;
    view->setFont(font);
    view->doItemsLayout();
}

int rowHeight(const QTreeView *view)
{
    const auto *delegate = dynamic_cast<const RowHeightDelegate *>(view->itemDelegate());
    return delegate ? delegate->height : 0;
}

} // namespace ListLook
