#include "RegistreRemises.h"

#include "orders/FichierCommande.h"
#include "base/CheminAffiche.h"
#include "base/JournalStatut.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>


namespace {

constexpr qint64 RetentionMs = qint64(90) * 24 * 3600 * 1000;
constexpr qint64 IntervallePurgeMs = qint64(24) * 3600 * 1000;

qint64 MonotoneSysteme()
{
    static QElapsedTimer depart = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return depart.elapsed();
}

const QString EnRemise = QStringLiteral("en_remise");
const QString Remise = QStringLiteral("remise");
const QString MiseDeCote = QStringLiteral("mise_de_cote");
const QString Effacee = QStringLiteral("effacee");

RegistreRemises::Etat EtatDeNom(const QString& nom)
{
    if (nom == Remise)
        return RegistreRemises::Etat::Remise;
    if (nom == MiseDeCote)
        return RegistreRemises::Etat::MiseDeCote;
    if (nom == Effacee)
        return RegistreRemises::Etat::Effacee;
    return RegistreRemises::Etat::EnRemise;
}

} // namespace

RegistreRemises::RegistreRemises(JournalStatut& journal, QObject* parent)
    : QObject(parent)
    , m_journal(journal)
    , m_base(journal)
    , m_maintenant([] { return QDateTime::currentMSecsSinceEpoch(); })
    , m_monotone(&MonotoneSysteme)
{
}

RegistreRemises::~RegistreRemises()
{
    FermeConnexion();
}

void RegistreRemises::MetHorlogeMurale(std::function<qint64()> maintenant)
{
    m_maintenant = std::move(maintenant);
}

void RegistreRemises::MetHorlogeMonotone(std::function<qint64()> monotone)
{
    m_monotone = std::move(monotone);
}

void RegistreRemises::FermeConnexion()
{
    m_ouvert = false;
    m_base.Ferme();
}

bool RegistreRemises::Ouvre(const QString& chemin)
{
    m_chemin = chemin;
    m_essaiPermis = false;
    m_ouvert = false;
    QString erreur;
    if (!m_base.Ouvre(chemin, m_racine, Maintenant(), &erreur)) {
        if (!m_base.AutreRacine().isEmpty())
            return false; // refus : c'est à l'appelant d'arrêter le service
        Panne(erreur);
        return false;
    }
    m_ouvert = true;
    // Après une panne, le retour n'est dit qu'à la première écriture réussie : une
    // base qui s'ouvre mais n'écrit toujours pas ne doit pas allumer puis couper
    // la protection à chaque remise.
    if (!m_enPanne)
        MetProtection(true);
    m_purgeFaite = false;
    PurgeSiLeJourEstPasse();
    return m_ouvert;
}

void RegistreRemises::Ferme()
{
    // Ouvert ou en panne, rien ne doit rester à côté de la base (-wal, -shm).
    m_ouvert = false;
    m_base.FermeALArret();
    m_chemin.clear(); // plus de nouvel essai
}

bool RegistreRemises::VerifieIdentite()
{
    if (!m_ouvert || m_base.ToujoursAuChemin())
        return true;
    // Effacé ou remplacé pendant la marche : écrire dans le fichier ouvert ne
    // protégerait plus rien après un arrêt. Un registre neuf est créé.
    m_journal.MessageStatus(QStringLiteral("registre des remises efface ou remplace pendant la marche (")
                            + CheminAffiche(m_chemin) + QStringLiteral(") : un nouveau registre est cree"));
    FermeConnexion();
    m_attenteTiroirs.clear();
    return Ouvre(m_chemin);
}

void RegistreRemises::MetProtection(bool active)
{
    if (m_protection == int(active))
        return;
    m_protection = int(active);
    emit protectionChangee(active);
}

void RegistreRemises::Panne(const QString& erreur)
{
    FermeConnexion();
    MetProtection(false);
    if (m_enPanne)
        return; // une ligne par panne, pas une par commande
    m_enPanne = true;
    m_journal.MessageStatus(QStringLiteral("registre des remises indisponible (") + CheminAffiche(m_chemin)
                            + QStringLiteral(" : ") + erreur
                            + QStringLiteral(") : les commandes continuent, mais après un arrêt brutal une commande "
                                             "pourrait être remise deux fois ; nouvel essai à la prochaine remise"));
}

bool RegistreRemises::Pret()
{
    if (m_ouvert)
        return true;
    // Un nouvel essai par remise : une erreur passagère (disque plein un instant,
    // erreur d'entrée-sortie sur le -wal) ne coupe la protection que pour la
    // remise où elle est arrivée. Les autres étapes de cette remise n'insistent pas.
    if (m_chemin.isEmpty() || !m_essaiPermis)
        return false;
    m_essaiPermis = false;
    return Ouvre(m_chemin);
}

void RegistreRemises::PurgeSiLeJourEstPasse()
{
    if (m_purgeFaite && m_monotone() - m_dernierePurge < IntervallePurgeMs)
        return;
    m_purgeFaite = true;
    m_dernierePurge = m_monotone();
    // Seules les lignes closes (fichier effacé, tiroir libéré) partent : une heure
    // murale avancée de plusieurs mois ne doit pas effacer ce que la reprise attend.
    const qint64 limite = Maintenant() - RetentionMs;
    bool aPurger = false;
    if (!Execute("SELECT 1 FROM remises WHERE debut_le < ? AND etat = ? AND liberee_le IS NOT NULL LIMIT 1",
                 { limite, Effacee }, nullptr, &aPurger)
        || !aPurger)
        return;
    // La limite est notée avant de retirer quoi que ce soit : le rapport ne doit
    // jamais montrer un jour purgé comme un jour sans commande. Un arrêt entre les
    // deux ne fait que dire incomplets des jours qui le seront à la purge suivante.
    if (Execute("DELETE FROM completude", {})
        && Execute("INSERT INTO completude (complet_depuis) VALUES (?)", { limite }))
        Execute("DELETE FROM remises WHERE debut_le < ? AND etat = ? AND liberee_le IS NOT NULL", { limite, Effacee });
}

bool RegistreRemises::Execute(const char* sql, const QList<QVariant>& valeurs, qint64* idInsere, bool* uneLigne)
{
    if (!Pret())
        return false;
    ++m_requetes;
    QSqlQuery q(m_base.Base());
    bool ok = q.prepare(QString::fromLatin1(sql));
    for (const QVariant& v : valeurs)
        q.addBindValue(v);
    ok = ok && q.exec();
    if (!ok) {
        Panne(q.lastError().text());
        return false;
    }
    if (m_enPanne && !uneLigne) {
        m_enPanne = false;
        m_journal.MessageStatus(QStringLiteral("registre des remises de nouveau disponible: ")
                                + CheminAffiche(m_chemin));
        MetProtection(true);
    }
    if (idInsere)
        *idInsere = q.lastInsertId().toLongLong();
    if (uneLigne)
        *uneLigne = q.next();
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
    m_essaiPermis = true;
    if (m_ouvert && VerifieIdentite() && m_ouvert)
        PurgeSiLeJourEstPasse();
    const qint64 maintenant = Maintenant();
    // Une commande sans ligne "ordre" est légale : un texte vide, jamais NULL
    // (la colonne le refuse et le registre se couperait).
    QString ordre = FichierCommande::OrdreDe(contenu);
    if (ordre.isNull())
        ordre = QLatin1String("");
    const QVariant vue = m_vues.contains(nom) ? QVariant(m_vues.value(nom)) : QVariant(QMetaType(QMetaType::LongLong));
    qint64 id = 0;
    if (!Execute("INSERT INTO remises (fichier, taille, sha256, sha256_copie, ordre, tiroir, etat, vue_le, debut_le)"
                 " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)",
                 { nom, qint64(contenu.size()), QString::fromLatin1(Empreinte(contenu)),
                   QString::fromLatin1(Empreinte(FichierCommande::CopiePassation(contenu, gare))), ordre,
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

void RegistreRemises::RemiseAbandonnee(qint64 id, bool videSurDisque)
{
    m_tiroirsEnRemise.remove(id);
    if (id > 0 && videSurDisque)
        Execute("DELETE FROM remises WHERE id = ?", { id });
}

void RegistreRemises::MiseDeCoteEnMarche(qint64 id)
{
    if (id <= 0)
        return;
    const int tiroir = m_tiroirsEnRemise.take(id);
    if (Execute("UPDATE remises SET etat = ? WHERE id = ?", { MiseDeCote, id }))
        m_attenteTiroirs.insert(tiroir, id);
}

void RegistreRemises::FichierEfface(qint64 id)
{
    if (id > 0)
        Execute("UPDATE remises SET etat = ?, effacee_le = ? WHERE id = ?", { Effacee, Maintenant(), id });
}

void RegistreRemises::NoteEffacement(qint64 id, bool dossierSurDisque, const QString& dossier)
{
    if (dossierSurDisque) {
        FichierEfface(id);
        if (m_effacementNonConfirme)
            m_journal.MessageStatus(QStringLiteral("dossier ") + CheminAffiche(dossier)
                                    + QStringLiteral(" : effacements de nouveau confirmes par le disque"));
        m_effacementNonConfirme = false;
        return;
    }
    if (m_effacementNonConfirme)
        return;
    m_effacementNonConfirme = true;
    m_journal.MessageStatus(QStringLiteral("dossier ") + CheminAffiche(dossier)
                            + QStringLiteral(" : le disque ne confirme pas l'effacement des commandes remises ; elles "
                                             "restent notees remises au registre, le prochain demarrage les reglera"));
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

bool RegistreRemises::LignesInachevees(QList<LigneInachevee>* lignes)
{
    if (!Pret())
        return false;
    QSqlQuery q(m_base.Base());
    q.prepare(QStringLiteral("SELECT id, fichier, etat, sha256, sha256_copie, ordre, taille, debut_le, tiroir"
                             " FROM remises WHERE etat IN (?, ?, ?) ORDER BY id"));
    q.addBindValue(EnRemise);
    q.addBindValue(Remise);
    q.addBindValue(MiseDeCote);
    if (!q.exec()) {
        Panne(q.lastError().text());
        return false;
    }
    while (q.next())
        lignes->append({ q.value(0).toLongLong(), q.value(1).toString(), EtatDeNom(q.value(2).toString()),
                         q.value(3).toString(), q.value(4).toString(), q.value(5).toString(),
                         q.value(6).toLongLong(), q.value(7).toLongLong(), q.value(8).toInt() });
    return true;
}

void RegistreRemises::NoteRemiseReconnue(qint64 id, qint64 quand)
{
    Execute("UPDATE remises SET etat = ?, remise_le = ? WHERE id = ?", { Remise, quand, id });
}

void RegistreRemises::NoteMiseDeCote(qint64 id)
{
    Execute("UPDATE remises SET etat = ? WHERE id = ?", { MiseDeCote, id });
}

bool RegistreRemises::LignesNonLiberees(QList<LigneNonLiberee>* lignes)
{
    if (!Pret())
        return false;
    QSqlQuery q(m_base.Base());
    // Une remise mise de côté a peut-être été prise par l'hôte : son tiroir
    // attend aussi, depuis le début de la remise.
    q.prepare(QStringLiteral("SELECT id, tiroir, fichier, ordre, COALESCE(remise_le, debut_le) AS quand"
                             " FROM remises WHERE liberee_le IS NULL ORDER BY quand DESC, id DESC"));
    if (!q.exec()) {
        Panne(q.lastError().text());
        return false;
    }
    while (q.next())
        lignes->append({ q.value(0).toLongLong(), q.value(1).toInt(), q.value(2).toString(), q.value(3).toString(),
                         q.value(4).toLongLong() });
    return true;
}

void RegistreRemises::NoteAttenteTiroir(int tiroir, qint64 id)
{
    m_attenteTiroirs.insert(tiroir, id);
}

void RegistreRemises::CloreParLiberationGenerale(const QList<qint64>& ids)
{
    if (ids.isEmpty() || !Pret())
        return;
    // Une seule validation sur disque pour toutes, pas une par ligne.
    const qint64 maintenant = Maintenant();
    QSqlDatabase base = m_base.Base();
    if (!base.transaction()) {
        Panne(base.lastError().text());
        return;
    }
    for (qint64 id : ids)
        if (!Execute("UPDATE remises SET liberee_le = ?, liberation = ? WHERE id = ?",
                     { maintenant, NomLiberation(Liberation::Tous), id }))
            return; // la panne a fermé la connexion, et annulé la transaction
    if (!base.commit())
        Panne(base.lastError().text());
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

QByteArray RegistreRemises::Empreinte(const QByteArray& octets)
{
    return QCryptographicHash::hash(octets, QCryptographicHash::Sha256).toHex();
}
