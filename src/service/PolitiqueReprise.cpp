#include "PolitiqueReprise.h"

#include "base/CheminAffiche.h"
#include "base/Durabilite.h"
#include "base/JournalStatut.h"
#include "base/SystemeFichiers.h"
#include "orders/FichierCommande.h"
#include "orders/ListesEchange.h"

#include <QFile>
#include <QSet>

#include <algorithm>

namespace {

// Une commande de plus d'un Mio n'est jamais lancée : au-delà, le fichier ne
// peut pas être celui qu'une ligne du registre décrit. La copie de passation
// ajoute quelques octets par ligne réécrite.
constexpr qint64 TailleMaxCommande = ListesEchange::TailleMaxCommande;
constexpr qint64 TailleMaxCopie = 2 * TailleMaxCommande;

// Lecture bornée d'un fichier ordinaire (liens suivis, noms hors UTF-8 compris) ;
// faux pour tout le reste (absent, dossier, tube, périphérique, trop grand).
bool LitFichierOrdinaire(const QString& chemin, qint64 tailleMax, QByteArray* contenu)
{
    return SystemeFichiers::LitBorne(chemin, tailleMax, contenu) == SystemeFichiers::Lecture::Lue;
}

QString Designation(const QString& fichier, const QString& ordre)
{
    return ordre.isEmpty() ? fichier : fichier + QStringLiteral(" (ordre ") + ordre + QStringLiteral(")");
}

QString TexteMiseDeCote(const QString& nom, const QString& tiroir, const QString& affiche)
{
    return QStringLiteral("commande ") + nom
        + QStringLiteral(" mise de cote : le service s'est arrete pendant sa remise au tiroir ") + tiroir
        + QStringLiteral(", on ne peut pas savoir si le robot l'a prise. Elle n'est pas relancee : "
                         "verifiez au robot, puis effacez ")
        + affiche + QStringLiteral(" ou deposez-la de nouveau sous un autre nom pour la relancer");
}

} // namespace

PolitiqueReprise::PolitiqueReprise(JournalStatut& journal, RegistreRemises& registre)
    : m_journal(journal)
    , m_registre(registre)
    , m_supprime([](const QString& chemin) { return SystemeFichiers::Supprime(chemin); })
{
}

void PolitiqueReprise::MetSuppression(std::function<bool(const QString&)> supprime)
{
    m_supprime = std::move(supprime);
}

PolitiqueReprise::Reglement PolitiqueReprise::RegleInachevees(const QString& dossierEchange,
                                                              const QString& fichierPassation)
{
    Reglement reglement;
    QList<RegistreRemises::LigneInachevee> lignes;
    if (!m_registre.LignesInachevees(&lignes))
        return reglement;

    CopieEnAttente copie;
    copie.chemin = fichierPassation;
    copie.lue = LitFichierOrdinaire(fichierPassation, TailleMaxCopie, &copie.octets);
    if (copie.lue)
        copie.empreinte = QString::fromLatin1(RegistreRemises::Empreinte(copie.octets));

    QStringList avis;
    for (const RegistreRemises::LigneInachevee& l : std::as_const(lignes))
        RegleLigne(l, dossierEchange, copie, &reglement, &avis);
    if (!avis.isEmpty())
        reglement.avis = avis.join(QStringLiteral("\r\n\r\n")) + QStringLiteral("\r\n");
    return reglement;
}

void PolitiqueReprise::RegleLigne(const RegistreRemises::LigneInachevee& l, const QString& dossierEchange,
                                  const CopieEnAttente& copie, Reglement* reglement, QStringList* avis)
{
    using Etat = RegistreRemises::Etat;
    const QString chemin = dossierEchange + l.fichier;
    const QString affiche = CheminAffiche(chemin);
    const QString nom = Designation(l.fichier, l.ordre);
    QByteArray contenu;
    const SystemeFichiers::Lecture lecture = SystemeFichiers::LitBorne(chemin, TailleMaxCommande, &contenu);
    if (lecture == SystemeFichiers::Lecture::Illisible || lecture == SystemeFichiers::Lecture::EnCours) {
        // Le fichier est là mais ne se lit pas (droits, disque, partage) : on ne sait
        // pas si c'est la commande remise. La ligne reste ouverte, le fichier écarté.
        reglement->ecartees.append(chemin);
        m_journal.MessageStatus(QStringLiteral("commande ") + nom + QStringLiteral(" : fichier ") + affiche
                                + QStringLiteral(" illisible au redemarrage ; sa remise au tiroir ")
                                + QString::number(l.tiroir)
                                + QStringLiteral(" reste ouverte au registre et il n'est pas relance"));
        return;
    }
    // Même nom mais autre contenu : c'est une nouvelle commande, celle-ci est partie.
    const bool memeFichier = lecture == SystemeFichiers::Lecture::Lue
        && QString::fromLatin1(RegistreRemises::Empreinte(contenu)) == l.sha;

    Etat etat = l.etat;
    if (etat == Etat::EnRemise) {
        if (copie.lue && copie.empreinte == l.shaCopie) {
            // La copie est entière dans le fichier de passation : la remise est faite.
            m_registre.NoteRemiseReconnue(l.id, l.debut);
            etat = Etat::Remise;
        } else if (memeFichier && RegleCopieTronquee(l, contenu, copie)) {
            return;
        } else if (memeFichier) {
            m_registre.NoteMiseDeCote(l.id);
            etat = Etat::MiseDeCote;
        }
    }

    if (!memeFichier) {
        // Fichier parti (ou remplacé par une nouvelle commande) : on le note.
        m_registre.FichierEfface(l.id);
        return;
    }
    const QString tiroir = QString::number(l.tiroir);
    if (etat == Etat::Remise) {
        if (m_supprime(chemin) || !SystemeFichiers::Existe(chemin)) {
            m_registre.NoteEffacement(l.id, Durabilite::SynchroniseDossier(dossierEchange), dossierEchange);
            m_journal.MessageStatus(QStringLiteral("commande ") + nom + QStringLiteral(" deja remise au tiroir ") + tiroir
                                    + QStringLiteral(" avant l'arret : fichier ") + affiche
                                    + QStringLiteral(" efface sans nouvelle remise"));
        } else {
            reglement->ecartees.append(chemin);
            m_journal.MessageStatus(QStringLiteral("commande ") + nom + QStringLiteral(" deja remise au tiroir ") + tiroir
                                    + QStringLiteral(" avant l'arret ; impossible d'effacer ") + affiche
                                    + QStringLiteral(" : elle ne sera pas relancee"));
        }
        return;
    }
    reglement->ecartees.append(chemin);
    avis->append(TexteMiseDeCote(nom, tiroir, affiche));
    m_journal.MessageStatus(avis->last());
}

bool PolitiqueReprise::RegleCopieTronquee(const RegistreRemises::LigneInachevee& l, const QByteArray& contenu,
                                          const CopieEnAttente& copie)
{
    if (!copie.lue || copie.octets.isEmpty())
        return false;
    const QByteArray attendue =
        FichierCommande::CopiePassation(contenu, QStringLiteral("%1").arg(l.tiroir, 3, 10, QLatin1Char('0')));
    if (QString::fromLatin1(RegistreRemises::Empreinte(attendue)) != l.shaCopie
        || copie.octets.size() >= attendue.size() || !attendue.startsWith(copie.octets))
        return false;
    // L'hôte vide le fichier quand il a pris une commande : un début de copie encore
    // là n'a pas été pris. Le fichier est revidé (sur le disque) avant de retirer la ligne.
    QFile passation(copie.chemin);
    if (!passation.open(QIODevice::ReadWrite) || !passation.resize(0) || !Durabilite::SynchroniseFichier(passation))
        return false;
    passation.close();
    m_registre.RemiseAbandonnee(l.id);
    m_journal.MessageStatus(QStringLiteral("commande ") + Designation(l.fichier, l.ordre)
                            + QStringLiteral(" : copie incomplete (%1 octets sur %2) laissee par l'arret dans ")
                                  .arg(copie.octets.size())
                                  .arg(attendue.size())
                            + CheminAffiche(copie.chemin) + QStringLiteral(", videe ; la commande sera relancee"));
    return true;
}

QList<PolitiqueReprise::TiroirEnVol> PolitiqueReprise::TiroirsEnVol(int nbTiroirs)
{
    QList<TiroirEnVol> enVol;
    QList<RegistreRemises::LigneNonLiberee> lignes;
    if (!m_registre.LignesNonLiberees(&lignes))
        return enVol;
    const qint64 maintenant = m_registre.Maintenant();
    QSet<int> repris;
    QList<qint64> aClore;
    for (const RegistreRemises::LigneNonLiberee& l : std::as_const(lignes)) {
        // La plus récente remise de chaque tiroir seulement, quel que soit son âge :
        // l'heure murale a pu sauter pendant l'arrêt (NTP), elle ne dit pas si les
        // boîtes sont encore en route. Tenir le tiroir coûte au plus une attente ;
        // le libérer trop tôt coûte une commande dans un tiroir qui se remplit.
        if (l.tiroir < 1 || l.tiroir > nbTiroirs || repris.contains(l.tiroir)) {
            aClore.append(l.id);
            continue;
        }
        repris.insert(l.tiroir);
        m_registre.NoteAttenteTiroir(l.tiroir, l.id);
        enVol.append({ l.tiroir, l.fichier, l.ordre, qMax<qint64>(0, maintenant - l.quand) });
    }
    m_registre.CloreParLiberationGenerale(aClore);
    std::sort(enVol.begin(), enVol.end(), [](const TiroirEnVol& a, const TiroirEnVol& b) { return a.tiroir < b.tiroir; });
    return enVol;
}
