#pragma once

#include <QString>

// Appended to the error window's message when a failure pauses the queue.
inline const QString kQueueDisabled = QStringLiteral(
    "\n\nThe queue has been disabled because this error occurred. To enable it again, press the \"start queue\" "
    "button.");
