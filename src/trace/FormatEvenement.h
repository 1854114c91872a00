#pragma once

#include "SortieEvenements.h"

#include <QByteArray>
#include <QLatin1StringView>
#include <QString>

// One journal event as a line of JSON: {"t": UTC ISO 8601 with microseconds, "mono_us": a
// monotonic count of microseconds, "event": its kind, "origin": "velorin" for what Velorin sent
// on its own behalf, then "channel", "peer", "data" and "len" where they apply}, in UTF-8. The
// data's characters are written as they are, control characters escaped, so a byte string comes
// back exactly, one character per byte. Built straight into its bytes: it is made for every byte
// string the device receives and sends.
class FormatEvenement
{
public:
    static QLatin1StringView nom(SortieEvenements::Type type);

    // The event stamped now; `appareil`, when given, names the device of a machine it comes
    // from ("device").
    QByteArray ligne(SortieEvenements::Type type, int canal, const QString& pair,
                     const QString* donnees, const QString* appareil = nullptr);
    // The same at a given time (tests).
    QByteArray ligne(qint64 epoqueUs, qint64 monoUs, SortieEvenements::Type type, int canal,
                     const QString& pair, const QString* donnees,
                     const QString* appareil = nullptr);

    static qint64 maintenantEpoqueUs();
    static qint64 maintenantMonoUs();

private:
    // The stamp's text up to the second changes once a second: kept between events.
    qint64 secondeEnCache = -1;
    QByteArray debutEnCache;
};
