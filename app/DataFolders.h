#pragma once

#include <QString>

// Where the program keeps its per-user files. Every path ends in "/".
struct DataFolders {
    QString base;           // <data>/Tamberlyn/Kestrin FTP Pro/
    QString programData;    // settings and layout files
    QString temporary;      // session scratch names point here
    QString savedQueue;     // "[recovery].dat" and named queues
    QString sharedProfiles; // site profiles, possibly shared between users

    // Builds the paths under the user's generic data location (normally ~/.local/share).
    static DataFolders locate();
    // Creates every folder with its missing parents; existing folders are left alone.
    // Returns false when one of them could not be created.
    bool create() const;

    QString dataFile(const QString &name) const { return programData + name; }
};
