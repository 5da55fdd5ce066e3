#pragma once

#include <QString>

// A tracking line for a new message with the given id, as the messaging server writes it.
QString newMessageLine(const QString &msgId);
