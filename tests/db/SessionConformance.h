#pragma once

#include "shared/db/Session.h"
#include "tests/support/FailureKind.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

// One kind of session the conformance suite runs on: how to open one on a new, empty database of
// its own, and the few texts that differ between servers.
struct SessionKind
{
    std::string name;
    // A session on a new empty database in `folder` (or on the test server); null, with the reason
    // in `skipReason`, when the kind cannot run here.
    std::function<std::unique_ptr<db::Session>(const QString &folder, QString *skipReason)> openNew;
    QString integerType, timestampType, bytesType;
    QString hundredThousandRowsSql; // one integer column, 1 to 100 000 in order
    QString killOwnSessionSql;      // the server ends this session; empty where no server can
};

class SessionConformance : public ::testing::TestWithParam<SessionKind>
{
protected:
    void SetUp() override;
    void TearDown() override;
    const SessionKind &kind() const { return GetParam(); }

    TestFolder folder;
    std::unique_ptr<db::Session> session;
};

std::string sessionKindName(const ::testing::TestParamInfo<SessionKind> &info);

// Runs the suite on one kind of session.
#define OVTRACK_SESSION_CONFORMANCE(label, kind)                                                            \
    INSTANTIATE_TEST_SUITE_P(label, SessionConformance, ::testing::Values(kind), sessionKindName)

// The rows of `table`, counted on `session`.
qint64 countOf(db::Session &session, const QString &table);

// A session on a database of its own on the test server, dropped once the session has ended.
class SessionOnTestDatabase final : public db::Session
{
public:
    SessionOnTestDatabase(std::unique_ptr<TestDatabase> database, std::unique_ptr<db::Session> session)
        : m_database(std::move(database)), m_session(std::move(session))
    {}

    std::unique_ptr<db::Statement> prepare(const QString &text) override { return m_session->prepare(text); }
    qint64 execute(const QString &text) override { return m_session->execute(text); }
    void begin(bool write = false) override { m_session->begin(write); }
    void commit() override { m_session->commit(); }
    void rollback() override { m_session->rollback(); }
    bool isLost() const override { return m_session->isLost(); }
    void cancel() override { m_session->cancel(); }

private:
    std::unique_ptr<TestDatabase> m_database;
    std::unique_ptr<db::Session> m_session;
};
