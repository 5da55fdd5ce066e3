#pragma once

#include <QString>

// Makes a folder refuse the deletion of the files in it, the way an operator's permissions or a
// read-only share do, and gives it back when it goes. As root, permissions do not stop a deletion:
// the folder is then made immutable (chattr +i). `locked()` is false when neither way works here.
class LockedFolder
{
public:
    explicit LockedFolder(QString folder);
    ~LockedFolder();
    LockedFolder(const LockedFolder &) = delete;
    LockedFolder &operator=(const LockedFolder &) = delete;

    bool locked() const { return m_locked; }
    void unlock();

private:
    QString m_folder;
    bool m_locked = false;
    bool m_immutable = false;
};
