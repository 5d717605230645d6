#include "LigneCartes.h"

#include "base/Dialogues.h"
#include "base/JournalStatut.h"
#include "config/Configuration.h"
#include "drawers/NomPortSerie.h"
#include "drawers/TrameCartes.h"

#include <QDir>
#include <QFileInfo>

#ifndef Q_OS_WIN
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace {

const QByteArray CarteAux = QByteArrayLiteral("Z]"); // adresse de la carte "Z45"
// Octets jetés montrés au journal : le début seulement.
constexpr qsizetype ExtraitJete = 40;

} // namespace

LigneCartes::LigneCartes(JournalStatut& journal, Dialogues& dialogues, const Configuration& configuration,
                         QObject* parent)
    : QObject(parent)
    , m_journal(journal)
    , m_dialogues(dialogues)
    , m_configuration(configuration)
{
    m_port.setObjectName(QStringLiteral("MSComm1"));
    // Sans borne, QSerialPort lit tout ce qui arrive entre deux échanges : un flot de
    // bruit ferait grandir la mémoire sans fin.
    m_port.setReadBufferSize(TamponPortMax);
    m_minuterieReouverture.setInterval(3000);
    connect(&m_minuterieReouverture, &QTimer::timeout, this, &LigneCartes::EssaieReouverture);
    connect(&m_port, &QSerialPort::errorOccurred, this, &LigneCartes::SurErreurPort);
    connect(&m_port, &QSerialPort::readyRead, this, &LigneCartes::SurArrivee);
    m_minuterie.setSingleShot(true);
    m_minuterie.setTimerType(Qt::PreciseTimer);
    connect(&m_minuterie, &QTimer::timeout, this, &LigneCartes::SurMinuterie);
}

LigneCartes::~LigneCartes()
{
    // Les échanges en file partent avec la ligne, sans rappel.
    m_minuterie.stop();
    m_minuterieReouverture.stop();
    if (m_port.isOpen())
        m_port.close();
}

bool LigneCartes::EstOuvert() const
{
    return m_port.isOpen();
}

void LigneCartes::MetIntervalleReouverture(int millisecondes)
{
    m_minuterieReouverture.setInterval(qMax(1, millisecondes));
}

QString LigneCartes::CheminPeripherique() const
{
    if (!m_configuration.PortSerieImpose.isEmpty())
        return NomPortSerie::Impose(m_configuration.PortSerieImpose);
    return NomPortSerie::DuNumero(m_reglage.numeroPort);
}

void LigneCartes::AppliqueReglage(const ReglageLigne& reglage)
{
    // Réglé avant l'ouverture : QSerialPort l'applique en ouvrant, ce qui passe aussi
    // sur un pseudo-terminal. Les lignes de modem (RTS, DTR) ne sont jamais touchées.
    m_port.setBaudRate(reglage.vitesse);
    m_port.setParity(reglage.parite);
    m_port.setDataBits(reglage.bitsDonnees);
    m_port.setStopBits(reglage.bitsArret);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
}

QString LigneCartes::MessageEchecOuverture() const
{
    const QString numero = QString::number(m_reglage.numeroPort);
    const QSerialPort::SerialPortError erreur = m_port.error();
    bool occupe = false;
    if (erreur == QSerialPort::PermissionError) {
        // Qt 6.4 range sous PermissionError un verrou tenu, un périphérique occupé et un
        // droit refusé : seuls les droits du périphérique les départagent.
#ifdef Q_OS_WIN
        occupe = true;
#else
        const QByteArray chemin = QFile::encodeName(CheminPeripherique());
        occupe = ::access(chemin.constData(), R_OK | W_OK) == 0;
#endif
    }
    // Le texte d'origine en tête ; puis le périphérique vraiment essayé et ce qu'il faut
    // vérifier : "COM1" ne dit rien quand --port-serie désigne /dev/ttyUSB0.
    const QString peripherique = QDir::toNativeSeparators(CheminPeripherique());
    if (occupe)
        return QStringLiteral("Le port COM") + numero + QStringLiteral(" ") + QStringLiteral("est deja utilise")
            + QStringLiteral("\r\rPériphérique essayé : ") + peripherique
            + QStringLiteral("\rUn autre programme le tient ouvert (une autre copie de Pelorane, un terminal) : "
                             "fermez-le, puis relancez Pelorane.");
    if (erreur == QSerialPort::DeviceNotFoundError)
        return QStringLiteral("Le port COM") + numero + QStringLiteral(" ") + QStringLiteral("est inconnu")
            + QStringLiteral("\r\rPériphérique essayé : ") + peripherique
            + QStringLiteral("\rIl n'existe pas : vérifiez que l'adaptateur des cartes est branché et le nom du port "
                             "(--port-serie, ou le numéro avant « : » dans Param_Com_Tiroirs).");
    QString texte = m_port.errorString() + QStringLiteral("  (erreur n°") + QString::number(int(erreur))
        + QStringLiteral(") sur COM") + numero + QStringLiteral("\r\rPériphérique essayé : ") + peripherique;
    if (erreur == QSerialPort::PermissionError)
        texte += QStringLiteral("\rDroits refusés : l'utilisateur doit pouvoir lire et écrire le périphérique "
                                "(sous Linux, être du groupe dialout).");
    return texte;
}

bool LigneCartes::OuvrePortComm()
{
    const QString& param = m_configuration.ParamComTiroirs;
    const ReglageLigne parDefaut;
    if (!m_reglage.Lit(param))
        m_journal.MessageStatus(QStringLiteral("Erreur non fatale dans OuvrePortComm"));

    if (m_port.isOpen()) {
        m_journal.MessageStatus(QStringLiteral("port com deja ouvert"));
        return true;
    }

    m_journal.MessageStatus(QStringLiteral("ouvre le COM") + param);
    m_port.setPortName(CheminPeripherique());
    AppliqueReglage(m_reglage);
    bool ouvert = m_port.open(QIODevice::ReadWrite);
    if (!ouvert && m_port.error() == QSerialPort::UnsupportedOperationError) {
        // Réglage refusé par le périphérique : on continue avec le réglage d'usine.
        ReglageLigne repli = parDefaut;
        repli.numeroPort = m_reglage.numeroPort;
        if (repli != m_reglage) {
            m_journal.MessageStatus(QStringLiteral("Erreur non fatale dans OuvrePortComm"));
            m_reglage = repli;
            AppliqueReglage(m_reglage);
            ouvert = m_port.open(QIODevice::ReadWrite);
        }
    }
    if (!ouvert) {
        m_dialogues.Message(Dialogues::Icone::Exclamation, QStringLiteral("erreur ouverture port COM"),
                            MessageEchecOuverture());
        return false;
    }
    m_recu.clear();
    m_minuterieReouverture.stop();
    return true;
}

void LigneCartes::FermePortComm()
{
    m_minuterieReouverture.stop();
    if (!m_port.isOpen())
        return;
    m_port.clearError();
    m_port.close();
    m_recu.clear();
    if (m_port.error() != QSerialPort::NoError)
        m_journal.MessageStatus(QStringLiteral("Erreur FermePortComm"));
    else
        m_journal.MessageStatus(QStringLiteral("ferme port COM"));
}

qint64 LigneCartes::OctetsRetenus() const
{
    return m_recu.size() + (m_port.isOpen() ? m_port.bytesAvailable() : 0);
}

void LigneCartes::Envoie(Demande demande, QObject* contexte, Rappel rappel)
{
    if (m_file.size() >= size_t(FileMax)) {
        // Une file sans borne ferait attendre les lectures derrière des clics en rafale.
        m_journal.MessageStatus(QStringLiteral("ligne des cartes occupee, echange refuse: ")
                                + TexteAffichable(demande.corps));
        if (rappel)
            rappel(EchecCartes::LigneOccupee);
        return;
    }
    // La sortie auxiliaire est un état : deux commandes identiques qui attendent l'une
    // derrière l'autre n'en font qu'une (chaque entrée libre d'une lecture en demande une).
    const bool derniereEnAttente = !m_file.empty() && (m_file.size() > 1 || m_etat == Etat::Libre);
    if (derniereEnAttente && demande.corps.startsWith('X') && m_file.back().demande.corps == demande.corps) {
        m_file.back().rappels.append({ contexte, std::move(rappel) });
        return;
    }
    Echange echange{ std::move(demande), {}, 0, EchecCartes::Vide };
    echange.rappels.append({ contexte, std::move(rappel) });
    m_file.push_back(std::move(echange));
    Suivant();
}

void LigneCartes::EnvoiEtReponseGrindel2(const QByteArray& ChaineAenvoyerSScs, int TOautomEnMs, QObject* contexte,
                                         Rappel rappel)
{
    Envoie(Demande{ ChaineAenvoyerSScs, qMax(0, TOautomEnMs), Reprise::Toujours, {} }, contexte, std::move(rappel));
}

void LigneCartes::Suivant()
{
    if (m_etat != Etat::Libre || m_file.empty() || m_dansRappels)
        return;
    if (m_depuisTimeOut.isValid()) {
        const qint64 reste = GardeApresTimeOutMs - m_depuisTimeOut.elapsed();
        if (reste > 0) {
            m_etat = Etat::Garde;
            m_minuterie.start(int(reste));
            return;
        }
    }
    EnvoieEssai();
}

void LigneCartes::EnvoieEssai()
{
    Echange& echange = m_file.front();
    ++echange.essai;
    m_depuisTimeOut.invalidate();
    if (!m_port.isOpen()) {
        m_journal.MessageStatus(QStringLiteral(" *** Port COM NON OUVERT ***"));
        FinEssai(EchecCartes::Vide, false);
        return;
    }
    // Ce qui attend dans le port ne répond pas à cette trame : une réponse en retard
    // ou du bruit, lus comme la réponse d'une autre carte, enverraient des commandes
    // vers des tiroirs occupés.
    JetteRecuAvantTrame(echange.demande.corps);
    const QByteArray trame = TrameCommande(echange.demande.corps);
    if (m_port.write(trame) != trame.size()) {
        m_journal.MessageStatus(QStringLiteral("Erreur dans EnvoiEtReponseGrindel2"));
        FinEssai(EchecCartes::Vide, false);
        return;
    }
    m_etat = Etat::Envoye;
    m_minuterie.start(echange.demande.delaiMs);
}

void LigneCartes::JetteRecuAvantTrame(const QByteArray& ligneCde)
{
    // Gardé (borné) pour y reconnaître des réponses en retard.
    QByteArray jetes = m_recu;
    m_recu.clear();
    qint64 nombre = jetes.size();
    while (m_port.bytesAvailable() > 0) {
        const QByteArray lu = m_port.read(TamponPortMax);
        nombre += lu.size();
        if (jetes.size() < 2 * TamponPortMax)
            jetes += lu;
    }
#ifndef Q_OS_WIN
    // Ce que le pilote tient encore (le port a cessé de lire, tampon plein) part aussi.
    int dansLePilote = 0;
    if (::ioctl(int(m_port.handle()), FIONREAD, &dansLePilote) == 0 && dansLePilote > 0)
        nombre += dansLePilote;
#endif
    m_port.clear(QSerialPort::Input);
    if (nombre == 0)
        return;
    CompteLignesJetees(jetes);
    m_journal.MessageStatus(QStringLiteral("ligne des cartes: ") + QString::number(nombre)
                            + QStringLiteral(" octets recus hors echange jetes avant ")
                            + TexteAffichable(ligneCde, 20) + QStringLiteral(": ")
                            + TexteAffichable(jetes.left(ExtraitJete), 4 * ExtraitJete)
                            + (nombre > ExtraitJete ? QStringLiteral(" ...") : QString()));
}

void LigneCartes::CompteLignesJetees(const QByteArray& jetes)
{
    const QList<QByteArray> lignes = jetes.split(CaractereCr);
    // Le dernier morceau n'a pas de CR : ce n'est pas une réponse entière.
    for (qsizetype i = 0; i + 1 < lignes.size(); ++i) {
        const qsizetype barre = lignes.at(i).lastIndexOf('/');
        if (barre < 0)
            continue;
        const QByteArray charge = AnalyseReponse(lignes.at(i).mid(barre));
        if (!EstEchecCartes(charge))
            m_suivi.LigneJetee(charge);
    }
}

void LigneCartes::SurArrivee()
{
    // Hors échange, les octets restent dans le port (borné) et partent avant la trame
    // suivante.
    while (m_etat == Etat::Envoye) {
        if (m_port.bytesAvailable() > 0)
            m_recu += m_port.read(LongueurMaxReponse + 1 - m_recu.size());
        const qsizetype cr = m_recu.indexOf(CaractereCr);
        if (cr > LongueurMaxReponse || (cr < 0 && m_recu.size() > LongueurMaxReponse)) {
            // Du bruit, pas une réponse : on ne le garde pas, et la ligne passe par la
            // garde comme après un délai dépassé (la fin du bruit arrive encore).
            m_recu.clear();
            m_depuisTimeOut.start();
            FinEssai(EchecCartes::TropLongue, true);
            return;
        }
        if (cr < 0)
            return; // la suite au prochain readyRead
        const QByteArray ligne = m_recu.left(cr);
        m_recu.remove(0, cr + 1);
        const QByteArray resultat = AnalyseReponse(ligne);
        const Demande& demande = m_file.front().demande;
        if (!EstEchecCartes(resultat) && demande.attendue && !demande.attendue(resultat)) {
            // Réponse d'un autre genre : elle répond à une trame passée.
            m_suivi.LigneJetee(resultat);
            m_journal.MessageStatus(QStringLiteral("ligne des cartes: reponse d'un autre genre jetee apres ")
                                    + TexteAffichable(demande.corps, 20) + QStringLiteral(": ")
                                    + TexteAffichable(resultat));
            continue;
        }
        FinEssai(resultat, true);
        return;
    }
}

void LigneCartes::SurMinuterie()
{
    switch (m_etat) {
    case Etat::Envoye:
        // Ce qui a été lu sans CR est perdu ; la réponse peut encore venir.
        m_recu.clear();
        m_depuisTimeOut.start();
        m_suivi.ReponseDue(m_file.front().demande.corps);
        FinEssai(EchecCartes::TimeOut, false);
        break;
    case Etat::Pause:
        EnvoieEssai();
        break;
    case Etat::Garde:
        m_etat = Etat::Libre;
        Suivant();
        break;
    case Etat::Libre:
        break;
    }
}

void LigneCartes::FinEssai(const QByteArray& resultat, bool reponseRecue)
{
    m_minuterie.stop();
    Echange& echange = m_file.front();
    echange.resultat = resultat;
    const Reprise reprise = echange.demande.reprise;
    const bool reprendre = EstEchecCartes(resultat) && echange.essai < 2
        && (reprise == Reprise::Toujours || (reprise == Reprise::SiReponseRecue && reponseRecue));
    if (reprendre) {
        m_etat = Etat::Pause;
        m_minuterie.start(PauseRepriseMs);
        return;
    }
    Termine();
}

void LigneCartes::Termine()
{
    Echange echange = std::move(m_file.front());
    m_file.pop_front();
    m_etat = Etat::Libre;
    // Les rappels peuvent mettre d'autres échanges en file : ils partent ensuite, dans
    // leur ordre.
    m_dansRappels = true;
    for (const auto& [contexte, rappel] : echange.rappels)
        if (rappel && !contexte.isNull())
            rappel(echange.resultat);
    m_dansRappels = false;
    emit echangeTermine(echange.demande.corps, echange.resultat);
    Suivant();
}

bool LigneCartes::AuxGri2(const QString& numAux, const QString& etatAux, Rappel rappel)
{
    bool numerique = false;
    const int numero = numAux.trimmed().toInt(&numerique, 10);
    if (!numerique || numero < 1 || numero > 8)
        return false;
    char etat = 0;
    if (etatAux.compare(QLatin1String("ON"), Qt::CaseInsensitive) == 0)
        etat = '1';
    else if (etatAux.compare(QLatin1String("OFF"), Qt::CaseInsensitive) == 0)
        etat = '0';
    else
        return false;

    m_journal.MessageStatus(QStringLiteral("Aux") + numAux + QStringLiteral(": ") + etatAux
                            + QStringLiteral(" (Z") + QString::number(45) + QStringLiteral(")"));
    // En simulation rien ne part : aucune attente non plus, la file n'est pas touchée.
    if (m_configuration.ModeSimulation())
        return false;
    const auto fin = [this, numAux, etatAux, rappel](const QByteArray& resultat) {
        if (EstEchecCartes(resultat))
            m_journal.MessageStatus(QStringLiteral("erreur") + QStringLiteral(" (Z") + QString::number(45)
                                    + QStringLiteral(") Aux") + numAux + QStringLiteral(" ") + etatAux);
        if (rappel)
            rappel(resultat);
    };
    // Z45 en retard : la trame ne partirait que pour deux délais dépassés (1,4 s) à
    // chaque entrée libre des autres cartes ; elle ne part pas.
    if (m_suivi.EnRetard(CarteAux)) {
        fin(EchecCartes::CarteEnRetard);
        return false;
    }
    const QByteArray corps = QByteArray("X") + CarteAux + etat + QByteArray::number(numero);
    EnvoiEtReponseGrindel2(corps, 500, this, fin);
    return true;
}

void LigneCartes::SurErreurPort(QSerialPort::SerialPortError erreur)
{
    if (erreur != QSerialPort::ReadError && erreur != QSerialPort::ResourceError)
        return;
    if (!m_port.isOpen() || m_perteSignalee)
        return;
    // Périphérique perdu : Qt répète l'erreur en boucle serrée tant que le port reste
    // ouvert. On ferme hors de la pile de QSerialPort, au prochain tour d'événements.
    m_perteSignalee = true;
    m_textePerte = erreur == QSerialPort::ReadError ? QStringLiteral("erreur de lecture")
                                                    : QStringLiteral("peripherique retire");
    QMetaObject::invokeMethod(this, &LigneCartes::TraitePertePort, Qt::QueuedConnection);
}

void LigneCartes::TraitePertePort()
{
    m_perteSignalee = false;
    if (!m_port.isOpen())
        return;
    m_port.close();
    m_recu.clear();
    m_journal.MessageStatus(QStringLiteral("perte du port COM") + QString::number(m_reglage.numeroPort)
                            + QStringLiteral(" (") + m_textePerte
                            + QStringLiteral("), nouvel essai d'ouverture toutes les ")
                            + QString::number(m_minuterieReouverture.interval() / 1000.0)
                            + QStringLiteral(" s"));
    m_minuterieReouverture.start();
    emit portPerdu(true);
    if (m_etat == Etat::Envoye) {
        // L'échange sur le fil n'aura pas sa réponse : sa reprise dira le port fermé.
        m_journal.MessageStatus(QStringLiteral("Erreur dans EnvoiEtReponseGrindel2"));
        FinEssai(EchecCartes::Vide, false);
    }
}

void LigneCartes::EssaieReouverture()
{
    if (m_port.isOpen()) {
        m_minuterieReouverture.stop();
        return;
    }
    AppliqueReglage(m_reglage);
    if (!m_port.open(QIODevice::ReadWrite))
        return; // nouvel essai au prochain tour de la minuterie, sans ligne de journal
    m_minuterieReouverture.stop();
    m_recu.clear();
    m_journal.MessageStatus(QStringLiteral("port COM") + QString::number(m_reglage.numeroPort)
                            + QStringLiteral(" rouvert"));
    emit portPerdu(false);
}
