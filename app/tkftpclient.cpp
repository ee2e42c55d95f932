#include "app/tkftpclient.h"

tkftpclient::tkftpclient(const QString &name, QObject *parent) : TFtpClient(parent)
{
    setObjectName(name);
}
