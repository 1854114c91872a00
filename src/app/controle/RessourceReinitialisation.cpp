#include "RessourceReinitialisation.h"

#include "ChampsControle.h"

QList<Route> RessourceReinitialisation::routes()
{
    return {
        {QStringLiteral("/reset"), QHttpServerRequest::Method::Post, [this](auto&) {
             reinitialise();
             journaliseChangement(
                 journal,
                 QStringLiteral(
                     "remise à zéro : Lbl_PosDemX, Lbl_PosDemZ, "
                     "Lbl_PosRelleX, Lbl_PosRelleZ = 0, Chk_HOMING_X_ok, "
                     "Chk_HOMING_Z_ok, Chk_TPnon0 = décoché, "
                     "Txt_ValeurLu = 500, Cmb_Simulate = automateOMRON, règles de défaut effacées"));
             return QHttpServerResponse(champs.etat());
         }}};
}
