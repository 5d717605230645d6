#include "DialoguesQt.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <cstdio>

namespace {
QMessageBox::Icon IconeQt(Dialogues::Icone icone)
{
    switch (icone) {
    case Dialogues::Icone::Critique: return QMessageBox::Critical;
    case Dialogues::Icone::Exclamation: return QMessageBox::Warning;
    case Dialogues::Icone::Information: return QMessageBox::Information;
    }
    return QMessageBox::NoIcon;
}

// Les textes du programme séparent leurs paragraphes par CR ; Qt veut des LF.
QString Lignes(QString texte)
{
    texte.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    texte.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return texte;
}

void EcritSurErreur(const QString& titre, const QString& texte)
{
    const QByteArray sortie = (QStringLiteral("[%1] %2\n").arg(titre, Lignes(texte))).toUtf8();
    std::fwrite(sortie.constData(), 1, size_t(sortie.size()), stderr);
    std::fflush(stderr);
}

bool SansEcran()
{
    return QGuiApplication::platformName() == QLatin1String("offscreen")
        || QGuiApplication::platformName() == QLatin1String("minimal");
}
} // namespace

void DialoguesQt::Message(Icone icone, const QString& titre, const QString& texte)
{
    EcritSurErreur(titre, texte);
    if (SansEcran())
        return;
    QMessageBox boite(IconeQt(icone), titre, Lignes(texte), QMessageBox::Ok, m_parent);
    boite.exec();
}

Dialogues::Reponse DialoguesQt::QuestionOuiNon(Icone icone, const QString& titre, const QString& texte,
                                               Reponse parDefaut)
{
    EcritSurErreur(titre, texte);
    if (SansEcran())
        return parDefaut;
    const auto boite = CreeQuestion(icone, titre, texte, parDefaut, m_parent);
    return boite->exec() == QMessageBox::Yes ? Reponse::Oui : Reponse::Non;
}

std::unique_ptr<QMessageBox> DialoguesQt::CreeQuestion(Icone icone, const QString& titre, const QString& texte,
                                                       Reponse parDefaut, QWidget* parent)
{
    auto boite = std::make_unique<QMessageBox>(IconeQt(icone), titre, Lignes(texte),
                                               QMessageBox::Yes | QMessageBox::No, parent);
    boite->setDefaultButton(parDefaut == Reponse::Oui ? QMessageBox::Yes : QMessageBox::No);
    return boite;
}
