#include "LigneCartes.h"

#include "base/Dialogues.h"
#include "base/Horloge.h"
#include "base/JournalStatut.h"
#include "config/Configuration.h"
#include "drawers/NomPortSerie.h"
#include "drawers/TrameCartes.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QScopedValueRollback>

#ifndef Q_OS_WIN
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace {

const QByteArray CarteAux = QByteArrayLiteral("Z]"); // adresse de la carte "Z45"
// Octets jetés montrés au journal : le début seulement.
constexpr qsizetype ExtraitJete = 40;

} // namespace

LigneCartes::LigneCartes(JournalStatut& journal, Horloge& horloge, Dialogues& dialogues,
                         const Configuration& configuration, QObject* parent)
    : QObject(parent)
    , m_journal(journal)
    , m_horloge(horloge)
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
}

LigneCartes::~LigneCartes()
{
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
    if (occupe)
        return QStringLiteral("Le port COM") + numero + QStringLiteral(" ") + QStringLiteral("est deja utilise");
    if (erreur == QSerialPort::DeviceNotFoundError)
        return QStringLiteral("Le port COM") + numero + QStringLiteral(" ") + QStringLiteral("est inconnu");
    return m_port.errorString() + QStringLiteral("  (erreur n°") + QString::number(int(erreur))
        + QStringLiteral(") sur COM") + numero;
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
    m_recuEnAttente.clear();
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
    m_recuEnAttente.clear();
    if (m_port.error() != QSerialPort::NoError)
        m_journal.MessageStatus(QStringLiteral("Erreur FermePortComm"));
    else
        m_journal.MessageStatus(QStringLiteral("ferme port COM"));
}

qint64 LigneCartes::OctetsRetenus() const
{
    return m_recuEnAttente.size() + (m_port.isOpen() ? m_port.bytesAvailable() : 0);
}

void LigneCartes::JetteRecuAvantTrame(const QByteArray& ligneCde)
{
    qint64 jetes = m_recuEnAttente.size();
    QByteArray extrait = m_recuEnAttente.left(ExtraitJete);
    // Gardé (borné) pour y compter les réponses "G" en route.
    QByteArray toutJete = m_recuEnAttente;
    m_recuEnAttente.clear();
    auto absorbe = [&] {
        const QByteArray lu = m_port.read(TamponPortMax);
        jetes += lu.size();
        if (extrait.size() < ExtraitJete)
            extrait += lu.left(ExtraitJete - extrait.size());
        if (toutJete.size() < 2 * TamponPortMax)
            toutJete += lu;
    };
    // Une carte qui répond juste après son délai : sa réponse arrive pendant la garde
    // et part avec le reste, au lieu de répondre à la trame suivante.
    if (m_depuisTimeOut.isValid()) {
        for (;;) {
            const qint64 reste = GardeApresTimeOutMs - m_depuisTimeOut.elapsed();
            if (reste <= 0)
                break;
            if (m_port.bytesAvailable() > 0)
                absorbe();
            else if (!m_port.waitForReadyRead(int(reste)))
                break;
        }
        m_depuisTimeOut.invalidate();
    }
    while (m_port.bytesAvailable() > 0)
        absorbe();
    if (!m_port.isOpen())
        return; // perdu pendant la garde : l'envoi qui suit le dira
#ifndef Q_OS_WIN
    // Ce que le pilote tient encore (le port a cessé de lire, tampon plein) part aussi.
    int dansLePilote = 0;
    if (::ioctl(int(m_port.handle()), FIONREAD, &dansLePilote) == 0 && dansLePilote > 0)
        jetes += dansLePilote;
#endif
    m_port.clear(QSerialPort::Input);
    if (jetes == 0)
        return;
    CompteLecturesJetees(toutJete);
    m_journal.MessageStatus(QStringLiteral("ligne des cartes: ") + QString::number(jetes)
                            + QStringLiteral(" octets recus hors echange jetes avant ")
                            + TexteAffichable(ligneCde, 20) + QStringLiteral(": ")
                            + TexteAffichable(extrait, 4 * ExtraitJete)
                            + (jetes > extrait.size() ? QStringLiteral(" ...") : QString()));
}

void LigneCartes::CompteLecturesJetees(const QByteArray& jetes)
{
    for (const QByteArray& ligne : jetes.split(CaractereCr)) {
        const qsizetype barre = ligne.lastIndexOf('/');
        if (barre >= 0 && SuiviCartes::EstLectureG(AnalyseReponse(ligne.mid(barre))))
            m_suivi.LectureGJetee();
    }
}

bool LigneCartes::AttendLectureGEnRoute(int maxMs, const QByteArray& corpsSuivant)
{
    QElapsedTimer chrono;
    chrono.start();
    while (m_suivi.AttendLectureG() && m_port.isOpen() && !m_echangeEnCours) {
        // Les octets arrivent un à un sur une vraie ligne : on attend la fin de la ligne
        // pour la reconnaître, puis elle est jetée et comptée.
        if (m_port.bytesAvailable() > 0)
            m_recuEnAttente += m_port.read(TamponPortMax);
        if (m_recuEnAttente.contains(CaractereCr) || m_recuEnAttente.size() > LongueurMaxReponse) {
            JetteRecuAvantTrame(corpsSuivant);
            continue;
        }
        const qint64 reste = maxMs - chrono.elapsed();
        if (reste <= 0 || !m_port.waitForReadyRead(int(reste)))
            break;
    }
    return m_suivi.AttendLectureG();
}

QByteArray LigneCartes::EchangeVerifie(const QByteArray& corps, int delaiMs,
                                       const std::function<bool(const QByteArray&)>& attendue)
{
    if (m_echangeEnCours) {
        m_journal.MessageStatus(QStringLiteral("ligne des cartes occupee, echange refuse: ") + TexteAffichable(corps));
        return EchecCartes::LigneOccupee;
    }
    const QScopedValueRollback<bool> garde(m_echangeEnCours, true);
    const bool lectureG = corps.startsWith('G');
    bool panne = false;
    QByteArray resultat = EchecCartes::Vide;
    if (EnvoiCdeGrindel2(corps, &panne)) {
        QElapsedTimer chrono;
        chrono.start();
        for (;;) {
            bool tropLongue = false;
            const QByteArray ligne =
                lectReponseComm(int(qMax<qint64>(0, delaiMs - chrono.elapsed())), &panne, &tropLongue);
            if (panne)
                break;
            resultat = tropLongue ? EchecCartes::TropLongue : AnalyseReponse(ligne);
            if (EstEchecCartes(resultat) || attendue(resultat))
                break;
            // Réponse d'un autre genre : elle répond à une trame passée.
            if (SuiviCartes::EstLectureG(resultat))
                m_suivi.LectureGJetee();
            m_journal.MessageStatus(QStringLiteral("ligne des cartes: reponse d'un autre genre jetee apres ")
                                    + TexteAffichable(corps, 20) + QStringLiteral(": ") + TexteAffichable(resultat));
            resultat = EchecCartes::TimeOut;
        }
    }
    if (panne) {
        m_journal.MessageStatus(QStringLiteral("Erreur dans EnvoiEtReponseGrindel2"));
        resultat = EchecCartes::Vide;
    }
    // Sans bonne réponse, la réponse de cette trame peut encore venir : elle est en route.
    if (lectureG && EstEchecCartes(resultat))
        m_suivi.LectureGSansReponse();
    return resultat;
}

bool LigneCartes::EnvoiCdeGrindel2(const QByteArray& ligneCde, bool* panne)
{
    if (!m_port.isOpen()) {
        m_journal.MessageStatus(QStringLiteral(" *** Port COM NON OUVERT ***"));
        return false;
    }
    // Ce qui attend dans le port ne répond pas à cette trame : une réponse en retard
    // ou du bruit, lus comme la réponse d'une autre carte, enverraient des commandes
    // vers des tiroirs occupés.
    JetteRecuAvantTrame(ligneCde);
    const QByteArray trame = TrameCommande(ligneCde);
    if (m_port.write(trame) != trame.size()) {
        *panne = true;
        return false;
    }
    if (!m_port.waitForBytesWritten(1000) && m_port.error() != QSerialPort::TimeoutError) {
        *panne = true;
        return false;
    }
    return true;
}

QByteArray LigneCartes::lectReponseComm(int tempsTimeOut, bool* panne, bool* tropLongue)
{
    // Attente réelle, sans événement : elle finit dans son délai quelle que soit l'horloge
    // du programme.
    QElapsedTimer chrono;
    chrono.start();
    for (;;) {
        const qsizetype cr = m_recuEnAttente.indexOf(CaractereCr);
        if (cr > LongueurMaxReponse || (cr < 0 && m_recuEnAttente.size() > LongueurMaxReponse)) {
            // Du bruit, pas une réponse : on ne le garde pas, et la ligne passe par la
            // garde comme après un délai dépassé.
            *tropLongue = true;
            m_recuEnAttente.clear();
            m_depuisTimeOut.start();
            return QByteArray();
        }
        if (cr >= 0) {
            const QByteArray ligne = m_recuEnAttente.left(cr);
            m_recuEnAttente.remove(0, cr + 1);
            return ligne;
        }
        if (!m_port.isOpen()) {
            *panne = true;
            m_recuEnAttente.clear();
            return QByteArray();
        }
        if (m_port.bytesAvailable() > 0) {
            m_recuEnAttente += m_port.read(LongueurMaxReponse + 1 - m_recuEnAttente.size());
            continue;
        }
        const qint64 reste = qint64(tempsTimeOut) - chrono.elapsed();
        if (reste < 0) {
            m_recuEnAttente.clear(); // ce qui a été lu sans CR est perdu
            m_depuisTimeOut.start();
            return QByteArray();
        }
        if (!m_port.waitForReadyRead(int(reste) + 1)) {
            const QSerialPort::SerialPortError erreur = m_port.error();
            if (erreur != QSerialPort::TimeoutError && erreur != QSerialPort::NoError) {
                *panne = true;
                m_recuEnAttente.clear();
                if (erreur == QSerialPort::ReadError || erreur == QSerialPort::ResourceError) {
                    m_textePerte = erreur == QSerialPort::ReadError ? QStringLiteral("erreur de lecture")
                                                                    : QStringLiteral("peripherique retire");
                    TraitePertePort();
                }
                return QByteArray();
            }
        }
        m_recuEnAttente += m_port.read(LongueurMaxReponse + 1 - m_recuEnAttente.size());
    }
}

QByteArray LigneCartes::LectRepGrindel2(int tempsTimeOut, bool* panne)
{
    bool tropLongue = false;
    const QByteArray ligne = lectReponseComm(tempsTimeOut, panne, &tropLongue);
    if (*panne)
        return QByteArray();
    if (tropLongue)
        return EchecCartes::TropLongue;
    return AnalyseReponse(ligne);
}

QByteArray LigneCartes::EnvoiEtReponseGrindel2(const QByteArray& ChaineAenvoyerSScs, int TOautomEnMs)
{
    // Un clic ou une minuterie traités pendant la pause d'un échange ne doivent pas
    // glisser leurs trames entre les deux essais de celui-ci : on les refuse.
    if (m_echangeEnCours) {
        m_journal.MessageStatus(QStringLiteral("ligne des cartes occupee, echange refuse: ")
                                + TexteAffichable(ChaineAenvoyerSScs));
        return EchecCartes::LigneOccupee;
    }
    const QScopedValueRollback<bool> garde(m_echangeEnCours, true);

    QByteArray resultat = EchecCartes::Vide;
    for (int essai = 1;; ++essai) {
        bool panne = false;
        if (EnvoiCdeGrindel2(ChaineAenvoyerSScs, &panne)) {
            const QByteArray reponse = LectRepGrindel2(qMax(0, TOautomEnMs), &panne);
            if (!panne)
                resultat = reponse;
        }
        if (panne)
            m_journal.MessageStatus(QStringLiteral("Erreur dans EnvoiEtReponseGrindel2"));
        if (!EstEchecCartes(resultat) || essai >= 2)
            return resultat;
        m_horloge.timePause(0.4);
    }
}

QByteArray LigneCartes::AuxGri2(const QString& numAux, const QString& etatAux)
{
    bool numerique = false;
    const int numero = numAux.trimmed().toInt(&numerique, 10);
    if (!numerique || numero < 1 || numero > 8)
        return QByteArray();
    char etat = 0;
    if (etatAux.compare(QLatin1String("ON"), Qt::CaseInsensitive) == 0)
        etat = '1';
    else if (etatAux.compare(QLatin1String("OFF"), Qt::CaseInsensitive) == 0)
        etat = '0';
    else
        return QByteArray();

    m_journal.MessageStatus(QStringLiteral("Aux") + numAux + QStringLiteral(": ") + etatAux
                            + QStringLiteral(" (Z") + QString::number(45) + QStringLiteral(")"));
    if (m_configuration.ModeSimulation()) {
        m_horloge.timePause(0.08);
        return QByteArray();
    }
    const QByteArray corps = QByteArray("X") + CarteAux + etat + QByteArray::number(numero);
    // Z45 en retard : la trame ne partirait que pour deux délais dépassés (1,4 s) à
    // chaque entrée libre des autres cartes ; elle ne part pas.
    const QByteArray resultat =
        m_suivi.EnRetard(CarteAux) ? EchecCartes::CarteEnRetard : EnvoiEtReponseGrindel2(corps, 500);
    if (EstEchecCartes(resultat))
        m_journal.MessageStatus(QStringLiteral("erreur") + QStringLiteral(" (Z") + QString::number(45)
                                + QStringLiteral(") Aux") + numAux + QStringLiteral(" ") + etatAux);
    return resultat;
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
    m_recuEnAttente.clear();
    m_journal.MessageStatus(QStringLiteral("perte du port COM") + QString::number(m_reglage.numeroPort)
                            + QStringLiteral(" (") + m_textePerte
                            + QStringLiteral("), nouvel essai d'ouverture toutes les ")
                            + QString::number(m_minuterieReouverture.interval() / 1000.0)
                            + QStringLiteral(" s"));
    m_minuterieReouverture.start();
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
    m_recuEnAttente.clear();
    m_journal.MessageStatus(QStringLiteral("port COM") + QString::number(m_reglage.numeroPort)
                            + QStringLiteral(" rouvert"));
}
