#include "app/settings/about_dialog.h"

#include "app/core/app_state.h"
#include "app/core/language_pack.h"
#include "app/core/open_file.h"
#include "app/settings/settings_context.h"
#include "app/skin/tool_set.h"

#include <QAction>
#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStandardPaths>
#include <QVBoxLayout>

namespace pellucor {

AboutDialog::AboutDialog(SettingsContext& context, AboutResult&, QWidget* parent)
    : SetupDialog(context, "frmAbout", parent), m_ctx(context)
{
    setObjectName("frmAbout");
    setWindowTitle(tr2("Caption", "About Pellucor SE"));

    auto* bar = new SkinToolBar(this);
    bar->setObjectName("tbr");
    if (const auto atb = languageFile(state(), ".atb"))
        bar->LoadToolSet(QString::fromStdString(atb->string()));
    // The pack's bar is the panel's; the About box shows only its version tool.
    bar->clear();
    if (QAction* version = bar->tool("ID_VERSION"))
        bar->addAction(version);
    connect(bar, &SkinToolBar::ToolClick, this, [this](const QString& id, int) { toolClicked(id); });

    auto* icon = new QLabel(this);
    icon->setObjectName("picIcon");
    icon->setPixmap(QApplication::windowIcon().pixmap(32, 32));
    const bool packTexts = texts().present();
    auto* title = new QLabel(packTexts && !state().texts.AppTitle.empty()
                                 ? QString::fromStdString(state().texts.AppTitle)
                                 : QString("Pellucor SE"),
                             this);
    title->setObjectName("lblTitle");
    QFont big = programFont(state());
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    auto* version = new QLabel(QString::fromStdString(state().ui.AboutVersion), this);
    version->setObjectName("lblVersion");
    auto* description =
        new QLabel(tr2("lblDescription", "Watches, records and manages network cameras."), this);
    description->setObjectName("lblDescription");
    description->setWordWrap(true);
    auto* disclaimer =
        new QLabel(tr2("lblDisclaimer", "This program is provided as is, without warranty."), this);
    disclaimer->setObjectName("lblDisclaimer");
    disclaimer->setWordWrap(true);
    auto* ok = makeButton("cmdOK", "OK");
    ok->setDefault(true);
    auto* sysInfo = makeButton("cmdSysInfo", "&System Info...");

    auto* grid = new QGridLayout;
    grid->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
    grid->addWidget(title, 0, 1);
    grid->addWidget(version, 1, 1);
    grid->addWidget(description, 2, 1);
    grid->addWidget(disclaimer, 3, 1);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(ok);
    buttons->addWidget(sysInfo);
    buttons->addStretch();
    grid->addLayout(buttons, 0, 2, 4, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(bar);
    layout->addLayout(grid);
    applyProgramFont();
    title->setFont(big);
    setMinimumWidth(440);

    connect(ok, &QPushButton::clicked, this, [this] {
        done(Accepted);
        letEventsRun();
    });
    connect(sysInfo, &QPushButton::clicked, this, &AboutDialog::StartSysInfo);
}

void AboutDialog::toolClicked(const QString& id)
{
    if (id == "ID_VERSION")
        showText(QString::fromStdString(state().ui.Version), MsgStyle::Plain);
}

void AboutDialog::StartSysInfo()
{
    std::optional<std::string> program;
    if (m_ctx.sysInfoProgram) {
        program = m_ctx.sysInfoProgram();
    } else {
        for (const char* name : {"hardinfo2", "hardinfo"}) {
            const QString found = QStandardPaths::findExecutable(name);
            if (!found.isEmpty()) {
                program = found.toStdString();
                break;
            }
        }
    }
    QtProgramStarter qtStarter;
    ProgramStarter& starter = m_ctx.starter ? *m_ctx.starter : qtStarter;
    if (!program || program->empty() || !starter.startDetached(*program, {}))
        showText("System Information Is Unavailable At This Time", MsgStyle::Plain);
}

} // namespace pellucor
