#pragma once

#include "drawers/DatagrammeFinConvoyage.h"

#include <QList>
#include <QMutex>
#include <QString>

// Passage borné entre le fil de lecture des datagrammes et le fil des fenêtres.
// Le fil de lecture dépose, le fil des fenêtres prend tout d'un coup. Quoi qu'envoie
// le réseau, la mémoire tenue reste bornée : au plus EntreesMax lignes à journaliser,
// et au-delà seulement un compte et les tiroirs à libérer (0 à 8, chacun une fois).
class FileDatagrammes
{
public:
    static constexpr int EntreesMax = 256;
    static constexpr int TiroirMax = 8;

    // Une ligne à écrire au journal, dans l'ordre d'arrivée.
    struct Entree
    {
        QString texte;              // "UDP= …" déjà mis en forme, ou ligne d'expéditeur refusé
        bool datagramme = true;     // faux : ligne d'expéditeur refusé
        bool refusControle = false; // octet de contrôle dans le numéro de tiroir
        bool libere = false;
        qint32 tiroir = 0;
    };

    // Ce que le fil des fenêtres prend : les entrées d'abord, puis le compte des
    // datagrammes non journalisés, puis les libérations regroupées de ceux-ci.
    struct Lot
    {
        QList<Entree> entrees;
        qint64 nonJournalises = 0;
        QList<int> liberations; // ordre de première arrivée, sans doublon
        bool EstVide() const { return entrees.isEmpty() && nonJournalises == 0 && liberations.isEmpty(); }
    };

    // Vrai quand la file était vide : il faut alors réveiller le fil des fenêtres
    // (un seul réveil jusqu'à la prochaine prise). Un seul fil dépose.
    bool Depose(const DatagrammeFinConvoyage& lu);
    bool DeposeRefus(const QString& ligne);
    Lot Prends();

private:
    bool Reveil();

    QMutex m_verrou;
    Lot m_lot;
    bool m_reveilDonne = false;
};
