#pragma once

#include "ModeSimulation.h"
#include "RegleDefaut.h"
#include "trace/SortieEvenements.h"

#include <QJsonArray>
#include <QList>
#include <QString>

#include <deque>
#include <functional>
#include <optional>
#include <random>
#include <variant>

class Horloge;
class PanneauSimulation;
class SortieMessages;

// What the fault rules make of one request's reply.
struct DecisionReponse
{
    bool supprime = false;
    std::optional<QString> remplace;
    QList<std::pair<RegleDefaut::Corruption, qint64>> corruptions; // in rule order
    qint64 delaiMs = 0; // the delays of every rule added up, at most MoteurDefauts::DelaiMaxMs
    qint64 morceaux = 1;
    double ecartMs = 0;
    enum class Fin { Aucune, FermeAvant, FermeApres, Reinitialise } fin = Fin::Aucune;
    double bloqueMs = 0; // the channel not read for that long
    bool vide() const;
    // The reply as it goes out: replaced, then corrupted.
    QString transforme(const QString& reponse) const;
};

// What the fault rules make of a new connection. Its rules count as fired only once the
// caller has done what they say (MoteurDefauts::fait), or not at all when the client has gone
// first (MoteurDefauts::pasFait).
struct DecisionConnexion
{
    bool refuse = false;
    double retardMs = 0; // nothing read nor sent before
    QString accueil;
    struct Regle
    {
        int id;
        RegleDefaut::Action action;
        QString quoi; // what its log line says happened
    };
    QList<Regle> regles;
    bool vide() const { return regles.isEmpty(); }
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
    // The delays of the rules that take one request add up to this at most: 30 days.
    static constexpr qint64 DelaiMaxMs = 30LL * 24 * 3600 * 1000;
    // Rules in force at a time; a set that would pass it is refused whole. With the bound on
    // a pattern's length, taking the most stays well under 0.1 s of the window's time.
    static constexpr qsizetype ReglesMax = 200;
    // Rules used up or over, kept for GET /faults?all=true: the newest ones.
    static constexpr qsizetype FiniesMax = 1000;
    // Firings each rule remembers the time of: the newest ones.
    static constexpr qsizetype HistoriqueMax = 100;

    MoteurDefauts(PanneauSimulation& panneau, SortieMessages& journal,
                  std::function<double()> tempsDispositif, const Horloge& horloge);

    bool actif() const { return !regles.isEmpty(); }
    // Some rule acts on connections: a new one is not read before it is decided.
    bool surveilleConnexions() const { return connexionsRegardees; }
    // Each firing also goes to the traffic journal, when one is kept.
    void setJournalTrafic(SortieEvenements* journalTrafic) { trafic = journalTrafic; }

    // One rule, a list, or {"seed": n, "faults": [...]}: all taken, or none with the error.
    std::variant<QList<int>, RegleDefaut::Erreur> ajoute(const QJsonValue& corps,
                                                         const QString& chemin = {});
    bool retire(int id);
    // Every rule in force goes; those used up or over stay listed unless `finiesAussi`.
    void vide(bool finiesAussi = false);
    void graine(quint64 graine);
    // The rules in force, each with its id, its firings (`fired`) and whether it is armed; with
    // `aussiFinies`, then the rules used up or over, and for every rule the device and wall
    // time of its last firings.
    QJsonArray liste(bool aussiFinies = false);
    // Each rule still listed by liste(true), in force or over: its id, its action's name and
    // its firings (GET /metrics).
    void declenchements(const std::function<void(int, const QString&, qint64)>& f) const;

    // Without `reponsePossible` (the connection is gone), only the rules on the device fire.
    DecisionReponse requete(int canal, const QString& texte, bool reponsePossible = true);
    DecisionConnexion connexion(int canal);
    // What a connection's rule said was done, or could not be (the client went first).
    void fait(const DecisionConnexion::Regle& regle);
    void pasFait(const DecisionConnexion::Regle& regle);
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
        qint64 enSuspens = 0; // connections decided on, not yet done
        bool enCours = false; // a PLC fault that holds
        QString fin{};        // why it no longer acts: "used_up" or "expired"
        struct Declenchement
        {
            double dispositifMs;
            qint64 epoqueMs;
        };
        std::deque<Declenchement> historique{}; // the last HistoriqueMax firings
    };

    bool arme(const Active& a, double maintenant) const;
    bool correspond(Active& a, ModeSimulation mode, int canal, const QString& texte);
    void declenche(Active& a, const QString& quoi);
    void note(Active& a);
    void ecrit(int id, const QString& action, const QString& quoi);
    Active* trouve(int id);
    void purge();
    // The rules the predicate takes leave those in force for the finished ones.
    void enleve(const std::function<bool(const Active&)>& fini, const QString& pourquoi);
    static QJsonObject decrit(const Active& a, bool armee, bool historique);
    void recense();
    void perdHoming(QChar axe);
    Active* appareil(RegleDefaut::Action action, QChar axe, qint64 numero = -1);

    PanneauSimulation& panneau;
    SortieMessages& journal;
    SortieEvenements* trafic = nullptr;
    std::function<double()> tempsDispositif;
    const Horloge& horloge;
    QList<Active> regles;
    std::deque<Active> finies; // the newest last
    // What the rule set as a whole needs, kept so that a request pays only for what is used.
    bool expirables = false;
    bool modeRegarde = false;
    bool connexionsRegardees = false;
    int prochainId = 1;
    std::mt19937_64 generateur;
};
