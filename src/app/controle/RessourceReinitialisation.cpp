#include "RessourceReinitialisation.h"

#include "ChampsControle.h"

QList<Route> RessourceReinitialisation::routes()
{
    return {{QStringLiteral("/reset"), RequeteControle::Methode::Post,
             [this](const RequeteControle& r) { return remet(r.body()); }}};
}

QHttpServerResponse RessourceReinitialisation::remet(const QByteArray& corps)
{
    bool horloge = false;
    // No body is the plain reset.
    if (!corps.trimmed().isEmpty()) {
        auto lu = objetJson(corps);
        if (auto* reponse = std::get_if<QHttpServerResponse>(&lu))
            return std::move(*reponse);
        const QJsonObject demande = std::get<QJsonObject>(lu);
        if (auto faute = champsInconnus(demande, {QStringLiteral("clock")}))
            return std::move(*faute);
        const QJsonValue valeur = demande.value(QStringLiteral("clock"));
        if (!valeur.isUndefined() && !valeur.isBool())
            return refus(QStringLiteral("wrong_type"), QStringLiteral("a boolean is expected"),
                         QStringLiteral("clock"));
        horloge = valeur.toBool();
    }
    reinitialise();
    if (horloge)
        remetHorloge();
    journaliseChangement(
        journal, QStringLiteral(
                     "remise à zéro : Lbl_PosDemX, Lbl_PosDemZ, "
                     "Lbl_PosRelleX, Lbl_PosRelleZ = 0, Chk_HOMING_X_ok, "
                     "Chk_HOMING_Z_ok, Chk_TPnon0 = décoché, "
                     "Txt_ValeurLu = 500, Cmb_Simulate = automateOMRON, règles de défaut effacées")
                     + (horloge ? QStringLiteral(", horloge à 0") : QString()));
    return QHttpServerResponse(champs.etat());
}
