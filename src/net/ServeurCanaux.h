#pragma once

#include "CoucheSocket.h"
#include "sim/CanalReponse.h"

#include <QString>

#include <functional>

class Horloge;
class PanneauServeur;

// The pool of channels over the socket array: takes each connection on a released, closed or
// new channel, carries each received text to the analysis and its reply back, logs socket
// errors, shows the count of valid links, and closes everything at shutdown.
class ServeurCanaux : public EvenementsSocket, public CanalReponse
{
public:
    // Channel numbers are 16-bit element numbers.
    static constexpr int CanauxMax = 32767;

    using Analyse = std::function<void(const QString&)>;
    using PasseEvenements = std::function<void()>;

    // canauxMax lowers the ceiling of channel numbers (never above CanauxMax).
    ServeurCanaux(CoucheSocket& WSserveur, PanneauServeur& panneau, const Horloge& horloge,
                  PasseEvenements laisserPasserEvenements, int canauxMax = CanauxMax);

    // Who analyses each received text.
    void setAnalyse(Analyse analyse) { AnalyseChaineRecu = std::move(analyse); }

    void WSserveur_ConnectionRequest(int Index, qintptr requestID) override;
    void WSserveur_DataArrival(int Index, qint64 bytesTotal) override;
    void WSserveur_Error(int Index, int Number, const QString& Description) override;

    int& CanalCourant() override { return canalCourant; }
    bool EnvoieSurCanal(int& canal, const QString& chaine) override;

    void Timer1_Timer();

    // Logs each open element, warns connected clients, closes every element and destroys
    // the channels.
    void fermeture();

    int NbCanaux() const { return nbCanaux; }
    // Start-up sets both numbers to 0 before listening.
    void initialise();

    static QString LibelleEtatSocket(int etat);

private:
    int premierCanalLibre() const;

    CoucheSocket& WSserveur;
    PanneauServeur& panneau;
    const Horloge& horloge;
    PasseEvenements laisserPasserEvenements;
    Analyse AnalyseChaineRecu;
    const int canauxMax;
    int nbCanaux = 0;
    int canalCourant = 0;
};
