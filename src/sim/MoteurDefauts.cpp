#include "MoteurDefauts.h"

#include "ModuleLasers.h"
#include "PanneauSimulation.h"
#include "trace/Horloge.h"
#include "trace/Horodatage.h"
#include "trace/Lisible.h"
#include "trace/MembreInconnu.h"
#include "trace/SortieMessages.h"
#include "trace/ValeursCles.h"

#include <QJsonObject>

#include <algorithm>
#include <cmath>

namespace {

using Action = RegleDefaut::Action;

// The command letter of a request: after the ESC that opens PLC and laser frames, or the first
// character of any other text.
QChar commandeDe(const QString& texte)
{
    if (texte.size() >= 2 && texte[0] == QChar(27))
        return texte[1];
    return texte.isEmpty() ? QChar() : texte[0];
}

QString hex2(int valeur)
{
    return QStringLiteral("%1").arg(valeur & 0xFF, 2, 16, QLatin1Char('0')).toUpper();
}

} // namespace

bool DecisionReponse::vide() const
{
    return !supprime && !remplace && corruptions.isEmpty() && delaiMs == 0 && morceaux == 1
           && fin == Fin::Aucune && bloqueMs == 0;
}

QString DecisionReponse::transforme(const QString& reponse) const
{
    QString octets = remplace.value_or(reponse);
    for (const auto& [comment, rang] : corruptions) {
        switch (comment) {
        case RegleDefaut::Corruption::Checksum: {
            // The two characters before the final CR of a laser frame, made wrong; a frame too
            // short to carry one has its first byte changed instead.
            if (octets.size() >= 4 && octets.startsWith(QLatin1Char('/'))
                && octets.endsWith(QLatin1Char('\r'))) {
                const qsizetype at = octets.size() - 3;
                bool ok = false;
                const int juste = octets.mid(at, 2).toInt(&ok, 16);
                octets.replace(at, 2, hex2(ok ? juste + 1 : 0));
                break;
            }
            [[fallthrough]];
        }
        case RegleDefaut::Corruption::Octet: {
            const qsizetype at = std::min<qsizetype>(rang, octets.size()) - 1;
            if (at >= 0)
                octets[at] = QChar(char16_t((octets[at].unicode() + 1) & 0xFF));
            break;
        }
        case RegleDefaut::Corruption::Tronque: octets.truncate(rang); break;
        }
    }
    return octets;
}

void MoteurDefauts::perdHoming(QChar axe)
{
    if (axe == QLatin1Char('X'))
        panneau.setChk_HOMING_X_ok(false);
    else
        panneau.setChk_HOMING_Z_ok(false);
}

MoteurDefauts::MoteurDefauts(PanneauSimulation& panneau_, SortieMessages& journal_,
                             std::function<double()> tempsDispositif_, const Horloge& horloge_)
    : panneau(panneau_), journal(journal_), tempsDispositif(std::move(tempsDispositif_)),
      horloge(horloge_)
{
}

std::variant<QList<int>, RegleDefaut::Erreur> MoteurDefauts::ajoute(const QJsonValue& corps,
                                                                    const QString& chemin)
{
    const auto champ = [&](const QString& nom) {
        return chemin.isEmpty() ? nom : chemin + QLatin1Char('.') + nom;
    };
    QJsonArray liste;
    QString prefixe = chemin;
    std::optional<quint64> nouvelleGraine;
    if (corps.isArray()) {
        liste = corps.toArray();
    } else if (corps.isObject()
               && (corps.toObject().contains(QStringLiteral("faults"))
                   || corps.toObject().contains(QStringLiteral("seed")))) {
        const QJsonObject ensemble = corps.toObject();
        if (const auto inconnu =
                membreInconnu(ensemble, {QStringLiteral("faults"), QStringLiteral("seed")}, chemin))
            return RegleDefaut::Erreur{inconnu->champ, MembreInconnu::raison(),
                                       MembreInconnu::code()};
        const QJsonValue graine = ensemble.value(QStringLiteral("seed"));
        if (!graine.isUndefined()) {
            nouvelleGraine = graineJson(graine);
            if (!nouvelleGraine)
                return RegleDefaut::Erreur{
                    champ(QStringLiteral("seed")),
                    QStringLiteral("a whole number from 0 to 2^53 is expected")};
        }
        const QJsonValue fautes = ensemble.value(QStringLiteral("faults"));
        if (!fautes.isUndefined() && !fautes.isArray())
            return RegleDefaut::Erreur{champ(QStringLiteral("faults")),
                                       QStringLiteral("a list is expected"),
                                       QStringLiteral("wrong_type")};
        liste = fautes.toArray();
        prefixe = champ(QStringLiteral("faults"));
    } else if (corps.isObject()) {
        liste.append(corps);
        prefixe = QStringLiteral("\x01"); // one rule: its fields are named as they stand
    } else {
        return RegleDefaut::Erreur{
            chemin,
            QStringLiteral("a rule, a list of rules or {\"seed\", \"faults\"} is expected")};
    }

    // Past the bound the set is refused before any rule of it is read.
    if (regles.size() + liste.size() > ReglesMax)
        return RegleDefaut::Erreur{prefixe == QLatin1String("\x01") ? chemin : prefixe,
                                   QStringLiteral("at most %1 rules in force, %2 already")
                                       .arg(ReglesMax)
                                       .arg(regles.size())};
    QList<RegleDefaut> lues;
    lues.reserve(liste.size());
    RegleDefaut::Motifs motifs;
    for (qsizetype i = 0; i < liste.size(); ++i) {
        const QString ici =
            prefixe == QLatin1String("\x01") ? chemin : prefixe + QStringLiteral("[%1]").arg(i);
        if (!liste.at(i).isObject())
            return RegleDefaut::Erreur{ici, QStringLiteral("a rule object is expected")};
        auto lue = RegleDefaut::lit(liste.at(i).toObject(), ici, &motifs);
        if (auto* erreur = std::get_if<RegleDefaut::Erreur>(&lue))
            return *erreur;
        lues << std::get<RegleDefaut>(std::move(lue));
    }
    if (nouvelleGraine)
        graine(*nouvelleGraine);
    QList<int> ids;
    const double maintenant = tempsDispositif();
    regles.reserve(regles.size() + lues.size());
    for (RegleDefaut& regle : lues) {
        ids << prochainId;
        Active nouvelle{prochainId++, std::move(regle), maintenant};
        regles.append(std::move(nouvelle));
    }
    recense();
    temps();
    return ids;
}

void MoteurDefauts::graine(quint64 valeur)
{
    generateur.seed(valeur);
}

bool MoteurDefauts::arme(const Active& a, double maintenant) const
{
    return maintenant >= a.creeA + a.regle.apresMs;
}

bool MoteurDefauts::correspond(Active& a, ModeSimulation mode, int canal, const QString& texte)
{
    const RegleDefaut& r = a.regle;
    if ((r.mode && (mode == ModeSimulation::Aucun || modeDeNom(*r.mode) != mode))
        || (r.canal && *r.canal != canal) || (r.commande && *r.commande != commandeDe(texte))
        || (r.requete && !r.requete->match(trsfChaineRecuEnLisible(texte)).hasMatch()))
        return false;
    ++a.correspondances;
    if (r.nieme && a.correspondances != *r.nieme)
        return false;
    if (r.chaque && a.correspondances % *r.chaque != 0)
        return false;
    return !r.probabilite
           || std::uniform_real_distribution<double>(0, 1)(generateur) < *r.probabilite;
}

DecisionReponse MoteurDefauts::requete(int canal, const QString& texte, bool reponsePossible)
{
    DecisionReponse d;
    if (regles.isEmpty())
        return d;
    purge();
    // The mode is read only if a rule asks for it.
    const ModeSimulation mode = modeRegarde ? panneau.modeSimulation() : ModeSimulation::Aucun;
    const double maintenant = tempsDispositif();
    for (Active& a : regles) {
        const RegleDefaut& r = a.regle;
        if (r.surLaConnexion() || (r.surLaReponse() && !reponsePossible)
            || (r.surLAppareil() && !r.regardeLesRequetes()) || !arme(a, maintenant)
            || !correspond(a, mode, canal, texte))
            continue;
        const QString ou = QStringLiteral(" sur canal ") + QString::number(canal);
        switch (r.action) {
        case Action::Delai: {
            const double gigue =
                r.gigueMs > 0
                    ? std::uniform_real_distribution<double>(-r.gigueMs, r.gigueMs)(generateur)
                    : 0;
            const qint64 delai = std::llround(std::max(0.0, r.ms + gigue));
            d.delaiMs = std::min(d.delaiMs + delai, DelaiMaxMs);
            declenche(a, QStringLiteral("réponse retardée de %1 ms").arg(delai) + ou);
            break;
        }
        case Action::Supprime:
            d.supprime = true;
            declenche(a, QStringLiteral("pas de réponse") + ou);
            break;
        case Action::Remplace:
            d.remplace = r.octets;
            declenche(a, QStringLiteral("réponse remplacée par ")
                             + trsfChaineRecuEnLisible(r.octets) + ou);
            break;
        case Action::Corrompt:
            d.corruptions.append({r.corruption, r.rang});
            declenche(a, QStringLiteral("réponse corrompue") + ou);
            break;
        case Action::Decoupe:
            d.morceaux = r.morceaux;
            d.ecartMs = r.ms;
            declenche(a, QStringLiteral("réponse en %1 morceaux").arg(r.morceaux) + ou);
            break;
        case Action::Ferme:
            d.fin = r.apres ? DecisionReponse::Fin::FermeApres : DecisionReponse::Fin::FermeAvant;
            declenche(a, (r.apres ? QStringLiteral("liaison fermée après la réponse")
                                  : QStringLiteral("liaison fermée avant la réponse"))
                             + ou);
            break;
        case Action::Reinitialise:
            d.fin = DecisionReponse::Fin::Reinitialise;
            declenche(a, QStringLiteral("liaison interrompue (RST)") + ou);
            break;
        case Action::Bloque:
            d.bloqueMs = std::max(d.bloqueMs, r.ms);
            declenche(a, QStringLiteral("canal non lu pendant %1 ms").arg(r.ms) + ou);
            break;
        case Action::PerteHoming:
            perdHoming(r.axe);
            declenche(a, QStringLiteral("homing ") + r.axe + QStringLiteral(" perdu"));
            break;
        case Action::ArretAxe:
        case Action::AxeLent:
        case Action::Registre: a.enCours = true; break;
        default: break;
        }
    }
    purge();
    return d;
}

DecisionConnexion MoteurDefauts::connexion(int canal)
{
    DecisionConnexion d;
    if (regles.isEmpty())
        return d;
    purge();
    const double maintenant = tempsDispositif();
    const QString ou = QStringLiteral(" sur canal ") + QString::number(canal);
    for (Active& a : regles) {
        const RegleDefaut& r = a.regle;
        // A rule with a count keeps room for the connections it waits to act on.
        if (!r.surLaConnexion() || !arme(a, maintenant)
            || (r.nombre && a.declenchements + a.enSuspens >= *r.nombre)
            || !correspond(a, {}, canal, {}))
            continue;
        QString quoi;
        if (r.action == Action::Refuse) {
            d.refuse = true;
            quoi = QStringLiteral("connexion refusée");
        } else if (r.action == Action::AccepteTard) {
            d.retardMs = std::max(d.retardMs, r.ms);
            quoi = QStringLiteral("connexion servie après %1 ms").arg(r.ms);
        } else {
            d.accueil += r.octets;
            quoi = QStringLiteral("accueil ") + trsfChaineRecuEnLisible(r.octets);
        }
        ++a.enSuspens;
        d.regles.append({a.id, r.action, quoi + ou});
    }
    return d;
}

void MoteurDefauts::temps()
{
    if (regles.isEmpty())
        return;
    purge();
    const double maintenant = tempsDispositif();
    for (Active& a : regles) {
        const RegleDefaut& r = a.regle;
        if (!r.surLAppareil() || r.regardeLesRequetes() || a.enCours || !arme(a, maintenant))
            continue;
        a.enCours = true;
        if (r.action == Action::PerteHoming) {
            perdHoming(r.axe);
            declenche(a, QStringLiteral("homing ") + r.axe + QStringLiteral(" perdu"));
        }
    }
    // A homing loss happens once.
    enleve([](const Active& a) { return a.enCours && a.regle.action == Action::PerteHoming; },
           QStringLiteral("used_up"));
    purge();
}

MoteurDefauts::Active* MoteurDefauts::appareil(RegleDefaut::Action action, QChar axe, qint64 numero)
{
    for (Active& a : regles) {
        if (a.enCours && a.regle.action == action && (axe.isNull() || a.regle.axe == axe)
            && (numero < 0 || a.regle.numero == numero))
            return &a;
    }
    return nullptr;
}

double MoteurDefauts::fractionPas(QChar axe)
{
    Active* a = regles.isEmpty() ? nullptr : appareil(Action::AxeLent, axe);
    if (a == nullptr)
        return 1;
    const double fraction = a->regle.fraction;
    if (a->declenchements == 0)
        declenche(*a,
                  QStringLiteral("axe ") + axe + QStringLiteral(" à %1 de son pas").arg(fraction));
    else
        ++a->declenchements;
    purge();
    return fraction;
}

std::optional<double> MoteurDefauts::arret(QChar axe)
{
    Active* a = regles.isEmpty() ? nullptr : appareil(Action::ArretAxe, axe);
    if (a == nullptr)
        return std::nullopt;
    const double position = a->regle.position;
    if (a->declenchements == 0)
        declenche(*a, QStringLiteral("axe ") + axe + QStringLiteral(" arrêté à %1").arg(position));
    else
        ++a->declenchements;
    purge();
    return position;
}

std::optional<quint32> MoteurDefauts::registre(qint64 numero)
{
    Active* a = regles.isEmpty() ? nullptr : appareil(Action::Registre, {}, numero);
    if (a == nullptr)
        return std::nullopt;
    const quint32 valeur = a->regle.valeur;
    declenche(*a, QStringLiteral("registre %1 lu %2").arg(numero).arg(valeur));
    purge();
    return valeur;
}
