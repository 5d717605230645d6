#include "StyleFenetre.h"

#include <QWidget>

// Les positions de la fenêtre sont pensées en twips : 15 twips font un pixel à 96 ppp.
QRect StyleFenetre::EnPixels(int gauche, int haut, int largeur, int hauteur)
{
    return QRect(gauche / 15, haut / 15, largeur / 15, hauteur / 15);
}

// Les couleurs du programme sont des valeurs BGR (&H00BBGGRR).
QColor StyleFenetre::CouleurBgr(quint32 bgr)
{
    return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}

void StyleFenetre::Colore(QWidget* w, const QColor* fond, const QColor* texte)
{
    QPalette p = w->palette();
    if (fond) {
        p.setColor(QPalette::Window, *fond);
        p.setColor(QPalette::Base, *fond);
        p.setColor(QPalette::Button, *fond);
        w->setAutoFillBackground(true);
    }
    if (texte) {
        p.setColor(QPalette::WindowText, *texte);
        p.setColor(QPalette::Text, *texte);
        p.setColor(QPalette::ButtonText, *texte);
    }
    w->setPalette(p);
}

const QColor StyleFenetre::rouge = CouleurBgr(0xFF);
const QColor StyleFenetre::bleu = CouleurBgr(0xFF0000);
const QColor StyleFenetre::cyanClair = CouleurBgr(0xFFFFC0);
const QColor StyleFenetre::roseClair = CouleurBgr(0xC0C0FF);
const QColor StyleFenetre::vertClair = CouleurBgr(0xC0FFC0);
const QColor StyleFenetre::orangeClair = CouleurBgr(0xC0E0FF);
const QColor StyleFenetre::jaune = CouleurBgr(0xFFFF);

QFont StyleFenetre::Police(const QString& famille, double points, bool gras)
{
    QFont f(famille);
    f.setPointSizeF(points);
    f.setBold(gras);
    return f;
}

