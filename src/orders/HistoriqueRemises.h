#pragma once

#include "orders/LecteurHistorique.h"

#include <QByteArray>
#include <QList>

// Mise en forme de l'historique des remises (pelorane --historique) : règles
// pures, les heures en heure locale "AAAA-MM-JJ HH:MM:SS.mmm", vides si inconnues.
namespace HistoriqueRemises {

// En-tête "fichier;ordre;tiroir;vue_le;remise_le;effacee_le;liberee_le;liberation"
// puis une ligne par commande ; un champ qui porte ";", un guillemet ou une fin de
// ligne est mis entre guillemets (guillemets doublés).
QByteArray Csv(const QList<LecteurHistorique::Ligne>& lignes);

// Tableau aligné pour une personne, en français, avec l'état de chaque remise.
QByteArray Tableau(const QList<LecteurHistorique::Ligne>& lignes);

QString Heure(qint64 msDepuisEpoque); // "" pour 0

} // namespace HistoriqueRemises
