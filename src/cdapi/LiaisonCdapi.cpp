#include "LiaisonCdapi.h"

#include "cdapi/CatalogueCdapi.h"
#include "cdapi/TraceCdapi.h"
#include "base/Horloge.h"
#include "base/JournalStatut.h"
#include "config/Configuration.h"
#include "config/LectureNombre.h"
#include "base/PageDeCode.h"

#include <QTcpSocket>

namespace {
const QString OrigineSocket = QStringLiteral("WSclient");
}

LiaisonCdapi::LiaisonCdapi(JournalStatut& journal, Horloge& horloge, const Configuration& configuration,
                           QObject* parent)
    : QObject(parent)
    , m_journal(journal)
    , m_horloge(horloge)
    , m_configuration(configuration)
    , WSclient(new QTcpSocket(this))
{
    connect(WSclient, &QTcpSocket::readyRead, this, &LiaisonCdapi::WSclient_DataArrival);
    connect(WSclient, &QTcpSocket::disconnected, this, &LiaisonCdapi::NoteDeconnexion);
    connect(WSclient, &QTcpSocket::errorOccurred, this, &LiaisonCdapi::NoteErreur);
    m_minuterieArrivees.setSingleShot(true);
    m_minuterieArrivees.setInterval(0);
    connect(&m_minuterieArrivees, &QTimer::timeout, this, &LiaisonCdapi::TraiteArriveesEnAttente);
}

LiaisonCdapi::~LiaisonCdapi()
{
    WSclient->disconnect(this);
    WSclient->abort();
}

int LiaisonCdapi::IndexSuivant(int index)
{
    ++index;
    return index > 20 ? 1 : index;
}

int LiaisonCdapi::NombreMsgEnAttente() const
{
    return (IndexEcritureMsg - IndexLectureMsg + 20) % 20;
}

bool LiaisonCdapi::AjouteMsgCDAPI(const QByteArray& texte, const QString& origine, bool attendreAck)
{
    // L'anneau de 20 places tient 19 messages : un vingtième rendrait les index
    // égaux (file vue vide) et le suivant écraserait un message en attente.
    if (IndexSuivant(IndexEcritureMsg) == IndexLectureMsg) {
        m_journal.MessageStatus(QStringLiteral("FILE DES MESSAGES A ENVOYER PLEINE, message refusé : ")
                                + DecodeWindows1252(texte));
        return false;
    }
    MsgCDAPIAEnvoyer& m = FileMsgCDAPI[size_t(IndexEcritureMsg)];
    m.texte = texte;
    m.origine = origine;
    m.attendreAck = attendreAck;
    IndexEcritureMsg = IndexSuivant(IndexEcritureMsg);
    return true;
}

void LiaisonCdapi::EnvoiMsgCDAPI()
{
    for (;;) {
        if (IndexLectureMsg == IndexEcritureMsg)
            return;
        // Un appel plus haut est déjà en train d'envoyer : il enverra aussi ce qui
        // vient d'être ajouté, puisqu'il compare les index avant chaque message.
        if (EnvoiEnCours)
            return;
        EnvoiEnCours = true;

        const MsgCDAPIAEnvoyer m = FileMsgCDAPI[size_t(IndexLectureMsg)];
        // L'acquittement (code 6) n'est jamais tracé.
        if (!m.texte.isEmpty() && uchar(m.texte.at(0)) >= 65)
            TraceMessage(m.texte);

        const int r = EnvoiMsgTCPIPclient(m.texte, m.attendreAck);
        if (r == EnvoiReussi) {
            IndexLectureMsg = IndexSuivant(IndexLectureMsg);
            EnvoiEnCours = false;
            continue;
        }
        m_journal.MessageStatus(QStringLiteral("SUPPRESSION DE TOUS LES MESSAGES A ENVOYER cause ")
                                + QString::number(r) + QStringLiteral(" sur ") + DecodeWindows1252(m.texte));
        IndexLectureMsg = IndexEcritureMsg;
        m_horloge.timePause(0.25);
        EnvoiEnCours = false;
    }
}

int LiaisonCdapi::EnvoiMsgTCPIPclient(const QByteArray& texte, bool attendreAck)
{
    if (m_configuration.CdapiAdrServeur.isEmpty() || m_configuration.CdapiPortServeur.isEmpty()) {
        m_journal.MessageStatus(
            QStringLiteral("IMPOSSIBLE D'ENVOYER EN TCPIP car il manque l'adresse ou le port"));
        return NonEnvoye;
    }

    if (EtatTCPIP() != 7)
        ConnecteServeur();

    if (EtatTCPIP() != 7) {
        m_journal.MessageStatus(TexteEtatTCPIP(EtatTCPIP()));
        return NonEnvoye;
    }

    AckRecu = false;
    WSclient->write(texte);
    WSclient->flush();
    m_horloge.Cede();
    if (!attendreAck)
        return EnvoiReussi;

    // L'acquittement arrive par WSclient_DataArrival pendant les cessions.
    const qint64 debut = m_horloge.get_exact_milli_second();
    for (;;) {
        m_horloge.Cede();
        if (AckRecu)
            return EnvoiReussi;
        m_horloge.Dort(10);
        if (m_horloge.get_exact_milli_second() > debut + AttenteAckMs)
            break;
    }
    return SansAck;
}

void LiaisonCdapi::ConnecteServeur()
{
    m_journal.MessageStatus(TexteEtatTCPIP(EtatTCPIP()));
    if (EtatTCPIP() != 0) {
        m_journal.MessageStatus(QStringLiteral("demande close"));
        FermeSocket();
        m_horloge.Cede();
    }
    const QString& adresse = m_configuration.CdapiAdrServeur;
    const QString& port = m_configuration.CdapiPortServeur;
    m_journal.MessageStatus(QStringLiteral("demande connection sur ") + adresse + QStringLiteral(" port ")
                            + port);

    m_fermetureDemandee = false;
    m_etatRetenu = 0;
    const qint32 numero = LitNombre(port);
    if (numero < 1 || numero > 65535) {
        // Un numéro hors des ports TCP ne peut pas se connecter : c'est une erreur.
        m_etatRetenu = 9;
    } else {
        WSclient->connectToHost(adresse.trimmed(), quint16(numero));
    }
    m_horloge.Cede();

    const qint64 debut = m_horloge.get_exact_milli_second();
    int passes = 0;
    while (EtatTCPIP() == 4 || EtatTCPIP() == 6) {
        if (m_horloge.get_exact_milli_second() - debut >= AttenteConnexionMaxMs) {
            WSclient->abort();
            m_etatRetenu = 9;
            m_journal.MessageStatus(QStringLiteral("délai de connection dépassé (5 s)"));
            break;
        }
        m_horloge.Cede();
        m_journal.MessageStatusSScr(QStringLiteral("."));
        ++passes;
        m_horloge.timePause(passes <= 20 ? 0.05 : 0.5);
    }
}

QString LiaisonCdapi::TexteEtatTCPIP(int etat)
{
    switch (etat) {
    case 0: return QStringLiteral("port ferme");
    case 1: return QStringLiteral("port ouvert");
    case 2: return QStringLiteral("port à l'ecoute");
    case 3: return QStringLiteral("port connection en attente");
    case 4: return QStringLiteral("port hote en cours de resolution");
    case 5: return QStringLiteral("port hote resolu");
    case 6: return QStringLiteral("port en cours de connection");
    case 7: return QStringLiteral("port connecte");
    case 8: return QStringLiteral("port Connexion en cours de fermeture par l'homologue");
    case 9: return QStringLiteral("port Erreur");
    default: return QStringLiteral("state n° ") + QString::number(etat) + QStringLiteral(" Etat inconnu");
    }
}

int LiaisonCdapi::EtatTCPIP() const
{
    switch (WSclient->state()) {
    case QAbstractSocket::UnconnectedState: return m_etatRetenu;
    case QAbstractSocket::HostLookupState: return 4;
    case QAbstractSocket::ConnectingState: return 6;
    case QAbstractSocket::ConnectedState: return 7;
    case QAbstractSocket::BoundState: return 1;
    case QAbstractSocket::ListeningState: return 2;
    case QAbstractSocket::ClosingState: return 8;
    }
    return m_etatRetenu;
}

void LiaisonCdapi::NoteDeconnexion()
{
    if (!m_fermetureDemandee && m_etatRetenu == 0)
        m_etatRetenu = 8;
}

void LiaisonCdapi::NoteErreur(QAbstractSocket::SocketError erreur)
{
    if (m_fermetureDemandee)
        return;
    m_etatRetenu = erreur == QAbstractSocket::RemoteHostClosedError ? 8 : 9;
}

void LiaisonCdapi::FermeSocket()
{
    m_fermetureDemandee = true;
    WSclient->close();
    m_etatRetenu = 0;
}

void LiaisonCdapi::FermeLiaison()
{
    if (EtatTCPIP() == 0)
        return;
    m_journal.MessageStatus(QStringLiteral("fermeture de la liaison TCPIP client"));
    FermeSocket();
}

void LiaisonCdapi::WSclient_DataArrival()
{
    // Qt n'émet plus readyRead tant que ce slot tourne : on lit tout ce qui attend,
    // et rien ici n'attend ni ne cède.
    QByteArray D;
    while (WSclient->bytesAvailable() > 0)
        D += WSclient->readAll();
    RecoitArrivee(D);
}

void LiaisonCdapi::RecoitArrivee(const QByteArray& D)
{
    // Chaque arrivée est un message entier ; rien ne passe d'une arrivée à l'autre.
    QByteArray T;
    T.reserve(D.size());
    bool ack = false;
    for (char c : D) {
        if (c == AckCdapi)
            ack = true;
        else
            T += c;
    }
    if (ack)
        AckRecu = true;
    if (T.isEmpty() || !EstTypeCdapiConnu(T.at(0)))
        return;
    // La réponse à un A ou un R attend son propre acquittement : la traiter ici,
    // sous readyRead, ne le laisserait jamais arriver.
    m_arrivees.append(T);
    m_minuterieArrivees.start();
}

void LiaisonCdapi::TraiteArriveesEnAttente()
{
    while (!m_arrivees.isEmpty())
        TraiteMessageRecu(m_arrivees.takeFirst());
}

void LiaisonCdapi::TraiteMessageRecu(const QByteArray& T)
{
    AjouteMsgCDAPI(QByteArray(1, AckCdapi), QString(), false);
    EnvoiMsgCDAPI();
    TraceMessage(T);
    TraiteMsgCDAPI(T, OrigineSocket);
}

void LiaisonCdapi::TraiteMsgCDAPI(const QByteArray& T, const QString& origine)
{
    if (T.startsWith('A')) {
        AjouteMsgCDAPI(ConstruitReponseEjection(T, VarianteDeNorme(m_configuration.NormeCDAPI)), origine, true);
        AjouteMsgCDAPI(ReponseEjectionNulle(), origine, true);
        EnvoiMsgCDAPI();
    } else if (T.startsWith('R')) {
        AjouteMsgCDAPI(ConstruitReponseIdentification(T), origine, true);
        EnvoiMsgCDAPI();
    }
}

void LiaisonCdapi::TraceMessage(const QByteArray& message)
{
    // Un bloc par appel : les lignes d'une trace ne se mêlent jamais à d'autres.
    for (const QString& texte : TraduitMsgCDAPI(message, m_configuration.NormeCDAPI))
        m_journal.MessageStatus(texte);
}

void LiaisonCdapi::Bt_TestLiaisonCDAPI_Click()
{
    m_journal.MessageStatus(QStringLiteral("clear"));
    AjouteMsgCDAPI(ConstruitIdentificationService(), QString(), true);
    EnvoiMsgCDAPI();
}
