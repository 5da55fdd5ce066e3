#include "shared/tracking/DbConnection.h"
#include "shared/tracking/DbStatement.h"
#include "viewer/gui/Tracking.h"

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>

#include <cstdio>

// ovtrack_screenshot OUT.png: the main window over a small sample database, searched, as a PNG.
// Everything it writes (database, saved criteria) lives in a temporary folder.
namespace {

struct SampleRow
{
    const char *msgId;
    const char *patient;
    const char *given;
    const char *pracId;
    const char *test;
    int receivedDaysAgo;
    const char *delivery; // "" waiting, else a date-time text
    int readStatus;       // 0 for none
};

constexpr SampleRow Rows[] = {
    {"Q1001", "ADAMS", "Jane", "P0101", "FBC, U&E", 0, "", 0},
    {"Q1002", "BROWN", "Peter", "P0101", "LFT", 0, "", 1},
    {"Q1003", "CLARKE", "Ann", "P0102", "HbA1c", 1, "1900-01-01 00:00:00.000", 0},
    {"Q1004", "DAVIES", "Tom", "P0102", "Lipids", 1, "2001-01-01 00:00:00.000", 0},
    {"Q1005", "EVANS", "Mary", "P0103", "TSH", 1, "1905-06-07 00:00:00.000", 0},
    {"Q1006", "FOSTER", "Liam", "P0103", "INR", 2, "@", 3},
    {"Q1007", "GREEN", "Ella", "P0104", "CRP", 2, "@", 6},
    {"Q1008", "HUGHES", "Owen", "P0104", "Ferritin", 2, "", 99},
    {"Q1009", "IRWIN", "Kate", "P0105", "B12, Folate", 3, "1900-01-27 00:00:00.000", 0},
    {"Q1010", "JONES", "Rhys", "P0105", "PSA", 3, "@", 0},
    {"Q1011", "KING", "Lucy", "P0106", "Vitamin D", 4, "", 0},
    {"Q1012", "LEWIS", "Sam", "P0106", "Urine culture", 4, "@", 2},
};

void fillSampleDatabase(DbConnection &connection)
{
    connection.execute(connection.dialect().createTrackingSql());
    const QDateTime now = QDateTime::currentDateTime();
    DbStatement insert(
        connection,
        QStringLiteral(
            "insert into Tracking (MsgID, Patient, PatientGiven, PracID, Test, Filename, FileType, LabId, "
            "AddresseeDoc, PatientDOB, RequestDate, QZServerReceiveTime, QZDeliveryTime, ReadStatus, "
            "StatusTime) "
            "values (:id, :patient, :given, :prac, :test, :file, 'HL7', :lab, 'Dr Smith', :dob, :requested, "
            ":received, :delivery, :status, :statusTime)"));
    int n = 0;
    for (const SampleRow &row : Rows) {
        const QDateTime received = now.addDays(-row.receivedDaysAgo).addSecs(-3600 * (n % 7) - 97 * n);
        const QString delivery = QLatin1String(row.delivery);
        QVariant deliveryValue;
        if (delivery == QLatin1String("@"))
            deliveryValue = received.addSecs(600);
        else if (!delivery.isEmpty())
            deliveryValue = QDateTime::fromString(delivery, QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
        insert.bind(QStringLiteral("id"), ParamType::Text, QLatin1String(row.msgId));
        insert.bind(QStringLiteral("patient"), ParamType::Text, QLatin1String(row.patient));
        insert.bind(QStringLiteral("given"), ParamType::Text, QLatin1String(row.given));
        insert.bind(QStringLiteral("prac"), ParamType::Text, QLatin1String(row.pracId));
        insert.bind(QStringLiteral("test"), ParamType::Text, QLatin1String(row.test));
        insert.bind(QStringLiteral("file"), ParamType::Text,
                    QStringLiteral("%1.hl7").arg(QLatin1String(row.msgId)));
        insert.bind(QStringLiteral("lab"), ParamType::Text, QStringLiteral("L%1").arg(70000 + n * 13));
        insert.bind(QStringLiteral("dob"), ParamType::DateTime,
                    QDateTime(QDate(1950 + n * 4, 1 + n, 3), QTime(0, 0)));
        insert.bind(QStringLiteral("requested"), ParamType::DateTime,
                    QDateTime(received.date(), QTime(0, 0)));
        insert.bind(QStringLiteral("received"), ParamType::DateTime, received);
        insert.bind(QStringLiteral("delivery"), ParamType::DateTime, deliveryValue);
        insert.bind(QStringLiteral("status"), ParamType::Int,
                    row.readStatus ? QVariant(row.readStatus) : QVariant());
        insert.bind(QStringLiteral("statusTime"), ParamType::DateTime,
                    row.readStatus ? QVariant(received.addSecs(1800)) : QVariant());
        insert.execute();
        ++n;
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: ovtrack_screenshot OUT.png\n");
        return 2;
    }
    QApplication app(argc, argv);
    QTemporaryDir folder;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder.path());
    const QString database = folder.filePath(QStringLiteral("sample.db"));
    const QString connectionString = QStringLiteral("Provider=SQLite;Data Source=") + database;
    {
        DbConnection connection(folder.path());
        connection.open(connectionString);
        fillSampleDatabase(connection);
    }

    TQZTrackForm form({folder.path(), {QString(), QString(), connectionString}, nullptr, nullptr});
    form.FormCreate();
    form.findChild<QCheckBox *>(QStringLiteral("MailboxCheck"))->setChecked(true);
    form.show();
    form.RunTrackQuery();
    form.grid()->setCurrentIndex(form.trackModel().index(2, 3));
    form.grid()->setFocus();
    QApplication::processEvents();
    if (!form.grab().save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
