#pragma once

#include <QString>

// Makes a folder refuse the deletion of the files in it (or one file refuse its own deletion), the
// way an operator's permissions or a read-only share do, and gives it back when it goes. As root,
// permissions do not stop a deletion: the entry is then made immutable (chattr +i). Without root a
// folder loses its write permission; a single file cannot be protected that way. `locked()` is
// false when no way works here.
class LockedFolder
{
public:
    explicit LockedFolder(QString path);
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
