#pragma once

#include "viewer/gui/MessageBoxes.h"
#include "viewer/gui/Tracking.h"

#include "tests/support/PostgresServer.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestFolder.h"

#include <QSettings>
#include <QTableView>

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <vector>

// Message boxes that record what the window shows and answer from a queue (OK when it is empty).
class RecordingMessageBoxes : public MessageBoxes
{
public:
    QMessageBox::StandardButton show(const MessageBoxRequest &request) override
    {
        shown.push_back(request);
        if (answers.empty())
            return QMessageBox::Ok;
        const QMessageBox::StandardButton answer = answers.front();
        answers.pop_front();
        return answer;
    }
    QStringList texts() const
    {
        QStringList out;
        for (const MessageBoxRequest &request : shown)
            out << request.text;
        return out;
    }

    std::vector<MessageBoxRequest> shown;
    std::deque<QMessageBox::StandardButton> answers;
};

// Records what the window would hand to the renderer or the desktop.
class RecordingLauncher : public ContentLauncher
{
public:
    bool StartRenderer(const QString &program, const QStringList &arguments) override
    {
        rendered << (QStringList{program} + arguments).join(u' ');
        return true;
    }
    bool OpenWithDesktop(const QString &filePath) override
    {
        opened << filePath;
        return true;
    }

    QStringList rendered;
    QStringList opened;
};

// A program folder, a private per-user settings store, and windows made over them.
class TrackFormWindows
{
protected:
    void useOwnSettings()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.path());
        QSettings(QSettings::NativeFormat, QSettings::UserScope, "Tavisk", "RORuzureru").clear();
    }

    std::unique_ptr<TQZTrackForm> start(const QStringList &arguments = {})
    {
        boxes = std::make_shared<RecordingMessageBoxes>();
        TrackFormOptions options{app.path(), arguments, boxes, launcher};
        auto form = std::make_unique<TQZTrackForm>(std::move(options));
        form->FormCreate();
        return form;
    }

    template <typename T> static T *child(TQZTrackForm &form, const char *name)
    {
        T *widget = form.findChild<T *>(QLatin1String(name));
        if (!widget)
            ADD_FAILURE() << "no child " << name;
        return widget;
    }

    static QString statusPanel(TQZTrackForm &form, int panel);

    // Makes the grid row of `msgId` the current one.
    static void makeCurrent(TQZTrackForm &form, const QString &msgId)
    {
        for (int row = 0; row < form.trackModel().rowCount(); ++row) {
            if (form.trackModel().value(row, TrackField::MsgID) == msgId)
                form.grid()->setCurrentIndex(form.trackModel().index(row, 0));
        }
    }

    TestFolder app;
    TestFolder config;
    std::shared_ptr<RecordingMessageBoxes> boxes;
    std::shared_ptr<RecordingLauncher> launcher = std::make_shared<RecordingLauncher>();
};

// Window tests on the embedded database, or on none.
class TrackFormTest : public ::testing::Test, protected TrackFormWindows
{
protected:
    void SetUp() override { useOwnSettings(); }
};

// Window tests that run once per backend.
class TrackFormBackendTest : public BackendTest, protected TrackFormWindows
{
protected:
    void SetUp() override
    {
        BackendTest::SetUp();
        if (!IsSkipped())
            useOwnSettings();
    }

    // What the status bar names as the data source of a test database called `fileName`.
    QString dataSource(const QString &fileName = QStringLiteral("tracking.db")) const
    {
        return backend() == Backend::Sqlite ? app.filePath(fileName) : TestPostgres::server()->socketFolder();
    }
};
