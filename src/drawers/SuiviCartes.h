#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>

// Ce que la ligne sait de la fraîcheur des réponses. Une réponse ne porte pas l'adresse
// de sa carte : seuls son genre et l'ordre des échanges disent à quelle trame elle
// répond. D'où trois règles, tenues ici sans aucune entrée-sortie :
// - une lecture "G" n'est prise que si c'est deux caractères "0" ou "1" ; une version
//   ("V") n'est prise que si c'est celle que la carte a donnée au test de liaison ;
// - une trame "G" restée sans réponse laisse une réponse "G" en route : tant qu'elle n'est
//   pas arrivée (et jetée), ou que l'horizon n'est pas passé, aucune trame "G" ne part ;
// - une carte qui a manqué une réponse est en retard : elle ne reçoit plus que des trames
//   "V", une toutes les IntervalleResynchroMs, jusqu'à une version reçue dans son délai.
class SuiviCartes
{
public:
    // Retard au-delà duquel une réponse "G" n'est plus attendue.
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

    // Vrai si la carte n'était pas déjà en retard (l'appelant le dit alors en une ligne).
    bool MetEnRetard(const QByteArray& adresse);
    bool EnRetard(const QByteArray& adresse) const { return m_cartes.value(adresse).enRetard; }
    bool ResynchroDue(const QByteArray& adresse) const;
    void ResynchroManquee(const QByteArray& adresse);
    void Rattrape(const QByteArray& adresse);

    void LectureGSansReponse();
    void LectureGJetee();
    // Vrai tant qu'une réponse "G" d'une trame passée peut encore arriver.
    bool AttendLectureG() const;

private:
    struct Carte
    {
        QByteArray version;
        bool enRetard = false;
        qint64 prochaineResynchroMs = 0;
    };
    QHash<QByteArray, Carte> m_cartes;
    QElapsedTimer m_chrono;
    int m_lecturesEnRoute = 0;
    qint64 m_finAttenteMs = 0;
};
