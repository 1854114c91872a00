#pragma once

#include "trace/LectureJournal.h"
#include "trace/ValeursCles.h"

#include <QHash>

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
    // The device sent more than the recorded reply and MargeReponse beyond it: what was read
    // stops there.
    bool coupee = false;
    // Its device (empty in a one-device journal) and its conversation, by its place in the
    // list replayed.
    QString appareil;
    qsizetype conversation = 0;

    bool differe() const { return attendue != recue; }
};

// Why nothing could be compared: a short word for programs ("unreachable", "descriptors",
// "timing") and the message for people.
struct EchecRejeu
{
    QString code;
    QString message;
};

// Plays the host's side of a journal's conversations against a device, one connection per
// conversation, the exchanges in the journal's order, and keeps every reply it gets.
class Rejoueur
{
public:
    // Most read for one reply beyond its recorded length: a device that keeps streaming is a
    // difference, not a process that fills its memory.
    static constexpr qsizetype MargeReponse = 64 * 1024;
    // Recorded gaps are kept up to this (a journal joined from two runs may hold days).
    static constexpr qint64 EcartMaxUs = 60LL * 1000 * 1000;

    struct Reglages
    {
        // Where each device's conversations go, by its name; "" for a one-device journal.
        QHash<QString, HotePort> cibles;
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

    // Every exchange compared, in the journal's order, or why nothing could be.
    std::variant<QList<ReponseComparee>, EchecRejeu> rejoue(const QList<Conversation>& liste) const;

    // The wait before an exchange recorded at monoUs when the previous one was at precedentUs:
    // 0 when time went back (a journal joined from two runs), EcartMaxUs at most.
    static qint64 ecartUs(qint64 precedentUs, qint64 monoUs);

private:
    Reglages r;
};
