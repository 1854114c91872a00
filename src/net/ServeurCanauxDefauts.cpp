#include "ServeurCanaux.h"

#include "Planificateur.h"
#include "SortieDefaillante.h"

#include <utility>

// The channel server's side that the fault rules shape: what they make of a new connection,
// and of each request in turn with its reply.

void ServeurCanaux::setDefauts(MoteurDefauts* moteur, Planificateur* planificateur)
{
    defauts = moteur;
    planification = planificateur;
    if (moteur == nullptr) {
        sortieDefaillante.reset();
        return;
    }
    sortieDefaillante = std::make_unique<SortieDefaillante>(
        SortieDefaillante::Operations{
            [this](int canal, const QString& octets) { envoieTrace(canal, octets); },
            [this](int canal) {
                noteFermeture(canal, QStringLiteral("fermée par Velorin"));
                WSserveur.Close(canal);
                laisserPasserEvenements();
            },
            [this](int canal) {
                noteFermeture(canal, QStringLiteral("interrompue par Velorin (RST)"));
                WSserveur.Abort(canal);
            },
            [this](int canal, bool suspendue) {
                // The requests a stall held back come before anything read after it.
                if (!suspendue && !reprendRetenues(canal))
                    return;
                WSserveur.SuspendLecture(canal, suspendue);
            },
            [this](int canal, quint64 connexion) {
                return connexions[canal] == connexion
                       && WSserveur.State(canal) == CoucheSocket::Connecte;
            },
            [this](int canal) { return connexions[canal]; }},
        *planificateur);
}

// What the fault rules make of a new connection, not read until now: refused at once, or
// served (greeted first) at once or late.
void ServeurCanaux::connexionDefaillante(int canal, quint64 connexion)
{
    const DecisionConnexion d = defauts->connexion(canal);
    if (d.refuse) {
        if (compteurs != nullptr)
            ++compteurs->connexionsRefusees;
        // Only the refusal is done: a greeting or a delay that took the same connection is not.
        for (const DecisionConnexion::Regle& r : d.regles) {
            if (r.action == RegleDefaut::Action::Refuse)
                defauts->fait(r);
            else
                defauts->pasFait(r);
        }
        noteFermeture(canal, QStringLiteral("fermée par Velorin"));
        WSserveur.Close(canal);
        laisserPasserEvenements();
        return;
    }
    if (d.retardMs > 0) {
        planification->apres(d.retardMs,
                             [this, canal, connexion, d] { sertConnexion(canal, connexion, d); });
        return;
    }
    sertConnexion(canal, connexion, d);
}

// The greeting if any, then the client's requests, read from now on. A client that has gone
// meanwhile met none of the rules; what it sent before it left is read all the same.
void ServeurCanaux::sertConnexion(int canal, quint64 connexion, const DecisionConnexion& d)
{
    if (connexions[canal] != connexion || WSserveur.State(canal) != CoucheSocket::Connecte) {
        for (const DecisionConnexion::Regle& r : d.regles)
            defauts->pasFait(r);
        if (connexions[canal] == connexion)
            WSserveur.SuspendLecture(canal, false);
        return;
    }
    for (const DecisionConnexion::Regle& r : d.regles)
        defauts->fait(r);
    if (!d.accueil.isEmpty())
        envoieTrace(canal, d.accueil);
    WSserveur.SuspendLecture(canal, false);
}

// The requests of one arrival in turn. A request that stalls the channel holds back those
// after it, as if they had not been read yet, until the stall is over.
void ServeurCanaux::analyseEnSuite(int Index, quint64 connexion, const QStringList& requetes)
{
    for (qsizetype i = 0; i < requetes.size(); ++i) {
        analyse(Index, requetes[i]);
        if (i + 1 < requetes.size() && sortieDefaillante
            && sortieDefaillante->bloquee(Index, connexion)) {
            retenues[Index] = {connexion, requetes.mid(i + 1)};
            return;
        }
    }
}

// Once a stall is over: the requests it held back, if the connection is still there; false
// when one of them stalls the channel again.
bool ServeurCanaux::reprendRetenues(int canal)
{
    const auto it = retenues.find(canal);
    if (it == retenues.end())
        return true;
    const auto [connexion, requetes] = std::move(it->second);
    retenues.erase(it);
    if (connexion != connexions[canal])
        return true;
    analyseEnSuite(canal, connexion, requetes);
    return !sortieDefaillante->bloquee(canal, connexion);
}

// One request to the analysis, with what the fault rules make of its reply.
void ServeurCanaux::analyse(int Index, const QString& requete)
{
    canalCourant = Index;
    if (compteurs != nullptr && !requete.isEmpty()) {
        // The command letter follows the ESC that opens PLC and laser frames.
        const QChar lettre =
            requete.size() >= 2 && requete[0] == QChar(27) ? requete[1] : requete[0];
        ++compteurs->requetes[std::size_t(CompteursAppareil::indiceCommande(lettre.unicode()))];
    }
    if (!AnalyseChaineRecu)
        return;
    if (defauts == nullptr || !defauts->actif()) {
        // A request analysed inside another's event pass must not take that one's decision.
        const DecisionReponse* decisionAvant = std::exchange(decisionCourante, nullptr);
        AnalyseChaineRecu(requete);
        decisionCourante = decisionAvant;
        return;
    }
    // A request on a connection closed by a fault, or to be closed once a held reply has gone
    // (earlier in the same arrival), has no reply for the rules to act on; those on the device
    // still apply.
    const DecisionReponse decision =
        defauts->requete(Index, requete,
                         WSserveur.State(Index) == CoucheSocket::Connecte
                             && !sortieDefaillante->finPrevue(Index, connexions[Index]));
    const DecisionReponse* decisionAvant = decisionCourante;
    const bool reponseAvant = reponseDecidee;
    decisionCourante = decision.vide() ? nullptr : &decision;
    reponseDecidee = false;
    AnalyseChaineRecu(requete);
    // No reply to act on: the end of the connection and the stall still apply.
    if (decisionCourante != nullptr && !reponseDecidee)
        sortieDefaillante->envoie(Index, connexions[Index], QString(), decision);
    decisionCourante = decisionAvant;
    reponseDecidee = reponseAvant;
}
