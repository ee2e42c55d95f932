#pragma once

#include <QString>
#include <QTemporaryDir>

// Points HOME and the XDG data and config folders at a fresh temporary folder for as long
// as the object lives, so the program's data folders are created there.
class TempHome {
public:
    TempHome();
    ~TempHome();
    TempHome(const TempHome &) = delete;
    TempHome &operator=(const TempHome &) = delete;

    QString path() const { return m_dir.path(); }
    // The program data folder the program uses under this home, ending in "/".
    QString programData() const;

    // Called once from main(): moves the whole test process away from the real home and
    // from the maker's version server.
    static void isolateProcess();

private:
    QTemporaryDir m_dir;
    QByteArray m_oldHome, m_oldData, m_oldConfig;
};
