#pragma once

#include "RegleDefaut.h"
#include "trace/SortieEvenements.h"

#include <QJsonArray>
#include <QList>
#include <QString>

#include <functional>
#include <optional>
#include <random>
#include <variant>

class PanneauSimulation;
class SortieMessages;

// A seed as JSON gives it: a whole number from 0 to 2^53, which a double holds exactly.
bool graineValide(const QJsonValue& graine);

// What the fault rules make of one request's reply.
struct DecisionReponse
{
    bool supprime = false;
    std::optional<QString> remplace;
    QList<std::pair<RegleDefaut::Corruption, qint64>> corruptions; // in rule order
    double delaiMs = 0;
    qint64 morceaux = 1;
    double ecartMs = 0;
    enum class Fin { Aucune, FermeAvant, FermeApres, Reinitialise } fin = Fin::Aucune;
    double bloqueMs = 0; // the channel not read for that long
    bool vide() const;
    // The reply as it goes out: replaced, then corrupted.
    QString transforme(const QString& reponse) const;
};

// What the fault rules make of a new connection.
struct DecisionConnexion
{
    bool refuse = false;
    double retardMs = 0; // nothing read nor sent before
    QString accueil;
};

// The PLC's faults the axis motion and the register reads ask about.
class ContraintesAppareil
{
public:
    virtual ~ContraintesAppareil() = default;
    // The step of an axis ('X' or 'Z') for this tick, and where it must stop if anywhere; the
    // tick says when a fault held the axis back.
    virtual double fractionPas(QChar axe) = 0;
    virtual std::optional<double> arret(QChar axe) = 0;
    // A register's forced value, if a rule forces it.
    virtual std::optional<quint32> registre(qint64 numero) = 0;
};

// The fault rules of a run: made through the control API or a scenario, each with an id and a
// count of its firings. It decides, for each request, connection and tick, which faults fire,
// and writes one log line for each firing; doing what they say is the caller's part. With no
// rule, every call returns at once with nothing to do.
class MoteurDefauts : public ContraintesAppareil
{
public:
    MoteurDefauts(PanneauSimulation& panneau, SortieMessages& journal,
                  std::function<double()> tempsDispositif);

    bool actif() const { return !regles.isEmpty(); }
    // Each firing also goes to the traffic journal, when one is kept.
    void setJournalTrafic(SortieEvenements* journalTrafic) { trafic = journalTrafic; }

    // One rule, a list, or {"seed": n, "faults": [...]}: all taken, or none with the error.
    std::variant<QList<int>, RegleDefaut::Erreur> ajoute(const QJsonValue& corps,
                                                         const QString& chemin = {});
    bool retire(int id);
    void vide();
    void graine(quint64 graine);
    QJsonArray liste();

    DecisionReponse requete(int canal, const QString& texte);
    DecisionConnexion connexion(int canal);
    // Device time went on: PLC faults that hold from their arming take effect.
    void temps();

    double fractionPas(QChar axe) override;
    std::optional<double> arret(QChar axe) override;
    std::optional<quint32> registre(qint64 numero) override;

private:
    struct Active
    {
        int id;
        RegleDefaut regle;
        double creeA; // device time when made
        qint64 correspondances = 0;
        qint64 declenchements = 0;
        bool enCours = false; // a PLC fault that holds
    };

    bool arme(const Active& a, double maintenant) const;
    bool correspond(Active& a, const QString& mode, int canal, const QString& texte);
    void declenche(Active& a, const QString& quoi);
    void purge();
    void recense();
    void perdHoming(QChar axe);
    Active* appareil(RegleDefaut::Action action, QChar axe, qint64 numero = -1);

    PanneauSimulation& panneau;
    SortieMessages& journal;
    SortieEvenements* trafic = nullptr;
    std::function<double()> tempsDispositif;
    QList<Active> regles;
    // What the rule set as a whole needs, kept so that a request pays only for what is used.
    bool expirables = false;
    bool modeRegarde = false;
    int prochainId = 1;
    std::mt19937_64 generateur;
};
