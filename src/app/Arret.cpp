#include "Arret.h"

#include "net/ServeurCanaux.h"
#include "trace/Pause.h"

#include <QApplication>
#include <QDialog>

Arret::Arret(ServeurCanaux& serveur, QObject* parent)
    : Arret([&serveur] { serveur.fermeture(); }, parent)
{
}

Arret::Arret(std::function<void()> fermeServeurs_, QObject* parent)
    : QObject(parent), fermeServeurs(std::move(fermeServeurs_))
{
}

void Arret::ferme()
{
    Form_Unload();
    emit fermeture();
}

void Arret::termine()
{
    if (fermeFenetre) {
        fermeFenetre();
        return;
    }
    ferme();
    QCoreApplication::quit();
}

void Arret::Form_Unload()
{
    // A second close (the close box during the final pause) finds the work already done.
    if (faite)
        return;
    faite = true;
    fermeServeurs();
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
    // Message boxes exist only where widgets do.
    while (QWidget* boite = qobject_cast<QApplication*>(QCoreApplication::instance())
                                ? QApplication::activeModalWidget()
                                : nullptr) {
        if (auto* dialogue = qobject_cast<QDialog*>(boite))
            dialogue->reject();
        else
            boite->close();
        if (QApplication::activeModalWidget() == boite)
            break;
    }
    if (!demarrageEnCours)
        termine();
}
