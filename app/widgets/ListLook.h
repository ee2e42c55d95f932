#pragma once

class QFont;
class QTreeView;

// The font and row height of a list (the file lists and the queue). The row height is
// enforced by a thin delegate wrapped around the list's own, which keeps drawing and
// editing the rows.
namespace ListLook {

void apply(QTreeView *view, const QFont &font, int rowHeight);
int rowHeight(const QTreeView *view);

} // namespace ListLook
