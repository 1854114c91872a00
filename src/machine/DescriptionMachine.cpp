#include "DescriptionMachine.h"

#include "sim/HorlogeDispositif.h"
#include "sim/ModeSimulation.h"
#include "sim/MoteurDefauts.h"
#include "sim/RegleDefaut.h"
#include "trace/MembreInconnu.h"

#include <QJsonDocument>
#include <QSet>

#include <cmath>

namespace {

using Refus = DescriptionMachine::Refus;

QString membre(const QString& chemin, const char* nom)
{
    return chemin + QLatin1Char('.') + QLatin1String(nom);
}

// A whole number from `min` to `max`, or nothing.
std::optional<qint64> entier(const QJsonValue& valeur, qint64 min, qint64 max)
{
    const double n = valeur.toDouble(-1);
    if (!valeur.isDouble() || n != std::floor(n) || n < double(min) || n > double(max))
        return std::nullopt;
    return qint64(n);
}

// A member that must be a text when it is there.
std::optional<Refus> texte(const QJsonObject& objet, const char* nom, const QString& chemin,
                           std::optional<QString>& sortie)
{
    const QJsonValue valeur = objet.value(QLatin1String(nom));
    if (valeur.isUndefined())
        return std::nullopt;
    if (!valeur.isString() || valeur.toString().isEmpty())
        return Refus{chemin.isEmpty() ? QLatin1String(nom) : membre(chemin, nom),
                     QStringLiteral("un texte non vide est attendu")};
    sortie = valeur.toString();
    return std::nullopt;
}

std::optional<Refus> litProcessus(const QJsonObject& document, DescriptionMachine& machine)
{
    if (auto refus = texte(document, "clock", {}, machine.horloge))
        return refus;
    if (machine.horloge && !HorlogeDispositif::lit(*machine.horloge))
        return Refus{QStringLiteral("clock"),
                     QStringLiteral("REAL, STEP ou x suivi d'un facteur de 0 à %1 est attendu")
                         .arg(HorlogeDispositif::FacteurMax)};
    if (document.contains(QStringLiteral("seed"))) {
        machine.graine = graineJson(document.value(QStringLiteral("seed")));
        if (!machine.graine)
            return Refus{QStringLiteral("seed"),
                         QStringLiteral("un nombre entier de 0 à 2^53 est attendu")};
    }
    if (auto refus = texte(document, "journal", {}, machine.journal))
        return refus;
    const QJsonValue taille = document.value(QStringLiteral("journal_max"));
    if (taille.isDouble() && entier(taille, 0, qint64(1) << 50))
        machine.tailleJournal = QString::number(qint64(taille.toDouble()));
    else if (auto refus = texte(document, "journal_max", {}, machine.tailleJournal))
        return refus;
    const QJsonValue controle = document.value(QStringLiteral("control"));
    if (!controle.isUndefined()) {
        if (!entier(controle, 0, 65535))
            return Refus{QStringLiteral("control"),
                         QStringLiteral("un nombre de 0 à 65535 est attendu")};
        machine.portControle = QString::number(qint64(controle.toDouble()));
    }
    return texte(document, "control_bind", {}, machine.adresseControle);
}

std::optional<Refus> litFautes(const QJsonValue& valeur, const QString& chemin,
                               DescriptionAppareil& appareil)
{
    if (valeur.isUndefined())
        return std::nullopt;
    if (!valeur.isArray())
        return Refus{chemin, QStringLiteral("une liste de règles est attendue")};
    const QJsonArray regles = valeur.toArray();
    if (regles.size() > MoteurDefauts::ReglesMax)
        return Refus{chemin, QStringLiteral("au plus %1 règles").arg(MoteurDefauts::ReglesMax)};
    for (qsizetype i = 0; i < regles.size(); ++i) {
        const QString ici = chemin + QStringLiteral("[%1]").arg(i);
        if (!regles.at(i).isObject())
            return Refus{ici, QStringLiteral("une règle (un objet JSON) est attendue")};
        const auto lue = RegleDefaut::lit(regles.at(i).toObject(), ici);
        if (const auto* erreur = std::get_if<RegleDefaut::Erreur>(&lue))
            return Refus{erreur->champ, erreur->raison};
    }
    appareil.fautes = regles;
    return std::nullopt;
}

std::optional<Refus> litHoming(const QJsonValue& valeur, const QString& chemin,
                               DescriptionAppareil& appareil)
{
    if (valeur.isUndefined())
        return std::nullopt;
    if (!valeur.isObject())
        return Refus{chemin, QStringLiteral("un objet JSON est attendu")};
    if (const auto inconnu = membreInconnu(valeur.toObject(), {QStringLiteral("delay_ms")}, chemin))
        return Refus{inconnu->champ, QStringLiteral("membre inconnu")};
    const QJsonValue delai = valeur.toObject().value(QStringLiteral("delay_ms"));
    if (!delai.isUndefined()
        && (!delai.isDouble() || delai.toDouble() < 0
            || delai.toDouble() > HorlogeDispositif::AvanceMaxMs))
        return Refus{chemin + QStringLiteral(".delay_ms"),
                     QStringLiteral("un temps en ms, d'au plus un jour, est attendu")};
    appareil.homingMs = delai.isUndefined() ? 0.0 : delai.toDouble();
    return std::nullopt;
}

// One entry of "devices": its settings, before "count" makes several of it.
std::optional<Refus> litAppareil(const QJsonObject& objet, const QString& chemin,
                                 DescriptionAppareil& appareil)
{
    static const QStringList connus = {QStringLiteral("name"),
                                       QStringLiteral("mode"),
                                       QStringLiteral("port"),
                                       QStringLiteral("bind"),
                                       QStringLiteral("framing"),
                                       QStringLiteral("state"),
                                       QStringLiteral("faults"),
                                       QStringLiteral("auto_homing"),
                                       QStringLiteral("proxy"),
                                       QStringLiteral("playback"),
                                       QStringLiteral("playback_fallback"),
                                       QStringLiteral("count")};
    if (const auto inconnu = membreInconnu(objet, connus, chemin))
        return Refus{inconnu->champ, QStringLiteral("membre inconnu")};
    const QJsonValue nom = objet.value(QStringLiteral("name"));
    if (!nom.isString() || !DescriptionMachine::nomValide(nom.toString()))
        return Refus{membre(chemin, "name"),
                     QStringLiteral("un nom de lettres, chiffres, '-' ou '_' est attendu")};
    appareil.nom = nom.toString();
    std::optional<QString> mode;
    if (auto refus = texte(objet, "mode", chemin, mode))
        return refus;
    appareil.mode = mode.value_or(nomMode(ModeSimulation::AutomateOmron));
    if (modeDeNom(appareil.mode) == ModeSimulation::Aucun)
        return Refus{membre(chemin, "mode"),
                     QStringLiteral("automateOMRON, moduleLASERS, modeMUET ou modeECHO est "
                                    "attendu")};
    const QJsonValue port = objet.value(QStringLiteral("port"));
    if (!port.isUndefined() && !entier(port, 0, 65535))
        return Refus{membre(chemin, "port"), QStringLiteral("un nombre de 0 à 65535 est attendu")};
    appareil.port = quint16(entier(port, 0, 65535).value_or(0));
    if (auto refus = texte(objet, "bind", chemin, appareil.adresse))
        return refus;
    std::optional<QString> decoupage;
    if (auto refus = texte(objet, "framing", chemin, decoupage))
        return refus;
    if (decoupage) {
        appareil.tramesParCR = decoupageParCR(*decoupage);
        if (!appareil.tramesParCR)
            return Refus{membre(chemin, "framing"), QStringLiteral("CR ou NONE est attendu")};
    }
    const QJsonValue etat = objet.value(QStringLiteral("state"));
    if (!etat.isUndefined() && !etat.isObject())
        return Refus{membre(chemin, "state"), QStringLiteral("un objet JSON est attendu")};
    appareil.etat = etat.toObject();
    if (auto refus =
            litFautes(objet.value(QStringLiteral("faults")), membre(chemin, "faults"), appareil))
        return refus;
    if (auto refus = litHoming(objet.value(QStringLiteral("auto_homing")),
                               membre(chemin, "auto_homing"), appareil))
        return refus;
    if (auto refus = texte(objet, "proxy", chemin, appareil.relais))
        return refus;
    if (appareil.relais && !litHotePort(*appareil.relais))
        return Refus{membre(chemin, "proxy"), QStringLiteral("hôte:port est attendu")};
    if (auto refus = texte(objet, "playback", chemin, appareil.rejeu))
        return refus;
    if (appareil.relais && appareil.rejeu)
        return Refus{membre(chemin, "playback"),
                     QStringLiteral("proxy et playback ne vont pas ensemble")};
    if (auto refus = texte(objet, "playback_fallback", chemin, appareil.rejeuSinon))
        return refus;
    if (appareil.rejeuSinon) {
        *appareil.rejeuSinon = appareil.rejeuSinon->toUpper();
        if (*appareil.rejeuSinon != QLatin1String("SIM")
            && *appareil.rejeuSinon != QLatin1String("NONE"))
            return Refus{membre(chemin, "playback_fallback"),
                         QStringLiteral("SIM ou NONE est attendu")};
        if (!appareil.rejeu)
            return Refus{membre(chemin, "playback_fallback"), QStringLiteral("va avec playback")};
    }
    return std::nullopt;
}

std::optional<Refus> litAppareils(const QJsonValue& valeur, DescriptionMachine& machine)
{
    if (!valeur.isArray() || valeur.toArray().isEmpty())
        return Refus{QStringLiteral("devices"),
                     QStringLiteral("une liste d'au moins un appareil est attendue")};
    const QJsonArray liste = valeur.toArray();
    QSet<QString> noms;
    for (qsizetype i = 0; i < liste.size(); ++i) {
        const QString chemin = QStringLiteral("devices[%1]").arg(i);
        if (!liste.at(i).isObject())
            return Refus{chemin, QStringLiteral("un objet JSON est attendu")};
        const QJsonObject objet = liste.at(i).toObject();
        DescriptionAppareil modele;
        if (auto refus = litAppareil(objet, chemin, modele))
            return refus;
        modele.index = int(i);
        const QJsonValue compte = objet.value(QStringLiteral("count"));
        const qint64 reste = DescriptionMachine::AppareilsMax - qint64(machine.appareils.size());
        if (!compte.isUndefined() && !entier(compte, 1, DescriptionMachine::AppareilsMax))
            return Refus{membre(chemin, "count"), QStringLiteral("un nombre de 1 à %1 est attendu")
                                                      .arg(DescriptionMachine::AppareilsMax)};
        const qint64 n = entier(compte, 1, DescriptionMachine::AppareilsMax).value_or(1);
        if (n > reste)
            return Refus{compte.isUndefined() ? chemin : membre(chemin, "count"),
                         QStringLiteral("au plus %1 appareils en tout")
                             .arg(DescriptionMachine::AppareilsMax)};
        if (modele.port != 0 && modele.port + n - 1 > 65535)
            return Refus{membre(chemin, "port"),
                         QStringLiteral("les %1 ports à partir de %2 dépassent 65535")
                             .arg(n)
                             .arg(modele.port)};
        for (qint64 k = 1; k <= n; ++k) {
            DescriptionAppareil appareil = modele;
            if (!compte.isUndefined()) {
                appareil.nom += QStringLiteral("-%1").arg(k);
                if (modele.port != 0)
                    appareil.port = quint16(modele.port + k - 1);
            }
            if (noms.contains(appareil.nom))
                return Refus{membre(chemin, "name"),
                             QStringLiteral("le nom \"%1\" est déjà pris").arg(appareil.nom)};
            noms.insert(appareil.nom);
            machine.appareils.push_back(std::move(appareil));
        }
    }
    return std::nullopt;
}

} // namespace

bool DescriptionMachine::nomValide(const QString& nom)
{
    if (nom.isEmpty() || nom.size() > 64)
        return false;
    for (const QChar c : nom) {
        const char16_t u = c.unicode();
        const bool lettre = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z');
        if (!lettre && !(u >= '0' && u <= '9') && u != '-' && u != '_')
            return false;
    }
    return true;
}

std::variant<DescriptionMachine, Refus> DescriptionMachine::lit(const QJsonObject& document)
{
    if (const auto inconnu = membreInconnu(
            document, {QStringLiteral("clock"), QStringLiteral("seed"), QStringLiteral("journal"),
                       QStringLiteral("journal_max"), QStringLiteral("control"),
                       QStringLiteral("control_bind"), QStringLiteral("devices")}))
        return Refus{inconnu->champ, QStringLiteral("membre inconnu")};
    DescriptionMachine machine;
    if (auto refus = litProcessus(document, machine))
        return *refus;
    if (auto refus = litAppareils(document.value(QStringLiteral("devices")), machine))
        return *refus;
    return machine;
}

std::variant<DescriptionMachine, Refus> DescriptionMachine::lit(const QByteArray& texte)
{
    QJsonParseError analyse;
    const QJsonDocument document = QJsonDocument::fromJson(texte, &analyse);
    if (analyse.error != QJsonParseError::NoError)
        return Refus{{},
                     QStringLiteral("JSON illisible à l'octet %1 : %2")
                         .arg(analyse.offset)
                         .arg(analyse.errorString())};
    if (!document.isObject())
        return Refus{{}, QStringLiteral("un objet JSON est attendu")};
    return lit(document.object());
}
