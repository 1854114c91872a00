#include "RessourceEvenements.h"

#include "trace/Journal.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>

namespace {

QByteArray enJson(const QString& ligne)
{
    // A one-element list is written compact; its brackets are dropped.
    const QByteArray liste = QJsonDocument(QJsonArray{ligne}).toJson(QJsonDocument::Compact);
    return liste.mid(1, liste.size() - 2);
}

} // namespace

RessourceEvenements::RessourceEvenements(const Journal& journal_,
                                         const FluxEvenements::Bornes& bornes_)
    : journal(journal_), bornes(bornes_)
{
    // Every logged line passes here: it is written out only when a browser is there to read it.
    connect(&journal, &Journal::ligneAjoutee, this, [this](const QString& ligne) {
        if (flux() > 0)
            diffuse({}, enJson(ligne));
    });
    connect(&journal, &Journal::contenuRemplace, this, [this] {
        if (flux() > 0)
            diffuse("contenu", contenu());
    });
}

QList<Route> RessourceEvenements::routes()
{
    return {{QStringLiteral("/events"),
             RequeteControle::Methode::Get,
             {},
             [this](const RequeteControle&, const Repondeur& repondeur) { ouvre(repondeur); }}};
}

qsizetype RessourceEvenements::flux() const
{
    qsizetype n = 0;
    for (const auto& f : ouverts)
        n += !f.isNull();
    return n;
}

void RessourceEvenements::ouvre(const Repondeur& repondeur)
{
    QTcpSocket* socket = repondeur.ouvreFlux("HTTP/1.1 200 OK\r\n"
                                             "Content-Type: text/event-stream; charset=utf-8\r\n"
                                             "Cache-Control: no-store\r\n"
                                             "Connection: close\r\n\r\n");
    if (socket == nullptr)
        return;
    ouverts.removeAll(nullptr);
    auto* nouveau = new FluxEvenements(socket, bornes);
    ouverts.append(nouveau);
    nouveau->envoie("contenu", contenu());
}

void RessourceEvenements::diffuse(const QByteArray& type, const QByteArray& donnee)
{
    for (const auto& f : std::as_const(ouverts)) {
        if (f)
            f->envoie(type, donnee);
    }
}

QByteArray RessourceEvenements::contenu() const
{
    QStringList lignes = journal.contenu().split(QStringLiteral("\r\n"));
    lignes.removeLast(); // after the final line end
    return QJsonDocument(QJsonArray::fromStringList(lignes)).toJson(QJsonDocument::Compact);
}
