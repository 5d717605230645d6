#include "SimulateurRobot.h"

#include "PreparationHote.h"
#include "cdapi/HoteCdapi.h"
#include "drawers/EmulateurCartes.h"
#include "orders/FichierCommande.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTime>

namespace {

const char Ack = 6;

// Adresse de carte : la lettre du nom puis le caractère de code numéro + 48.
QByteArray AdresseCarte(const QString& nom)
{
    return nom.left(1).toLatin1() + char(nom.mid(1).toInt() + 48);
}

const char* const NomsCartes[5] = { "", "Z45", "Z44", "Z43", "Z42" };

QByteArray LigneCip(const QByteArray& cip, int quantite)
{
    // Colonnes 11 à 30 : le code ; 34 à 36 : la quantité sur trois chiffres.
    return "cip Qt    " + cip.leftJustified(20, ' ') + "   " + QByteArray::number(quantite).rightJustified(3, '0');
}

} // namespace

SimulateurRobot::SimulateurRobot(const OptionsSimulation& options, QObject* parent)
    : QObject(parent)
    , m_options(options)
    , m_cartes(std::make_unique<EmulateurCartes>())
    , m_hote(std::make_unique<HoteCdapi>())
{
    m_chrono.start();
    connect(&m_minuterieComptoirs, &QTimer::timeout, this, &SimulateurRobot::DeposeCommande);
    connect(&m_minuteriePassation, &QTimer::timeout, this, &SimulateurRobot::SurveillePassation);
    connect(&m_minuterieDemandeA, &QTimer::timeout, this, &SimulateurRobot::EnvoieDemandeEjection);
    connect(&m_minuterieIdentification, &QTimer::timeout, this, &SimulateurRobot::EnvoieIdentification);
    connect(m_hote.get(), &HoteCdapi::arrivee, this, &SimulateurRobot::SurArriveeCdapi);
    connect(m_hote.get(), &HoteCdapi::connexion, this, [this] { Dit(QStringLiteral("CDAPI : le service s'est connecté")); });
}

SimulateurRobot::~SimulateurRobot()
{
    QFile::remove(LienCartes());
}

QString SimulateurRobot::DossierEchange() const
{
    return QDir(m_options.racine).absoluteFilePath(QStringLiteral("Echanges"));
}

QString SimulateurRobot::FichierPassation() const
{
    return QDir(m_options.racine).absoluteFilePath(QStringLiteral("zCdeMnl.txt"));
}

QString SimulateurRobot::CheminCartes() const
{
    return m_cartes->CheminEsclave();
}

QString SimulateurRobot::LienCartes() const
{
    return QDir(m_options.racine).absoluteFilePath(QStringLiteral("cartes-serie"));
}

void SimulateurRobot::Dit(const QString& ligne)
{
    const double s = double(m_chrono.elapsed()) / 1000.0;
    emit message(QStringLiteral("[%1 s] %2").arg(s, 7, 'f', 1).arg(ligne));
}

bool SimulateurRobot::Demarre(QString* erreur)
{
    QDir().mkpath(DossierEchange());
    QMap<QString, QString> parametres = m_options.parametres;
    parametres.insert(QStringLiteral("Nb_Tiroirs"), parametres.value(QStringLiteral("Nb_Tiroirs"),
                                                                      QString::number(m_options.nbTiroirs)));
    parametres.insert(QStringLiteral("CDAPI_Port_Serveur"), QString::number(m_options.portCdapi));
    parametres.insert(QStringLiteral("UDP_Port"), QString::number(m_options.portUdp));
    parametres.insert(QStringLiteral("CDAPI_Norme"), m_options.normeCdapi);
    const QString base = PrepareInstallationHote(m_options.racine, parametres, erreur);
    if (base.isEmpty())
        return false;
    Dit(QStringLiteral("hôte : base de paramètres %1").arg(base));

    if (!m_cartes->Ouvre(erreur))
        return false;
    for (int i = 1; i <= 4; ++i) {
        const QString nom = QString::fromLatin1(NomsCartes[i]);
        m_cartes->DeclareCarte(AdresseCarte(nom));
        if (m_options.retardCartesMs > 0
            && (m_options.cartesEnRetard.isEmpty() || m_options.cartesEnRetard.contains(nom, Qt::CaseInsensitive))) {
            m_cartes->MetRetard(AdresseCarte(nom), m_options.retardCartesMs);
            Dit(QStringLiteral("cartes : %1 répond %2 ms après chaque trame").arg(nom).arg(m_options.retardCartesMs));
        }
        if (m_options.pourcentSommesFausses > 0)
            m_cartes->MetTauxSommesFausses(AdresseCarte(nom), m_options.pourcentSommesFausses);
    }
    if (m_options.pourcentSommesFausses > 0)
        Dit(QStringLiteral("cartes : %1 %% des réponses avec une somme fausse").arg(m_options.pourcentSommesFausses));
    for (const QString& fautive : m_options.cartesFautives) {
        static const QHash<QString, EmulateurCartes::Comportement> genres = {
            { QStringLiteral("muette"), EmulateurCartes::Comportement::Silencieux },
            { QStringLiteral("somme"), EmulateurCartes::Comportement::SommeFausse },
            { QStringLiteral("nul"), EmulateurCartes::Comportement::Nul },
            { QStringLiteral("bavarde"), EmulateurCartes::Comportement::Bavarde },
        };
        const QString nom = fautive.section(QLatin1Char(':'), 0, 0).trimmed();
        const QString genre = fautive.section(QLatin1Char(':'), 1).trimmed().toLower();
        if (AdresseCarte(nom).isEmpty() || !genres.contains(genre)) {
            *erreur = QStringLiteral("--carte-fautive %1 : attendu NOM:muette, NOM:somme, NOM:nul ou NOM:bavarde")
                          .arg(fautive);
            return false;
        }
        m_cartes->MetComportement(AdresseCarte(nom), genres.value(genre));
        Dit(QStringLiteral("cartes : %1 en panne (%2)").arg(nom, genre));
    }
    MetEntreesCartes();
    QFile::remove(LienCartes());
    QFile::link(m_cartes->CheminEsclave(), LienCartes());
    Dit(QStringLiteral("cartes : %1 (lien %2)").arg(m_cartes->CheminEsclave(), LienCartes()));

    if (!m_hote->Ecoute(m_options.portCdapi)) {
        *erreur = QStringLiteral("port CDAPI %1 déjà pris").arg(m_options.portCdapi);
        return false;
    }
    Dit(QStringLiteral("hôte : CDAPI en écoute sur 127.0.0.1 port %1").arg(m_options.portCdapi));

    m_minuteriePassation.start(100);
    if (m_options.commandes != 0) {
        m_minuterieComptoirs.start(m_options.intervalleCommandeMs);
        QTimer::singleShot(300, this, &SimulateurRobot::DeposeCommande);
    }
    m_hote->RegleAck(!m_options.hoteMuet);
    m_hote->RegleSourd(m_options.hoteSourd);
    if (m_options.demandeAToutesLesMs > 0)
        m_minuterieDemandeA.start(m_options.demandeAToutesLesMs);
    else if (m_options.demandeAToutesLesS > 0)
        m_minuterieDemandeA.start(m_options.demandeAToutesLesS * 1000);
    if (m_options.identificationToutesLesS > 0)
        m_minuterieIdentification.start(m_options.identificationToutesLesS * 1000);
    return true;
}

void SimulateurRobot::DeposeCommande()
{
    if (m_options.commandes >= 0 && m_deposees >= m_options.commandes) {
        m_minuterieComptoirs.stop();
        return;
    }
    ++m_numeroCommande;
    const QByteArray ordre = QByteArray::number(m_numeroCommande).rightJustified(8, '0');
    const int poste = 1 + int(QRandomGenerator::global()->bounded(12));
    QByteArray contenu;
    auto ligne = [&contenu](const QByteArray& l) { contenu += l + "\r\n"; };
    ligne("ordre     " + ordre);
    ligne("poste     " + QByteArray::number(poste).rightJustified(3, '0'));
    ligne("vendeur   " + QByteArray::number(1 + poste % 7).rightJustified(2, '0'));
    ligne("date      " + QDate::currentDate().toString(QStringLiteral("dd/MM/yyyy")).toLatin1() + " "
          + QTime::currentTime().toString(QStringLiteral("HH:mm")).toLatin1());
    ligne("priorite  3");
    ligne("P.Recept: 000");
    ligne("protocol: Comptoir");
    const int produits = 1 + int(QRandomGenerator::global()->bounded(4));
    for (int i = 0; i < produits; ++i)
        ligne(LigneCip("34009" + QByteArray::number(3000000 + int(QRandomGenerator::global()->bounded(999999))),
                       1 + int(QRandomGenerator::global()->bounded(3))));
    ligne("C.rendu   Cr\xE8me solaire \xE9t\xE9"); // octets de la page de code, comme sur le comptoir

    // Écrit sous un autre nom puis renommé : le service ne voit jamais de fichier à moitié écrit.
    const QString nom = QStringLiteral("CD%1.txt").arg(m_numeroCommande, 6, 10, QLatin1Char('0'));
    const QString provisoire = DossierEchange() + QStringLiteral("/.depot-") + nom + QStringLiteral(".part");
    QFile f(provisoire);
    if (!f.open(QIODevice::WriteOnly) || f.write(contenu) != contenu.size()) {
        Dit(QStringLiteral("comptoir : écriture impossible de %1").arg(provisoire));
        return;
    }
    f.close();
    QFile::rename(provisoire, DossierEchange() + QLatin1Char('/') + nom);
    ++m_deposees;
    m_ordresDeposes.insert(QString::fromLatin1(ordre));
    Dit(QStringLiteral("comptoir %1 : dépose %2 (ordre %3, %4 produit(s))")
            .arg(poste)
            .arg(nom, QString::fromLatin1(ordre))
            .arg(produits));
    if (m_options.retourToutesLes > 0 && m_deposees % m_options.retourToutesLes == 0)
        DeposeRetour();
}

void SimulateurRobot::DeposeRetour()
{
    ++m_retours;
    const QString nom = QStringLiteral("RT%1.txt").arg(m_retours, 6, 10, QLatin1Char('0'));
    const QString provisoire = DossierEchange() + QStringLiteral("/.depot-") + nom + QStringLiteral(".part");
    QFile f(provisoire);
    if (f.open(QIODevice::WriteOnly)) {
        f.write("retour    " + QByteArray::number(m_retours).rightJustified(6, '0') + "\r\n" + LigneCip("3400935955838", 1)
                + "\r\n");
        f.close();
        QFile::rename(provisoire, DossierEchange() + QLatin1Char('/') + nom);
        Dit(QStringLiteral("comptoir : dépose le retour %1").arg(nom));
    }
}

void SimulateurRobot::SurveillePassation()
{
    if (m_priseEnCours || QFileInfo(FichierPassation()).size() < 2)
        return;
    m_priseEnCours = true;
    QTimer::singleShot(m_options.delaiHoteMs, this, &SimulateurRobot::PrendCommande);
}

void SimulateurRobot::PrendCommande()
{
    m_priseEnCours = false;
    QFile f(FichierPassation());
    if (!f.open(QIODevice::ReadWrite))
        return;
    const QByteArray contenu = f.readAll();
    f.resize(0); // vidé, le fichier garde son identité
    f.close();

    QString ordre;
    int tiroir = 0;
    QString protocole;
    for (const QByteArray& ligne : FichierCommande::DecoupeLignes(contenu)) {
        switch (FichierCommande::ClasseLigne(ligne)) {
        case FichierCommande::MotCle::Ordre: ordre = QString::fromLatin1(ligne.mid(10)).trimmed(); break;
        case FichierCommande::MotCle::PRecept: tiroir = ligne.mid(10).trimmed().toInt(); break;
        case FichierCommande::MotCle::Protocol: protocole = QString::fromLatin1(ligne.mid(10)).trimmed(); break;
        default: break;
        }
    }
    const int prises = ++m_prises[ordre];
    Dit(QStringLiteral("hôte : prend la commande %1 pour le tiroir %2 (protocole %3)%4")
            .arg(ordre)
            .arg(tiroir)
            .arg(protocole, prises > 1 ? QStringLiteral(" *** DÉJÀ PRISE ***") : QString()));
    if (tiroir < 1 || tiroir > m_options.nbTiroirs) {
        ++m_versTiroirInconnu;
        return;
    }
    if (m_tiroirs[size_t(tiroir)].occupe) {
        ++m_versTiroirOccupe;
        Dit(QStringLiteral("hôte : *** le tiroir %1 n'est pas libre ***").arg(tiroir));
    }
    m_tiroirs[size_t(tiroir)].occupe = true;
    ++m_livraisonsEnCours;
    QTimer::singleShot(m_options.delaiConvoyeurMs, this, [this, tiroir, ordre] { ArriveeBoites(tiroir, ordre); });
}

void SimulateurRobot::ArriveeBoites(int tiroir, const QString& ordre)
{
    m_tiroirs[size_t(tiroir)].boitesPresentes = true;
    MetEntreesCartes();
    ++m_livrees;
    ++m_datagrammes;
    if (m_options.perteDatagramme > 0 && m_datagrammes % m_options.perteDatagramme == 0) {
        ++m_datagrammesPerdus;
        Dit(QStringLiteral("convoyeur : commande %1 arrivée au tiroir %2, datagramme perdu").arg(ordre).arg(tiroir));
    } else {
        const QByteArray datagramme = "-Start     -S" + QByteArray::number(tiroir);
        m_convoyeur.writeDatagram(datagramme, QHostAddress::LocalHost, m_options.portUdp);
        Dit(QStringLiteral("convoyeur : commande %1 arrivée au tiroir %2, envoie \"%3\"")
                .arg(ordre)
                .arg(tiroir)
                .arg(QString::fromLatin1(datagramme)));
    }
    QTimer::singleShot(m_options.collecteMs, this, [this, tiroir] { RetraitBoites(tiroir); });
}

void SimulateurRobot::RetraitBoites(int tiroir)
{
    m_tiroirs[size_t(tiroir)].boitesPresentes = false;
    m_tiroirs[size_t(tiroir)].occupe = false;
    --m_livraisonsEnCours;
    MetEntreesCartes();
    Dit(QStringLiteral("tiroir %1 : boîtes retirées").arg(tiroir));
}

void SimulateurRobot::MetEntreesCartes()
{
    for (int carte = 1; carte <= 4; ++carte) {
        QByteArray entrees;
        for (int j = 1; j <= 2; ++j)
            entrees += m_tiroirs[size_t(2 * (carte - 1) + j)].boitesPresentes ? '1' : '0';
        m_cartes->MetReponse(AdresseCarte(QString::fromLatin1(NomsCartes[carte])), 'G', entrees);
    }
}

void SimulateurRobot::SurArriveeCdapi(const QByteArray& octets)
{
    QByteArray message = octets;
    message.replace(QByteArray(1, Ack), QByteArray());
    if (message.isEmpty())
        return;
    if (message.startsWith('R')) {
        ++m_identifications;
        // Réponse d'identification : même poste, version 0112, dialogues "AR", NUL final.
        const QByteArray reponse = "r" + message.mid(1, 3) + "0112002AR" + QByteArray(1, '\0');
        m_hote->Envoie(reponse);
        Dit(QStringLiteral("CDAPI : identification reçue, répond \"r\""));
    } else if (message.startsWith('r')) {
        ++m_reponsesR;
        Dit(QStringLiteral("CDAPI : réponse d'identification \"r\" reçue"));
    } else if (message.startsWith('a')) {
        ++m_reponsesA;
        Dit(QStringLiteral("CDAPI : réponse \"a\" reçue (%1 octets)").arg(message.size()));
    }
}

void SimulateurRobot::EnvoieDemandeEjection()
{
    if (!m_hote->Connecte())
        return;
    ++m_demandesA;
    m_hote->Envoie(HoteCdapi::DemandeEjection(m_options.normeCdapi, m_options.lignesDemandeA,
                                              m_options.demandesADifferentes ? m_demandesA : 12));
    // Une inondation n'est pas racontée demande par demande : le bilan les compte.
    if (m_options.demandeAToutesLesMs == 0)
        Dit(QStringLiteral("CDAPI : envoie une demande d'éjection \"A\""));
}

void SimulateurRobot::EnvoieIdentification()
{
    if (!m_hote->Connecte())
        return;
    ++m_identificationsEnvoyees;
    // L'hôte se présente comme le poste 001, mêmes version et dialogues que le service.
    m_hote->Envoie(QByteArrayLiteral("R0010112002AR") + QByteArray(1, '\0'));
    Dit(QStringLiteral("CDAPI : envoie une identification \"R\""));
}

QStringList SimulateurRobot::Bilan() const
{
    int prises = 0;
    int deuxFois = 0;
    for (auto it = m_prises.begin(); it != m_prises.end(); ++it) {
        prises += it.value();
        deuxFois += it.value() > 1 ? 1 : 0;
    }
    int jamais = 0;
    for (const QString& ordre : m_ordresDeposes)
        jamais += m_prises.value(ordre) == 0 ? 1 : 0;
    return {
        QStringLiteral("=== Bilan de la simulation ==="),
        QStringLiteral("commandes deposees: %1").arg(m_deposees),
        QStringLiteral("commandes prises par l'hote: %1").arg(prises),
        QStringLiteral("commandes livrees: %1").arg(m_livrees),
        QStringLiteral("datagrammes envoyes: %1").arg(m_datagrammes - m_datagrammesPerdus),
        QStringLiteral("datagrammes perdus: %1").arg(m_datagrammesPerdus),
        QStringLiteral("commandes prises deux fois: %1").arg(deuxFois),
        QStringLiteral("commandes jamais prises: %1").arg(jamais),
        QStringLiteral("commandes vers un tiroir occupe: %1").arg(m_versTiroirOccupe),
        QStringLiteral("commandes vers un tiroir inconnu: %1").arg(m_versTiroirInconnu),
        QStringLiteral("fichiers de retour deposes: %1").arg(m_retours),
        QStringLiteral("identifications CDAPI recues: %1").arg(m_identifications),
        QStringLiteral("demandes A envoyees: %1").arg(m_demandesA),
        QStringLiteral("reponses a recues: %1").arg(m_reponsesA),
        QStringLiteral("identifications R envoyees: %1").arg(m_identificationsEnvoyees),
        QStringLiteral("reponses r recues: %1").arg(m_reponsesR),
    };
}
