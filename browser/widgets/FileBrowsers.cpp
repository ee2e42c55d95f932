#include "browser/widgets/FileBrowsers.h"

#include "base/Files.h"
#include "browser/widgets/FileListView.h"

#include <utility>

FileBrowsers::FileBrowsers(BrowserController &browsers, tSetupClass &setup, QWidget *parent)
    : QObject(parent), m_local(browsers, setup, parent), m_remote(browsers, setup, parent)
{
    m_local.setIconSource(&m_icons);
    m_remote.setIconSource(&m_icons);
    m_local.list()->setPartner(m_remote.list());
    m_remote.list()->setPartner(m_local.list());
    m_local.list()->setHeaderStyles(&m_styles);
    m_remote.list()->setHeaderStyles(&m_styles);
}

void FileBrowsers::loadLayouts(const QString &programData)
{
    const std::pair<FileListView *, QString> files[] = {{m_local.list(), QStringLiteral("lvl.dat")},
                                                        {m_remote.list(), QStringLiteral("lvr.dat")}};
    for (const auto &[list, name] : files) {
        bool ok = false;
        const QByteArray bytes = readWholeFile(programData + name, &ok);
        if (ok)
            list->restoreLayout(bytes);
    }
}

void FileBrowsers::saveLayouts(const QString &programData)
{
    const std::pair<FileListView *, QString> files[] = {{m_local.list(), QStringLiteral("lvl.dat")},
                                                        {m_remote.list(), QStringLiteral("lvr.dat")}};
    for (const auto &[list, name] : files) {
        saveFileAtomically(programData + name, list->saveLayout()); // failures are skipped
    }
}
