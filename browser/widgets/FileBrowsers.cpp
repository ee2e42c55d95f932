#include "browser/widgets/FileBrowsers.h"

#include "browser/widgets/FileListView.h"

#include <QFile>
#include <QSaveFile>

#include <utility>

FileBrowsers::FileBrowsers(MainController &controller, QWidget *parent)
    : QObject(parent), m_local(controller, parent), m_remote(controller, parent)
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
        QFile file(programData + name);
        if (file.open(QIODevice::ReadOnly))
            list->restoreLayout(file.readAll());
    }
}

void FileBrowsers::saveLayouts(const QString &programData)
{
    const std::pair<FileListView *, QString> files[] = {{m_local.list(), QStringLiteral("lvl.dat")},
                                                        {m_remote.list(), QStringLiteral("lvr.dat")}};
    for (const auto &[list, name] : files) {
        QSaveFile file(programData + name);
        const QByteArray bytes = list->saveLayout();
        if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size())
            file.commit();
    }
}
