#pragma once

#include <QCheckBox>

// Case à cocher dont la légende revient à la ligne dans la place qui lui est
// donnée ; le texte de la case reste sa légende exacte.
class CaseACocherMultiligne : public QCheckBox
{
    Q_OBJECT
public:
    using QCheckBox::QCheckBox;

protected:
    void paintEvent(QPaintEvent* evenement) override;
    bool hitButton(const QPoint& position) const override;
};
