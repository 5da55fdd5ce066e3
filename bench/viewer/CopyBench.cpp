// Ctrl+A, Ctrl+C over a grid of 200 000 rows (or the count given) from a real SQLite file, in a real
// window on the offscreen platform: the time the copy takes, and the process's resident memory before
// the copy, at its peak and once the clipboard holds the text, with the text's own size for scale.
// Usage: bench_viewer_copy [ROWS]
// Measured here with 200 000 rows (a text of 70 MB), on two shared cores under load: the copy built
// from one index and one map node per cell took 20.0 s, peaked at 625 MB and left the process at
// 548 MB (489 MB above its level before); built from the selection's ranges with the freed memory
// given back, 5.6 s, a peak of 136 MB and 129 MB after (70 MB above it: the clipboard's text).

#include "bench/ProcessStatus.h"
#include "shared/tracking/SqliteDialect.h"
#include "viewer/gui/Tracking.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <cstdio>
#include <stdexcept>

namespace {

// Starts a new peak: the kernel's high-water mark is reset to the present resident size.
void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

void makeDatabase(const QString &path, int rows)
{
    sqlite3 *db = nullptr;
    if (sqlite3_open(path.toUtf8().constData(), &db) != SQLITE_OK)
        throw std::runtime_error("cannot open the database");
    const QString sql =
        SqliteDialect().createTrackingSql() +
        QStringLiteral(";\ninsert into Tracking (MsgID, Sender, Filename, Patient, PatientGiven, PracID, FileType, "
                       "LabId, AddresseeDoc, RequestingDoc, Test, QZServerReceiveTime, QZDeliveryTime, "
                       "PatientDOB, RequestDate, ReadStatus, StatusTime, RunNumber) "
                       "with recursive n(i) as (select 1 union all select i + 1 from n where i < %1) "
                       "select 'MSG' || i, 'LAB', 'F' || i || '.HL7', 'PATIENT' || (i % 997), 'Given', "
                       "'P' || (i % 50), 'HL7', 'L' || i, 'Dr Addressee', 'Dr Requestor', "
                       "'FBC, U&E, LFT, CRP', '2024-03-01 09:00:00.000', '2024-03-01 10:00:00.000', "
                       "'1970-05-06 00:00:00.000', '2024-02-28 00:00:00.000', 3, '2024-03-01 11:00:00.000', "
                       "'R' || (i % 10) from n")
            .arg(rows);
    char *error = nullptr;
    if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string text = error ? error : "insert failed";
        sqlite3_free(error);
        sqlite3_close(db);
        throw std::runtime_error(text);
    }
    sqlite3_close(db);
}

// Answers every question with OK, as the user who wants the copy does.
class AnswerOk : public MessageBoxes
{
public:
    QMessageBox::StandardButton show(const MessageBoxRequest &) override { return QMessageBox::Ok; }
};

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rows = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 200000;
    QTemporaryDir folder;
    const QString database = folder.filePath(QStringLiteral("copy.db"));
    try {
        makeDatabase(database, rows);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }

    TQZTrackForm form({folder.path(), {QString(), QString(), QStringLiteral("Provider=SQLite;Data Source=") + database},
                       std::make_shared<AnswerOk>(), {}});
    form.FormCreate();
    form.findChild<QCheckBox *>(QStringLiteral("NameFilterCheck"))->setChecked(true);
    form.findChild<QLineEdit *>(QStringLiteral("rsNameFilterEdit"))->setText(QStringLiteral("PATIENT"));
    form.RunTrackQuery();
    form.trackModel().fetchAll();
    form.grid()->selectAll();
    QApplication::processEvents();

    const long before = statusKilobytes("VmRSS:");
    resetPeak();
    QElapsedTimer timer;
    timer.start();
    form.copySelectedCells();
    const qint64 ms = timer.elapsed();
    const long peak = statusKilobytes("VmHWM:");
    const long after = statusKilobytes("VmRSS:");
    const qsizetype textChars = QApplication::clipboard()->text().size();

    std::printf("rows %d, copy %lld ms, clipboard text %lld characters (%lld kB as UTF-16)\n",
                form.trackModel().rowCount(), static_cast<long long>(ms), static_cast<long long>(textChars),
                static_cast<long long>(textChars * 2 / 1024));
    std::printf("resident memory: before %ld kB, peak %ld kB, after %ld kB (after - before %ld kB)\n", before,
                peak, after, after - before);
    return 0;
}
