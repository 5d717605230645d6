#pragma once

#include "orders/RegistreRemises.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

class JournalStatut;

// Ce que le démarrage fait de chaque remise qu'un arrêt a laissée inachevée :
// rien n'est remis deux fois, une commande dont on ne sait pas si l'hôte l'a
// prise est mise de côté (l'opérateur décide), et les tiroirs dont la commande
// attend encore ses boîtes restent en cours. Le registre ne fait que garder les
// lignes ; les fichiers effacés et les textes pour l'opérateur sont décidés ici.
class PolitiqueReprise
{
public:
    PolitiqueReprise(JournalStatut& journal, RegistreRemises& registre);

    // Effacement d'un fichier au règlement du démarrage (remplaçable pour les tests).
    void MetSuppression(std::function<bool(const QString&)> supprime);

    struct Reglement
    {
        QStringList ecartees; // chemins complets à ne plus jamais lancer automatiquement
        QString avis;         // texte pour Txt_DerniereCde ("" s'il n'y a rien à dire)
    };
    Reglement RegleInachevees(const QString& dossierEchange, const QString& fichierPassation);

    // Tiroirs dont la commande, remise avant l'arrêt, attend encore ses boîtes.
    struct TiroirEnVol
    {
        int tiroir = 0;
        QString fichier;
        QString ordre;
        qint64 ecouleMs = 0; // depuis la remise, selon l'heure murale (pour le dire)
    };
    // La remise non libérée la plus récente de chaque tiroir ; les autres sont
    // closes comme libérées par la libération de tous les tiroirs du démarrage.
    QList<TiroirEnVol> TiroirsEnVol(int nbTiroirs);

private:
    // La copie qui attend dans le fichier de passation, s'il y en a une.
    struct CopieEnAttente
    {
        QString chemin;
        bool lue = false;
        QByteArray octets;
        QString empreinte;
    };
    // Règle une ligne ; un texte pour l'opérateur va dans *avis.
    void RegleLigne(const RegistreRemises::LigneInachevee& l, const QString& dossierEchange,
                    const CopieEnAttente& copie, Reglement* reglement, QStringList* avis);
    // Une copie tronquée par l'arrêt attend dans le fichier de passation : vrai si
    // c'est le début de la copie de cette ligne ; le fichier est alors revidé et la
    // ligne retirée (rien n'est parti, la commande sera lancée de nouveau).
    bool RegleCopieTronquee(const RegistreRemises::LigneInachevee& l, const QByteArray& contenu,
                            const CopieEnAttente& copie);

    JournalStatut& m_journal;
    RegistreRemises& m_registre;
    std::function<bool(const QString&)> m_supprime;
};
