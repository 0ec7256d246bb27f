// The message boxes and file dialogs that the setup and settings dialogs show.
//
// Message boxes take the windows' style numbers: the low four bits choose the buttons (0 OK,
// 3 Yes/No/Cancel, 4 Yes/No), the next four the icon (16 critical, 32 question, 48 exclamation,
// 64 information). The common ones are named in MsgStyle. Every box carries the application
// title unless the caller names another.
//
// File dialogs take the windows' filter texts ("Name (*.x)|*.x|Any File (*.*)|*.*"), converted
// by qtFileFilter. An open dialog accepts only an existing file; a save dialog accepts a new name
// and asks before it replaces an existing file.
//
// DialogPrompts is the seam that tests replace with scripted answers. UI thread only.
#pragma once

#include <QString>

#include <filesystem>
#include <optional>
#include <string_view>

class QFileDialog;
class QWidget;

namespace pellucor {

namespace MsgStyle {
inline constexpr int Plain = 0;
inline constexpr int YesNoCancel = 3;
inline constexpr int Critical = 16;
inline constexpr int Exclamation = 48;
inline constexpr int YesNoExclamation = 52;
inline constexpr int Information = 64;
} // namespace MsgStyle

enum class Answer
{
    Ok = 1,
    Cancel = 2,
    Yes = 6,
    No = 7,
};

struct FileDialogRequest
{
    QString title;
    QString filter; // the windows' form, "Name (*.x)|*.x|..."
    std::filesystem::path initialFolder;
    QString initialName;
};

// "Programs (*.exe)|*.exe|Any File (*.*)|*.*" -> "Programs (*.exe);;Any File (*)". Each pair's
// pattern list replaces the one in the description, so the dialog filters by what the pair says;
// "*.*" means every file. A text without '|' is one filter as it stands.
QString qtFileFilter(std::string_view windowsFilter);

class DialogPrompts
{
public:
    virtual ~DialogPrompts() = default;
    // Shows a modal box owned by `owner`; an empty title means the application's title. The
    // close box of a box with Cancel answers Cancel; of a Yes/No box No; of any other box OK.
    virtual Answer message(QWidget* owner, const QString& text, int style, const QString& title = {}) = 0;
    // The chosen file, or nothing when the user cancelled.
    virtual std::optional<std::filesystem::path> openFile(QWidget* owner,
                                                          const FileDialogRequest& request) = 0;
    virtual std::optional<std::filesystem::path> saveFile(QWidget* owner,
                                                          const FileDialogRequest& request) = 0;
};

class QtDialogPrompts : public DialogPrompts
{
public:
    Answer message(QWidget* owner, const QString& text, int style, const QString& title = {}) override;
    std::optional<std::filesystem::path> openFile(QWidget* owner, const FileDialogRequest& request) override;
    std::optional<std::filesystem::path> saveFile(QWidget* owner, const FileDialogRequest& request) override;

    // The file dialog as openFile and saveFile set it up (the caller owns it).
    static QFileDialog* makeFileDialog(QWidget* owner, const FileDialogRequest& request, bool save);
};

} // namespace pellucor
