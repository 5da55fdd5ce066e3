#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QRandomGenerator>
#include <QString>
#include <QStringList>

// Invented messages written as the messaging server writes them: tracking files (".qzd" for new
// messages, ".csv" for receipts and status notifications, each opening with a header line) and
// content files (".data", ".qzdata"). Dates are written year first with the month before the day,
// as a day-first short date format (dd/MM/yyyy) reads them. Every line kind and delivery state
// appears: waiting, delivered, undeliverable, emailed, decryption failed, status codes 2, 3, 6 and
// 99, and lines of 17, 18, 19 and 20 fields.
class SampleTracking
{
public:
    struct Summary
    {
        int messages = 0;
        int trackingFiles = 0;
        int contentFiles = 0;
        int dataLines = 0;
    };

    explicit SampleTracking(quint32 seed = 2013, QDateTime now = QDateTime::currentDateTime());

    // Writes `messages` messages, numbered from `firstNumber`, into `folder`; file names carry
    // `batch` so that later batches never replace earlier files. Throws std::runtime_error when a
    // file cannot be written.
    Summary writeInto(const QString &folder, int messages, int firstNumber = 1, const QString &batch = {});

    // The line that announces a new message, all twenty fields.
    QString newMessageLine(const QString &msgId);
    // A delivery receipt and a status notification for a known message; a notification that
    // repeats the delivery time keeps it, one without gives the message its receive time.
    QString receiptLine(const QString &msgId, const QString &deliveryTime);
    QString statusLine(const QString &msgId, int statusCode, const QString &deliveryTime = {});

    static QString messageId(int number);
    static QString headerLine();
    // Content of a message: an HL7 text, or binary bytes for an image.
    QByteArray contentOf(const QString &msgId, bool binary);

private:
    struct Person
    {
        QString surname;
        QString given;
    };

    QString pick(const QStringList &values);
    Person person();
    QString practiceOf(const QString &msgId) const;
    QString senderOf(const QString &msgId) const;
    QString fileNameOf(const QString &msgId, const QString &extension) const;
    QString dateTime(qint64 secondsAgo) const;
    QString fields(const QStringList &values) const;

    QRandomGenerator m_random;
    QDateTime m_now;
};
