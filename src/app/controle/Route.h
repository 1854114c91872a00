#pragma once

#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <functional>
#include <variant>

class SortieMessages;

// One path and method of the control API, and what answers it.
struct Route
{
    QString chemin;
    QHttpServerRequest::Method methode;
    std::function<QHttpServerResponse(const QHttpServerRequest&)> action;
};

// A resource of the control API: a small handler that knows the routes it answers. A new
// resource is a new class of this kind, added where the program is put together.
class RessourceControle
{
public:
    virtual ~RessourceControle() = default;
    virtual QList<Route> routes() = 0;
};

// 400 with the reason, and the field at fault when there is one.
QHttpServerResponse refus(const QString& raison, const QString& champ = {},
                          const QString& detail = {});

// The request's body as a JSON object, or the 400 that says why it is not one.
std::variant<QJsonObject, QHttpServerResponse> objetJson(const QByteArray& corps);
// The same for any JSON value (an object or a list).
std::variant<QJsonValue, QHttpServerResponse> valeurJson(const QByteArray& corps);

// One log line for what a script changed, so that the record shows why the device changed.
void journaliseChangement(SortieMessages& journal, const QString& quoi);
