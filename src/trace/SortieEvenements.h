#pragma once

#include <QString>

// Where the traffic journal's events go: what the device received and sent on each channel,
// and what happened around it. Callers hold a pointer that is null when no journal is kept, so
// a run without one pays nothing.
class SortieEvenements
{
public:
    enum class Type {
        Ecoute,
        Connexion,
        Reception,
        Envoi,
        Fermeture,
        Erreur,
        Controle,
        Defaut,
        Horloge,
        Mode,
        Log,
        // Bytes Velorin sent a client on its own behalf (its shutdown notice): a "send" that
        // says so, never part of the device's replies.
        AvisVelorin
    };

    virtual ~SortieEvenements() = default;

    // A negative channel and an empty peer are left out of the event; so are the data when
    // `donnees` is null. Received and sent data are bytes, one character per byte.
    virtual void evenement(Type type, int canal, const QString& pair, const QString* donnees) = 0;

    void evenement(Type type, int canal, const QString& pair, const QString& donnees)
    {
        evenement(type, canal, pair, &donnees);
    }
    void evenement(Type type, const QString& donnees) { evenement(type, -1, QString(), &donnees); }
};
