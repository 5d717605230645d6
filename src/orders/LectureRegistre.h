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

} // namespace LectureRegistre
