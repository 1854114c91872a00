// The fault rules' bookkeeping: each firing's log line and time, the rules that leave (deleted,
// used up, over) and the listing of GET /faults.
#include "MoteurDefauts.h"

#include "trace/Horloge.h"
#include "trace/Horodatage.h"
#include "trace/SortieMessages.h"

#include <QDateTime>
#include <QJsonObject>

#include <algorithm>

// A rule taken away keeps its firings in the listing of those that ended: a test that waits on
// it, or asks afterwards, still sees that it fired.
bool MoteurDefauts::retire(int id)
{
    const bool retiree =
        std::any_of(regles.begin(), regles.end(), [id](const Active& a) { return a.id == id; });
    enleve([id](const Active& a) { return a.id == id; }, QStringLiteral("removed"));
    return retiree;
}

void MoteurDefauts::vide(bool finiesAussi)
{
    if (finiesAussi) {
        regles.clear();
        finies.clear();
        recense();
        return;
    }
    enleve([](const Active&) { return true; }, QStringLiteral("removed"));
}

void MoteurDefauts::recense()
{
    expirables = std::any_of(regles.begin(), regles.end(),
                             [](const Active& a) { return a.regle.nombre || a.regle.dureeMs; });
    modeRegarde = std::any_of(regles.begin(), regles.end(),
                              [](const Active& a) { return bool(a.regle.mode); });
    connexionsRegardees = std::any_of(regles.begin(), regles.end(),
                                      [](const Active& a) { return a.regle.surLaConnexion(); });
}

void MoteurDefauts::ecrit(int id, const QString& action, const QString& quoi)
{
    const QString texte = QStringLiteral("défaut n° ") + QString::number(id) + QLatin1Char(' ')
                          + action + QStringLiteral(" : ") + quoi;
    if (trafic != nullptr)
        trafic->evenement(SortieEvenements::Type::Defaut, texte);
    journal.AfficheMessage(Horodatage(false, horloge) + QLatin1Char(' ') + texte);
}

void MoteurDefauts::note(Active& a)
{
    ++a.declenchements;
    if (a.historique.size() >= size_t(HistoriqueMax))
        a.historique.pop_front();
    a.historique.push_back({tempsDispositif(), QDateTime::currentMSecsSinceEpoch()});
}

void MoteurDefauts::declenche(Active& a, const QString& quoi)
{
    note(a);
    ecrit(a.id, a.regle.nomAction(), quoi);
}

MoteurDefauts::Active* MoteurDefauts::trouve(int id)
{
    for (Active& a : regles) {
        if (a.id == id)
            return &a;
    }
    // A rule may have gone over while its connection waited.
    for (Active& a : finies) {
        if (a.id == id)
            return &a;
    }
    return nullptr;
}

void MoteurDefauts::fait(const DecisionConnexion::Regle& regle)
{
    if (Active* a = trouve(regle.id)) {
        a->enSuspens = std::max<qint64>(0, a->enSuspens - 1);
        declenche(*a, regle.quoi);
    } else {
        // Deleted meanwhile: what was done is said all the same.
        RegleDefaut nom;
        nom.action = regle.action;
        ecrit(regle.id, nom.nomAction(), regle.quoi);
    }
    purge();
}

void MoteurDefauts::pasFait(const DecisionConnexion::Regle& regle)
{
    if (Active* a = trouve(regle.id))
        a->enSuspens = std::max<qint64>(0, a->enSuspens - 1);
}

void MoteurDefauts::enleve(const std::function<bool(const Active&)>& fini, const QString& pourquoi)
{
    if (std::none_of(regles.begin(), regles.end(), fini))
        return;
    QList<Active> restent;
    restent.reserve(regles.size());
    for (Active& a : regles) {
        if (!fini(a)) {
            restent.append(std::move(a));
            continue;
        }
        a.fin = pourquoi;
        finies.push_back(std::move(a));
        if (finies.size() > size_t(FiniesMax))
            finies.pop_front();
    }
    regles = std::move(restent);
    recense();
}

// Rules that have fired their count, or whose time is over, go.
void MoteurDefauts::purge()
{
    if (!expirables)
        return;
    const double maintenant = tempsDispositif();
    const auto useeOuFinie = [&](const Active& a) {
        const RegleDefaut& r = a.regle;
        return (r.nombre && a.declenchements >= *r.nombre)
               || (r.dureeMs && maintenant >= a.creeA + r.apresMs + *r.dureeMs);
    };
    if (std::none_of(regles.begin(), regles.end(), useeOuFinie))
        return;
    enleve([&](const Active& a) { return a.regle.nombre && a.declenchements >= *a.regle.nombre; },
           QStringLiteral("used_up"));
    enleve(useeOuFinie, QStringLiteral("expired"));
}

QJsonObject MoteurDefauts::decrit(const Active& a, bool armee, bool historique)
{
    QJsonObject objet = a.regle.source;
    objet.insert(QStringLiteral("id"), a.id);
    objet.insert(QStringLiteral("fired"), a.declenchements);
    objet.insert(QStringLiteral("armed"), armee);
    if (!historique)
        return objet;
    objet.insert(QStringLiteral("status"), a.fin.isEmpty() ? QStringLiteral("active") : a.fin);
    QJsonArray declenchements;
    for (const Active::Declenchement& d : a.historique)
        declenchements.append(QJsonObject{
            {QStringLiteral("device_ms"), d.dispositifMs},
            {QStringLiteral("t"),
             QDateTime::fromMSecsSinceEpoch(d.epoqueMs, Qt::UTC).toString(Qt::ISODateWithMs)}});
    objet.insert(QStringLiteral("firings"), declenchements);
    return objet;
}

void MoteurDefauts::declenchements(const std::function<void(int, const QString&, qint64)>& f) const
{
    for (const Active& a : regles)
        f(a.id, a.regle.nomAction(), a.declenchements);
    for (const Active& a : finies)
        f(a.id, a.regle.nomAction(), a.declenchements);
}

QJsonArray MoteurDefauts::liste(bool aussiFinies)
{
    purge();
    QJsonArray resultat;
    const double maintenant = tempsDispositif();
    for (const Active& a : regles)
        resultat.append(decrit(a, arme(a, maintenant), aussiFinies));
    if (aussiFinies) {
        for (const Active& a : finies)
            resultat.append(decrit(a, false, true));
    }
    return resultat;
}
