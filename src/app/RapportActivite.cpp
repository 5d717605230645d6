#include "RapportActivite.h"

#include "app/GraphiquesRapport.h"
#include "orders/LectureRegistre.h"

#include <QChart>
#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QPainter>
#include <QPdfWriter>

#include <algorithm>

namespace RapportActivite {

namespace {

// La page se dessine en dixièmes de millimètre sur un A4 portrait.
constexpr double LargeurA4 = 2100;
constexpr double HauteurA4 = 2970;
constexpr double Marge = 120;
constexpr double Utile = LargeurA4 - 2 * Marge;

QFont Police(double hauteur, bool gras = false)
{
    QFont f;
    f.setPixelSize(int(hauteur));
    f.setBold(gras);
    return f;
}

QString Heure(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("HH:mm:ss"));
}

// Le bloc des totaux, à gauche sous le titre.
void DessineTotaux(QPainter& p, const StatistiquesJour& s, const QRectF& zone)
{
    QStringList lignes;
    lignes << QStringLiteral("Commandes remises : %1").arg(s.remises)
           << QStringLiteral("Mises de côté : %1").arg(s.misesDeCote)
           << QStringLiteral("Remises interrompues : %1").arg(s.interrompues);
    if (s.heureChargee >= 0) {
        const int n = s.remisesParHeure[size_t(s.heureChargee)];
        lignes << QStringLiteral("Heure la plus chargée : %1 h - %2 h (%3 remise%4)")
                      .arg(s.heureChargee)
                      .arg(s.heureChargee + 1)
                      .arg(n)
                      .arg(n > 1 ? QStringLiteral("s") : QString());
    } else {
        lignes << QStringLiteral("Heure la plus chargée : aucune remise");
    }
    lignes << QStringLiteral("Attente de la première vue à la remise :");
    if (s.attente.nombre > 0)
        lignes << QStringLiteral("    médiane %1,").arg(TexteDuree(s.attente.medianeMs))
               << QStringLiteral("    95 % des commandes en moins de %1").arg(TexteDuree(s.attente.centile95Ms));
    else
        lignes << QStringLiteral("    inconnue");
    p.setFont(Police(34));
    double y = zone.top();
    for (const QString& ligne : lignes) {
        p.drawText(QRectF(zone.left(), y, zone.width(), 44), Qt::AlignLeft | Qt::AlignVCenter, ligne);
        y += 44;
    }
}

// Les dix plus longues attentes, à droite sous le titre.
void DessinePlusLongues(QPainter& p, const StatistiquesJour& s, const QRectF& zone)
{
    p.setFont(Police(32, true));
    p.drawText(QRectF(zone.left(), zone.top(), zone.width(), 40), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Les plus longues attentes"));
    const double colonnes[] = { 0, 0.22, 0.62, 0.80 }; // ordre, fichier, remise, attente
    const QStringList titres = { QStringLiteral("Ordre"), QStringLiteral("Fichier"), QStringLiteral("Remise"),
                                 QStringLiteral("Attente") };
    auto ligne = [&](double y, const QStringList& champs) {
        for (int c = 0; c < 4; ++c) {
            const double x = zone.left() + colonnes[c] * zone.width();
            const double fin = c < 3 ? zone.left() + colonnes[c + 1] * zone.width() : zone.right();
            p.drawText(QRectF(x, y, fin - x - 8, 30), Qt::AlignLeft | Qt::AlignVCenter,
                       p.fontMetrics().elidedText(champs.at(c), Qt::ElideRight, int(fin - x - 8)));
        }
    };
    double y = zone.top() + 44;
    p.setFont(Police(26, true));
    ligne(y, titres);
    p.drawLine(QPointF(zone.left(), y + 31), QPointF(zone.right(), y + 31));
    p.setFont(Police(26));
    for (const StatistiquesJour::Attente& a : s.plusLonguesAttentes) {
        y += 31;
        ligne(y, { a.ordre.isEmpty() ? QStringLiteral("-") : a.ordre, a.fichier, Heure(a.remiseLe),
                   TexteDuree(a.dureeMs) });
    }
    if (s.plusLonguesAttentes.isEmpty())
        p.drawText(QRectF(zone.left(), y + 31, zone.width(), 30), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("aucune attente connue"));
}

void DessinePage(QPainter& p, const StatistiquesJour& s, const QString& pied, int page, int pages)
{
    p.setPen(Qt::black);
    p.setFont(Police(60, true));
    p.drawText(QRectF(Marge, Marge, Utile, 80), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Rapport d'activité du ") + QLocale(QLocale::French).toString(s.jour, QStringLiteral("dddd d MMMM yyyy")));
    p.setFont(Police(28));
    p.drawText(QRectF(Marge, HauteurA4 - Marge - 40, Utile - 260, 40), Qt::AlignLeft | Qt::AlignVCenter,
               p.fontMetrics().elidedText(pied, Qt::ElideMiddle, int(Utile - 260)));
    p.drawText(QRectF(LargeurA4 - Marge - 250, HauteurA4 - Marge - 40, 250, 40), Qt::AlignRight | Qt::AlignVCenter,
               QStringLiteral("page %1 sur %2").arg(page).arg(pages));
    p.drawLine(QPointF(Marge, Marge + 95), QPointF(LargeurA4 - Marge, Marge + 95));
    if (s.purge) {
        p.setFont(Police(44));
        p.drawText(QRectF(Marge, 800, Utile, 300), Qt::AlignCenter | Qt::TextWordWrap,
                   QStringLiteral("Jour purgé du registre : les commandes de plus de 90 jours en sont retirées, "
                                  "les chiffres de ce jour ne sont plus connus."));
        return;
    }
    if (s.Vide()) {
        p.setFont(Police(50));
        p.drawText(QRectF(Marge, 800, Utile, 200), Qt::AlignCenter, QStringLiteral("Aucune commande ce jour."));
        return;
    }
    const double haut = Marge + 120;
    DessineTotaux(p, s, QRectF(Marge, haut, Utile * 0.46, 300));
    DessinePlusLongues(p, s, QRectF(Marge + Utile * 0.50, haut, Utile * 0.50, 420));
    const double graphiques = haut + 440;
    const double moitie = (Utile - 40) / 2;
    const std::unique_ptr<QChart> parHeure = GraphiquesRapport::RemisesParHeure(s);
    GraphiquesRapport::Dessine(*parHeure, p, QRectF(Marge, graphiques, Utile, 640));
    const std::unique_ptr<QChart> liberation = GraphiquesRapport::RemiseLiberationParTiroir(s);
    GraphiquesRapport::Dessine(*liberation, p, QRectF(Marge, graphiques + 670, moitie, 760));
    const std::unique_ptr<QChart> causes = GraphiquesRapport::CausesParTiroir(s);
    GraphiquesRapport::Dessine(*causes, p, QRectF(Marge + moitie + 40, graphiques + 670, moitie, 760));
    const std::unique_ptr<QChart> attente = GraphiquesRapport::AttenteParHeure(s);
    GraphiquesRapport::Dessine(*attente, p, QRectF(Marge, graphiques + 1460, Utile, 640));
}

} // namespace

bool Prepare(const QString& registre, const QDate& du, const QDate& au, QList<StatistiquesJour>* jours,
             QString* erreur)
{
    QList<RemiseRegistre> lignes;
    if (!LectureRegistre::Lit(registre, du.startOfDay().toMSecsSinceEpoch(),
                              au.addDays(1).startOfDay().toMSecsSinceEpoch(), &lignes, erreur))
        return false;
    // Chaque ligne rangée une fois dans son jour, par comparaison aux débuts des jours.
    QList<qint64> debuts;
    for (QDate jour = du; jour <= au.addDays(1); jour = jour.addDays(1))
        debuts.append(jour.startOfDay().toMSecsSinceEpoch());
    QList<QList<RemiseRegistre>> parJour(debuts.size() - 1);
    for (const RemiseRegistre& l : std::as_const(lignes)) {
        const qint64 quand = l.remiseLe > 0 ? l.remiseLe : l.debutLe;
        const qsizetype i = std::upper_bound(debuts.cbegin(), debuts.cend(), quand) - debuts.cbegin() - 1;
        if (i >= 0 && i < parJour.size())
            parJour[i].append(l);
    }
    qint64 completDepuis = 0;
    if (!LectureRegistre::CompletDepuis(registre, &completDepuis, erreur))
        return false;
    for (qsizetype i = 0; i < parJour.size(); ++i) {
        jours->append(StatistiquesJour::Calcule(du.addDays(i), parJour.at(i)));
        // Un jour commencé avant la limite de la purge est incomplet, même en partie.
        jours->last().purge = debuts.at(i) < completDepuis;
    }
    return true;
}

bool Dessine(QPagedPaintDevice& appareil, const QList<StatistiquesJour>& jours, const QString& pied)
{
    QPainter p;
    if (!p.begin(&appareil))
        return false;
    // Une page logique de 2100 x 2970 dixièmes de millimètre, à l'échelle de la
    // surface que l'appareil offre (marges de l'imprimante comprises).
    const QRect surface = p.viewport();
    const double echelle = std::min(surface.width() / LargeurA4, surface.height() / HauteurA4);
    p.setRenderHint(QPainter::Antialiasing);
    for (qsizetype i = 0; i < jours.size(); ++i) {
        if (i > 0 && !appareil.newPage()) {
            p.end();
            return false;
        }
        p.save();
        p.scale(echelle, echelle);
        DessinePage(p, jours.at(i), pied, int(i + 1), int(jours.size()));
        p.restore();
    }
    return p.end();
}

bool EcritPdf(const QString& fichier, const QList<StatistiquesJour>& jours, const QString& pied, QString* erreur)
{
    // Le fichier ouvert d'abord : un chemin impossible se dit en français, sans
    // l'avertissement de QPainter sur la sortie d'erreur.
    QFile sortie(fichier);
    if (!sortie.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        *erreur = QStringLiteral("impossible de créer le fichier");
        return false;
    }
    QPdfWriter pdf(&sortie);
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
    pdf.setResolution(300);
    pdf.setCreator(QStringLiteral("Pelorane"));
    pdf.setTitle(QStringLiteral("Rapport d'activité"));
    if (!Dessine(pdf, jours, pied) || !sortie.flush() || sortie.error() != QFileDevice::NoError) {
        *erreur = QStringLiteral("impossible d'écrire le fichier");
        sortie.close();
        sortie.remove();
        return false;
    }
    return true;
}

QString TexteDuree(qint64 ms)
{
    const QLocale francais(QLocale::French);
    // Sous 10 s, le centième : les attentes d'un robot qui suit se comptent en
    // dixièmes de seconde, et toutes s'écriraient "0,0 s".
    if (ms < 9995)
        return francais.toString(double(ms) / 1000.0, 'f', 2) + QStringLiteral(" s");
    if (ms < 59950) // au-delà, l'arrondi au dixième donnerait "60,0 s"
        return francais.toString(double(ms) / 1000.0, 'f', 1) + QStringLiteral(" s");
    const qint64 secondes = (ms + 500) / 1000;
    if (secondes < 3600)
        return QStringLiteral("%1 min %2 s").arg(secondes / 60).arg(secondes % 60, 2, 10, QLatin1Char('0'));
    const qint64 minutes = (secondes + 30) / 60;
    return QStringLiteral("%1 h %2 min").arg(minutes / 60).arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

} // namespace RapportActivite
