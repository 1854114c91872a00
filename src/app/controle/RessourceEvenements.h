#pragma once

#include "FluxEvenements.h"
#include "Route.h"

#include <QList>
#include <QObject>
#include <QPointer>

class Journal;

// GET /events: the message area as server-sent events, for the page. The stream opens with
// the area's lines (event "contenu", a JSON list), then each line the window adds (a plain
// message, a JSON string, so that no character of it can break the stream), and the whole area
// again whenever it is emptied or cut back. Each client has its own bounded queue; see
// FluxEvenements. A client that leaves takes its stream with it.
class RessourceEvenements : public QObject, public RessourceControle
{
    Q_OBJECT

public:
    explicit RessourceEvenements(const Journal& journal, const FluxEvenements::Bornes& bornes = {});
    QList<Route> routes() override;

    // The streams open now.
    qsizetype flux() const;

private:
    void ouvre(const Repondeur& repondeur);
    void diffuse(const QByteArray& type, const QByteArray& donnee);
    QByteArray contenu() const;

    const Journal& journal;
    const FluxEvenements::Bornes bornes;
    QList<QPointer<FluxEvenements>> ouverts;
};
