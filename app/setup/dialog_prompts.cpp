#include "app/setup/dialog_prompts.h"

#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>

namespace pellucor {

QString qtFileFilter(std::string_view windowsFilter)
{
    const QString text =
        QString::fromUtf8(windowsFilter.data(), static_cast<qsizetype>(windowsFilter.size()));
    if (!text.contains('|'))
        return text;
    const QStringList parts = text.split('|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString name = parts[i].trimmed();
        QStringList patterns = parts[i + 1].split(';', Qt::SkipEmptyParts);
        for (QString& p : patterns) {
            p = p.trimmed();
            if (p == "*.*")
                p = "*";
        }
        const qsizetype open = name.lastIndexOf('(');
        if (open > 0 && name.endsWith(')'))
            name = name.left(open).trimmed();
        filters << name + " (" + patterns.join(' ') + ")";
    }
    return filters.join(";;");
}

Answer QtDialogPrompts::message(QWidget* owner, const QString& text, int style, const QString& title)
{
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (style & 0xF0) {
    case MsgStyle::Critical:
        icon = QMessageBox::Critical;
        break;
    case 32:
        icon = QMessageBox::Question;
        break;
    case MsgStyle::Exclamation:
        icon = QMessageBox::Warning;
        break;
    case MsgStyle::Information:
        icon = QMessageBox::Information;
        break;
    default:
        break;
    }
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    QMessageBox::StandardButton escape = QMessageBox::Ok;
    switch (style & 0x0F) {
    case MsgStyle::YesNoCancel:
        buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        escape = QMessageBox::Cancel;
        break;
    case 4:
        buttons = QMessageBox::Yes | QMessageBox::No;
        escape = QMessageBox::No;
        break;
    default:
        break;
    }
    QMessageBox box(icon, title.isEmpty() ? QGuiApplication::applicationDisplayName() : title, text, buttons,
                    owner);
    box.setDefaultButton(buttons.testFlag(QMessageBox::Yes) ? QMessageBox::Yes : QMessageBox::Ok);
    box.setEscapeButton(escape);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    case QMessageBox::Cancel:
        return Answer::Cancel;
    case QMessageBox::Ok:
        return Answer::Ok;
    default:
        break;
    }
    return escape == QMessageBox::Cancel ? Answer::Cancel
           : escape == QMessageBox::No   ? Answer::No
                                         : Answer::Ok;
}

QFileDialog* QtDialogPrompts::makeFileDialog(QWidget* owner, const FileDialogRequest& request, bool save)
{
    auto* dialog =
        new QFileDialog(owner, request.title, QString::fromStdString(request.initialFolder.string()),
                        qtFileFilter(request.filter.toStdString()));
    dialog->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // Open: an existing file only. Save: any name; Qt asks before it replaces a file.
    dialog->setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog->setOption(QFileDialog::DontConfirmOverwrite, false);
    if (!request.initialName.isEmpty())
        dialog->selectFile(request.initialName);
    return dialog;
}

namespace {

std::optional<std::filesystem::path> runFileDialog(QWidget* owner, const FileDialogRequest& request,
                                                   bool save)
{
    std::unique_ptr<QFileDialog> dialog(QtDialogPrompts::makeFileDialog(owner, request, save));
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
        return std::nullopt;
    return std::filesystem::path(dialog->selectedFiles().first().toStdString());
}

} // namespace

std::optional<std::filesystem::path> QtDialogPrompts::openFile(QWidget* owner,
                                                               const FileDialogRequest& request)
{
    return runFileDialog(owner, request, false);
}

std::optional<std::filesystem::path> QtDialogPrompts::saveFile(QWidget* owner,
                                                               const FileDialogRequest& request)
{
    return runFileDialog(owner, request, true);
}

} // namespace pellucor
