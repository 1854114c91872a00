#pragma once

#include "Rejoueur.h"

#include <QByteArray>
#include <QList>
#include <QString>

// The replay as a JUnit report, for a CI job's test dashboard: one <testsuite> named after
// the journal, one <testcase> per conversation replayed ("plc, connexion 2, canal 1"), with a
// <failure> per reply that differs. "failures" counts the conversations with at least one.
QByteArray rapportJunit(const QString& journal, const QList<Conversation>& liste,
                        const QList<ReponseComparee>& reponses);

// Nothing could be compared: one <testcase> with an <error>, so that the dashboard shows the
// run as broken, with why, rather than an earlier run's results or none.
QByteArray rapportJunitEchec(const QString& journal, const QString& code, const QString& message);

// Text made fit for XML 1.0, in an attribute's quotes or between tags: markup escaped, and
// characters XML cannot hold at all (control characters, a lone surrogate) in the log's
// readable notation or as U+FFFD.
// In an attribute, line ends and tabs are written as references, which keeps them.
QString echappeXml(const QString& texte, bool dansAttribut);
