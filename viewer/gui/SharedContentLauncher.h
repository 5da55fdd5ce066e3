#pragma once

#include "viewer/content/ContentLauncher.h"

#include <memory>

// Lets the content display and the window share one launcher (the window opens the connection
// file through it too), so that a test's recording launcher sees both.
class SharedContentLauncher : public ContentLauncher
{
public:
    explicit SharedContentLauncher(std::shared_ptr<ContentLauncher> target) : m_target(std::move(target)) {}

    bool StartRenderer(const QString &program, const QStringList &arguments) override
    {
        return m_target->StartRenderer(program, arguments);
    }
    bool OpenWithDesktop(const QString &filePath) override { return m_target->OpenWithDesktop(filePath); }

private:
    std::shared_ptr<ContentLauncher> m_target;
};
