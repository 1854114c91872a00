#pragma once

#include "trace/LectureJournal.h"

#include <QList>
#include <QString>

#include <variant>

// One recorded reply beside the one the device gave this time.
struct ReponseComparee
{
    qint64 ligne = 0;
    int canal = -1;
    QString requete;
    QString attendue;
    QString recue;

    bool differe() const { return attendue != recue; }
};

// Plays the host's side of a journal's conversations against a device, one connection per
// conversation, the exchanges in the journal's order, and keeps every reply it gets.
class Rejoueur
{
public:
    struct Reglages
    {
        QString hote;
        quint16 port = 0;
        // Recorded gaps between requests kept, rather than each request as soon as the last
        // reply is in.
        bool tempsEnregistre = false;
        // A reply is awaited this long at most.
        int delaiMs = 2000;
        // Where no reply was recorded, anything arriving within this much quiet is one too
        // many.
        int silenceMs = 200;
        int delaiConnexionMs = 10000;
    };

    explicit Rejoueur(Reglages reglages) : r(std::move(reglages)) {}

    // Every exchange compared, in the journal's order, or why the device could not be reached.
    std::variant<QList<ReponseComparee>, QString> rejoue(const QList<Conversation>& liste) const;

private:
    Reglages r;
};
