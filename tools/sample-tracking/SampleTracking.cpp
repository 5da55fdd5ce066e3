#include "tools/sample-tracking/SampleTracking.h"

#include <QDir>
#include <QFile>

#include <stdexcept>

namespace {

const QStringList Surnames = {"Ashcombe",  "Brindle",   "Carraway", "Dunmore", "Elsworth", "Fairleigh",
                              "Gosling",   "Hartwell",  "Ingleby",  "Jessop",  "Kettle",   "Larkin",
                              "Moorcroft", "Nettleton", "Oakshott", "Pennock", "Quarrie",  "Rudd",
                              "Stainer",   "Thwaite",   "O'Malley"};
const QStringList GivenNames = {"Ada",    "Bram",  "Cicely", "Dorian", "Edith", "Fenn",  "Greta", "Hugo",
                                "Imelda", "Jonah", "Keira",  "Lorcan", "Maud",  "Niall", "Orla",  "Piers"};
const QStringList Streets = {"Mill Lane",     "Tanner Row",   "Quarry Hill",
                             "Orchard Close", "Fenwick Road", "Bell Yard"};
const QStringList Towns = {"Ashbourne Vale", "Kettering Moor", "Lowfield", "Westmarch", "Harrowby"};
const QStringList Practices = {"WESTFIELD", "RIVERBANK", "OAKHILL", "P81234", "LOWMOOR"};
const QStringList Senders = {"lab@northmere-path.example", "results@saltash-imaging.example",
                             "pathology@kingsreach.example"};
const QStringList Tests = {"FBC",    "U&E", "LFT",         "HbA1c",      "TSH",
                           "Lipids", "CRP", "Chest X-ray", "Echo report"};
const QStringList FileTypes = {"HL7", "PIT", "PDF", "JPG", "DOC"};

const QString Header =
    QStringLiteral("Sender,Filename,ReceiveTime,DeliveryTime,FileType,LabId,RequestDate,"
                   "AddresseeDoc,RequestingDoc,Patient,PatientAddress,PatientDOB,DocsPTRef,"
                   "Test,CollectTime,ReportTime,RunNumber,PracID,Status,MsgID");

// What happens to a message after it arrived; the number of the message chooses it.
enum class Fate
{
    Waiting,
    Delivered,
    Undeliverable,
    Emailed,
    DecryptFailed,
    DeliveredThenRead,
    StatusWithoutReceipt,
    DeliveredThenRejected,
    StatusDecryptFailed,
    DeliveredImage
};
constexpr int FateCount = 10;

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        throw std::runtime_error(("cannot write " + path + ": " + file.errorString()).toStdString());
}

QByteArray crLfLines(const QStringList &lines)
{
    return (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8();
}

int numberOf(const QString &msgId)
{
    return msgId.mid(2).toInt();
}

// The receipts and notifications that follow a message's arrival, by its fate.
QStringList laterLinesOf(SampleTracking &samples, Fate fate, const QString &msgId, const QString &delivered)
{
    switch (fate) {
    case Fate::Waiting:
        return {};
    case Fate::Delivered:
    case Fate::DeliveredImage:
        return {samples.receiptLine(msgId, delivered)};
    case Fate::Undeliverable:
        return {samples.receiptLine(msgId, QStringLiteral("0000-00-00 00:00:00"))};
    case Fate::Emailed:
        return {samples.receiptLine(msgId, QStringLiteral("2001-01-01 00:00:00"))};
    case Fate::DecryptFailed:
        return {samples.receiptLine(msgId, QStringLiteral("1905-06-07 00:00:00"))};
    case Fate::DeliveredThenRead:
        return {samples.receiptLine(msgId, delivered), samples.statusLine(msgId, 2, delivered)};
    case Fate::StatusWithoutReceipt:
        return {samples.statusLine(msgId, 3)};
    case Fate::DeliveredThenRejected:
        return {samples.receiptLine(msgId, delivered), samples.statusLine(msgId, 6, delivered)};
    case Fate::StatusDecryptFailed:
        return {samples.statusLine(msgId, 99)};
    }
    return {};
}

} // namespace

SampleTracking::SampleTracking(quint32 seed, QDateTime now) : m_random(seed), m_now(std::move(now)) {}

QString SampleTracking::messageId(int number)
{
    return QStringLiteral("QZ%1").arg(number, 8, 10, QLatin1Char('0'));
}

QString SampleTracking::headerLine()
{
    return Header;
}

QString SampleTracking::pick(const QStringList &values)
{
    return values.at(static_cast<int>(m_random.bounded(static_cast<quint32>(values.size()))));
}

SampleTracking::Person SampleTracking::person()
{
    return {pick(Surnames), pick(GivenNames)};
}

QString SampleTracking::practiceOf(const QString &msgId) const
{
    return Practices.at(numberOf(msgId) % Practices.size());
}

QString SampleTracking::senderOf(const QString &msgId) const
{
    return Senders.at(numberOf(msgId) % Senders.size());
}

QString SampleTracking::fileNameOf(const QString &msgId, const QString &extension) const
{
    return practiceOf(msgId) + u'_' + msgId + extension;
}

QString SampleTracking::dateTime(qint64 secondsAgo) const
{
    return m_now.addSecs(-secondsAgo).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString SampleTracking::fields(const QStringList &values) const
{
    return values.join(u',');
}

QString SampleTracking::newMessageLine(const QString &msgId)
{
    const Person patient = person();
    const Person addressee = person();
    const Person requester = person();
    const qint64 received = 3600 + m_random.bounded(72 * 3600);
    const QString dob =
        QDate(1930 + static_cast<int>(m_random.bounded(85)), 1 + static_cast<int>(m_random.bounded(12)),
              1 + static_cast<int>(m_random.bounded(28)))
            .toString(QStringLiteral("yyyy-MM-dd"));
    return fields({senderOf(msgId),
                   fileNameOf(msgId, QStringLiteral(".hl7")),
                   dateTime(received),
                   QString(),
                   pick(FileTypes),
                   QStringLiteral("LAB%1").arg(numberOf(msgId) * 37 % 100000, 5, 10, QLatin1Char('0')),
                   dateTime(received + 86400),
                   addressee.surname + u'#' + addressee.given,
                   requester.surname + u'#' + requester.given,
                   patient.surname + u'#' + patient.given,
                   QStringLiteral("%1 %2 %3").arg(1 + m_random.bounded(120)).arg(pick(Streets), pick(Towns)),
                   dob,
                   QStringLiteral("PT%1").arg(m_random.bounded(900000) + 100000),
                   pick(Tests),
                   dateTime(received + 7200),
                   dateTime(received + 600),
                   QStringLiteral("R%1").arg(numberOf(msgId) % 97),
                   practiceOf(msgId),
                   QString(),
                   msgId});
}

QString SampleTracking::receiptLine(const QString &msgId, const QString &deliveryTime)
{
    QStringList values(20);
    values[0] = senderOf(msgId);
    values[1] = fileNameOf(msgId, QStringLiteral(".hl7"));
    values[3] = deliveryTime;
    values[16] = QStringLiteral("R%1").arg(numberOf(msgId) % 97);
    values[17] = practiceOf(msgId);
    values[19] = msgId;
    return fields(values);
}

QString SampleTracking::statusLine(const QString &msgId, int statusCode, const QString &deliveryTime)
{
    QStringList values(20);
    values[0] = senderOf(msgId);
    values[1] = fileNameOf(msgId, QStringLiteral(".hl7"));
    values[3] = deliveryTime;
    values[17] = practiceOf(msgId);
    values[18] = QString::number(statusCode);
    values[19] = msgId;
    return fields(values);
}

QByteArray SampleTracking::contentOf(const QString &msgId, bool binary)
{
    if (binary) {
        QByteArray bytes("\xFF\xD8\xFF\xE0", 4); // looks like the start of a JPEG
        for (int i = 0; i < 256; ++i)
            bytes.append(static_cast<char>(i));
        for (int i = 0; i < 2048; ++i)
            bytes.append(static_cast<char>(m_random.bounded(256)));
        return bytes;
    }
    const Person patient = person();
    const QString stamp = m_now.toString(QStringLiteral("yyyyMMddHHmmss"));
    return QStringLiteral("MSH|^~\\&|NORTHMERE|LAB|%1|GP|%2||ORU^R01|%3|P|2.4\r"
                          "PID|1||%4||%5^%6\r"
                          "OBR|1||%3|%7\r"
                          "OBX|1|NM|HB^Haemoglobin||%8|g/L|130-180|N\r"
                          "NTE|1||Caf\u00e9 au lait patches noted \u2013 see letter\r")
        .arg(practiceOf(msgId), stamp, msgId, QString::number(m_random.bounded(900000) + 100000),
             patient.surname, patient.given, pick(Tests), QString::number(120 + m_random.bounded(60)))
        .toUtf8();
}

SampleTracking::Summary SampleTracking::writeInto(const QString &folder, int messages, int firstNumber,
                                                  const QString &batch)
{
    constexpr int LinesPerFile = 25;
    const QDir dir(folder);
    Summary summary;
    QStringList newLines{Header};
    QStringList laterLines{Header};
    int newFiles = 0;
    int laterFiles = 0;
    const auto flush = [&](QStringList &lines, int &count, const char *kind, const char *extension,
                           bool force) {
        if (lines.size() <= 1 || (!force && lines.size() <= LinesPerFile))
            return;
        const QString name = QStringLiteral("%1trk_%2_%3%4")
                                 .arg(batch, QLatin1String(kind))
                                 .arg(++count, 3, 10, QLatin1Char('0'))
                                 .arg(QLatin1String(extension));
        writeFile(dir.filePath(name), crLfLines(lines));
        summary.dataLines += static_cast<int>(lines.size()) - 1;
        ++summary.trackingFiles;
        lines = QStringList{Header};
    };

    for (int number = firstNumber; number < firstNumber + messages; ++number) {
        const QString msgId = messageId(number);
        QString line = newMessageLine(msgId);
        // Shorter layouts the server also writes: without status and practice, without run number,
        // and the 19-field form whose last field is both status and message id.
        QStringList parts = line.split(u',');
        if (number % 7 == 3)
            line = fields(parts.mid(0, 16) << msgId);
        else if (number % 7 == 4)
            line = fields(parts.mid(0, 17) << msgId);
        else if (number % 7 == 5)
            line = fields(parts.mid(0, 18) << msgId);
        newLines << line;

        const Fate fate = static_cast<Fate>(number % FateCount);
        laterLines << laterLinesOf(*this, fate, msgId, dateTime(600));
        if (fate == Fate::Delivered || fate == Fate::DeliveredThenRead || fate == Fate::DeliveredImage) {
            const bool binary = fate == Fate::DeliveredImage;
            writeFile(dir.filePath(msgId + (binary ? QStringLiteral(".qzdata") : QStringLiteral(".data"))),
                      contentOf(msgId, binary));
            ++summary.contentFiles;
        }
        ++summary.messages;
        flush(newLines, newFiles, "new", ".qzd", false);
        flush(laterLines, laterFiles, "status", ".csv", false);
    }
    flush(newLines, newFiles, "new", ".qzd", true);
    flush(laterLines, laterFiles, "status", ".csv", true);
    return summary;
}
