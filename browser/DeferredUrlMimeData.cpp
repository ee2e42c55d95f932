#include "browser/DeferredUrlMimeData.h"

namespace {
const QString kUriList = QStringLiteral("text/uri-list");
}

DeferredUrlMimeData::DeferredUrlMimeData(Producer produce) : m_produce(std::move(produce)) {}

QStringList DeferredUrlMimeData::formats() const
{
    QStringList list = QMimeData::formats();
    if (!list.contains(kUriList))
        list << kUriList;
    return list;
}

QVariant DeferredUrlMimeData::retrieveData(const QString &mimeType, QMetaType type) const
{
    if (mimeType != kUriList)
        return QMimeData::retrieveData(mimeType, type);
    if (!m_started) {
        m_started = true;
        const Producer produce = std::move(m_produce);
        m_produce = nullptr;
        QByteArray text;
        if (produce) {
            for (const QUrl &url : produce())
                text += url.toEncoded() + "\r\n";
        }
        m_uriList = text;
    }
    // Qt turns the text into a URL list when urls() asks.
    return m_uriList ? QVariant(*m_uriList) : QVariant(QByteArray());
}
