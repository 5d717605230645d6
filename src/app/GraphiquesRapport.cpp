#include "GraphiquesRapport.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QGraphicsScene>
#include <QLegend>
#include <QPainter>
#include <QStackedBarSeries>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

namespace GraphiquesRapport {

namespace {

// Taille d'écran d'un graphique pleine largeur ; les demi-largeurs gardent la
// même hauteur, et le dessin met le tout à l'échelle de la page.
constexpr double LargeurEcran = 900;
constexpr double LargeurPage = 1860; // largeur utile de la page (dixièmes de millimètre)

QFont PoliceGraphique(double pixels, bool gras = false)
{
    QFont f;
    f.setPixelSize(int(pixels));
    f.setBold(gras);
    return f;
}

std::unique_ptr<QChart> Nouveau(const QString& titre, bool legende)
{
    auto graphique = std::make_unique<QChart>();
    graphique->setTitle(titre);
    graphique->setTitleFont(PoliceGraphique(15, true));
    graphique->setAnimationOptions(QChart::NoAnimation);
    graphique->setBackgroundRoundness(0);
    // Nombres des axes à la française (virgule décimale).
    graphique->setLocalizeNumbers(true);
    graphique->setLocale(QLocale(QLocale::French));
    graphique->setMargins(QMargins(4, 4, 4, 4));
    graphique->legend()->setVisible(legende);
    graphique->legend()->setAlignment(Qt::AlignBottom);
    graphique->legend()->setFont(PoliceGraphique(12));
    return graphique;
}

QStringList Heures()
{
    QStringList heures;
    for (int h = 0; h < 24; ++h)
        heures << QString::number(h);
    return heures;
}

QStringList NomsTiroirs(const StatistiquesJour& s)
{
    QStringList noms;
    for (const StatistiquesJour::Tiroir& t : s.tiroirs)
        noms << QStringLiteral("T%1").arg(t.numero);
    return noms;
}

// Axes : catégories en bas, valeurs à gauche à partir de zéro.
void Axes(QChart& graphique, QAbstractSeries* serie, const QStringList& categories, double maximum,
          const QString& unite, bool entiers, const QString& titreX = QString())
{
    auto* axeX = new QBarCategoryAxis;
    axeX->append(categories);
    axeX->setLabelsFont(PoliceGraphique(11));
    axeX->setTitleText(titreX);
    axeX->setTitleFont(PoliceGraphique(11));
    auto* axeY = new QValueAxis;
    axeY->setLabelsFont(PoliceGraphique(11));
    axeY->setTitleText(unite);
    axeY->setTitleFont(PoliceGraphique(11));
    if (entiers) {
        // Des comptes : graduations entières (1, 2 ou 5 fois une puissance de dix),
        // pour une demi-douzaine de graduations au plus.
        const double brut = std::max(1.0, std::ceil(maximum * 1.1) / 5);
        const double puissance = std::pow(10.0, std::floor(std::log10(brut)));
        const double pas = brut <= puissance ? puissance
            : brut <= 2 * puissance          ? 2 * puissance
            : brut <= 5 * puissance          ? 5 * puissance
                                             : 10 * puissance;
        axeY->setRange(0, pas * std::ceil(std::max(maximum * 1.1, 1.0) / pas));
        axeY->setTickType(QValueAxis::TicksDynamic);
        axeY->setTickAnchor(0);
        axeY->setTickInterval(pas);
        axeY->setLabelFormat(QStringLiteral("%.0f"));
    } else {
        // L'axe suit les données : des attentes de 10 ms sur un axe d'une seconde et
        // demie ne se verraient pas. Sans donnée, une seconde.
        const double haut = maximum > 0 ? maximum * 1.1 : 1.0;
        axeY->setRange(0, haut);
        axeY->applyNiceNumbers();
        // Assez de décimales pour que deux graduations ne s'écrivent pas pareil.
        axeY->setLabelFormat(haut < 0.1 ? QStringLiteral("%.3f")
                                 : haut < 1 ? QStringLiteral("%.2f")
                                 : haut < 10 ? QStringLiteral("%.1f")
                                             : QStringLiteral("%.0f"));
    }
    graphique.addAxis(axeX, Qt::AlignBottom);
    graphique.addAxis(axeY, Qt::AlignLeft);
    serie->attachAxis(axeX);
    serie->attachAxis(axeY);
}

double Secondes(qint64 ms)
{
    return double(ms) / 1000.0;
}

// Deux barres par catégorie : médiane et temps sous lequel restent 95 % des
// commandes, en secondes.
std::unique_ptr<QChart> MedianeEtCentile(const QString& titre, const QStringList& categories,
                                         const QList<StatistiquesJour::Repartition>& valeurs,
                                         const QString& titreX = QString())
{
    auto graphique = Nouveau(titre, true);
    auto* mediane = new QBarSet(QStringLiteral("médiane"));
    auto* centile = new QBarSet(QStringLiteral("95 % des commandes en moins de"));
    mediane->setColor(QColor(0x4E, 0x79, 0xA7));
    centile->setColor(QColor(0xF2, 0x8E, 0x2B));
    double maximum = 0;
    for (const StatistiquesJour::Repartition& r : valeurs) {
        *mediane << Secondes(r.medianeMs);
        *centile << Secondes(r.centile95Ms);
        maximum = std::max(maximum, Secondes(r.centile95Ms));
    }
    auto* serie = new QBarSeries;
    serie->append(mediane);
    serie->append(centile);
    graphique->addSeries(serie);
    Axes(*graphique, serie, categories, maximum, QStringLiteral("secondes"), false, titreX);
    return graphique;
}

} // namespace

std::unique_ptr<QChart> RemisesParHeure(const StatistiquesJour& s)
{
    auto graphique = Nouveau(QStringLiteral("Commandes remises par heure"), false);
    auto* remises = new QBarSet(QStringLiteral("remises"));
    remises->setColor(QColor(0x59, 0xA1, 0x4F));
    int maximum = 0;
    for (int n : s.remisesParHeure) {
        *remises << n;
        maximum = std::max(maximum, n);
    }
    auto* serie = new QBarSeries;
    serie->append(remises);
    graphique->addSeries(serie);
    Axes(*graphique, serie, Heures(), maximum, QStringLiteral("commandes"), true, QStringLiteral("heure de la journée"));
    return graphique;
}

std::unique_ptr<QChart> RemiseLiberationParTiroir(const StatistiquesJour& s)
{
    QList<StatistiquesJour::Repartition> valeurs;
    for (const StatistiquesJour::Tiroir& t : s.tiroirs)
        valeurs << t.remiseLiberation;
    return MedianeEtCentile(QStringLiteral("De la remise à la libération, par tiroir"), NomsTiroirs(s), valeurs);
}

std::unique_ptr<QChart> CausesParTiroir(const StatistiquesJour& s)
{
    auto graphique = Nouveau(QStringLiteral("Causes de libération, par tiroir"), true);
    // Le temps dépassé en rouge : beaucoup de libérations au bout du temps disent
    // des datagrammes perdus ou un convoyeur arrêté.
    const QColor couleurs[] = { QColor(0x59, 0xA1, 0x4F), QColor(0xE1, 0x57, 0x59), QColor(0x76, 0xB7, 0xB2),
                                QColor(0xBA, 0xB0, 0xAC) };
    auto* serie = new QStackedBarSeries;
    for (size_t c = 0; c < StatistiquesJour::Causes.size(); ++c) {
        auto* ensemble = new QBarSet(StatistiquesJour::NomCause(StatistiquesJour::Causes[c]));
        ensemble->setColor(couleurs[c]);
        for (const StatistiquesJour::Tiroir& t : s.tiroirs)
            *ensemble << t.causes[c];
        serie->append(ensemble);
    }
    int maximum = 0;
    for (const StatistiquesJour::Tiroir& t : s.tiroirs) {
        int total = 0;
        for (int n : t.causes)
            total += n;
        maximum = std::max(maximum, total);
    }
    graphique->addSeries(serie);
    Axes(*graphique, serie, NomsTiroirs(s), maximum, QStringLiteral("libérations"), true);
    return graphique;
}

std::unique_ptr<QChart> AttenteParHeure(const StatistiquesJour& s)
{
    return MedianeEtCentile(QStringLiteral("Attente de la première vue à la remise, par heure"), Heures(),
                            QList<StatistiquesJour::Repartition>(s.attenteParHeure.begin(), s.attenteParHeure.end()),
                            QStringLiteral("heure de la journée"));
}

void Dessine(QChart& graphique, QPainter& peintre, const QRectF& cible)
{
    // Un pixel d'écran du graphique vaut LargeurPage / LargeurEcran unités de la page.
    const double echelle = LargeurEcran / LargeurPage;
    const QSizeF taille(cible.width() * echelle, cible.height() * echelle);
    QGraphicsScene scene;
    graphique.resize(taille);
    scene.addItem(&graphique);
    scene.setSceneRect(QRectF(QPointF(0, 0), taille));
    scene.render(&peintre, cible, scene.sceneRect());
    scene.removeItem(&graphique);
}

} // namespace GraphiquesRapport
