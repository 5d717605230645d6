#pragma once

#include <QHash>
#include <QSet>
#include <QString>

#include "base/SystemeFichiers.h"

class Horloge;
class JournalStatut;
class VeilleDossier;

// Quand une commande du dossier d'échange peut partir : son écrivain a fini,
// et elle n'est pas vide.
//
// Avec la veille du dossier, le dernier signe lu pour le nom décide : renommée
// dans le dossier, elle part à la passe suivante ; fermée après écriture, elle
// part une fois restée DelaiApresFermetureMs sans autre signe (un comptoir qui
// ferme puis rouvre aussitôt pour ajouter la fin n'est pas coupé) ; encore
// créée ou modifiée, elle attend. Sans signe sûr (présente au démarrage, après
// un débordement de la veille, dossier sans veille) : même taille et même date
// sur des relevés espacés d'au moins DelaiStabiliteMs.
class CommandesPretes
{
public:
    using EtatFichier = SystemeFichiers::EtatFichier;

    static constexpr qint64 DelaiApresFermetureMs = 500;
#ifdef Q_OS_WIN
    // Sous Windows la lecture refuse les écrivains : un comptoir qui tient
    // encore le fichier ouvert est vu quelle que soit sa pause.
    static constexpr qint64 DelaiStabiliteMs = 500;
#else
    // Une pause d'une seconde, fichier ouvert, ne doit pas couper la commande.
    static constexpr qint64 DelaiStabiliteMs = 2000;
#endif
    // Une commande vide attend ; au-delà de ce délai, une ligne la nomme.
    static constexpr qint64 DelaiVideMs = 60000;

    CommandesPretes(JournalStatut& journal, Horloge& horloge, VeilleDossier& veille);

    // Vrai quand la commande peut partir ; *releve : il a fallu relever le
    // fichier (taille et date).
    bool EstPrete(const QString& nom, const QString& chemin, bool* releve);
    // Après la lecture de la commande dite prête : vrai quand les octets lus
    // (état *etat à la fin de la lecture) sont bien les siens, sans signe
    // d'écriture depuis. toutLu : la veille n'a pas de notification en retard.
    bool Confirme(const QString& nom, const EtatFichier& etat, bool toutLu);
    // Oublie les commandes qui ne sont plus dans le dossier.
    void Oublie(const QSet<QString>& presents);
    // Oublie une commande sortie du dossier.
    void OublieNom(const QString& nom);

private:
    struct Observation
    {
        EtatFichier etat;
        qint64 depuis = 0;  // heure du relevé qui l'a vue la première fois
        quint64 numero = 0; // signe de la veille qui l'a dite prête ; 0 : par la stabilité
    };
    struct Vide
    {
        qint64 depuis = 0;
        quint64 numero = 0; // signe de la veille au relevé vide ; 0 : sans veille
        bool signale = false;
    };
    bool FinieSelonVeille(const QString& nom) const;
    bool EstStable(const QString& nom, const EtatFichier& etat);
    // Vrai quand la commande est vide (elle attend) ; une ligne après DelaiVideMs.
    bool AttendVide(const QString& nom, const QString& chemin, qint64 taille, quint64 numero);
    void SignaleVide(Vide& vide, const QString& chemin);

    JournalStatut& m_journal;
    Horloge& m_horloge;
    VeilleDossier& m_veille;
    QHash<QString, Observation> m_observations; // nom nu -> dernier relevé
    QHash<QString, Vide> m_vides;               // nom nu -> vide depuis
};
