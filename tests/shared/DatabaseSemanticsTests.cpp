#include "shared/tracking/DbConnection.h"
#include "shared/db/DbError.h"
#include "shared/tracking/DbStatement.h"
#include "shared/tracking/TrackingSchema.h"

#include "shared/text/WallClock.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

// The embedded and the server database must answer like the production one wherever the programs
// rely on it.
namespace {

class TrackingSemantics : public NewDatabaseTest
{
protected:
    void SetUp() override
    {
        NewDatabaseTest::SetUp();
        if (IsSkipped())
            return;
        db.open(database->connectionString());
        db.execute(db.dialect().createTrackingSql());
    }

    void insert(const QString &msgId, const QString &patient, const std::optional<QDateTime> &delivery = {},
                const std::optional<QDateTime> &received = {}, const QString &pracId = {})
    {
        DbStatement insert(
            db, "INSERT INTO Tracking (MsgID, Patient, QZDeliveryTime, QZServerReceiveTime, PracID) "
                "VALUES (:MsgID, :Patient, :QZDeliveryTime, :QZServerReceiveTime, :PracID)");
        insert.bind("MsgID", ::ParamType::Text, msgId);
        insert.bind("Patient", ::ParamType::Text, patient);
        insert.bind("QZDeliveryTime", ::ParamType::DateTime, delivery ? QVariant(*delivery) : QVariant());
        insert.bind("QZServerReceiveTime", ::ParamType::DateTime,
                    received ? QVariant(*received) : QVariant());
        insert.bind("PracID", ::ParamType::Text, pracId.isNull() ? QVariant() : QVariant(pracId));
        ASSERT_EQ(insert.execute(), 1);
    }

    QStringList column(const QString &sql, const QString &field = "MsgID")
    {
        DbStatement query(db, sql);
        const DbResult result = query.open();
        QStringList values;
        for (int row = 0; row < result.rowCount(); ++row)
            values << result.text(row, field);
        return values;
    }

    // Message ids of the rows whose patient is like `pattern`, as the search writes the condition.
    QStringList patientLike(const QString &pattern)
    {
        DbStatement query(db, "select MsgID from Tracking where " +
                                  db.dialect().likeCondition("Patient", "QP") + " order by MsgID");
        query.bind("QP", ::ParamType::Text, pattern);
        const DbResult result = query.open();
        QStringList values;
        for (int row = 0; row < result.rowCount(); ++row)
            values << result.text(row, "MsgID");
        return values;
    }

    DbConnection db{folder.path()};
};

TEST_P(TrackingSemantics, TextComparesAndOrdersWithoutCase)
{
    insert("m1", "smith");
    insert("m2", "Jones");
    insert("m3", "SMITH");
    EXPECT_EQ(column("select MsgID from Tracking where Patient = 'Smith' order by MsgID"),
              (QStringList{"m1", "m3"}));
    EXPECT_EQ(patientLike("SMI%"), (QStringList{"m1", "m3"}));
    EXPECT_EQ(column("select Patient from Tracking order by Patient, MsgID", "Patient"),
              (QStringList{"Jones", "smith", "SMITH"}));
    EXPECT_EQ(column("select MsgID from Tracking where MsgID = 'M2'"), QStringList{"m2"});
}

// SQL_Latin1_General_CP1_CI_AS: every Latin-1 letter without case, accents apart. SQLite's NOCASE
// folds ASCII letters only, a stated limit of the embedded database.
TEST_P(TrackingSemantics, LatinLettersCompareWithoutCaseButWithAccents)
{
    insert("m1", QString::fromUtf8("Ñúñez"));
    insert("m2", "Nunez");
    insert("m3", QString::fromUtf8("ÉLAN"));
    EXPECT_EQ(patientLike("nu%"), QStringList{"m2"});
    EXPECT_EQ(patientLike("n%"), QStringList{"m2"}); // "n" does not find "ñ"
    EXPECT_EQ(patientLike(QString::fromUtf8("Ñ%")), QStringList{"m1"});
    EXPECT_EQ(patientLike("e%"), QStringList{});
    if (backend() == Backend::Sqlite)
        return;
    EXPECT_EQ(patientLike(QString::fromUtf8("ñ%")), QStringList{"m1"});
    EXPECT_EQ(patientLike(QString::fromUtf8("%ÚÑ%")), QStringList{"m1"});
    EXPECT_EQ(patientLike(QString::fromUtf8("él%")), QStringList{"m3"});
    EXPECT_EQ(column(QString::fromUtf8("select MsgID from Tracking where Patient = 'ñÚÑEZ'")),
              QStringList{"m1"});
    EXPECT_EQ(column("select MsgID from Tracking where Patient = 'nunez'"), QStringList{"m2"});
}

TEST_P(TrackingSemantics, SentinelLiteralsFindBoundDates)
{
    const QDateTime received = WallClock::of(QDate(2024, 3, 1), QTime(8, 30, 15, 250));
    insert("undeliverable", "a", sentinelDateTime(Sentinel::Undeliverable), received);
    insert("managed", "b", sentinelDateTime(Sentinel::Managed), received);
    insert("same", "c", received, received);
    insert("waiting", "d", std::nullopt, received);
    const SqlDialect &d = db.dialect();
    EXPECT_EQ(
        column("select MsgID from Tracking where QZDeliveryTime = " + d.dateLiteral(Sentinel::Undeliverable)),
        QStringList{"undeliverable"});
    EXPECT_EQ(column("select MsgID from Tracking where QZDeliveryTime = " + d.dateLiteral(Sentinel::Managed)),
              QStringList{"managed"});
    EXPECT_EQ(column("select MsgID from Tracking where QZDeliveryTime = QZServerReceiveTime"),
              QStringList{"same"});

    DbStatement between(db, "select MsgID from Tracking where QZServerReceiveTime between :QFrom and :QTo");
    between.bind("QFrom", ::ParamType::DateTime, WallClock::of(QDate(2024, 3, 1), QTime(8, 30, 15, 250)));
    between.bind("QTo", ::ParamType::DateTime, WallClock::of(QDate(2024, 3, 1), QTime(8, 30, 15, 250)));
    EXPECT_EQ(between.open().rowCount(), 4);

    DbStatement read(db, "select QZServerReceiveTime from Tracking where MsgID = 'same'");
    EXPECT_EQ(read.open().dateTime(0, "QZServerReceiveTime"), received);
}

TEST_P(TrackingSemantics, NonDateInDateParameterIsRefused)
{
    DbStatement insert(db, "INSERT INTO Tracking (MsgID, RequestDate) VALUES (:MsgID, :RequestDate)");
    insert.bind("MsgID", ::ParamType::Text, "x");
    insert.bind("RequestDate", ::ParamType::DateTime, -999999);
    try {
        insert.execute();
        FAIL() << "the marker was accepted";
    } catch (const DbError &e) {
        EXPECT_TRUE(e.message().contains("-999999"));
    }
    EXPECT_TRUE(column("select MsgID from Tracking").isEmpty());
}

TEST_P(TrackingSemantics, TextLongerThanItsColumnIsRefused)
{
    DbStatement insert(db, "INSERT INTO Tracking (MsgID, FileType) VALUES (:MsgID, :FileType)");
    insert.bind("MsgID", ::ParamType::Text, QString(101, u'x'));
    insert.bind("FileType", ::ParamType::Text, "HL7");
    EXPECT_THROW(insert.execute(), DbError);
    insert.bind("MsgID", ::ParamType::Text, QString(100, u'x'));
    EXPECT_EQ(insert.execute(), 1);
}

TEST_P(TrackingSemantics, QuotedMessageIdFindsOnlyItsOwnRow)
{
    insert("O'Brien", "a", WallClock::of(QDate(2024, 1, 2), QTime(3, 4)));
    insert("x' or '1'='1", "b", WallClock::of(QDate(2024, 1, 3), QTime(3, 4)));
    insert("plain", "c", WallClock::of(QDate(2024, 1, 1), QTime(3, 4)));
    const SqlDialect &d = db.dialect();
    EXPECT_EQ(column(d.existingRowSql("O'Brien"), "Sender").size(), 1);
    EXPECT_EQ(column(d.existingRowSql("x' or '1'='1"), "Sender").size(), 1);
    EXPECT_EQ(column(d.existingRowSql("' or ''='"), "Sender").size(), 0);
    DbStatement low(db, d.lowDeliverySql("O'Brien"));
    const DbResult result = low.open();
    ASSERT_EQ(result.rowCount(), 1);
    EXPECT_EQ(result.dateTime(0, "QZDeliveryTime"), WallClock::of(QDate(2024, 1, 2), QTime(3, 4)));
}

TEST_P(TrackingSemantics, BoundLookupsFindExactlyTheIdTheyAreGiven)
{
    const QStringList ids = {"O'Brien", "x' or '1'='1", "50%_off\\", ":MsgID", "a;b--c", "\"quoted\"", "[x]"};
    for (qsizetype i = 0; i < ids.size(); ++i)
        insert(ids.at(i), "s", WallClock::of(QDate(2024, 1, 1), QTime(1, 0)).addDays(i));
    insert("plain", "t", WallClock::of(QDate(2020, 1, 1), QTime(1, 0)));
    const SqlDialect &d = db.dialect();
    EXPECT_TRUE(d.bindsLookupMessageId());
    DbStatement existing(db, d.existingRowBoundSql());
    DbStatement low(db, d.lowDeliveryBoundSql());
    EXPECT_EQ(existing.parameterNames(), QStringList{"MsgID"});
    EXPECT_EQ(low.parameterNames(), QStringList{"MsgID"});
    for (qsizetype i = 0; i < ids.size(); ++i) {
        existing.bind("MsgID", ::ParamType::Text, ids.at(i));
        EXPECT_EQ(existing.open().rowCount(), 1) << ids.at(i).toStdString();
        low.bind("MsgID", ::ParamType::Text, ids.at(i));
        const DbResult earliest = low.open();
        ASSERT_EQ(earliest.rowCount(), 1) << ids.at(i).toStdString();
        EXPECT_EQ(earliest.dateTime(0, "QZDeliveryTime"),
                  WallClock::of(QDate(2024, 1, 1), QTime(1, 0)).addDays(i));
    }
    existing.bind("MsgID", ::ParamType::Text, "' or ''='");
    EXPECT_TRUE(existing.open().isEmpty());
}

TEST_P(TrackingSemantics, CatalogueChecksAnswerLikeSqlServer)
{
    const SqlDialect &d = db.dialect();
    EXPECT_EQ(column(d.tableExistsSql("tracking"), "name").size(), 1);
    EXPECT_EQ(column(d.tableExistsSql("HM_CONTENT"), "name").size(), 0);
    EXPECT_EQ(column(d.columnExistsSql("Tracking", "RunNumber"), "column_name").size(), 1);
    EXPECT_EQ(column(d.columnExistsSql("Tracking", "NoSuch"), "column_name").size(), 0);
    EXPECT_EQ(column(d.columnMaxLengthSql("Tracking", "MsgID"), "MaxLength"), QStringList{"100"});
    EXPECT_EQ(column(d.columnMaxLengthSql("Tracking", "FileType"), "MaxLength"), QStringList{"240"});
}

// Mended fault: the content lookup gave whichever copy the table held first.
TEST_P(TrackingSemantics, ContentLookupGivesTheNewestCopy)
{
    db.execute(db.dialect().createContentSql());
    DbStatement store(db, "insert into HM_CONTENT (MsgID, HMData) values (:MsgID, :Data)");
    const auto add = [&](const char *id, const char *bytes) {
        store.bind("MsgID", ::ParamType::Text, QString::fromLatin1(id));
        store.bind("Data", ::ParamType::LongText, QByteArray(bytes));
        store.execute();
    };
    add("M1", "first");
    add("OTHER", "other");
    add("m1", "second");
    // Space freed early in the table is taken by a later row.
    db.execute("delete from HM_CONTENT where MsgID = 'OTHER'");
    if (backend() == Backend::PostgreSql)
        db.execute("vacuum HM_CONTENT");
    add("M1", "newest");
    DbStatement lookup(db, db.dialect().newestContentSql());
    lookup.bind("QMsgId", ::ParamType::Text, QStringLiteral("M1"));
    const DbResult result = lookup.open();
    ASSERT_EQ(result.rowCount(), 1);
    EXPECT_EQ(db.dialect().longTextValue(result.value(0, "HMData")), QByteArray("newest"));
}

// A transaction begun inside another is a savepoint: its rollback undoes only its own writes.
TEST_P(TrackingSemantics, TransactionInsideATransactionRollsBackOnlyItself)
{
    db.beginTransaction(DbConnection::TransactionMode::Write);
    insert("KEPT", "Outer");
    db.beginTransaction();
    insert("UNDONE", "Inner");
    db.rollback();
    db.beginTransaction();
    insert("ALSO", "Inner");
    db.commit();
    EXPECT_TRUE(db.inTransaction());
    db.commit();
    EXPECT_FALSE(db.inTransaction());
    DbStatement rows(db, "select MsgID from Tracking order by MsgID");
    const DbResult result = rows.open();
    ASSERT_EQ(result.rowCount(), 2);
    EXPECT_EQ(result.text(0, "MsgID"), "ALSO");
    EXPECT_EQ(result.text(1, "MsgID"), "KEPT");
}

TEST_P(TrackingSemantics, ManagedTagSetsSentinelAndNow)
{
    insert("u1", "a", sentinelDateTime(Sentinel::Undeliverable),
           WallClock::of(QDate(2020, 1, 1), QTime(1, 0)));
    insert("u1", "b", sentinelDateTime(Sentinel::Undeliverable),
           WallClock::of(QDate(2020, 1, 1), QTime(1, 0)));
    // "Now" is the database's clock, which on a server need not share this process's zone.
    const auto databaseNow = [&] {
        DbStatement now(db, "select " + db.dialect().currentDateTimeSql() + " as Now");
        return *now.open().dateTime(0, "Now");
    };
    const QDateTime before = databaseNow().addSecs(-1);
    DbStatement tag(db, db.dialect().tagAsManagedSql());
    tag.bind("QMessageID", ::ParamType::Text, "u1");
    EXPECT_EQ(tag.execute(), 2);
    DbStatement read(db, "select QZDeliveryTime, QZServerReceiveTime from Tracking");
    const DbResult result = read.open();
    for (int row = 0; row < result.rowCount(); ++row) {
        EXPECT_EQ(deliveryStateOf(result.dateTime(row, "QZDeliveryTime")), DeliveryState::Managed);
        const auto received = result.dateTime(row, "QZServerReceiveTime");
        ASSERT_TRUE(received.has_value());
        EXPECT_GE(*received, before);
        EXPECT_LE(*received, databaseNow().addSecs(1));
    }
}

TEST_P(TrackingSemantics, UndeliveredSummaryCountsByCalendarDay)
{
    const QDateTime now = WallClock::now();
    const QDateTime yesterdayLate = WallClock::of(now.date().addDays(-1), QTime(23, 59));
    const QDateTime fourDaysAgo = WallClock::of(now.date().addDays(-4), QTime(12, 0));
    const QDateTime lastDelivery = WallClock::of(QDate(2024, 6, 7), QTime(14, 5, 33));
    insert("w1", "a", std::nullopt, yesterdayLate, "P1");
    insert("w2", "a", std::nullopt, fourDaysAgo, "P1");
    insert("d1", "a", sentinelDateTime(Sentinel::DecryptFailedMonthFirst), now, "P1");
    insert("u1", "a", sentinelDateTime(Sentinel::Undeliverable), now, "P1");
    insert("x1", "a", lastDelivery, WallClock::of(QDate(2024, 6, 7), QTime(9, 0)), "P1");
    insert("w3", "a", std::nullopt, now, "P2");

    DbStatement summary(db, db.dialect().undeliveredSummarySql());
    const DbResult result = summary.open();
    ASSERT_EQ(result.rowCount(), 2);
    EXPECT_EQ(result.text(0, "pracid"), "P1");
    EXPECT_EQ(result.integer(0, "count_today"), 1); // decrypt failed, received now
    EXPECT_EQ(result.integer(0, "count_today_1"), 1);
    EXPECT_EQ(result.integer(0, "count_today_2"), 0);
    EXPECT_EQ(result.integer(0, "count_today_3"), 0);
    EXPECT_EQ(result.integer(0, "count_today_4_plus"), 1);
    EXPECT_EQ(result.integer(0, "count_total"), 3);
    EXPECT_EQ(result.text(0, "last_delivery"), "07 Jun 2024 14:05");
    EXPECT_EQ(result.text(1, "pracid"), "P2");
    EXPECT_TRUE(result.isNull(1, "last_delivery"));
}

OVTRACK_ON_EVERY_BACKEND(TrackingSemantics);

} // namespace
