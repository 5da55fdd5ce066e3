#include "tests/service/FileAge.h"

#include <QDateTime>
#include <QFile>

#include <stdexcept>

void makeSettled(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) ||
        !file.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime))
        throw std::runtime_error(("cannot set the time of " + path).toStdString());
}
