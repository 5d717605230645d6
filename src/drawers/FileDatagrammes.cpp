#include "FileDatagrammes.h"

#include "drawers/TrameCartes.h"

#include <QMutexLocker>

bool FileDatagrammes::Depose(const DatagrammeFinConvoyage& lu)
{
    QMutexLocker verrou(&m_verrou);
    if (m_lot.entrees.size() >= EntreesMax || m_lot.nonJournalises > 0) {
        // File pleine : seul compte ce qui change l'état. Un tiroir hors de 0..8 ne
        // libérerait rien ; un tiroir déjà en attente n'est pas redemandé.
        ++m_lot.nonJournalises;
        if (lu.finConvoyage && lu.tiroir >= 0 && lu.tiroir <= TiroirMax && !m_lot.liberations.contains(lu.tiroir))
            m_lot.liberations.append(lu.tiroir);
        return Reveil();
    }
    verrou.unlock();
    // Mise en forme hors du verrou (texte borné à 200 caractères) ; le fil de lecture
    // est seul à déposer, la place vue libre le reste.
    Entree entree;
    entree.texte = QStringLiteral("UDP= ") + TexteAffichable(lu.texte);
    entree.refusControle = lu.controleDansTiroir;
    entree.libere = lu.finConvoyage;
    entree.tiroir = lu.tiroir;
    verrou.relock();
    m_lot.entrees.append(std::move(entree));
    return Reveil();
}

bool FileDatagrammes::DeposeRefus(const QString& ligne)
{
    Entree entree;
    entree.texte = ligne;
    entree.datagramme = false;
    QMutexLocker verrou(&m_verrou);
    // Hors borne : l'appelant n'en signale que 256 en tout.
    m_lot.entrees.append(std::move(entree));
    return Reveil();
}

FileDatagrammes::Lot FileDatagrammes::Prends()
{
    QMutexLocker verrou(&m_verrou);
    Lot lot = std::move(m_lot);
    m_lot = Lot();
    m_reveilDonne = false;
    return lot;
}

bool FileDatagrammes::Reveil()
{
    if (m_reveilDonne)
        return false;
    m_reveilDonne = true;
    return true;
}
