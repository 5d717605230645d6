#include "LiaisonCdapi.h"

#include "cdapi/CatalogueCdapi.h"
#include "cdapi/ConnexionCdapi.h"
#include "cdapi/TraceCdapi.h"
#include "base/JournalStatut.h"
#include "config/Configuration.h"
#include "base/PageDeCode.h"

#include <QScopedValueRollback>

namespace {
const QString OrigineSocket = QStringLiteral("WSclient");
}

LiaisonCdapi::LiaisonCdapi(JournalStatut& journal, const Configuration& configuration, QObject* parent)
    : QObject(parent)
    , m_journal(journal)
    , m_configuration(configuration)
    , m_connexion(new ConnexionCdapi(journal, configuration, this))
{
    connect(m_connexion, &ConnexionCdapi::arrivee, this, &LiaisonCdapi::RecoitArrivee);
    connect(m_connexion, &ConnexionCdapi::connectee, this, &LiaisonCdapi::SurConnectee);
    connect(m_connexion, &ConnexionCdapi::echecConnexion, this, &LiaisonCdapi::SurEchecConnexion);
    connect(m_connexion, &ConnexionCdapi::connectee, this, &LiaisonCdapi::liaisonEtablie);
    connect(m_connexion, &ConnexionCdapi::echecConnexion, this, [this] { emit liaisonCoupee(-1); });
    connect(m_connexion, &ConnexionCdapi::reconnexionPlanifiee, this, &LiaisonCdapi::liaisonCoupee);
    // Attente de l'ACK sur l'horloge monotone de Qt : la règle de minuit devient inutile.
    m_attenteAck.setSingleShot(true);
    m_attenteAck.setTimerType(Qt::PreciseTimer);
    m_attenteAck.setInterval(AttenteAckMs);
    connect(&m_attenteAck, &QTimer::timeout, this, [this] { Abandonne(SansAck); });
    m_pause.setSingleShot(true);
    m_pause.setInterval(PauseApresAbandonMs);
    connect(&m_pause, &QTimer::timeout, this, &LiaisonCdapi::FinPause);
}

LiaisonCdapi::~LiaisonCdapi() = default;

QString LiaisonCdapi::TexteEtatTCPIP(int etat)
{
    return ConnexionCdapi::TexteEtatTCPIP(etat);
}

int LiaisonCdapi::EtatTCPIP() const
{
    return m_connexion->EtatTCPIP();
}

bool LiaisonCdapi::AjouteMsgCDAPI(const QByteArray& texte, const QString& origine, bool attendreAck)
{
    if (FileMsgCDAPI.size() >= MaxMsgEnAttente) {
        m_journal.MessageStatus(QStringLiteral("FILE DES MESSAGES A ENVOYER PLEINE, message refusé : ")
                                + DecodeWindows1252(texte));
        return false;
    }
    FileMsgCDAPI.append({ texte, origine, attendreAck });
    return true;
}

void LiaisonCdapi::EnvoiMsgCDAPI()
{
    Avance();
}

void LiaisonCdapi::Avance()
{
    // Un signal émis pendant l'envoi peut rappeler ici : la boucle en cours
    // enverra aussi ce qui vient d'être ajouté.
    if (m_dansAvance)
        return;
    const QScopedValueRollback<bool> garde(m_dansAvance, true);
    while (m_etat == Etat::Libre && !FileMsgCDAPI.isEmpty())
        CommenceTete();
}

void LiaisonCdapi::CommenceTete()
{
    const QByteArray texte = FileMsgCDAPI.first().texte;
    // L'acquittement (code 6) n'est jamais tracé.
    if (!texte.isEmpty() && uchar(texte.at(0)) >= 65)
        TraceMessage(texte);
    if (m_configuration.CdapiAdrServeur.isEmpty() || m_configuration.CdapiPortServeur.isEmpty()) {
        m_journal.MessageStatus(
            QStringLiteral("IMPOSSIBLE D'ENVOYER EN TCPIP car il manque l'adresse ou le port"));
        Abandonne(NonEnvoye);
        return;
    }
    if (EtatTCPIP() != 7) {
        m_etat = Etat::Connexion;
        m_connexion->DemandeConnexion();
        return;
    }
    EnvoieTete();
}

void LiaisonCdapi::EnvoieTete()
{
    const MsgCDAPIAEnvoyer& m = FileMsgCDAPI.first();
    if (!m_connexion->Ecrit(m.texte)) {
        // La connexion a dit pourquoi, en une ligne.
        Abandonne(NonEnvoye);
        return;
    }
    if (!m.attendreAck) {
        TermineTete();
        return;
    }
    m_etat = Etat::AttenteAck;
    m_attenteAck.start();
}

void LiaisonCdapi::TermineTete()
{
    const QByteArray texte = FileMsgCDAPI.takeFirst().texte;
    m_etat = Etat::Libre;
    emit envoiTermine(texte, EnvoiReussi);
}

void LiaisonCdapi::Abandonne(int cause)
{
    m_attenteAck.stop();
    const QByteArray texte = FileMsgCDAPI.isEmpty() ? QByteArray() : FileMsgCDAPI.first().texte;
    m_journal.MessageStatus(QStringLiteral("SUPPRESSION DE TOUS LES MESSAGES A ENVOYER cause ")
                            + QString::number(cause) + QStringLiteral(" sur ") + DecodeWindows1252(texte));
    FileMsgCDAPI.clear();
    // Pause de 0,25 s : ce qui est ajouté pendant ce temps part à sa fin.
    m_etat = Etat::Pause;
    m_pause.start();
    emit envoiTermine(texte, cause);
}

void LiaisonCdapi::FinPause()
{
    m_etat = Etat::Libre;
    Avance();
}

void LiaisonCdapi::SurConnectee()
{
    if (m_etat != Etat::Connexion)
        return;
    m_etat = Etat::Libre;
    {
        const QScopedValueRollback<bool> garde(m_dansAvance, true);
        EnvoieTete();
    }
    Avance();
}

void LiaisonCdapi::SurEchecConnexion()
{
    if (m_etat == Etat::Connexion)
        Abandonne(NonEnvoye);
}

void LiaisonCdapi::FermeLiaison()
{
    m_connexion->Ferme();
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
    // Un ACK ne termine que l'attente en cours ; hors attente il est sans effet.
    if (ack && m_etat == Etat::AttenteAck) {
        m_attenteAck.stop();
        TermineTete();
        Avance();
    }
    if (T.isEmpty() || !EstTypeCdapiConnu(T.at(0)))
        return;
    TraiteMessageRecu(T);
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
