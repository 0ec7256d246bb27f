#include "app/setup/erase_dialog.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace pellucor {

EraseCamBox::EraseCamBox(DialogContext& context, bool& confirmed, QWidget* parent)
    : SetupDialog(context, "frmEraseCamBox", parent), m_confirmed(confirmed)
{
    setWindowTitle(tr2("Caption", QStringLiteral("Erase")));
    // The question names the program between its two parts.
    auto* question = new QLabel(texts().message(1) + ' ' + QGuiApplication::applicationDisplayName() + ' ' +
                                    texts().message(2),
                                this);
    question->setObjectName("lblConfirmMSG");
    question->setWordWrap(true);
    QPushButton* confirm = makeButton("cmdConfirm", QStringLiteral("Confirm"));
    QPushButton* cancel = makeButton("cmdCancel", QStringLiteral("Cancel"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(question);
    layout->addLayout(okCancelRow(confirm, cancel));
    applyProgramFont();
    connect(confirm, &QPushButton::clicked, this, [this] {
        m_confirmed = true;
        accept();
    });
    connect(cancel, &QPushButton::clicked, this, [this] { reject(); });
}

bool confirmEraseSlot(DialogContext& context, QWidget* parent)
{
    bool confirmed = false;
    {
        EraseCamBox box(context, confirmed, parent);
        box.runModal();
    }
    return confirmed;
}

} // namespace pellucor
