#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class QTemporaryDir;

// The run's own folder for content files, made inside the temporary folder and open to the user
// alone, so that no other user can read a patient's result or plant a link where the viewer
// writes. It goes, with everything in it, when the object goes or Remove is called.
class MessageContentTempFolder
{
public:
    // `tempPath` is the folder to make it in (TempPath); it is made at once, after the folders that
    // killed viewers left there are removed.
    explicit MessageContentTempFolder(QString tempPath);
    ~MessageContentTempFolder();
    MessageContentTempFolder(const MessageContentTempFolder &) = delete;
    MessageContentTempFolder &operator=(const MessageContentTempFolder &) = delete;

    // The folder's absolute path ending with "/"; empty when it cannot be made private. A folder
    // that has vanished meanwhile (cleaners of temporary folders remove old ones) is made again.
    QString Path();
    void Remove();

    // Removes this user's content folders in `tempPath` whose viewer process has ended; returns their
    // paths. The folder's name carries the process id of the viewer that made it.
    static QStringList RemoveLeftOvers(const QString &tempPath);

private:
    bool create();

    QString m_tempPath;
    std::unique_ptr<QTemporaryDir> m_dir;
};
