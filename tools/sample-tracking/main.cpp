#include "tools/sample-tracking/SampleTracking.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>
#include <stdexcept>

// sample-tracking FOLDER [MESSAGES] [FIRST]: writes sample tracking and content files into FOLDER.
int main(int argc, char **argv)
{
    const QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: sample-tracking FOLDER [MESSAGES] [FIRST]\n");
        return 2;
    }
    const int messages = args.size() > 2 ? args.at(2).toInt() : 60;
    const int first = args.size() > 3 ? args.at(3).toInt() : 1;
    if (messages <= 0 || first <= 0) {
        std::fprintf(stderr, "sample-tracking: MESSAGES and FIRST must be positive numbers\n");
        return 2;
    }
    try {
        QDir().mkpath(args.at(1));
        SampleTracking samples;
        const SampleTracking::Summary summary =
            samples.writeInto(args.at(1), messages, first, QStringLiteral("b%1_").arg(first));
        std::printf("sample-tracking: %d messages, %d data lines in %d tracking files, %d content files\n",
                    summary.messages, summary.dataLines, summary.trackingFiles, summary.contentFiles);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "sample-tracking: %s\n", error.what());
        return 1;
    }
    return 0;
}
