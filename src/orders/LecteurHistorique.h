#pragma once

#include "orders/RegistreRemises.h"

#include <QList>
#include <QString>
#include <QVariantList>

#include <functional>

class QSqlQuery;

// Lecture de l'historique des remises (pelorane --historique) : le registre est
// ouvert en lecture seule, pendant que le service y écrit peut-être.
class LecteurHistorique
{
public:
    struct Ligne
    {
        QString fichier;
        QString ordre;
        int tiroir = 0;
        QString etat;
        qint64 vueLe = 0, remiseLe = 0, effaceeLe = 0, libereeLe = 0; // 0 : inconnu
        RegistreRemises::Liberation liberation = RegistreRemises::Liberation::Aucune;
    };
    // Les remises commencées depuis depuisMs, les plus anciennes d'abord ; faux
    // avec *erreur si le registre ne peut être lu.
    static bool Lit(const QString& chemin, qint64 depuisMs, QList<Ligne>* lignes, QString* erreur);

    // Le registre ouvert en lecture seule (jamais créé ni écrit) : chaque ligne de la
    // requête passe par `ligne`. Faux avec *erreur si le registre ne se lit pas ; un
    // fichier abîmé est dit en français.
    static bool Interroge(const QString& chemin, const QString& requete, const QVariantList& valeurs,
                          const std::function<void(const QSqlQuery&)>& ligne, QString* erreur);
};
