#pragma once

#include "Rejoueur.h"

#include <QByteArray>
#include <QList>
#include <QString>

// The report of a replay: one block per reply that differs, then a summary line. Bytes are
// shown in the log's readable form ("Esc/P1Cr/").
QString rapportTexte(const QList<ReponseComparee>& reponses);

// The same as one JSON document: {"compared": n, "differences": [...]}, each difference with
// its line, channel, the three texts in readable form and as bytes, one character per byte.
QByteArray rapportJson(const QList<ReponseComparee>& reponses);
