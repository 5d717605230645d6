#pragma once

#include <QString>
#include <QTemporaryDir>

// Une installation privée comme la prépare le programme hôte : un dossier racine,
// un dossier de réglages (XDG_CONFIG_HOME) portant BaseFicDefaut, et une base de
// paramètres SQLite avec sa table vide.
class InstallationEssai
{
public:
    InstallationEssai();
    ~InstallationEssai();

    bool Valide() const { return m_dossier.isValid(); }
    QString Chemin(const QString& relatif = QString()) const;
    QString Racine() const { return Chemin(QStringLiteral("racine/")); }
    QString Base() const { return m_base; }
    QString DossierReglages() const { return Chemin(QStringLiteral("reglages")); }

    // Écrit le réglage (vide : fichier de réglages sans la clé).
    void EcritReglage(const QString& baseFic);
    // Crée la base (nomFichier sous le dossier) avec la table vide ; rend son chemin.
    QString CreeBase(const QString& nomFichier = QStringLiteral("parametres.db"));
    // Exécute une requête SQL sur la base (pour préparer une ligne, un déclencheur…).
    bool Execute(const QString& sql);
    // Valeur d'une clé dans la base ("<absente>" si la ligne manque, "<null>" si Null).
    QString Valeur(const QString& cle);
    int NombreLignes();

private:
    QTemporaryDir m_dossier;
    QString m_base;
};
