#pragma once

#include <QHash>
#include <QString>

// Lignes des sorties auxiliaires des cartes ("Aux8: OFF (Z45)") qui redisent l'état
// déjà montré : écrites à chaque passe, elles faisaient les trois quarts du journal de
// la fenêtre et en chassaient le reste en quelques secondes. Le fichier journal, lui,
// les garde toutes. Règle pure, sans entrée-sortie.
class FiltreSortiesAux
{
public:
    // Vrai quand la ligne doit paraître dans la fenêtre : toute ligne qui n'est pas
    // celle d'une sortie auxiliaire, et celle d'une sortie dont l'état change (ou
    // dont le dernier envoi a échoué).
    bool AMontrer(const QString& ligne);
    // Le texte de la fenêtre est repris à zéro : chaque sortie sera redite.
    void Oublie() { m_etats.clear(); }

private:
    QHash<QString, QString> m_etats; // "Z45/8" → "OFF"
};
