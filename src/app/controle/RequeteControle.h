#pragma once

#include <QByteArray>
#include <QList>
#include <QUrl>
#include <QUrlQuery>

#include <utility>

// One request to the control API, as the connection read it: its method, its target and its
// body, already bounded in size.
class RequeteControle
{
public:
    enum class Methode { Get, Post, Patch, Delete, Put, Head, Options, Autre };

    RequeteControle() = default;
    RequeteControle(Methode methode_, const QByteArray& nomMethode_, QUrl url_, QByteArray corps_)
        : methodeLue(methode_), nom(nomMethode_), adresse(std::move(url_)),
          contenu(std::move(corps_))
    {
    }

    Methode method() const { return methodeLue; }
    const QByteArray& nomMethode() const { return nom; }
    const QUrl& url() const { return adresse; }
    QUrlQuery query() const { return QUrlQuery(adresse); }
    const QByteArray& body() const { return contenu; }

    static Methode methodeDe(const QByteArray& nom)
    {
        static const QList<std::pair<QByteArray, Methode>> connues = {
            {"GET", Methode::Get},        {"POST", Methode::Post}, {"PATCH", Methode::Patch},
            {"DELETE", Methode::Delete},  {"PUT", Methode::Put},   {"HEAD", Methode::Head},
            {"OPTIONS", Methode::Options}};
        for (const auto& [texte, methode] : connues) {
            if (texte == nom)
                return methode;
        }
        return Methode::Autre;
    }

private:
    Methode methodeLue = Methode::Autre;
    QByteArray nom;
    QUrl adresse;
    QByteArray contenu;
};
