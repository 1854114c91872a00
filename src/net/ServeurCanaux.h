#pragma once

#include "CoucheSocket.h"
#include "DecoupeurTrames.h"
#include "sim/CanalReponse.h"
#include "trace/CompteursAppareil.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>
#include <vector>

class Horloge;
class MoteurDefauts;
class PanneauServeur;
class Planificateur;
class Relais;
class SortieEvenements;
class SortieDefaillante;
struct DecisionConnexion;
struct DecisionReponse;

// The pool of channels over the socket array: takes each connection on a released, closed or
// new channel, carries each received text to the analysis and its reply back, logs socket
// errors, shows the count of valid links, and closes everything at shutdown.
//
// Re-entry. A few calls let pending events run before they return (laisserPasserEvenements):
// the Close of the release pass and the Accept in WSserveur_ConnectionRequest, the Close of
// EnvoieSurCanal's failure branch, each SendData and Close of fermeture, and the pause at the
// end of the program. Inside them any handler may run in full: another connection request
// (which may release channels, create one, raise NbCanaux and take the channel chosen), a data
// arrival (which sets CanalCourant, is analysed and may send a reply), a socket error. So after
// any of those calls, what was read before is stale: a channel's State, NbCanaux and
// CanalCourant are read again, never kept across the call. WSserveur_ConnectionRequest checks
// its chosen channel again for that reason; fermeture reads NbCanaux once on purpose (a channel
// created during the loop is left for the window's own end). Everywhere else a handler runs to
// its end, so one request sees one consistent device state.
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
    ~ServeurCanaux() override;

    // Who analyses each received text.
    void setAnalyse(Analyse analyse) { AnalyseChaineRecu = std::move(analyse); }
    // The fault rules requests and connections are put to; none by default, nor after a null
    // engine.
    void setDefauts(MoteurDefauts* moteur, Planificateur* planificateur);
    // When it says so, requests are gathered up to CR instead of one per arrival.
    void setTramesParCR(std::function<bool()> actif) { tramesParCR = std::move(actif); }
    // What the port counts (GET /metrics); nothing is counted without.
    void setCompteurs(CompteursAppareil* c) { compteurs = c; }
    // Where the traffic journal's events go; none by default.
    void setJournalTrafic(SortieEvenements* journal) { trafic = journal; }
    // With a relay, what clients send goes to it instead of the analysis, and the traffic is
    // always shown in the log.
    void setRelais(Relais* relaisAmont) { relais = relaisAmont; }
    // What the relay sends back to a channel's client, and its closing of that client for the
    // reason given (an error in the journal).
    void envoieAuClient(int canal, const QString& octets);
    void coupeClient(int canal, const QString& raison);
    // The relay's backpressure: the client's channel is no longer read while its device falls
    // behind, and what still waits to go out to the client.
    void retientClient(int canal, bool retenu) { WSserveur.RetientLecture(canal, retenu); }
    qint64 enAttenteVersClient(int canal) const { return WSserveur.octetsEnAttente(canal); }

    void WSserveur_ConnectionRequest(int Index, qintptr requestID) override;
    void WSserveur_DataArrival(int Index, qint64 bytesTotal) override;
    void WSserveur_Error(int Index, int Number, const QString& Description) override;
    void WSserveur_Close(int Index) override;
    void WSserveur_SendProgress(int Index, qint64 bytesRemaining) override;

    // The channel of the data arrival being analysed; 0 after a failed send.
    int CanalCourant() const { return canalCourant; }
    // As a data arrival or a connection would set it (tests).
    void setCanalCourant(int canal) { canalCourant = canal; }
    // Re-enters (see above) when the send fails and it closes an element.
    bool EnvoieSurCanal(const QString& chaine) override;

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
    void envoieTrace(int canal, const QString& octets);
    void connexionDefaillante(int canal, quint64 connexion);
    void sertConnexion(int canal, quint64 connexion, const DecisionConnexion& decision);
    void analyse(int Index, const QString& requete);
    void analyseEnSuite(int Index, quint64 connexion, const QStringList& requetes);
    bool reprendRetenues(int canal);
    bool traceVisible() const;
    void noteFermeture(int canal, const QString& comment);

    CoucheSocket& WSserveur;
    PanneauServeur& panneau;
    const Horloge& horloge;
    PasseEvenements laisserPasserEvenements;
    Analyse AnalyseChaineRecu;
    const int canauxMax;
    int nbCanaux = 0;
    int canalCourant = 0;

    // Faults: the engine, the output it holds back, each channel's connection number, and the
    // decision for the request being analysed.
    MoteurDefauts* defauts = nullptr;
    Planificateur* planification = nullptr;
    std::unique_ptr<SortieDefaillante> sortieDefaillante;
    std::map<int, quint64> connexions;
    const DecisionReponse* decisionCourante = nullptr;
    bool reponseDecidee = false;
    std::function<bool()> tramesParCR;
    DecoupeurTrames decoupeur;
    // Requests of one arrival held back by a stall, by channel, with their connection.
    std::map<int, std::pair<quint64, QStringList>> retenues;

    CompteursAppareil* compteurs = nullptr;
    // When the last data arrived on each channel (steady ms), -1 before any: a reply's delay.
    std::vector<double> arrivees;

    SortieEvenements* trafic = nullptr;
    std::map<int, QString> pairs; // "address:port" of each channel's client, for the journal
    Relais* relais = nullptr;
};
