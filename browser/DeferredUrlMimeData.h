#pragma once

#include <QList>
#include <QMimeData>
#include <QUrl>

#include <functional>
#include <optional>

// Drag data whose "text/uri-list" is made only when a drop target asks for it: the files
// behind the URLs may first have to be fetched. The producer runs at most once; every later
// request gets the same answer, so a target that asks twice does not fetch twice. A request
// that arrives while the producer is still running (it may run an event loop) gets no URLs.
//
// User-interface thread only.
class DeferredUrlMimeData : public QMimeData {
    Q_OBJECT
public:
    using Producer = std::function<QList<QUrl>()>;

    explicit DeferredUrlMimeData(Producer produce);

    QStringList formats() const override;
    // Whether the producer has run (or is running).
    bool produced() const { return m_started; }

protected:
    QVariant retrieveData(const QString &mimeType, QMetaType type) const override;

private:
    mutable Producer m_produce;
    mutable bool m_started = false;
    mutable std::optional<QByteArray> m_uriList;
};
