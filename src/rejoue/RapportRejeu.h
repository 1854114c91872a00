#pragma once

#include "Rejoueur.h"

#include <QByteArray>
#include <QList>
#include <QString>

// A difference's first line, "ligne 14, canal 1 : la réponse diffère" (its device named in a
// several-device journal), and the lines that show it, each ending its line.
QString titreDifference(const ReponseComparee& r);
QString detailDifference(const ReponseComparee& r);

// The report of a replay: one block per reply that differs, then a summary line. Bytes are
// shown in the log's readable form ("Esc/P1Cr/"). From a several-device journal, a
// line per device says its own count before the whole.
QString rapportTexte(const QList<ReponseComparee>& reponses);

// The same as one JSON document: {"compared": n, "differences": [...]}, each difference with
// its line, channel, the three texts in readable form and as bytes, one character per byte.
// From a several-device journal, each difference names its "device", and "devices" counts
// each one's replies.
QByteArray rapportJson(const QList<ReponseComparee>& reponses);
