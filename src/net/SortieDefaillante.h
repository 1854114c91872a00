#pragma once

#include "sim/MoteurDefauts.h"

#include <QString>

#include <deque>
#include <functional>
#include <map>

class Planificateur;

// The replies the fault rules hold back, cut up or end a connection with. Each channel's output
// keeps its order: while something waits on a channel, its later replies wait behind it; other
// channels are served meanwhile. What was meant for a connection never reaches the next client
// of the same channel.
class SortieDefaillante
{
public:
    struct Operations
    {
        std::function<void(int canal, const QString& octets)> envoie; // traced, then sent
        std::function<void(int canal)> ferme;
        std::function<void(int canal)> interrompt; // with a reset
        std::function<void(int canal, bool suspendue)> suspendLecture;
        // Whether the channel still carries the connection of that number.
        std::function<bool(int canal, quint64 connexion)> toujours;
        // The number of the channel's last connection, whether its client is still there or not.
        std::function<quint64(int canal)> connexion;
    };

    SortieDefaillante(Operations operations, Planificateur& planificateur);

    // The reply to a request on the channel's connection, as the decision says (an empty reply:
    // the request had none; only the decision's end of connection and stall apply).
    void envoie(int canal, quint64 connexion, const QString& reponse,
                const DecisionReponse& decision);
    // Something waits to go out on that connection.
    bool occupe(int canal, quint64 connexion) const;
    // That connection is to be closed once what waits before has gone: nothing after reaches it.
    bool finPrevue(int canal, quint64 connexion) const;
    // Reading stops for that long, then starts again (when every stall on it is over).
    void bloque(int canal, quint64 connexion, double ms);
    // A stall holds that connection now.
    bool bloquee(int canal, quint64 connexion) const;

private:
    struct Morceau
    {
        double apresMs;
        QString octets;
        DecisionReponse::Fin fin = DecisionReponse::Fin::Aucune;
    };
    struct File
    {
        quint64 connexion = 0;
        quint64 jeton = 0; // a new connection on the channel drops what was planned for the old
        bool programme = false;
        std::deque<Morceau> morceaux;
        bool finPrevue = false;
    };

    void suivant(int canal);
    void execute(int canal, const Morceau& morceau);

    Operations operations;
    Planificateur& planificateur;
    std::map<int, File> files;
    std::map<int, std::pair<quint64, int>> blocages; // stalls in force, by channel's connection
    qsizetype enAttente = 0; // pieces waiting on every channel: none is the usual case
};
