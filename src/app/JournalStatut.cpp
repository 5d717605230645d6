#include "JournalStatut.h"

#include <QDateTime>

namespace {
const QString FinDeLigne = QStringLiteral("\r\n");
}

JournalStatut::JournalStatut(QObject* parent)
    : QObject(parent)
{
}

void JournalStatut::MessageStatus(const QString& messy)
{
    Ajoute(messy, true);
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
        emit texteRemplace(m_texte);
        return;
    }
    // Un NUL couperait le texte de la boîte (les identifications CDAPI en finissent par un).
    QString morceau = messy;
    morceau.remove(QChar(0));
    if (finDeLigne)
        morceau += FinDeLigne;

    m_texte += morceau;
    m_curseur = qMax(0, int(m_texte.size()) - 1);
    EcritFichier(morceau);

    if (finDeLigne && m_texte.size() > TailleMaximale) {
        m_texte = QStringLiteral("....") + FinDeLigne;
        emit texteRemplace(m_texte);
    } else {
        emit texteAjoute(morceau);
    }
}

bool JournalStatut::OuvreFichierJournal(const QString& chemin, QString* erreur)
{
    m_fichier.setFileName(chemin);
    if (!m_fichier.open(QIODevice::WriteOnly | QIODevice::Append)) {
        if (erreur)
            *erreur = m_fichier.errorString();
        return false;
    }
    m_debutLigneFichier = true;
    return true;
}

// Le fichier reçoit exactement le texte du journal, CR LF devenu "\n", chaque
// ligne commençant par l'heure locale ; jamais tronqué, vidé après chaque écriture.
void JournalStatut::EcritFichier(const QString& morceau)
{
    if (!m_fichier.isOpen())
        return;
    QString texte = morceau;
    texte.replace(FinDeLigne, QStringLiteral("\n"));
    QByteArray sortie;
    const QStringList lignes = texte.split(QLatin1Char('\n'));
    for (int i = 0; i < lignes.size(); ++i) {
        const bool suivieDeFin = i + 1 < lignes.size();
        if (lignes[i].isEmpty() && !suivieDeFin)
            break;
        if (m_debutLigneFichier) {
            sortie += QDateTime::currentDateTime()
                          .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz "))
                          .toUtf8();
            m_debutLigneFichier = false;
        }
        sortie += lignes[i].toUtf8();
        if (suivieDeFin) {
            sortie += '\n';
            m_debutLigneFichier = true;
        }
    }
    m_fichier.write(sortie);
    m_fichier.flush();
}
