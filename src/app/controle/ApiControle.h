#pragma once

#include "Attentes.h"
#include "EcouteControle.h"
#include "GardeControle.h"
#include "Route.h"

#include <QHostAddress>
#include <QObject>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

// An HTTP/JSON API that lets a test script read and change what an operator reads and changes
// in the window, and read the log. It only routes: each resource answers its own paths, on the
// window's thread, so a change takes effect exactly as a click or an edit would. A known path
// asked with another method answers 405, an unknown path 404, both in JSON.
class ApiControle : public QObject
{
    Q_OBJECT

public:
    explicit ApiControle(QObject* parent = nullptr);
    ~ApiControle() override;

    void ajoute(std::unique_ptr<RessourceControle> ressource);

    // The bounds of the port (tests lower them); set before demarre.
    void setBornes(const EcouteControle::Bornes& bornes) { ecoute.setBornes(bornes); }

    // The port's rules (CONTROL_HOSTS=, the token); set before demarre.
    void setGarde(const GardeControle::Reglages& r) { reglagesGarde = r; }

    // Listens on the port and address the texts name (loopback unless told otherwise), with
    // its log lines; false with the reason otherwise.
    bool demarre(const QString& textePort, const QString& texteAdresse, SortieMessages& journal,
                 QString& raison);
    quint16 port() const { return portOuvert; }
    // The program ends: pending waits are answered 503 and the port closes.
    void arrete();
    // The waits in progress, which resources add to, and which are checked again on events.
    Attentes& attentes() { return attentesEnCours; }
    // Connections open on the port.
    int connexions() const { return ecoute.connexions(); }

    // Told of every request that changed something (any method but GET, answered 2xx): the
    // method, the path with its query, and the body.
    using Observateur =
        std::function<void(const QString& methode, const QString& chemin, const QByteArray& corps)>;
    void setObservateur(Observateur o) { observateur = std::move(o); }

    // Asked about a path no route answers, before the usual 404: its own answer (a device
    // nobody serves), or nothing.
    using Repli = std::function<std::optional<QHttpServerResponse>(const QString& chemin)>;
    void setRepli(Repli r) { repli = std::move(r); }

private:
    void accueille(ConnexionControle* connexion);
    void sert(ConnexionControle* connexion, const RequeteControle& requete, quint64 numero);

    std::vector<std::unique_ptr<RessourceControle>> ressources;
    QList<Route> table;
    EcouteControle ecoute;
    GardeControle::Reglages reglagesGarde;
    GardeControle garde;
    Attentes attentesEnCours;
    quint16 portOuvert = 0;
    Observateur observateur;
    Repli repli;
};
