#pragma once

#include <QWidget>

class CaptionBar;
class LogoWidget;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QStackedLayout;
class QToolButton;
class QTreeView;

// One side of the main window: the navigation row (go up, browse, folder box), the caption
// bar, the file list and the filter row. The remote side also holds the logo, shown in
// the list's place while no session is open. Child names carry the side's prefix ("l" or
// "r"), as in lGoUp, rCombo, lFilterWildcard.
class BrowserPane : public QWidget {
    Q_OBJECT
public:
    enum class Side { Local, Remote };

    BrowserPane(Side side, QTreeView *list, QWidget *parent = nullptr);

    Side side() const { return m_side; }
    QTreeView *list() const { return m_list; }
    CaptionBar *captionBar() const { return m_caption; }
    QComboBox *combo() const { return m_combo; }
    QToolButton *goUp() const { return m_goUp; }
    QToolButton *browse() const { return m_browse; }
    QWidget *filterPanel() const { return m_filterPanel; }
    QLineEdit *filter() const { return m_filter; }
    QCheckBox *alwaysFolders() const { return m_alwaysFolders; }
    QCheckBox *wildcard() const { return m_wildcard; }
    // Null on the local side.
    LogoWidget *logo() const { return m_logo; }

    void setLogoShown(bool shown);
    bool logoShown() const;
    // While a lost connection is being made again: the last listing's picture, greyed, in
    // the list's place (the logo when there is no picture).
    void setReconnecting(const QPixmap &lastListing);
    bool reconnectingShown() const;

private:
    QWidget *buildNavPanel(const QString &p);
    QWidget *buildFilterPanel(const QString &p);

    Side m_side;
    QTreeView *m_list;
    CaptionBar *m_caption = nullptr;
    QToolButton *m_goUp = nullptr;
    QToolButton *m_browse = nullptr;
    QComboBox *m_combo = nullptr;
    QWidget *m_filterPanel = nullptr;
    QLineEdit *m_filter = nullptr;
    QCheckBox *m_alwaysFolders = nullptr;
    QCheckBox *m_wildcard = nullptr;
    LogoWidget *m_logo = nullptr;
    QLabel *m_stale = nullptr;
    QStackedLayout *m_stack = nullptr;
};
