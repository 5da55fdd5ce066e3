#pragma once

#include <QString>

#include <memory>

class QTemporaryDir;

// The run's own folder for content files, made inside the temporary folder and open to the user
// alone, so that no other user can read a patient's result or plant a link where the viewer
// writes. It goes, with everything in it, when the object goes or Remove is called.
class MessageContentTempFolder
{
public:
    // `tempPath` is the folder to make it in (TempPath); it is made at once.
    explicit MessageContentTempFolder(QString tempPath);
    ~MessageContentTempFolder();
    MessageContentTempFolder(const MessageContentTempFolder &) = delete;
    MessageContentTempFolder &operator=(const MessageContentTempFolder &) = delete;

    // The folder's absolute path ending with "/"; empty when it cannot be made private. A folder
    // that has vanished meanwhile (cleaners of temporary folders remove old ones) is made again.
    QString Path();
    void Remove();

private:
    bool create();

    QString m_tempPath;
    std::unique_ptr<QTemporaryDir> m_dir;
};
