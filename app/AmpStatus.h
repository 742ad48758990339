#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

// One amplifier status line: "<word> <status 1>,<status 2>,<status 3>".
struct AmpStatus {
    int status1 = 0;
    int status2 = 0;
    int status3 = 0;
};

// What one status datagram holds: its well-formed lines in order, and the lines of another
// shape (empty lines aside), which are skipped.
struct AmpStatusDatagram {
    QVector<AmpStatus> lines;
    int rejected = 0;
    QString first_rejected;
};

// Splits the text at carriage returns; a line is accepted when it splits at single spaces
// into exactly two parts and its second part at commas into exactly three values, each read
// as a decimal integer (0 when not a number).
AmpStatusDatagram parseAmpStatus(const QByteArray& bytes);
