#pragma once

#include "orders/StatistiquesJour.h"

#include <QRectF>
#include <memory>

class QChart;
class QPainter;

// Les graphiques Qt Charts d'une page du rapport d'activité. Chaque graphique est
// construit hors écran puis dessiné dans un rectangle du peintre de la page
// (imprimante ou PDF), sans fenêtre.
namespace GraphiquesRapport {

std::unique_ptr<QChart> RemisesParHeure(const StatistiquesJour& s);
std::unique_ptr<QChart> RemiseLiberationParTiroir(const StatistiquesJour& s);
std::unique_ptr<QChart> CausesParTiroir(const StatistiquesJour& s);
std::unique_ptr<QChart> AttenteParHeure(const StatistiquesJour& s);

// Dessine le graphique dans cible, en dixièmes de millimètre de la page.
void Dessine(QChart& graphique, QPainter& peintre, const QRectF& cible);

} // namespace GraphiquesRapport
