#include "LiaisonCdapi.h"

#include "cdapi/CatalogueCdapi.h"
#include "cdapi/ConnexionCdapi.h"
#include "cdapi/TraceCdapi.h"
#include "base/JournalStatut.h"
#include "config/Configuration.h"

#include <QScopedValueRollback>

namespace {
const QString OrigineSocket = QStringLiteral("WSclient");
const QString TitreTest = QStringLiteral("Test liaison CDAPI : ");

bool EstAckSeul(const QByteArray& texte)
{
    return texte.size() == 1 && texte.at(0) == AckCdapi;
}
} // namespace

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
    // Les résumés d'une rafale finie sont écrits même si plus rien n'arrive.
    m_montre.start();
    m_minuterieResumes.setInterval(1000);
    connect(&m_minuterieResumes, &QTimer::timeout, this, &LiaisonCdapi::EcritResumes);
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

void LiaisonCdapi::RegleTenueAvantRemiseMs(int ms)
{
    m_connexion->RegleTenueAvantRemiseMs(ms);
}

QString LiaisonCdapi::TexteMontre(const QByteArray& texte)
{
    if (texte.size() <= CaracteresMontres)
        return TexteVisible(texte);
    return TexteVisible(texte.left(CaracteresMontres)) + QStringLiteral("… (") + QString::number(texte.size())
           + QStringLiteral(" octets)");
}

int LiaisonCdapi::PlacesLibres() const
{
    int messages = 0;
    for (const MsgCDAPIAEnvoyer& m : FileMsgCDAPI)
        messages += m.acks == 0 ? 1 : 0;
    return MaxMsgEnAttente - messages;
}

void LiaisonCdapi::Refuse(const QByteArray& texte)
{
    m_journal.MessageStatus(QStringLiteral("FILE DES MESSAGES A ENVOYER PLEINE, message refusé : ") + TexteMontre(texte));
}

bool LiaisonCdapi::AjouteMsgCDAPI(const QByteArray& texte, const QString& origine, bool attendreAck)
{
    if (EstAckSeul(texte) && !attendreAck) {
        AjouteAck();
        return true;
    }
    MsgCDAPIAEnvoyer m;
    m.texte = texte;
    m.origine = origine;
    m.attendreAck = attendreAck;
    return Ajoute(m);
}

bool LiaisonCdapi::Ajoute(const MsgCDAPIAEnvoyer& m)
{
    if (PlacesLibres() <= 0) {
        Refuse(m.texte);
        return false;
    }
    FileMsgCDAPI.append(m);
    return true;
}

void LiaisonCdapi::AjouteAck()
{
    // Un ACK dû à l'hôte ne se refuse pas. Ceux qui se suivent en queue de file
    // (l'hôte envoie pendant qu'un message attend son ACK) ne font qu'un élément :
    // la mémoire reste bornée quel que soit le débit de l'hôte. L'élément en vol
    // n'est jamais grossi : ses octets sont peut-être déjà partis.
    const int connexion = m_connexion->NumeroConnexion();
    if (FileMsgCDAPI.size() > 1 && FileMsgCDAPI.last().acks > 0 && FileMsgCDAPI.last().connexion == connexion) {
        ++FileMsgCDAPI.last().acks;
        return;
    }
    MsgCDAPIAEnvoyer m;
    m.texte = QByteArray(1, AckCdapi);
    m.acks = 1;
    m.connexion = connexion;
    FileMsgCDAPI.append(m);
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
    const MsgCDAPIAEnvoyer& tete = FileMsgCDAPI.first();
    // Des ACK dus sur une connexion perdue depuis n'ont plus de destinataire : ils ne
    // rouvrent pas la liaison et ne partent pas sur la suivante.
    if (tete.acks > 0 && (EtatTCPIP() != 7 || tete.connexion != m_connexion->NumeroConnexion())) {
        FileMsgCDAPI.removeFirst();
        return;
    }
    // L'acquittement (code 6) n'est jamais tracé ; la réponse à un message dont la
    // trace est résumée ne l'est pas non plus.
    if (tete.tracer && !tete.texte.isEmpty() && uchar(tete.texte.at(0)) >= 65)
        TraceMessage(tete.texte);
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
    const QByteArray octets = m.acks > 0 ? QByteArray(m.acks, AckCdapi) : m.texte;
    if (!m_connexion->Ecrit(octets)) {
        // La connexion a dit pourquoi, en une ligne.
        Abandonne(NonEnvoye);
        return;
    }
    if (!m.attendreAck) {
        TermineTete();
        return;
    }
    m_depuisEcriture.start();
    m_etat = Etat::AttenteAck;
    m_attenteAck.start();
}

void LiaisonCdapi::TermineTete()
{
    const MsgCDAPIAEnvoyer tete = FileMsgCDAPI.takeFirst();
    m_etat = Etat::Libre;
    if (tete.test)
        DitVerdict(QStringLiteral("réussi (acquitté en ") + QString::number(m_depuisEcriture.elapsed())
                   + QStringLiteral(" ms)"));
    emit envoiTermine(tete.texte, EnvoiReussi);
}

QString LiaisonCdapi::Hote() const
{
    return m_configuration.CdapiAdrServeur + QLatin1Char(':') + m_configuration.CdapiPortServeur;
}

void LiaisonCdapi::DitVerdict(const QString& issue)
{
    // Le verdict est une ligne à lui : les points d'attente de la connexion laissent
    // parfois la ligne ouverte.
    const QString& texte = m_journal.Texte();
    if (!texte.isEmpty() && !texte.endsWith(QLatin1Char('\n')))
        m_journal.MessageStatusSScr(QStringLiteral("\r\n"));
    m_journal.MessageStatus(TitreTest + issue);
}

void LiaisonCdapi::Abandonne(int cause)
{
    m_attenteAck.stop();
    const QByteArray texte = FileMsgCDAPI.isEmpty() ? QByteArray() : FileMsgCDAPI.first().texte;
    m_journal.MessageStatus(QStringLiteral("SUPPRESSION DE TOUS LES MESSAGES A ENVOYER cause ")
                            + QString::number(cause) + QStringLiteral(" sur ") + TexteMontre(texte));
    bool test = false;
    for (const MsgCDAPIAEnvoyer& m : FileMsgCDAPI)
        test = test || m.test;
    // Sans ACK en 2 s, la connexion reste : les ACK dus à l'hôte partent quand même.
    // Sur une connexion perdue, ils n'ont plus de destinataire.
    if (cause == SansAck)
        FileMsgCDAPI.removeIf([](const MsgCDAPIAEnvoyer& m) { return m.acks == 0; });
    else
        FileMsgCDAPI.clear();
    if (test) {
        if (m_configuration.CdapiAdrServeur.isEmpty() || m_configuration.CdapiPortServeur.isEmpty())
            DitVerdict(QStringLiteral("échec, il manque l'adresse ou le port de l'hôte"));
        else if (cause == SansAck)
            DitVerdict(QStringLiteral("échec, l'hôte ") + Hote() + QStringLiteral(" n'a pas acquitté en 2 s"));
        else
            DitVerdict(QStringLiteral("échec, l'hôte ") + Hote() + QStringLiteral(" ne répond pas"));
    }
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

void LiaisonCdapi::EcritResumes()
{
    for (const QString& ligne : m_resumes.Echus(m_montre.elapsed()))
        m_journal.MessageStatus(ligne);
    if (!m_resumes.ResumeEnAttente())
        m_minuterieResumes.stop();
}

void LiaisonCdapi::TraiteMessageRecu(const QByteArray& T)
{
    EcritResumes();
    const bool tracer = m_resumes.Decide(T, m_montre.elapsed()) == ResumeTracesCdapi::Decision::Tracer;
    if (m_resumes.ResumeEnAttente() && !m_minuterieResumes.isActive())
        m_minuterieResumes.start();
    AjouteAck();
    EnvoiMsgCDAPI();
    if (tracer)
        TraceMessage(T);
    Repond(T, OrigineSocket, tracer);
}

void LiaisonCdapi::TraiteMsgCDAPI(const QByteArray& T, const QString& origine)
{
    Repond(T, origine, true);
}

void LiaisonCdapi::Repond(const QByteArray& T, const QString& origine, bool tracer)
{
    MsgCDAPIAEnvoyer m;
    m.origine = origine;
    m.attendreAck = true;
    m.tracer = tracer;
    if (T.startsWith('A')) {
        MsgCDAPIAEnvoyer nulle = m;
        m.texte = ConstruitReponseEjection(T, VarianteDeNorme(m_configuration.NormeCDAPI));
        nulle.texte = ReponseEjectionNulle();
        // La réponse et la réponse nulle qui la clôt vont ensemble : l'hôte ne doit
        // jamais recevoir l'une sans l'autre.
        if (PlacesLibres() < 2) {
            Refuse(m.texte);
            Refuse(nulle.texte);
            return;
        }
        Ajoute(m);
        Ajoute(nulle);
        EnvoiMsgCDAPI();
    } else if (T.startsWith('R')) {
        m.texte = ConstruitReponseIdentification(T);
        Ajoute(m);
        EnvoiMsgCDAPI();
    }
}

void LiaisonCdapi::TraceMessage(const QByteArray& message)
{
    // Un bloc par appel : les lignes d'une trace ne se mêlent jamais à d'autres.
    qsizetype caracteres = 0;
    for (const QString& texte : TraduitMsgCDAPI(message, m_configuration.NormeCDAPI)) {
        m_journal.MessageStatus(texte);
        caracteres += texte.size();
    }
    m_resumes.Compte(caracteres, m_montre.elapsed());
}

void LiaisonCdapi::Bt_TestLiaisonCDAPI_Click()
{
    m_journal.MessageStatus(QStringLiteral("clear"));
    MsgCDAPIAEnvoyer m;
    m.texte = ConstruitIdentificationService();
    m.attendreAck = true;
    m.test = true;
    if (!Ajoute(m)) {
        DitVerdict(QStringLiteral("échec, file des messages à envoyer pleine"));
        return;
    }
    EnvoiMsgCDAPI();
}
