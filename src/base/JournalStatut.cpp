#include "JournalStatut.h"

#include <QDateTime>
#include <QElapsedTimer>

#include <cstdio>

namespace {
const QString FinDeLigne = QStringLiteral("\r\n");
}

JournalStatut::JournalStatut(QObject* parent)
    : QObject(parent)
{
    m_minuterieResumes.setInterval(int(ResumeRepetitions::FenetreMs));
    connect(&m_minuterieResumes, &QTimer::timeout, this, &JournalStatut::EcritResumesEchus);
}

void JournalStatut::MessageStatus(const QString& messy)
{
    MessageStatus(messy, QString());
}

void JournalStatut::MessageStatus(const QString& messy, const QString& genre)
{
    if (!m_resumes || messy.toUpper() == QLatin1String("CLEAR")) {
        Ajoute(messy, true);
        return;
    }
    const QStringList lignes = m_resumes->Filtre(messy, genre, m_horlogeResumes());
    for (const QString& ligne : lignes)
        Ajoute(ligne, true);
    if (lignes.isEmpty() && !m_minuterieResumes.isActive())
        m_minuterieResumes.start();
}

void JournalStatut::ActiveResumes(std::function<qint64()> horlogeMs)
{
    if (!horlogeMs) {
        auto chrono = std::make_shared<QElapsedTimer>();
        chrono->start();
        horlogeMs = [chrono] { return chrono->elapsed(); };
    }
    m_horlogeResumes = std::move(horlogeMs);
    m_resumes = std::make_unique<ResumeRepetitions>();
}

void JournalStatut::EcritResumesEchus()
{
    if (!m_resumes)
        return;
    for (const QString& ligne : m_resumes->Echues(m_horlogeResumes()))
        Ajoute(ligne, true);
    if (!m_resumes->ResumeEnAttente())
        m_minuterieResumes.stop();
}

void JournalStatut::MessageStatusSScr(const QString& messy)
{
    Ajoute(messy, false);
}

void JournalStatut::Ajoute(const QString& messy, bool finDeLigne)
{
    if (messy.toUpper() == QLatin1String("CLEAR")) {
        m_texte.clear();
        m_curseur = 0;
        if (m_filtreAux)
            m_filtreAux->Oublie();
        emit texteRemplace(m_texte);
        return;
    }
    // Un NUL couperait le texte de la boîte (les identifications CDAPI en finissent par un).
    QString morceau = messy;
    morceau.remove(QChar(0));
    if (finDeLigne)
        morceau += FinDeLigne;

    // Une sortie auxiliaire redite va au fichier seulement. Une ligne continuée par
    // MessageStatusSScr n'est jamais tue (le filtre ne voit que des lignes entières).
    if (finDeLigne && m_filtreAux && (m_texte.isEmpty() || m_texte.endsWith(FinDeLigne))
        && !m_filtreAux->AMontrer(messy)) {
        EcritFichier(morceau);
        return;
    }

    m_texte += morceau;
    m_curseur = qMax(0, int(m_texte.size()) - 1);
    EcritFichier(morceau);

    if (finDeLigne && m_texte.size() > TailleMaximale) {
        m_texte = QStringLiteral("....") + FinDeLigne;
        if (m_filtreAux)
            m_filtreAux->Oublie();
        emit texteRemplace(m_texte);
    } else {
        emit texteAjoute(morceau);
    }
}

bool JournalStatut::OuvreFichierJournal(const QString& chemin, QString* erreur, int joursConservation)
{
    if (!m_fichier.Ouvre(chemin, joursConservation, m_horlogeMurale().date(), erreur))
        return false;
    m_debutLigneFichier = true;
    return true;
}

// Le fichier reçoit exactement le texte du journal, CR LF devenu "\n", chaque
// ligne commençant par l'heure locale ; jamais tronqué, écrit sans tampon.
void JournalStatut::EcritFichier(const QString& morceau)
{
    if (!m_fichier.EstOuvert())
        return;
    const QDateTime maintenant = m_horlogeMurale();
    // Après un échec, le début de la ligne est perdu : la suite reprend avec son heure.
    if (m_fichier.EnEchec())
        m_debutLigneFichier = true;
    const bool debutDeLigne = m_debutLigneFichier;
    QString texte = morceau;
    texte.replace(FinDeLigne, QStringLiteral("\n"));
    QByteArray sortie;
    const QStringList lignes = texte.split(QLatin1Char('\n'));
    for (int i = 0; i < lignes.size(); ++i) {
        const bool suivieDeFin = i + 1 < lignes.size();
        if (lignes[i].isEmpty() && !suivieDeFin)
            break;
        if (m_debutLigneFichier) {
            sortie += maintenant.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz ")).toUtf8();
            m_debutLigneFichier = false;
        }
        sortie += lignes[i].toUtf8();
        if (suivieDeFin) {
            sortie += '\n';
            m_debutLigneFichier = true;
        }
    }
    SignaleEtatFichier(m_fichier.Ecrit(sortie, maintenant.date(), debutDeLigne));
}

// Une ligne au journal et sur la sortie d'erreur quand l'écriture échoue, une autre
// quand elle reprend ; rien entre les deux (les lignes perdues ne se comptent pas).
void JournalStatut::SignaleEtatFichier(JournalFichier::Etat etat)
{
    QString ligne;
    if (etat == JournalFichier::Etat::EchecNouveau)
        ligne = QStringLiteral("journal %1 : écriture impossible (%2)")
                    .arg(m_fichier.Chemin(), m_fichier.DerniereErreur());
    else if (etat == JournalFichier::Etat::Retabli)
        ligne = QStringLiteral("journal %1 : écriture rétablie").arg(m_fichier.Chemin());
    else if (etat == JournalFichier::Etat::Rouvert)
        ligne = QStringLiteral("journal %1 : fichier efface ou deplace pendant la marche, nouveau fichier")
                    .arg(m_fichier.Chemin());
    else
        return;
    const QByteArray octets = (ligne + QLatin1Char('\n')).toUtf8();
    std::fwrite(octets.constData(), 1, size_t(octets.size()), stderr);
    std::fflush(stderr);
    // Écrite aussi au fichier quand il remarche ; en échec, l'essai échoue sans nouveau signal.
    m_debutLigneFichier = true;
    MessageStatus(ligne);
}
