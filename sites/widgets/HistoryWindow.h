#pragma once

#include "app/ConnectController.h"

#include <QDialog>

#include <functional>

class QTreeWidget;

// The connection history window: one row per history entry (the password column always
// hidden), Connect, Delete and Configure. Created for one use and destroyed when closed.
class HistoryWindow : public QDialog {
    Q_OBJECT
public:
    // configure opens the options on their history page.
    HistoryWindow(ConnectController &connection, std::function<void()> configure, QWidget *parent = nullptr);

    QTreeWidget *list() const { return m_lv; }
    // Connects to the first selected entry and closes; nothing without a selection.
    void connectSelected();
    void deleteSelected();

private:
    void fill();

    ConnectController &m_connection;
    std::function<void()> m_configure;
    QTreeWidget *m_lv;
};
