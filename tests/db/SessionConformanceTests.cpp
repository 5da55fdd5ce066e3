#include "tests/db/SessionConformance.h"

#include <QElapsedTimer>

namespace {

const QDateTime LondonGap(QDate(2021, 3, 28), QTime(1, 30), Qt::UTC);
const QDateTime SaoPauloGap(QDate(2017, 10, 15), QTime(0, 30), Qt::UTC);
const QDateTime WithFraction(QDate(2024, 2, 29), QTime(23, 59, 58, 789), Qt::UTC);

} // namespace

qint64 countOf(db::Session &session, const QString &table)
{
    auto cursor = session.prepare(QStringLiteral("select count(*) from ") + table)->query();
    EXPECT_TRUE(cursor->next());
    return cursor->integer(0);
}

void SessionConformance::SetUp()
{
    QString reason;
    session = kind().openNew(folder.path(), &reason);
    if (!session)
        GTEST_SKIP() << reason.toStdString();
    session->execute(QStringLiteral("create table t (id %1 primary key, txt text, num %1, at %2, raw %3)")
                         .arg(kind().integerType, kind().timestampType, kind().bytesType));
}

void SessionConformance::TearDown()
{
    session.reset();
}

std::string sessionKindName(const ::testing::TestParamInfo<SessionKind> &info)
{
    return info.param.name;
}

TEST_P(SessionConformance, EveryColumnTypeRoundTrips)
{
    QByteArray everyByte;
    for (int b = 0; b < 256; ++b)
        everyByte.append(static_cast<char>(b));
    const QString nonAscii = QStringLiteral("Ärztehaus Müller – Zürich 検査 \U0001F9EA 'quoted' \"double\"");

    auto insert = session->prepare(QStringLiteral("insert into t (id, txt, num, at, raw) values (:Id, :Txt, :Num, :At, :Raw)"));
    insert->bind(QStringLiteral("id"), qint64(1)); // names match without regard to case
    insert->bind(QStringLiteral("Txt"), nonAscii);
    insert->bind(QStringLiteral("Num"), qint64(9007199254740993));
    insert->bind(QStringLiteral("At"), WithFraction);
    insert->bind(QStringLiteral("Raw"), everyByte);
    EXPECT_EQ(insert->run(), 1);
    insert->bind(QStringLiteral("Id"), qint64(2));
    for (const char *name : {"Txt", "Num", "At", "Raw"})
        insert->bind(QString::fromLatin1(name), DbValue{});
    EXPECT_EQ(insert->run(), 1);
    for (const auto &[id, time] : {std::pair{3, LondonGap}, std::pair{4, SaoPauloGap}}) {
        insert->clearBindings();
        insert->bind(QStringLiteral("Id"), qint64(id));
        insert->bind(QStringLiteral("At"), time);
        insert->run();
    }

    auto cursor = session->prepare(QStringLiteral("select id, txt, num, at, raw from t order by id"))->query();
    EXPECT_EQ(cursor->columnIndex(QStringLiteral("RAW")), 4);
    ASSERT_TRUE(cursor->next());
    EXPECT_EQ(cursor->text(1), nonAscii);
    EXPECT_EQ(cursor->integer(2), 9007199254740993);
    EXPECT_EQ(cursor->dateTime(3), WithFraction);
    EXPECT_EQ(cursor->bytes(4), everyByte);
    ASSERT_TRUE(cursor->next());
    for (int column = 1; column <= 4; ++column)
        EXPECT_TRUE(cursor->isNull(column)) << column;
    EXPECT_TRUE(cursor->text(1).isEmpty());
    EXPECT_FALSE(cursor->dateTime(3).isValid());
    ASSERT_TRUE(cursor->next());
    EXPECT_EQ(cursor->dateTime(3), LondonGap);
    ASSERT_TRUE(cursor->next());
    EXPECT_EQ(cursor->dateTime(3), SaoPauloGap);
    EXPECT_FALSE(cursor->next());
}

TEST_P(SessionConformance, ARepeatedNameIsOneParameterAndLiteralsKeepTheirColons)
{
    auto statement = session->prepare(
        QStringLiteral("insert into t (id, txt, num) values (:Id, ':Id -- /* not a parameter', :id + 1)"));
    EXPECT_EQ(statement->parameterNames(), QStringList{QStringLiteral("Id")});
    statement->bind(QStringLiteral("Id"), qint64(5));
    statement->run();
    auto cursor = session->prepare(QStringLiteral("select txt, num from t where id = :Id"));
    cursor->bind(QStringLiteral("Id"), qint64(5));
    auto rows = cursor->query();
    ASSERT_TRUE(rows->next());
    EXPECT_EQ(rows->text(0), QStringLiteral(":Id -- /* not a parameter"));
    EXPECT_EQ(rows->integer(1), 6);
    EXPECT_EQ(failureKind([&] { cursor->bind(QStringLiteral("Other"), qint64(1)); }), DbError::Kind::AccessLayer);
}

TEST_P(SessionConformance, FailuresHaveTheirKind)
{
    auto insert = session->prepare(QStringLiteral("insert into t (id, txt) values (:Id, :Txt)"));
    insert->bind(QStringLiteral("Id"), qint64(1));
    insert->run();
    EXPECT_EQ(failureKind([&] { insert->run(); }), DbError::Kind::DuplicateKey);

    insert->bind(QStringLiteral("Id"), qint64(2));
    insert->bind(QStringLiteral("Txt"), QString(QStringLiteral("before")) + QChar(0) + QStringLiteral("after"));
    EXPECT_EQ(failureKind([&] { insert->run(); }), DbError::Kind::Data);
    EXPECT_EQ(countOf(*session, QStringLiteral("t")), 1) << "a refused value wrote nothing";

    try {
        session->execute(QStringLiteral("selec nothing from t"));
        ADD_FAILURE() << "a syntax error was accepted";
    } catch (const DbError &error) {
        EXPECT_EQ(error.kind(), DbError::Kind::Other);
        EXPECT_FALSE(error.message().isEmpty());
    }
    EXPECT_FALSE(session->isLost()) << "a refused statement leaves the session usable";
    EXPECT_EQ(countOf(*session, QStringLiteral("t")), 1);
}

TEST_P(SessionConformance, TransactionsCommitAndRollBack)
{
    auto insert = session->prepare(QStringLiteral("insert into t (id) values (:Id)"));
    session->begin();
    insert->bind(QStringLiteral("Id"), qint64(1));
    insert->run();
    session->rollback();
    EXPECT_EQ(countOf(*session, QStringLiteral("t")), 0);
    session->begin(true);
    insert->run();
    session->commit();
    EXPECT_EQ(countOf(*session, QStringLiteral("t")), 1);
}

TEST_P(SessionConformance, ACancelledReadEndsAtOnce)
{
    auto cursor = session->prepare(kind().hundredThousandRowsSql)->query();
    for (int row = 1; row <= 10; ++row) {
        ASSERT_TRUE(cursor->next());
        EXPECT_EQ(cursor->integer(0), row);
    }
    QElapsedTimer timer;
    timer.start();
    cursor->cancel();
    EXPECT_FALSE(cursor->next());
    cursor.reset();
    EXPECT_LT(timer.elapsed(), 100) << "the rest of the result was read instead of cancelled";
    EXPECT_EQ(countOf(*session, QStringLiteral("t")), 0) << "the session is free after a cancel";
}

TEST_P(SessionConformance, AnotherStatementEndsAnOpenReadWithAnError)
{
    auto cursor = session->prepare(kind().hundredThousandRowsSql)->query();
    ASSERT_TRUE(cursor->next());
    session->execute(QStringLiteral("insert into t (id) values (1)"));
    EXPECT_EQ(failureKind([&] { cursor->next(); }), DbError::Kind::Other) << "a read must never end short";
    EXPECT_EQ(countOf(*session, QStringLiteral("t")), 1);
}

TEST_P(SessionConformance, ASessionEndedByTheServerIsLost)
{
    if (kind().killOwnSessionSql.isEmpty())
        GTEST_SKIP() << "no server can end this session";
    EXPECT_EQ(failureKind([&] { session->execute(kind().killOwnSessionSql); }), DbError::Kind::ConnectionLost);
    EXPECT_TRUE(session->isLost());
    EXPECT_EQ(failureKind([&] { session->execute(QStringLiteral("select 1")); }), DbError::Kind::ConnectionLost);
}
