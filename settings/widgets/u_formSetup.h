#pragma once

#include <QDialog>
#include <QStringList>

#include <functional>
#include <vector>

class OptionsPage;
class QLabel;
class QListWidget;
class QProcess;
class QPushButton;
class QStackedWidget;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;
class QTreeWidget;
class UserInterface;
class tSetupClass;

// What the options dialog needs from the program besides the settings store.
struct OptionsHooks {
    std::function<QStringList()> asciiMasks;
    std::function<void(const QStringList &)> setAsciiMasks;
    // Pushes the settings that are not read at their point of use into the main window.
    std::function<void()> applySettings;
    std::function<void(const QString &topic)> showHelp;
    // Shows a toolbar theme on the program's toolbars at once, without storing it.
    std::function<void(int theme)> previewToolbarTheme;
};

// The options dialog "Preferences - Kestrin FTP Pro": a tree of page names on the left,
// one page of controls bound to the settings store on the right. A page is filled from the
// store the first time it is shown; Apply (and OK while Apply is enabled) copies back only
// the pages that were shown, so a page never opened cannot overwrite stored values, and
// then runs applySettings. Nothing is written to disk here.
class TFormSetup : public QDialog {
    Q_OBJECT
public:
    TFormSetup(tSetupClass &setup, UserInterface &ui, OptionsHooks hooks, QWidget *parent = nullptr);
    ~TFormSetup() override;

    // Shows the page of the tree node with this name (exact spelling); false if none.
    bool selectNode(const QString &name);
    QString selectedNode() const;
    OptionsPage *currentPage() const;
    OptionsPage *page(const QString &caption) const;
    const std::vector<OptionsPage *> &pages() const { return m_pages; }

    QTreeWidget *tree() const { return m_tv; }
    QPushButton *applyButton() const { return m_apply; }
    QPushButton *okButton() const { return m_ok; }
    QString titleText() const;
    QString descriptionText() const;

    // ApplyClick.
    void apply();

    void done(int result) override;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void buildFrame();
    void buildTree();
    void showNode(QTreeWidgetItem *node);
    void loadPage(OptionsPage *page);
    void markChanged();
    OptionsPage *addPage(const QString &caption, const char *component);

    // The pages, in page order (u_formSetupPages.cpp, u_formSetupEditors.cpp).
    void buildAdvanced();
    void buildBandwidthMeter();
    void buildConnection();
    void buildAntiTimeout();
    void buildAsciiBinary();
    void buildToolbar();
    void buildGeneral();
    void buildDisplay();
    void buildFont();
    void buildShortcuts();
    void buildSound();
    void buildFirewall();
    void buildPrompts();
    void buildTransfer();
    void buildSecurity();
    void buildHistory();
    void buildSharing();

    void addAsciiMask();
    void testSound(const QString &path);
    void stopTestSound();
    QString browseFile(const QString &caption, const QString &filter);

    tSetupClass &m_setup;
    UserInterface &m_ui;
    OptionsHooks m_hooks;
    QTreeWidget *m_tv = nullptr;
    QLabel *m_shape1 = nullptr;
    QLabel *m_shape2 = nullptr;
    QStackedWidget *m_pc = nullptr;
    QPushButton *m_ok = nullptr;
    QPushButton *m_cancel = nullptr;
    QPushButton *m_apply = nullptr;
    std::vector<OptionsPage *> m_pages;
    QListWidget *m_lbAsciiFiles = nullptr;
    QProcess *m_sound = nullptr;
};
