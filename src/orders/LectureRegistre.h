#pragma once

#include "orders/StatistiquesJour.h"

#include <QList>
#include <QString>

// Lecture seule du registre des remises (table remises), pour le rapport
// d'activité : ouvre la base sans jamais l'écrire ni la créer, de sorte qu'elle
// se lit pendant que le service y écrit (journal WAL).
namespace LectureRegistre {

// Les commandes remises (ou commencées) dans [debutMs, finMs[, sans ordre
// garanti (un tri de 100 000 lignes ne servirait à rien). Faux, avec l'erreur en français, si le registre est
// absent ou illisible.
bool Lit(const QString& chemin, qint64 debutMs, qint64 finMs, QList<RemiseRegistre>* lignes, QString* erreur);

// Depuis quand (ms depuis l'époque) le registre est complet : les lignes d'avant
// ont pu être purgées. 0 si rien n'a jamais été purgé (ou registre d'avant cette
// note). Faux, avec l'erreur, si le registre ne se lit pas.
bool CompletDepuis(const QString& chemin, qint64* depuisMs, QString* erreur);

} // namespace LectureRegistre
