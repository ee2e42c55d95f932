#pragma once

#include <QString>

#include <array>

// The permission code of the permission dialog: three decimal digits that are the octal
// digits of owner, group and public (755 is rwxr-xr-x), and the nine check boxes behind it.
// Pure functions; the dialog and the controller share them.

// The boxes in the order owner read, write, execute, group read ... public execute.
inline constexpr std::array<int, 9> kPermissionWeights = {400, 200, 100, 40, 20, 10, 4, 2, 1};
using PermissionBoxes = std::array<bool, 9>;

struct DecodedPermissionCode {
    PermissionBoxes boxes{};
    // The text decodes completely: OK may be pressed and the text sent as typed.
    bool valid = false;
};

// The code text as boxes. Only a text of decimal digits is a code (no sign, no blanks: the
// text is sent to the server unchanged); a digit above 7 anywhere, or anything that is not a
// code, leaves the boxes whose weight does not fit unchecked and the code invalid. A leading
// zero ("0644") is allowed.
DecodedPermissionCode decodePermissionCode(const QString &text);
// The sum of the weights of the checked boxes, in decimal ("644").
QString permissionCodeText(const PermissionBoxes &boxes);
// The code the dialog opens with for an entry's attr: "755" for a listing without
// permissions (negative attr); an empty, invalid code for 0, which a listing gives for a
// permission field it could not read, so OK is never the default with 000.
QString initialPermissionCode(int attr);
