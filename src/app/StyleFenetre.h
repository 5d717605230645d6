#pragma once

#include <QColor>
#include <QFont>
#include <QRect>

class QWidget;

// Mise en forme de la fenêtre principale telle qu'elle a été dessinée : positions en
// twips, couleurs BGR, palettes et polices.
namespace StyleFenetre {

// Les positions de la fenêtre sont pensées en twips : 15 twips font un pixel à 96 ppp.
QRect EnPixels(int gauche, int haut, int largeur, int hauteur);
// Les couleurs du programme sont des valeurs BGR (&H00BBGGRR).
QColor CouleurBgr(quint32 bgr);
// Fond (fenêtre, base, bouton) et texte d'un contrôle ; nullptr : inchangé.
void Colore(QWidget* w, const QColor* fond, const QColor* texte);
QFont Police(const QString& famille, double points, bool gras);

extern const QColor rouge;
extern const QColor bleu;
extern const QColor cyanClair;
extern const QColor roseClair;
extern const QColor vertClair;
extern const QColor orangeClair;
extern const QColor jaune;

} // namespace StyleFenetre
