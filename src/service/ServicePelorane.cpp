#include "ServicePelorane.h"

#include "VersionPelorane.h"
#include "base/CheminAffiche.h"
#include "base/Dialogues.h"
#include "base/Horloge.h"
#include "base/JournalStatut.h"
#include "cdapi/LiaisonCdapi.h"
#include "config/ClesParametres.h"
#include "config/MagasinParametres.h"
#include "config/ReglageBaseHote.h"
#include "drawers/EcouteDatagrammes.h"
#include "drawers/LigneCartes.h"
#include "drawers/TableauTiroirs.h"
#include "drawers/TrameCartes.h"
#include "orders/ListesEchange.h"
#include "orders/Passation.h"
#include "orders/RegistreRemises.h"
#include "service/CycleTraitement.h"
#include "service/InstanceUnique.h"

#include <QDir>
#include <QFileInfo>

#include <cstdio>

ServicePelorane::ServicePelorane(Horloge& horloge, Dialogues& dialogues, JournalStatut& journal,
                                 InstanceUnique* instance, Options options, QObject* parent)
    : QObject(parent)
    , m_horloge(horloge)
    , m_dialogues(dialogues)
    , m_journal(journal)
    , m_instance(instance)
    , m_options(std::move(options))
{
}

ServicePelorane::~ServicePelorane() = default;

bool ServicePelorane::Demarre()
{
    // 1. Une autre copie tourne déjà : on la montre et on s'arrête, sans rien écrire.
    if (!VerifieInstance())
        return false;
    // 2. Dossier d'échange et fichier de passation sous la racine.
    FixeChemins();
    // 3.
    emit affichagePrepare();
    // 4. 5.
    emit fenetreAMontrer();
    m_journal.MessageStatus(QStringLiteral("version prog : ") + QStringLiteral(PELORANE_VERSION_TEXTE));
    if (m_instance && m_instance->VerrouRepris().connu) {
        const InstanceUnique::Detenteur& d = m_instance->VerrouRepris();
        m_journal.MessageStatus(QStringLiteral("verrou ") + CheminAffiche(m_instance->CheminVerrou())
                                + QStringLiteral(" laisse par le processus %1 (%2), arrete sur cet hote : repris")
                                      .arg(d.pid)
                                      .arg(d.programme));
    }
    // 6. à 13.
    if (!LitConfiguration())
        return false;
    CreeAppareils();
    if (!OuvreRegistre())
        return false;
    // 14.
    emit titreConnu(m_config.TitreFenetre);
    m_horloge.Cede();
    if (m_arrete)
        return false;
    // 15.
    m_journal.MessageStatus(QStringLiteral("adr UDP: ") + m_config.UdpAdr + QStringLiteral(":") + m_config.UdpPort);
    // 16. 17.
    if (!PrepareDossierEchange())
        return false;
    // 18. Carrés des tiroirs : blancs tant que le démarrage ne les a pas libérés.
    m_tiroirs->Initialise();
    emit tiroirsPrepares(m_config.NbTiroirs);
    m_horloge.Cede();
    if (m_arrete)
        return false;
    // 19. 20. La suite quand les cartes ont répondu.
    return OuvreLesLiens();
}

void ServicePelorane::SuiteDemarrage()
{
    if (m_arrete)
        return;
    // 21.
    m_datagrammes->AdmetSources(m_options.sourcesUdp);
    m_datagrammes->Lie(m_config.UdpAdr, m_config.UdpPort);
    // 22.
    if (m_config.LectReelleEtatTiroirs == QLatin1String("N"))
        m_journal.MessageStatus(QStringLiteral("**** MODE SIMULATION CARTE(s) ****"));
    // 23. 24.
    RelitEtLibere();
    if (m_arrete)
        return;
    // 25. 26.
    m_journal.MessageStatus(QStringLiteral("- En attente de commande (fichiers) ou BP -"));
    m_cycle->Demarre();
    emit demarrageTermine();
}

bool ServicePelorane::VerifieInstance()
{
    if (!m_instance)
        return true;
    if (!m_instance->InstancePrecedente()) {
        m_instance->Ecoute();
        return true;
    }
    if (m_instance->ActiveInstancePrecedente()) {
        // Sans ligne, celui qui a lancé cette copie ne saurait pas pourquoi rien ne s'ouvre.
        std::fprintf(stderr, "une copie tourne déjà pour la racine %s : sa fenêtre est ramenée\n",
                     qUtf8Printable(QDir::toNativeSeparators(QDir::cleanPath(Racine()))));
        std::fflush(stderr);
        emit arretSansQuestionDemande(0);
        return false;
    }
    // Le verrou est tenu mais son canal ne répond pas (autre utilisateur, autre
    // machine sur une racine partagée, copie figée) : servir quand même ferait deux
    // services sur un seul dossier d'échange. On s'arrête en nommant le détenteur.
    const InstanceUnique::Detenteur d = m_instance->DetenteurDuVerrou();
    const QString detenteur = d.connu
        ? QStringLiteral("processus %1 (%2) sur l'hote %3").arg(d.pid).arg(d.programme, d.hote)
        : QStringLiteral("detenteur illisible");
    m_dialogues.Message(Dialogues::Icone::Critique, TitreApplication(),
                        QStringLiteral("une autre copie de pelorane tient la racine ") + CheminAffiche(Racine())
                            + QStringLiteral(" (verrou ") + CheminAffiche(m_instance->CheminVerrou())
                            + QStringLiteral(" : ") + detenteur
                            + QStringLiteral(") mais ne repond pas sur son canal : ce service ne demarre pas. "
                                             "Arretez l'autre copie ; si elle est arretee sur l'autre hote, "
                                             "effacez le verrou."));
    Termine(8);
    return false;
}

QString ServicePelorane::Racine() const
{
    QString racine = QDir::fromNativeSeparators(m_options.racine);
    if (!racine.endsWith(QLatin1Char('/')))
        racine += QLatin1Char('/');
    return racine;
}

void ServicePelorane::FixeChemins()
{
    m_config.DossierEchange = Racine() + QStringLiteral("Echanges/");
    m_config.FichierPassation = Racine() + QStringLiteral("zCdeMnl.txt");
    m_config.PortSerieImpose = m_options.portSerie;
}

bool ServicePelorane::LitConfiguration()
{
    // 6. 7. 8.
    const QString BaseFic = LitBaseFicDefaut();
    if (BaseFic.isEmpty()) {
        m_dialogues.Message(Dialogues::Icone::Critique, TitreApplication(),
                            QStringLiteral("Vous devez lancer VBtrevix ce programme pour creer le chemin de la base "
                                           "de données"));
        Termine(2);
        return false;
    }
    if (!QFileInfo(BaseFic).isFile()) {
        m_dialogues.Message(Dialogues::Icone::Critique, TitreApplication(),
                            QStringLiteral("le fichier ") + BaseFic + QStringLiteral(" est absent"));
        Termine(3);
        return false;
    }
    // 9.
    m_journal.MessageStatus(QStringLiteral("base: ") + BaseFic);
    m_baseFic = BaseFic;

    // 10. à 13. La base ne sert qu'au démarrage.
    MagasinParametres magasin(m_journal);
    QString erreur;
    if (!magasin.Ouvre(BaseFic, &erreur)) {
        m_dialogues.Message(Dialogues::Icone::Critique, TitreApplication(),
                            QStringLiteral("impossible d'ouvrir la base de données ") + BaseFic
                                + QStringLiteral("\r") + erreur);
        Termine(4);
        return false;
    }
    LitClesParametres(magasin, m_journal, m_config);
    magasin.Ferme();
    return true;
}

void ServicePelorane::CreeAppareils()
{
    m_ligne = std::make_unique<LigneCartes>(m_journal, m_dialogues, m_config);
    m_tiroirs = std::make_unique<TableauTiroirs>(m_journal, m_horloge, *m_ligne, m_config);
    connect(m_tiroirs.get(), &TableauTiroirs::etatCarteChange, this, &ServicePelorane::etatCarteChange);
    connect(m_ligne.get(), &LigneCartes::portPerdu, this, [this](bool perdu) {
        // Port perdu : aucune carte n'est lue ; rouvert, chacune dira son état à sa lecture.
        for (int i = 1; i <= m_tiroirs->NombreCartes(); ++i) {
            const QString nom = m_config.NomCarteExt[size_t(i)].trimmed();
            if (!nom.isEmpty())
                emit etatCarteChange(nom, perdu ? 2 : (m_ligne->Suivi().EnRetard(AdresseCarte(nom)) ? 1 : 0));
        }
    });
    m_datagrammes = std::make_unique<EcouteDatagrammes>(m_journal, *m_tiroirs);
    LigneCartes* ligne = m_ligne.get();
    m_listes = std::make_unique<ListesEchange>(
        m_journal, m_horloge, m_config,
        [ligne](const QString& numAux, const QString& etatAux) { return ligne->AuxGri2(numAux, etatAux); });
    m_passation = std::make_unique<Passation>(m_journal, m_config);
    m_registre = std::make_unique<RegistreRemises>(m_journal);
    m_cycle = std::make_unique<CycleTraitement>(m_journal, m_horloge, *m_listes, *m_tiroirs, *m_passation);
    m_cycle->MetRegistre(m_registre.get());
    m_liaison = std::make_unique<LiaisonCdapi>(m_journal, m_config);
    emit appareilsCrees();
}

bool ServicePelorane::OuvreRegistre()
{
    // Registre des remises, à côté du fichier de passation : ce qui doit survivre à
    // un arrêt. En panne, il est dit au journal et les commandes passent quand même.
    QString cheminRegistre = QDir::fromNativeSeparators(m_options.registre);
    if (cheminRegistre.isEmpty()) {
        cheminRegistre = Racine() + QStringLiteral("pelorane-registre.db");
        QDir().mkpath(Racine()); // la racine naît au plus tard avec le dossier d'échange
    }
    m_journal.MessageStatus(QStringLiteral("registre: ") + CheminAffiche(cheminRegistre));
    // Un registre appartient à une racine : celui d'une autre installation ferait
    // reprendre ses tiroirs en route comme les nôtres.
    m_registre->MetRacine(QDir::cleanPath(Racine()));
    if (!m_registre->Ouvre(cheminRegistre) && !m_registre->AutreRacine().isEmpty()) {
        m_dialogues.Message(Dialogues::Icone::Critique, TitreApplication(),
                            QStringLiteral("le registre des remises ") + CheminAffiche(cheminRegistre)
                                + QStringLiteral(" appartient a la racine ") + CheminAffiche(m_registre->AutreRacine())
                                + QStringLiteral(" : il ne peut pas servir a la racine ") + CheminAffiche(Racine()));
        Termine(7);
        return false;
    }
    return true;
}

bool ServicePelorane::PrepareDossierEchange()
{
    if (!QFileInfo(m_config.DossierEchange).isDir()) {
        m_journal.MessageStatus(QStringLiteral("Creation du dossier ") + CheminAffiche(m_config.DossierEchange));
        if (!QDir().mkpath(m_config.DossierEchange)) {
            m_dialogues.Message(Dialogues::Icone::Critique, TitreApplication(),
                                QStringLiteral("impossible de creer le dossier d'echange ")
                                    + CheminAffiche(m_config.DossierEchange));
            Termine(5);
            return false;
        }
    }
    m_journal.MessageStatus(QStringLiteral("dossier d'echange: ") + CheminAffiche(m_config.DossierEchange));
    return true;
}

bool ServicePelorane::OuvreLesLiens()
{
    // 19. Port des cartes ; s'il ne s'ouvre pas, la boîte a été montrée et le programme s'arrête.
    if (!m_ligne->OuvrePortComm()) {
        emit arretSansQuestionDemande(6);
        return false;
    }
    // 20. Une seule fois : le bouton relance plus tard le même test.
    connect(m_tiroirs.get(), &TableauTiroirs::testCartesTermine, this, &ServicePelorane::SuiteDemarrage,
            Qt::SingleShotConnection);
    m_tiroirs->Bt_Test_LiaisonCartes_Click();
    return !m_arrete;
}

void ServicePelorane::RelitEtLibere()
{
    // Avant la première relecture : les remises qu'un arrêt a laissées inachevées
    // sont réglées (une commande déjà remise n'est jamais relancée).
    m_cycle->RegleRemisesInachevees(m_config.DossierEchange, m_config.FichierPassation);
    // 23.
    m_listes->MAJlisteFichierCD();
    m_listes->MAJlisteFichierRT();
    emit listesRelues();
    if (m_arrete)
        return;
    // 24.
    m_tiroirs->OuvreTiroir(0);
    if (m_arrete)
        return;
    // Les tiroirs dont la commande attend encore ses boîtes ne prennent pas la suivante.
    m_cycle->ReprendTiroirsEnVol();
}

void ServicePelorane::Arrete()
{
    m_arrete = true;
    if (m_cycle)
        m_cycle->Arrete();
}

void ServicePelorane::Termine(int code)
{
    Arrete();
    emit finDemandee(code);
}

void ServicePelorane::FermeLiens()
{
    if (m_registre)
        m_registre->Ferme(); // le journal WAL reporté dans la base, sans -wal laissé
    if (m_ligne)
        m_ligne->FermePortComm();
    if (m_liaison)
        m_liaison->FermeLiaison();
    if (m_datagrammes && !m_datagrammes->EstFerme())
        m_datagrammes->Ferme();
}
