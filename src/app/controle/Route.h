#pragma once

#include "RequeteControle.h"

#include <QHttpServerResponse>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <variant>

class QTcpSocket;
class SortieMessages;

// Where an answer goes once it is known: the connection that asked, if it is still there.
class Repondeur
{
public:
    using Envoi = std::function<void(const QHttpServerResponse&)>;
    using Presence = std::function<bool()>;
    // Turns the connection into a stream: writes the header section and gives the socket.
    using Flux = std::function<QTcpSocket*(const QByteArray& enTete)>;

    Repondeur() = default;
    Repondeur(Envoi envoi_, Presence presence_, Flux flux_ = {})
        : envoi(std::move(envoi_)), presence(std::move(presence_)), flux(std::move(flux_))
    {
    }
    void operator()(const QHttpServerResponse& reponse) const
    {
        if (envoi)
            envoi(reponse);
    }
    bool present() const { return presence && presence(); }
    // The socket to stream on, or null if the client left.
    QTcpSocket* ouvreFlux(const QByteArray& enTete) const { return flux ? flux(enTete) : nullptr; }

private:
    Envoi envoi;
    Presence presence;
    Flux flux;
};

// One path and method of the control API, and what answers it: at once (`action`), or later
// through the Repondeur it is handed (`differee`, for the waits).
struct Route
{
    using Methode = RequeteControle::Methode;
    QString chemin;
    Methode methode;
    std::function<QHttpServerResponse(const RequeteControle&)> action;
    std::function<void(const RequeteControle&, const Repondeur&)> differee = {};
};

// A resource of the control API: a small handler that knows the routes it answers. A new
// resource is a new class of this kind, added where the program is put together.
class RessourceControle
{
public:
    virtual ~RessourceControle() = default;
    virtual QList<Route> routes() = 0;
};

// Every error of the control API: {"error": message, "code": code, ...}, where `code` is one
// of a fixed set of English words a program can test, and the other members say where.
QHttpServerResponse reponseErreur(QHttpServerResponse::StatusCode statut, const QString& code,
                                  const QString& message, const QJsonObject& autres = {});

// 400 with the reason and its code, and the field at fault when there is one.
QHttpServerResponse refus(const QString& code, const QString& raison, const QString& champ = {},
                          const QString& detail = {});

// The first member of `objet` that is not in `connus`, refused.
std::optional<QHttpServerResponse> champsInconnus(const QJsonObject& objet,
                                                  const QStringList& connus);

// The request's body as a JSON object, or the 400 that says why it is not one.
std::variant<QJsonObject, QHttpServerResponse> objetJson(const QByteArray& corps);
// The same for any JSON value (an object or a list).
std::variant<QJsonValue, QHttpServerResponse> valeurJson(const QByteArray& corps);

// One log line for what a script changed, so that the record shows why the device changed.
void journaliseChangement(SortieMessages& journal, const QString& quoi);
