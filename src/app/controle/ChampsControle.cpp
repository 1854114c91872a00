#include "ChampsControle.h"

#include "appareil/PanneauControle.h"
#include "net/ServeurCanaux.h"

#include <QStringList>

#include <algorithm>

namespace {

QString texteValeur(const QJsonValue& valeur)
{
    if (valeur.isBool())
        return valeur.toBool() ? QStringLiteral("coché") : QStringLiteral("décoché");
    return valeur.toString();
}

} // namespace

ChampsControle::ChampsControle(PanneauControle& p, const ServeurCanaux& serveur,
                               const std::function<quint16()>& portEcoute)
{
    using T = Type;
    const auto texte = [](auto lecture) { return [lecture] { return QJsonValue(lecture()); }; };
    champs = {
        {QStringLiteral("Lbl_PosDemX"), T::Texte, texte([&p] { return p.Lbl_PosDemX(); })},
        {QStringLiteral("Lbl_PosDemZ"), T::Texte, texte([&p] { return p.Lbl_PosDemZ(); })},
        {QStringLiteral("Lbl_PosRelleX"), T::Texte, texte([&p] { return p.Lbl_PosRelleX(); })},
        {QStringLiteral("Lbl_PosRelleZ"), T::Texte, texte([&p] { return p.Lbl_PosRelleZ(); })},
        {QStringLiteral("Chk_HOMING_X_ok"), T::Booleen, texte([&p] { return p.Chk_HOMING_X_ok(); }),
         [&p](const QJsonValue& v) { p.setChk_HOMING_X_ok(v.toBool()); }},
        {QStringLiteral("Chk_HOMING_Z_ok"), T::Booleen, texte([&p] { return p.Chk_HOMING_Z_ok(); }),
         [&p](const QJsonValue& v) { p.setChk_HOMING_Z_ok(v.toBool()); }},
        {QStringLiteral("Chk_TPnon0"), T::Booleen, texte([&p] { return p.Chk_TPnon0(); }),
         [&p](const QJsonValue& v) { p.setChk_TPnon0(v.toBool()); }},
        {QStringLiteral("Txt_ValeurLu"), T::Texte, texte([&p] { return p.Txt_ValeurLu(); }),
         [&p](const QJsonValue& v) { p.setTxt_ValeurLu(v.toString()); }},
        {QStringLiteral("Chk_TraceIP"), T::Booleen, texte([&p] { return p.Chk_TraceIP(); }),
         [&p](const QJsonValue& v) { p.setChk_TraceIP(v.toBool()); }},
        {QStringLiteral("Lbl_LiaisonValide"), T::Texte,
         texte([&p] { return p.Lbl_LiaisonValide(); })},
        {QStringLiteral("NbCanaux"), T::Entier, texte([&serveur] { return serveur.NbCanaux(); })},
        {QStringLiteral("CanalCourant"), T::Entier,
         texte([&serveur] { return serveur.CanalCourant(); })},
        {QStringLiteral("PortIP"), T::Entier, texte([portEcoute] { return int(portEcoute()); })},
        {QStringLiteral("Cmb_Simulate"), T::Texte, texte([&p] { return p.Cmb_Simulate(); }),
         [&p](const QJsonValue& v) { p.selectionneMode(v.toString()); },
         [&p](const QJsonValue& v) {
             return p.modeConnu(v.toString()) ? QString() : QStringLiteral("unknown mode");
         }},
    };
}

QJsonObject ChampsControle::etat() const
{
    QJsonObject resultat;
    for (const Champ& champ : champs)
        resultat.insert(champ.nom, champ.lit());
    return resultat;
}

std::optional<ChampsControle::Refus> ChampsControle::verifie(const QJsonObject& demande) const
{
    for (auto it = demande.begin(); it != demande.end(); ++it) {
        const auto champ = std::find_if(champs.begin(), champs.end(),
                                        [&](const Champ& c) { return c.nom == it.key(); });
        if (champ == champs.end() || !champ->ecrit)
            return Refus{QStringLiteral("unknown or read-only field"),
                         it.key(),
                         {},
                         QStringLiteral("unknown_field")};
        const bool booleen = champ->type == Type::Booleen;
        if (booleen ? !it.value().isBool() : !it.value().isString())
            return Refus{QStringLiteral("wrong type"), it.key(),
                         booleen ? QStringLiteral("a boolean is expected")
                                 : QStringLiteral("a string is expected"),
                         QStringLiteral("wrong_type")};
        if (!booleen && it.value().toString().size() > TexteMax)
            return Refus{QStringLiteral("too long"), it.key(),
                         QStringLiteral("at most %1 characters").arg(TexteMax),
                         QStringLiteral("too_long")};
        if (champ->refuse) {
            const QString raison = champ->refuse(it.value());
            if (!raison.isEmpty())
                return Refus{raison, it.key(), it.value().toString(),
                             QStringLiteral("invalid_value")};
        }
    }
    return std::nullopt;
}

QString ChampsControle::applique(const QJsonObject& demande)
{
    QStringList changes;
    for (const Champ& champ : champs) {
        if (!demande.contains(champ.nom))
            continue;
        const QJsonValue valeur = demande.value(champ.nom);
        champ.ecrit(valeur);
        changes << champ.nom + QStringLiteral(" = ") + texteValeur(valeur);
    }
    return changes.join(QStringLiteral(", "));
}
