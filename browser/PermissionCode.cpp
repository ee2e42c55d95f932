#include "browser/PermissionCode.h"

DecodedPermissionCode decodePermissionCode(const QString &text)
{
    DecodedPermissionCode result;
    bool digits = !text.isEmpty() && text.size() <= 9;
    for (QChar c : text)
        digits = digits && c >= u'0' && c <= u'9';
    int v = digits ? text.toInt() : -1;
    // Each weight but the last is checked when it fits exactly once; what is left over
    // must then be the public execute bit or nothing.
    for (size_t i = 0; i + 1 < kPermissionWeights.size(); ++i) {
        const int weight = kPermissionWeights[i];
        result.boxes[i] = v >= 0 && v / weight == 1;
        if (result.boxes[i])
            v -= weight;
    }
    result.boxes[8] = v == 1;
    result.valid = v == 0 || v == 1;
    return result;
}

QString permissionCodeText(const PermissionBoxes &boxes)
{
    int sum = 0;
    for (size_t i = 0; i < boxes.size(); ++i)
        sum += boxes[i] ? kPermissionWeights[i] : 0;
    return QString::number(sum);
}

QString initialPermissionCode(int attr)
{
    if (attr < 0)
        return QStringLiteral("755");
    if (attr == 0)
        return {};
    return QString::number(attr);
}
