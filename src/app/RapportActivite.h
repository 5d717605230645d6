#pragma once

#include "orders/StatistiquesJour.h"

#include <QDate>
#include <QList>
#include <QString>

class QPagedPaintDevice;

// Rapport d'activité pour le responsable de la pharmacie : une page A4 par jour,
// en français, avec les graphiques de la journée (Qt Charts) et un petit tableau.
// Il se fait sur un PDF (pelorane --rapport) ou sur une imprimante (fenêtre).
namespace RapportActivite {

// Lit le registre (en lecture seule) et calcule les chiffres de chaque jour de
// [du, au], jours sans commande compris. Faux, avec l'erreur, si le registre
// ne se lit pas.
bool Prepare(const QString& registre, const QDate& du, const QDate& au, QList<StatistiquesJour>* jours,
             QString* erreur);

// Une page par jour sur l'appareil (imprimante ou PDF) ; pied : ligne en bas de
// chaque page. Faux si l'appareil refuse le dessin.
bool Dessine(QPagedPaintDevice& appareil, const QList<StatistiquesJour>& jours, const QString& pied);

// Le rapport dans un fichier PDF ; faux, avec l'erreur, si le fichier ne s'écrit pas.
bool EcritPdf(const QString& fichier, const QList<StatistiquesJour>& jours, const QString& pied, QString* erreur);

// "12,3 s", "4 min 05 s", "1 h 02 min".
QString TexteDuree(qint64 ms);

} // namespace RapportActivite
