#pragma once

#include "Histogramme.h"

#include <QtGlobal>

#include <array>

// What a device's port counts as it serves, for GET /metrics: plain integers owned by the
// device, written on its thread only, never locked nor looked up by name.
struct CompteursAppareil
{
    // Requests by command letter: the letters A-Z and a-z each, every other first character
    // together (the last slot).
    static constexpr int AutreCommande = 52;
    std::array<quint64, AutreCommande + 1> requetes{};
    quint64 reponses = 0;
    quint64 octetsRecus = 0;
    quint64 octetsEnvoyes = 0;
    quint64 connexionsOuvertes = 0;
    quint64 connexionsRefusees = 0;
    // From a request's arrival to its reply handed to the socket.
    HistogrammeDelais delaiReponse{BornesDelaisMs};

    static int indiceCommande(ushort lettre)
    {
        if (lettre >= 'A' && lettre <= 'Z')
            return lettre - 'A';
        if (lettre >= 'a' && lettre <= 'z')
            return 26 + (lettre - 'a');
        return AutreCommande;
    }
    static char lettreCommande(int indice)
    {
        return char(indice < 26 ? 'A' + indice : 'a' + (indice - 26));
    }
};
