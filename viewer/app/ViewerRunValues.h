#pragma once

#include <QString>
#include <QStringList>

// The viewer's run-wide values, each folder ending with "/": the program folder, the folder for
// temporary files, the mailbox root, the import folder and the connection string.
struct ViewerRunValues
{
    QString AppPath;
    QString TempPath;
    QString UserPath;
    QString ImportPath;
    QString DbConnectionString;

    // Start-up's reading of them, in order: TMP, else TEMP, else TMPDIR, else /tmp; "qztrack.udl"
    // in the program folder; "settings.txt" there (unreadable: ignored); then the three positional
    // arguments, each used only when not empty.
    static ViewerRunValues read(const QString &appPath, const QStringList &positionalArguments,
                                const QString &tmp, const QString &temp, const QString &tmpdir = {});
    // The same with TMP, TEMP and TMPDIR taken from the environment.
    static ViewerRunValues fromEnvironment(const QString &appPath, const QStringList &positionalArguments);
};

// OVTrack's command line: up to three positional arguments and the switches of the headless runs.
struct ViewerCommandLine
{
    QStringList positional;
    QString exportCsvPath;    // --export-csv FILE
    QString reportPdfPath;    // --report-pdf FILE: the search report of the saved search
    QString summaryPdfPath;   // --summary-pdf FILE: the undelivered summary
    bool createBlank = false; // --create-blank: the Tracking table on the configured connection
    QString error;            // a switch without its value, or an unknown switch

    bool isHeadless() const
    {
        return !exportCsvPath.isEmpty() || !reportPdfPath.isEmpty() || !summaryPdfPath.isEmpty() ||
               createBlank;
    }
    // `arguments` without the program name.
    static ViewerCommandLine parse(const QStringList &arguments);
};
