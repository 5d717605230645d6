#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>

// Ce que la ligne sait de la fraîcheur des réponses. Une réponse ne porte pas l'adresse
// de sa carte : seuls son genre et l'ordre des échanges disent à quelle trame elle
// répond. D'où ces règles, tenues ici sans aucune entrée-sortie :
// - une trame restée sans réponse dans son délai laisse une réponse due : elle peut
//   encore arriver, jusqu'à l'horizon. Une réponse reçue, même refusée (somme fausse,
//   ligne trop longue), ne laisse rien de dû : la trame a eu sa réponse ;
// - une ligne jetée (reçue hors échange, ou d'un autre genre) paie la plus ancienne
//   réponse due de son genre ;
// - tant qu'une réponse est due, une lecture "G" peut être la réponse en retard d'une
//   autre trame : elle n'est prise qu'une fois l'alignement prouvé (TableauTiroirs) ;
// - une carte qui a manqué une lecture est en retard : elle ne reçoit plus que des
//   trames "V", au plus une toutes les IntervalleResynchroMs, et jamais tant qu'elle
//   doit elle-même une réponse (sa vieille réponse passerait pour la nouvelle).
class SuiviCartes
{
public:
    // Retard au-delà duquel une réponse n'est plus attendue.
    static constexpr qint64 HorizonMs = 10000;
    static constexpr qint64 IntervalleResynchroMs = 5000;

    SuiviCartes();

    static bool EstLectureG(const QByteArray& charge);

    // Version lue au test de liaison ; la première retenue reste.
    void NoteVersion(const QByteArray& adresse, const QByteArray& version);
    QByteArray Version(const QByteArray& adresse) const { return m_cartes.value(adresse).version; }
    // Vrai si la charge est la réponse attendue à "V" : la version connue, ou, sans
    // version connue, toute charge qui n'est pas une lecture "G".
    bool EstVersionDe(const QByteArray& adresse, const QByteArray& charge) const;
    // Vrai si la charge est la version connue d'une carte (une réponse "V" égarée).
    bool EstVersionConnue(const QByteArray& charge) const;

    // La trame « corps » (commande, adresse…) est restée sans réponse dans son délai.
    void ReponseDue(const QByteArray& corps);
    // Une ligne jetée : paie la plus ancienne réponse due de son genre.
    void LigneJetee(const QByteArray& charge);
    // Vrai tant qu'une réponse due peut encore arriver.
    bool DoitReponse();
    bool CarteDoit(const QByteArray& adresse);

    // Vrai si la carte n'était pas déjà en retard (l'appelant le dit alors en une ligne).
    bool MetEnRetard(const QByteArray& adresse);
    bool EnRetard(const QByteArray& adresse) const { return m_cartes.value(adresse).enRetard; }
    bool ResynchroDue(const QByteArray& adresse) const;
    void ResynchroManquee(const QByteArray& adresse);
    void Rattrape(const QByteArray& adresse);

private:
    struct Carte
    {
        QByteArray version;
        bool enRetard = false;
        qint64 prochaineResynchroMs = 0;
    };
    struct Due
    {
        QByteArray adresse;
        bool lecture = false; // réponse "G" : deux caractères "0" ou "1"
        qint64 finMs = 0;
    };
    void OublieEchues();

    QHash<QByteArray, Carte> m_cartes;
    QList<Due> m_dues; // dans l'ordre des trames
    QElapsedTimer m_chrono;
};
