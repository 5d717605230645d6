#include "CycleTraitement.h"
#include "base/CheminAffiche.h"

#include "base/Durabilite.h"
#include "base/Horloge.h"
#include "base/JournalStatut.h"
#include "config/LectureNombre.h"
#include "drawers/TableauTiroirs.h"
#include "orders/FichierCommande.h"
#include "orders/ListesEchange.h"
#include "orders/Passation.h"
#include "orders/RegistreRemises.h"
#include "service/CopieNonConfirmee.h"
#include "service/PolitiqueReprise.h"

#include <QFile>
#include <QFileInfo>


CycleTraitement::CycleTraitement(JournalStatut& journal, Horloge& horloge, ListesEchange& listes,
                                 TableauTiroirs& tiroirs, Passation& passation, QObject* parent)
    : QObject(parent)
    , m_journal(journal)
    , m_horloge(horloge)
    , m_listes(listes)
    , m_tiroirs(tiroirs)
    , m_passation(passation)
    , m_supprime([](const QString& chemin) { return SystemeFichiers::Supprime(chemin); })
    , m_lit([this](const QString& chemin, QByteArray* contenu) { return m_listes.LitCommande(chemin, contenu); })
{
    connect(&m_tiroirs, &TableauTiroirs::lectureTerminee, this, &CycleTraitement::SurLectureTerminee);
    connect(&m_listes, &ListesEchange::dossierSigne, this, &CycleTraitement::SurDossierSigne);
    m_minuteriePasse.setSingleShot(true);
    m_minuteriePasse.setTimerType(Qt::PreciseTimer);
    connect(&m_minuteriePasse, &QTimer::timeout, this, &CycleTraitement::Passe);
    // Une commande fermée après écriture est prête DelaiApresFermetureMs après son
    // dernier signe : un nouvel essai juste après.
    m_minuterieSigne.setSingleShot(true);
    m_minuterieSigne.setInterval(DelaiSigneMs);
    connect(&m_minuterieSigne, &QTimer::timeout, this, &CycleTraitement::TenteEntrePasses);
    m_minuterieRelecture.setSingleShot(true);
    m_minuterieRelecture.setInterval(int(CommandesPretes::DelaiApresFermetureMs) + 20);
    connect(&m_minuterieRelecture, &QTimer::timeout, this, &CycleTraitement::TenteEntrePasses);
}

CycleTraitement::~CycleTraitement() = default;

void CycleTraitement::MetLecture(FonctionLecture lit)
{
    m_lit = std::move(lit);
}

void CycleTraitement::MetSuppression(std::function<bool(const QString&)> supprime)
{
    m_supprime = std::move(supprime);
}

void CycleTraitement::MetRegistre(RegistreRemises* registre)
{
    m_registre = registre;
    m_reprise.reset();
    if (!registre)
        return;
    m_reprise = std::make_unique<PolitiqueReprise>(m_journal, *registre);
    // Première vue de chaque commande : la liste ne change pas à chaque passe.
    connect(&m_listes, &ListesEchange::listeCDChangee, this,
            [this](const QStringList& noms) {
                if (m_registre)
                    m_registre->NoteListe(noms);
            });
    m_registre->NoteListe(m_listes.ListeCD());
    connect(&m_tiroirs, &TableauTiroirs::tiroirLibere, this,
            [this](int tiroir, TableauTiroirs::CauseLiberation cause) {
                if (m_registre)
                    m_registre->TiroirLibere(tiroir, cause);
            });
}

void CycleTraitement::RegleRemisesInachevees(const QString& dossierEchange, const QString& fichierPassation)
{
    if (!m_reprise)
        return;
    const PolitiqueReprise::Reglement reglement = m_reprise->RegleInachevees(dossierEchange, fichierPassation);
    for (const QString& chemin : reglement.ecartees)
        m_listes.EcarteFichierCde(chemin);
    if (!reglement.avis.isEmpty())
        MetTexteDerniereCde(reglement.avis);
}

void CycleTraitement::ReprendTiroirsEnVol()
{
    if (!m_reprise)
        return;
    const qint64 maintenant = m_horloge.get_exact_milli_second();
    for (const PolitiqueReprise::TiroirEnVol& t : m_reprise->TiroirsEnVol(m_tiroirs.NbTiroirs())) {
        // Toute l'attente, comptée depuis le redémarrage sur l'horloge monotone :
        // l'heure murale a pu sauter pendant l'arrêt, dans un sens ou dans l'autre.
        m_tiroirs.MetCouleur(t.tiroir, TableauTiroirs::CdeEnCours);
        m_tiroirs.MetHeureTiroirLibre(t.tiroir, qMax<qint64>(1, maintenant));
        m_journal.MessageStatus(QStringLiteral("tiroir ") + QString::number(t.tiroir) + QStringLiteral(" : commande ")
                                + t.fichier
                                + (t.ordre.isEmpty() ? QString() : QStringLiteral(" (ordre ") + t.ordre + QStringLiteral(")"))
                                + QStringLiteral(" remise avant l'arret il y a ") + QString::number(t.ecouleMs / 1000)
                                + QStringLiteral(" s, ses boites sont attendues : le tiroir reste en cours"));
    }
}

void CycleTraitement::Efface()
{
    // Toujours publié : la fenêtre tient ses deux contrôles de ces signaux, y
    // compris au démarrage où les valeurs sont déjà celles-ci.
    m_texteDerniereCde.clear();
    emit texteDerniereCdeChange(m_texteDerniereCde);
    m_compteur = QStringLiteral("1");
    emit compteurChange(m_compteur);
}

void CycleTraitement::MetTexteDerniereCde(const QString& texte)
{
    if (texte == m_texteDerniereCde)
        return;
    m_texteDerniereCde = texte;
    emit texteDerniereCdeChange(m_texteDerniereCde);
}

bool CycleTraitement::LitCommande(const QString& nomDuFichier, QByteArray* contenu, QString* texte)
{
    return TraiteLecture(nomDuFichier, m_lit(nomDuFichier, contenu), *contenu, texte);
}

bool CycleTraitement::TraiteLecture(const QString& nomDuFichier, ListesEchange::Lecture lecture,
                                    const QByteArray& contenu, QString* texte)
{
    switch (lecture) {
    case ListesEchange::Lecture::Lue:
        m_illisibles.remove(nomDuFichier);
        *texte = FichierCommande::TexteAffichageBrut(nomDuFichier, contenu);
        return true;
    case ListesEchange::Lecture::TropGrosse:
        // Écartée tant qu'elle ne change pas : une ligne, pas une à chaque passe.
        m_listes.EcarteFichierCde(nomDuFichier);
        m_journal.MessageStatus(QStringLiteral("Le fichier ") + CheminAffiche(nomDuFichier)
                                + QStringLiteral(" depasse %1 octets, il n'est pas lance")
                                      .arg(ListesEchange::TailleMaxCommande));
        return false;
    case ListesEchange::Lecture::EnCours:
    case ListesEchange::Lecture::PasOrdinaire:
        // Changée depuis le relevé (encore en écriture), ou devenue un tube, un
        // dossier… : la relecture du dossier en décidera à la passe suivante.
        return false;
    case ListesEchange::Lecture::Absente:
    case ListesEchange::Lecture::Illisible:
        break;
    }
    // Fichier retiré par son auteur entre la liste et l'affichage, ou tenu
    // par lui : une ligne (pas une à chaque passe tant que ça dure).
    if (!m_illisibles.contains(nomDuFichier))
        m_journal.MessageStatus(QStringLiteral("Impossible de lire le fichier ") + CheminAffiche(nomDuFichier)
                                + QStringLiteral(", il n'est pas lance"));
    m_illisibles.insert(nomDuFichier, m_horloge.get_exact_milli_second());
    return false;
}

void CycleTraitement::afficheFichierCdeBrut(const QString& nomDuFichier)
{
    // Affichage seul : pas d'attente de stabilité, la même lecture bornée.
    QByteArray contenu;
    const ListesEchange::Lecture lecture =
        SystemeFichiers::LitBorne(nomDuFichier, ListesEchange::TailleMaxCommande, &contenu);
    QString texte;
    if (TraiteLecture(nomDuFichier, lecture, contenu, &texte))
        MetTexteDerniereCde(texte);
}

QSet<QString> CycleTraitement::CommandesAEviter()
{
    QSet<QString> aEviter;
    const qint64 maintenant = m_horloge.get_exact_milli_second();
    for (auto it = m_illisibles.begin(); it != m_illisibles.end();) {
        // Les commandes illisibles qui ont quitté le dossier sont oubliées.
        if (!SystemeFichiers::Existe(it.key())) {
            it = m_illisibles.erase(it);
            continue;
        }
        if (maintenant - it.value() < DelaiNouvelEssaiMs)
            aEviter.insert(it.key());
        ++it;
    }
    return aEviter;
}

void CycleTraitement::Passe()
{
    // La garde protège d'un appel venu pendant la lecture des cartes de la passe.
    if (m_dansPasse)
        return;
    m_dansPasse = true;
    m_lancementTente = false;
    m_minuteriePasse.stop();
    m_debutPasse.start();

    m_listes.MAJlisteFichierCD();
    m_listes.MAJlisteFichierRT();
    // La suite quand les cartes ont répondu (SurLectureTerminee).
    m_tiroirs.LectureEtatTiroir(0);
}

void CycleTraitement::SurLectureTerminee()
{
    if (!m_dansPasse)
        return; // lecture demandée hors d'une passe
    m_lancementTente = !m_arrete && TenteRemise();
    m_dansPasse = false;
    emit passeTerminee();
    if (!m_actif)
        return;
    AvanceCompteur();
    m_minuteriePasse.start(int(qMax<qint64>(0, m_periodeMs - m_debutPasse.elapsed())));
}

void CycleTraitement::SurDossierSigne()
{
    if (!m_actif)
        return;
    if (!m_minuterieSigne.isActive())
        m_minuterieSigne.start();
    m_minuterieRelecture.start();
}

void CycleTraitement::TenteEntrePasses()
{
    if (!m_actif || m_arrete || m_dansPasse || m_lancementTente)
        return;
    m_listes.MAJlisteFichierCD();
    m_lancementTente = TenteRemise();
}

bool CycleTraitement::TenteRemise()
{
    const QString fichier = m_listes.RechFichierCdeEnAttente(CommandesAEviter());
    if (fichier.isEmpty())
        return false;
    const QString gare = m_tiroirs.RechGareLibre();
    if (gare.isEmpty())
        return false;

    // La commande est lue une seule fois, bornée : les octets montrés sont ceux
    // qui sont remis. Elle est aussitôt remise ou remplacée par l'avis de refus :
    // le texte n'est publié qu'une fois.
    QByteArray contenu;
    QString texteCommande;
    if (!LitCommande(fichier, &contenu, &texteCommande))
        return false; // pas lancée à cette passe

    // Chaque étape de la remise est validée au registre avant la suivante : après
    // un arrêt brutal, le démarrage sait ce qui est déjà parti.
    const QString nom = QFileInfo(fichier).fileName();
    qint64 remise = 0;
    const auto noteDebut = [&] {
        if (m_registre)
            remise = m_registre->DebutRemise(nom, contenu, gare);
    };
    if (!m_passation.LanceFichierCde(fichier, gare, contenu, noteDebut)) {
        if (m_passation.DernierRefus() == Passation::Refus::CopieNonConfirmee) {
            // Copie entière mais pas confirmée par le disque : l'hôte a pu la prendre.
            MetTexteDerniereCde(CopieNonConfirmee::MetDeCote(
                { fichier, gare, contenu, m_passation.CheminPassation(), m_passation.RaisonDisque(),
                  remise, m_horloge.get_exact_milli_second() },
                m_journal, m_registre, m_listes, m_tiroirs));
            return true;
        }
        if (m_registre)
            m_registre->RemiseAbandonnee(remise, m_passation.VideSurDisque());
        const QString suite = QStringLiteral("il est donc impossible de lancer le fichier: ") + CheminAffiche(fichier)
            + QStringLiteral(" vers la gare: ") + gare + QStringLiteral("\r\n");
        switch (m_passation.DernierRefus()) {
        case Passation::Refus::PassationInvalide:
            MetTexteDerniereCde(QStringLiteral("Fichier de passation inutilisable ...\r\n\r\n") + suite);
            break;
        case Passation::Refus::EcritureImpossible:
            MetTexteDerniereCde(QStringLiteral("Fichier de passation impossible a ecrire ...\r\n\r\n") + suite);
            break;
        default:
            MetTexteDerniereCde(QStringLiteral("Commande précedente non prise en compte ...\r\n")
                                + QStringLiteral("\r\n") + suite);
            break;
        }
        return true;
    }
    if (m_registre)
        m_registre->RemiseFaite(remise);
    MetTexteDerniereCde(texteCommande);

    const int n = LitNombre(gare);
    m_tiroirs.MetCouleur(n, TableauTiroirs::CdeEnCours);
    m_tiroirs.MetHeureTiroirLibre(n, m_horloge.get_exact_milli_second());
    EffaceRemise(fichier, remise);
    return true;
}

void CycleTraitement::EffaceRemise(const QString& fichier, qint64 remise)
{
    m_journal.MessageStatus(QStringLiteral("supp fich: ") + CheminAffiche(fichier));
    if (!m_supprime(fichier) && SystemeFichiers::Existe(fichier)) {
        // La commande est déjà chez le frontal : la relancer la livrerait deux fois.
        m_journal.MessageStatus(QStringLiteral("Impossible d'effacer le fichier ") + CheminAffiche(fichier)
                                + QStringLiteral(" : deja envoye, il ne sera plus lance"));
        m_listes.EcarteFichierCde(fichier);
    } else if (m_registre) {
        // L'effacement sur le disque avant de le noter : après une coupure, le
        // registre ne doit pas dire effacée une commande revenue dans le dossier.
        const QString dossier = QFileInfo(fichier).absolutePath();
        m_registre->NoteEffacement(remise, Durabilite::SynchroniseDossier(dossier), dossier);
    }
}

void CycleTraitement::AvanceCompteur()
{
    int valeur = LitNombre(m_compteur) + 1;
    if (valeur > 999)
        valeur = 0;
    m_compteur = QString::number(valeur);
    emit compteurChange(m_compteur);
}

void CycleTraitement::Demarre()
{
    m_actif = true;
    m_arrete = false;
    Passe();
}

void CycleTraitement::Arrete()
{
    m_actif = false;
    m_arrete = true;
    m_minuteriePasse.stop();
    m_minuterieSigne.stop();
    m_minuterieRelecture.stop();
}

void CycleTraitement::ControleTempsTiroirs(qint64 TempsMaxAttenteMs)
{
    for (int i = 1; i <= m_tiroirs.NbTiroirs(); ++i) {
        // Couleur et heure relues à chaque tiroir : OuvreTiroir laisse passer
        // les événements, qui ont pu changer les suivants.
        const qint64 heure = m_tiroirs.HeureTiroirLibre(i);
        if (m_tiroirs.Couleur(i) == TableauTiroirs::PasEnAttente || heure <= 0)
            continue;
        const qint64 ecoule = m_horloge.get_exact_milli_second() - heure;
        if (ecoule > TempsMaxAttenteMs) {
            m_tiroirs.MetHeureTiroirLibre(i, 0);
            m_journal.MessageStatus(QStringLiteral("\r\nlibere le tiroir ") + QString::number(i)
                                    + QStringLiteral(" car le temps est depasse"));
            m_tiroirs.OuvreTiroir(i, TableauTiroirs::CauseLiberation::Temps);
        }
    }
}
