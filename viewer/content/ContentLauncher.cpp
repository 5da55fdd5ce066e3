#include "viewer/content/ContentLauncher.h"

ContentLauncher::~ContentLauncher() = default;

QString noProgramOpenedText(const QString &filePath)
{
    return QStringLiteral("No program could be started to open %1.").arg(filePath);
}
