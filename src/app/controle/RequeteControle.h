#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QUrl>
#include <QUrlQuery>

#include <optional>
#include <utility>

// One request to the control API, as the connection read it: its method, its target and its
// body, already bounded in size.
class RequeteControle
{
public:
    enum class Methode { Get, Post, Patch, Delete, Put, Head, Options, Autre };

    // The few header fields the port's rules look at, as sent, and the address the client
    // reached.
    struct EnTetes
    {
        std::optional<QByteArray> hote; // Host
        QByteArray typeContenu;         // Content-Type
        std::optional<QByteArray> autorisation;
        bool velorin = false; // X-Velorin, which no cross-site form can send
        QHostAddress locale;
    };

    RequeteControle() = default;
    RequeteControle(Methode methode_, const QByteArray& nomMethode_, QUrl url_, QByteArray corps_)
        : methodeLue(methode_), nom(nomMethode_), adresse(std::move(url_)),
          contenu(std::move(corps_))
    {
    }
    RequeteControle(Methode methode_, const QByteArray& nomMethode_, QUrl url_, QByteArray corps_,
                    EnTetes enTetes_)
        : methodeLue(methode_), nom(nomMethode_), adresse(std::move(url_)),
          contenu(std::move(corps_)), champs(std::move(enTetes_))
    {
    }

    Methode method() const { return methodeLue; }
    const QByteArray& nomMethode() const { return nom; }
    const QUrl& url() const { return adresse; }
    QUrlQuery query() const { return QUrlQuery(adresse); }
    const QByteArray& body() const { return contenu; }
    const EnTetes& enTetes() const { return champs; }

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
    EnTetes champs;
};
