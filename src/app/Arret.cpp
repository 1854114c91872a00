#include "Arret.h"

#include "FenetrePrincipale.h"
#include "net/ServeurCanaux.h"
#include "trace/Pause.h"

#include <QApplication>
#include <QDialog>

Arret::Arret(FenetrePrincipale& fenetre_, ServeurCanaux& serveur_, QObject* parent)
    : QObject(parent), fenetre(fenetre_), serveur(serveur_)
{
    connect(&fenetre, &FenetrePrincipale::fermetureDemandee, this, &Arret::Form_Unload);
}

void Arret::Form_Unload()
{
    // A second close (the close box during the final pause) finds the work already done.
    if (faite)
        return;
    faite = true;
    serveur.fermeture();
    timePauseMs(float(pauseMs));
}

std::optional<int> Arret::pauseValide(const QString& texte)
{
    if (texte.isEmpty() || texte.size() > 3)
        return std::nullopt;
    for (const QChar c : texte) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    }
    const int ms = texte.toInt();
    if (ms > PauseMaxMs)
        return std::nullopt;
    return ms;
}

void Arret::demandeArret()
{
    demande = true;
    while (QWidget* boite = QApplication::activeModalWidget()) {
        if (auto* dialogue = qobject_cast<QDialog*>(boite))
            dialogue->reject();
        else
            boite->close();
        if (QApplication::activeModalWidget() == boite)
            break;
    }
    if (!demarrageEnCours)
        fenetre.close();
}
