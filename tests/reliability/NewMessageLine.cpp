#include "tests/reliability/NewMessageLine.h"

#include <QStringList>

QString newMessageLine(const QString &msgId)
{
    return QStringList{"lab@pathology.example",
                       "PRAC1_result.hl7",
                       "2024-03-05 10:15:20",
                       "",
                       "HL7",
                       "LAB123",
                       "2024-03-01 09:00:00",
                       "Dr#Addressee",
                       "Dr#Requesting",
                       "Smith#John",
                       "1 High Street",
                       "1970-02-03",
                       "PT42",
                       "FBC",
                       "2024-03-04 08:00:00",
                       "2024-03-05 09:00:00",
                       "RUN7",
                       "PRAC1@pathology.example",
                       "",
                       msgId}
        .join(u',');
}
