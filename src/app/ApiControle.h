#pragma once

#include "trace/HistoriqueJournal.h"

#include <QHostAddress>
#include <QHttpServer>
#include <QJsonObject>
#include <QObject>

class FenetrePrincipale;

// An HTTP/JSON API on 127.0.0.1 that lets a test script read and change what an operator
// reads and changes in the window, and read the log. It acts on the controls themselves, on
// the window's thread, so a change takes effect exactly as a click or an edit would.
class ApiControle : public QObject
{
    Q_OBJECT

public:
    explicit ApiControle(FenetrePrincipale& fenetre, QObject* parent = nullptr);

    // Opens the API on the port a text names, with its log line; on failure the reason is
    // in the log and on standard error. Lines are numbered from the API's creation on, so it is
    // made before start-up and opened after.
    // It listens on the loopback address unless `texteAdresse` names another.
    bool demarre(const QString& textePort, const QString& texteAdresse = {});

    // False with the reason when the port is taken.
    bool ouvre(const QHostAddress& adresse, quint16 port, QString& erreur);
    quint16 port() const { return portOuvert; }

    QJsonObject etat() const;

private:
    QHttpServerResponse modifieEtat(const QByteArray& corps);
    QHttpServerResponse canaux() const;
    QHttpServerResponse journal(const QHttpServerRequest& requete) const;
    QHttpServerResponse reinitialise();
    QHttpServerResponse minuteries() const;
    QHttpServerResponse sante() const;
    // One log line for what a script changed, so the record shows why the device changed.
    void journaliseChangement(const QString& quoi);
    void routes();

    FenetrePrincipale& fenetre;
    HistoriqueJournal historique;
    QHttpServer serveur;
    quint16 portOuvert = 0;
};
