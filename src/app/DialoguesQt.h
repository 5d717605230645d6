#pragma once

#include "base/Dialogues.h"

#include <memory>

class QMessageBox;
class QWidget;

// Boîtes de message réelles. Le titre et le texte de chaque boîte sont aussi écrits
// sur la sortie d'erreur avant que la boîte ne s'ouvre. Sans écran (plate-forme
// offscreen), personne ne peut répondre : la boîte n'est pas ouverte et le bouton
// par défaut fait la réponse.
class DialoguesQt : public Dialogues
{
public:
    explicit DialoguesQt(QWidget* parent = nullptr) : m_parent(parent) {}
    void ChangeParent(QWidget* parent) { m_parent = parent; }

    void Message(Icone icone, const QString& titre, const QString& texte) override;
    Reponse QuestionOuiNon(Icone icone, const QString& titre, const QString& texte,
                           Reponse parDefaut) override;

    // La boîte Oui/Non telle qu'elle s'ouvre (boutons traduits par Qt, bouton par défaut).
    static std::unique_ptr<QMessageBox> CreeQuestion(Icone icone, const QString& titre, const QString& texte,
                                                     Reponse parDefaut, QWidget* parent);

private:
    QWidget* m_parent;
};
