#pragma once

#include <QString>

// Frame pieces shared by the device tests, and the stamp of HorlogeFigee.
inline const QChar ESC(27);
inline const QChar CR(13);
inline const QString ts = QStringLiteral("08:54:28.3");

// ESC, the given characters, CR: the frame of PLC requests and replies.
inline QString trame(const QString& donnees)
{
    return ESC + donnees + CR;
}

inline QString trame(const char* donnees)
{
    return trame(QString::fromLatin1(donnees));
}
