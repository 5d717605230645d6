#include "RegistreRemises.h"

#include "orders/FichierCommande.h"
#include "base/SystemeFichiers.h"
#include "orders/ListesEchange.h"
#include "base/CheminAffiche.h"
#include "base/JournalStatut.h"
#include "base/PageDeCode.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

// Une commande de plus d'un Mio n'est jamais lancée : au-delà, le fichier ne
// peut pas être celui qu'une ligne du registre décrit. La copie de passation
// ajoute quelques octets par ligne réécrite.
constexpr qint64 TailleMaxCommande = ListesEchange::TailleMaxCommande;
constexpr qint64 TailleMaxCopie = 2 * TailleMaxCommande;
constexpr qint64 RetentionMs = qint64(90) * 24 * 3600 * 1000;
constexpr qint64 IntervalleEssaiMs = 60 * 1000;

// États d'une ligne : la remise commence, elle est faite, le fichier est effacé
// (ou parti), ou elle a été mise de côté faute de savoir si l'hôte l'a prise.
const QString EnRemise = QStringLiteral("en_remise");
const QString Remise = QStringLiteral("remise");
const QString MiseDeCote = QStringLiteral("mise_de_cote");
const QString Effacee = QStringLiteral("effacee");

// Lecture bornée d'un fichier ordinaire (liens suivis, noms hors UTF-8 compris) ;
// faux pour tout le reste (absent, dossier, tube, périphérique, trop grand).
bool LitFichierOrdinaire(const QString& chemin, qint64 tailleMax, QByteArray* contenu)
{
    return SystemeFichiers::LitBorne(chemin, tailleMax, contenu) == ListesEchange::Lecture::Lue;
}

QString Designation(const QString& fichier, const QString& ordre)
{
    return ordre.isEmpty() ? fichier : fichier + QStringLiteral(" (ordre ") + ordre + QStringLiteral(")");
}

} // namespace

RegistreRemises::RegistreRemises(JournalStatut& journal)
    : m_journal(journal)
    , m_maintenant([] { return QDateTime::currentMSecsSinceEpoch(); })
    , m_supprime([](const QString& chemin) { return SystemeFichiers::Supprime(chemin); })
{
    static int numero = 0;
    m_connexion = QStringLiteral("registre-remises-%1").arg(++numero);
}

RegistreRemises::~RegistreRemises()
{
    FermeConnexion();
}

void RegistreRemises::MetHorlogeMurale(std::function<qint64()> maintenant)
{
    m_maintenant = std::move(maintenant);
}

void RegistreRemises::MetSuppression(std::function<bool(const QString&)> supprime)
{
    m_supprime = std::move(supprime);
}

void RegistreRemises::FermeConnexion()
{
    m_ouvert = false;
    if (QSqlDatabase::contains(m_connexion)) {
        QSqlDatabase::database(m_connexion, false).close();
        QSqlDatabase::removeDatabase(m_connexion);
    }
}

bool RegistreRemises::Ouvre(const QString& chemin)
{
    m_chemin = chemin;
    m_dernierEssai = Maintenant();
    FermeConnexion();
    QString erreur;
    {
        QSqlDatabase base = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connexion);
        base.setDatabaseName(chemin);
        // Une base tenue par un autre programme ne doit pas figer la fenêtre longtemps.
        base.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=1000"));
        if (!QFileInfo(QFileInfo(chemin).absolutePath()).isDir())
            erreur = QStringLiteral("dossier absent");
        else if (!base.open())
            erreur = base.lastError().text();
        else
            m_ouvert = true;
    }
    if (m_ouvert) {
        // WAL : l'historique se lit pendant que le service écrit. FULL : chaque
        // validation est sur disque avant l'étape suivante de la remise.
        QSqlQuery q(QSqlDatabase::database(m_connexion, false));
        const bool ok = q.exec(QStringLiteral("PRAGMA journal_mode=WAL")) && q.next()
            && q.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) == 0
            && q.exec(QStringLiteral("PRAGMA synchronous=FULL"))
            && q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS remises ("
                                     " id INTEGER PRIMARY KEY AUTOINCREMENT,"
                                     " fichier TEXT NOT NULL,"
                                     " taille INTEGER NOT NULL,"
                                     " sha256 TEXT NOT NULL,"
                                     " sha256_copie TEXT NOT NULL,"
                                     " ordre TEXT NOT NULL DEFAULT '',"
                                     " tiroir INTEGER NOT NULL,"
                                     " etat TEXT NOT NULL,"
                                     " vue_le INTEGER,"
                                     " debut_le INTEGER NOT NULL,"
                                     " remise_le INTEGER,"
                                     " effacee_le INTEGER,"
                                     " liberee_le INTEGER,"
                                     " liberation TEXT NOT NULL DEFAULT '')"))
            && q.exec(QStringLiteral("CREATE INDEX IF NOT EXISTS remises_etat ON remises (etat)"));
        if (!ok) {
            erreur = q.lastError().text();
            if (erreur.trimmed().isEmpty())
                erreur = QStringLiteral("journal WAL refusé");
            FermeConnexion();
        }
    }
    if (!m_ouvert) {
        Panne(erreur);
        return false;
    }
    if (m_enPanne) {
        m_enPanne = false;
        m_journal.MessageStatus(QStringLiteral("registre des remises de nouveau disponible: ")
                                + CheminAffiche(chemin));
    }
    Execute("DELETE FROM remises WHERE debut_le < ?", { Maintenant() - RetentionMs });
    return m_ouvert;
}

void RegistreRemises::Panne(const QString& erreur)
{
    FermeConnexion();
    m_dernierEssai = Maintenant(); // pas de nouvel essai avant une minute
    if (m_enPanne)
        return; // une ligne par panne, pas une par commande
    m_enPanne = true;
    m_journal.MessageStatus(QStringLiteral("registre des remises indisponible (") + CheminAffiche(m_chemin)
                            + QStringLiteral(" : ") + erreur
                            + QStringLiteral(") : les commandes continuent, mais après un arrêt brutal une commande "
                                             "pourrait être remise deux fois ; nouvel essai dans une minute"));
}

bool RegistreRemises::Pret()
{
    if (m_ouvert)
        return true;
    if (m_chemin.isEmpty() || Maintenant() - m_dernierEssai < IntervalleEssaiMs)
        return false;
    return Ouvre(m_chemin);
}

bool RegistreRemises::Execute(const char* sql, const QList<QVariant>& valeurs, qint64* idInsere)
{
    if (!Pret())
        return false;
    ++m_requetes;
    QSqlQuery q(QSqlDatabase::database(m_connexion, false));
    bool ok = q.prepare(QString::fromLatin1(sql));
    for (const QVariant& v : valeurs)
        q.addBindValue(v);
    ok = ok && q.exec();
    if (!ok) {
        Panne(q.lastError().text());
        return false;
    }
    if (idInsere)
        *idInsere = q.lastInsertId().toLongLong();
    return true;
}

void RegistreRemises::NoteListe(const QStringList& noms)
{
    const qint64 maintenant = Maintenant();
    QHash<QString, qint64> vues;
    vues.reserve(noms.size());
    for (const QString& nom : noms)
        vues.insert(nom, m_vues.value(nom, maintenant));
    m_vues.swap(vues);
}

qint64 RegistreRemises::DebutRemise(const QString& nom, const QByteArray& contenu, const QString& gare)
{
    const qint64 maintenant = Maintenant();
    const QVariant vue = m_vues.contains(nom) ? QVariant(m_vues.value(nom)) : QVariant(QMetaType(QMetaType::LongLong));
    qint64 id = 0;
    if (!Execute("INSERT INTO remises (fichier, taille, sha256, sha256_copie, ordre, tiroir, etat, vue_le, debut_le)"
                 " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)",
                 { nom, qint64(contenu.size()), QString::fromLatin1(Empreinte(contenu)),
                   QString::fromLatin1(Empreinte(FichierCommande::CopiePassation(contenu, gare))), OrdreDe(contenu),
                   gare.toInt(), EnRemise, vue, maintenant },
                 &id))
        return 0;
    m_tiroirsEnRemise.insert(id, gare.toInt());
    return id;
}

void RegistreRemises::RemiseFaite(qint64 id)
{
    if (id <= 0)
        return;
    const int tiroir = m_tiroirsEnRemise.take(id);
    if (Execute("UPDATE remises SET etat = ?, remise_le = ? WHERE id = ?", { Remise, Maintenant(), id }))
        m_attenteTiroirs.insert(tiroir, id);
}

void RegistreRemises::RemiseAbandonnee(qint64 id)
{
    m_tiroirsEnRemise.remove(id);
    if (id > 0)
        Execute("DELETE FROM remises WHERE id = ?", { id });
}

void RegistreRemises::FichierEfface(qint64 id)
{
    if (id > 0)
        Execute("UPDATE remises SET etat = ?, effacee_le = ? WHERE id = ?", { Effacee, Maintenant(), id });
}

void RegistreRemises::TiroirLibere(int tiroir, Liberation cause)
{
    const auto it = m_attenteTiroirs.constFind(tiroir);
    if (it == m_attenteTiroirs.constEnd())
        return; // aucune commande attendue à ce tiroir : rien à écrire
    const qint64 id = it.value();
    m_attenteTiroirs.erase(it);
    Execute("UPDATE remises SET liberee_le = ?, liberation = ? WHERE id = ? AND liberee_le IS NULL",
            { Maintenant(), NomLiberation(cause), id });
}

RegistreRemises::Reglement RegistreRemises::RegleInachevees(const QString& dossierEchange,
                                                              const QString& fichierPassation)
{
    Reglement reglement;
    if (!Pret())
        return reglement;
    struct Ligne
    {
        qint64 id;
        QString fichier, etat, sha, shaCopie, ordre;
        qint64 taille, debut;
        int tiroir;
    };
    QList<Ligne> lignes;
    {
        QSqlQuery q(QSqlDatabase::database(m_connexion, false));
        q.prepare(QStringLiteral("SELECT id, fichier, etat, sha256, sha256_copie, ordre, taille, debut_le, tiroir"
                                 " FROM remises WHERE etat IN (?, ?, ?) ORDER BY id"));
        q.addBindValue(EnRemise);
        q.addBindValue(Remise);
        q.addBindValue(MiseDeCote);
        if (!q.exec()) {
            Panne(q.lastError().text());
            return reglement;
        }
        while (q.next())
            lignes.append({ q.value(0).toLongLong(), q.value(1).toString(), q.value(2).toString(),
                            q.value(3).toString(), q.value(4).toString(), q.value(5).toString(),
                            q.value(6).toLongLong(), q.value(7).toLongLong(), q.value(8).toInt() });
    }

    // La copie qui attend dans le fichier de passation, s'il y en a une.
    QByteArray passation;
    const bool passationLue = LitFichierOrdinaire(fichierPassation, TailleMaxCopie, &passation);
    const QString empreintePassation = passationLue ? QString::fromLatin1(Empreinte(passation)) : QString();

    QStringList avis;
    for (const Ligne& l : lignes) {
        const QString chemin = dossierEchange + l.fichier;
        const QString affiche = CheminAffiche(chemin);
        const QString nom = Designation(l.fichier, l.ordre);
        QByteArray contenu;
        // Même nom mais autre contenu : c'est une nouvelle commande, celle-ci est partie.
        const bool memeFichier = SystemeFichiers::EtatDe(chemin).taille == l.taille
            && LitFichierOrdinaire(chemin, TailleMaxCommande, &contenu)
            && QString::fromLatin1(Empreinte(contenu)) == l.sha;

        QString etat = l.etat;
        if (etat == EnRemise) {
            if (passationLue && empreintePassation == l.shaCopie) {
                // La copie est entière dans le fichier de passation : la remise est faite.
                Execute("UPDATE remises SET etat = ?, remise_le = ? WHERE id = ?", { Remise, l.debut, l.id });
                etat = Remise;
            } else if (memeFichier) {
                Execute("UPDATE remises SET etat = ? WHERE id = ?", { MiseDeCote, l.id });
                etat = MiseDeCote;
            }
        }

        if (!memeFichier) {
            // Fichier parti (ou remplacé par une nouvelle commande) : on le note.
            Execute("UPDATE remises SET etat = ?, effacee_le = ? WHERE id = ?", { Effacee, Maintenant(), l.id });
            continue;
        }
        if (etat == Remise) {
            if (m_supprime(chemin) || !SystemeFichiers::Existe(chemin)) {
                Execute("UPDATE remises SET etat = ?, effacee_le = ? WHERE id = ?", { Effacee, Maintenant(), l.id });
                m_journal.MessageStatus(QStringLiteral("commande ") + nom + QStringLiteral(" deja remise au tiroir ")
                                        + QString::number(l.tiroir) + QStringLiteral(" avant l'arret : fichier ") + affiche
                                        + QStringLiteral(" efface sans nouvelle remise"));
            } else {
                reglement.ecartees.append(chemin);
                m_journal.MessageStatus(QStringLiteral("commande ") + nom + QStringLiteral(" deja remise au tiroir ")
                                        + QString::number(l.tiroir) + QStringLiteral(" avant l'arret ; impossible d'effacer ")
                                        + affiche + QStringLiteral(" : elle ne sera pas relancee"));
            }
        } else {
            reglement.ecartees.append(chemin);
            const QString texte = QStringLiteral("commande ") + nom
                + QStringLiteral(" mise de cote : le service s'est arrete pendant sa remise au tiroir ")
                + QString::number(l.tiroir)
                + QStringLiteral(", on ne peut pas savoir si le robot l'a prise. Elle n'est pas relancee : "
                                 "verifiez au robot, puis effacez ")
                + affiche + QStringLiteral(" ou deposez-la de nouveau sous un autre nom pour la relancer");
            m_journal.MessageStatus(texte);
            avis.append(texte);
        }
    }
    if (!avis.isEmpty())
        reglement.avis = avis.join(QStringLiteral("\r\n\r\n")) + QStringLiteral("\r\n");
    return reglement;
}

QList<RegistreRemises::TiroirEnVol> RegistreRemises::TiroirsEnVol(int nbTiroirs, qint64 tempsMaxMs)
{
    QList<TiroirEnVol> enVol;
    if (!Pret())
        return enVol;
    const qint64 maintenant = Maintenant();
    QList<qint64> aClore;
    {
        QSqlQuery q(QSqlDatabase::database(m_connexion, false));
        // Une remise mise de côté a peut-être été prise par l'hôte : son tiroir
        // attend aussi, depuis le début de la remise.
        q.prepare(QStringLiteral("SELECT id, tiroir, fichier, ordre, COALESCE(remise_le, debut_le) AS quand"
                                 " FROM remises WHERE liberee_le IS NULL ORDER BY quand DESC, id DESC"));
        if (!q.exec()) {
            Panne(q.lastError().text());
            return enVol;
        }
        while (q.next()) {
            const qint64 id = q.value(0).toLongLong();
            const int tiroir = q.value(1).toInt();
            // Une heure murale revenue en arrière ne doit pas allonger l'attente.
            const qint64 ecoule = qMax<qint64>(0, maintenant - q.value(4).toLongLong());
            // La plus récente remise de chaque tiroir seulement, et dans le temps d'attente.
            if (tiroir < 1 || tiroir > nbTiroirs || m_attenteTiroirs.contains(tiroir) || ecoule >= tempsMaxMs) {
                aClore.append(id);
                continue;
            }
            m_attenteTiroirs.insert(tiroir, id);
            enVol.append({ tiroir, q.value(2).toString(), q.value(3).toString(), ecoule });
        }
    }
    for (qint64 id : std::as_const(aClore))
        Execute("UPDATE remises SET liberee_le = ?, liberation = ? WHERE id = ?",
                { maintenant, NomLiberation(Liberation::Tous), id });
    std::sort(enVol.begin(), enVol.end(), [](const TiroirEnVol& a, const TiroirEnVol& b) { return a.tiroir < b.tiroir; });
    return enVol;
}

bool RegistreRemises::LitHistorique(const QString& chemin, qint64 depuisMs, QList<LigneHistorique>* lignes,
                                    QString* erreur)
{
    if (!QFileInfo(chemin).isFile()) {
        *erreur = QStringLiteral("registre introuvable");
        return false;
    }
    const QString connexion = QStringLiteral("registre-historique");
    bool ok = false;
    {
        QSqlDatabase base = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connexion);
        base.setDatabaseName(chemin);
        base.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000"));
        if (!base.open()) {
            *erreur = base.lastError().text();
        } else {
            QSqlQuery q(base);
            q.prepare(QStringLiteral("SELECT fichier, ordre, tiroir, etat, vue_le, remise_le, effacee_le, liberee_le,"
                                     " liberation FROM remises WHERE debut_le >= ? ORDER BY debut_le, id"));
            q.addBindValue(depuisMs);
            ok = q.exec();
            if (!ok)
                *erreur = q.lastError().text();
            while (ok && q.next()) {
                LigneHistorique l;
                l.fichier = q.value(0).toString();
                l.ordre = q.value(1).toString();
                l.tiroir = q.value(2).toInt();
                l.etat = q.value(3).toString();
                l.vueLe = q.value(4).toLongLong();
                l.remiseLe = q.value(5).toLongLong();
                l.effaceeLe = q.value(6).toLongLong();
                l.libereeLe = q.value(7).toLongLong();
                l.liberation = LiberationDeNom(q.value(8).toString());
                lignes->append(l);
            }
            base.close();
        }
    }
    QSqlDatabase::removeDatabase(connexion);
    return ok;
}

QString RegistreRemises::NomLiberation(Liberation cause)
{
    switch (cause) {
    case Liberation::Datagramme: return QStringLiteral("datagramme");
    case Liberation::Temps: return QStringLiteral("temps");
    case Liberation::Clic: return QStringLiteral("clic");
    case Liberation::Tous: return QStringLiteral("tous");
    case Liberation::Aucune: break;
    }
    return QString();
}

RegistreRemises::Liberation RegistreRemises::LiberationDeNom(const QString& nom)
{
    for (Liberation cause : { Liberation::Datagramme, Liberation::Temps, Liberation::Clic, Liberation::Tous })
        if (nom == NomLiberation(cause))
            return cause;
    return Liberation::Aucune;
}

QString RegistreRemises::OrdreDe(const QByteArray& contenu)
{
    for (const QByteArray& ligne : FichierCommande::DecoupeLignes(contenu))
        if (FichierCommande::ClasseLigne(ligne) == FichierCommande::MotCle::Ordre)
            return DecodeWindows1252(ligne.mid(10, 10)).trimmed();
    return QString();
}

QByteArray RegistreRemises::Empreinte(const QByteArray& octets)
{
    return QCryptographicHash::hash(octets, QCryptographicHash::Sha256).toHex();
}
