// The camera web page window (frmWeb): the current camera's own pages in an embedded browser (Qt
// WebEngine), so that the user can set the camera up in its built-in pages.
//
// Every form that a page posts is read before it is sent: a script put into each document when it
// is created (in a world of its own, apart from the page's scripts) holds the form back, hands its
// fields, encoded as application/x-www-form-urlencoded, and the address the form posts to, to the
// window through a web channel, and sends the form on once the window has them. The window keeps
// the values that the camera record also holds (applyPostedForm). When the window closes after the
// camera was given another address, it waits for the camera to restart and, when its opener asks,
// starts the camera's engine again (five one-second waits before and after).
//
// Browsing is off the record: no cookies, credentials or cache reach the disk. An authentication
// request of a page is answered with the newest credentials known (those posted, else the
// record's), each once.
//
// UI thread only.
#pragma once

#include "app/setup/setup_dialog.h"
#include "app/setup/web_page_fields.h"

#include <QObject>
#include <QString>
#include <QUrl>

#include <cstdint>
#include <string>

class QAuthenticator;
class QKeyEvent;
class QWebChannel;
class QWebEngineProfile;
class QWebEngineView;

namespace pellucor {

class Engine;

struct WebPageContext : DialogContext
{
    WebPageContext(AppState& s, Engine& e) : DialogContext(s), engine(e) {}

    Engine& engine;
    // Set by the opener: start the camera's engine again after an address change (the camera was
    // connected when the page was opened).
    bool run = false;
    // The camera's address before the window opened.
    std::string oldIPAddress;
    // The page to open; "http://" + the record's address + ":" + its port when empty.
    QString url;
};

// Receives the posted forms from the pages' script (its one invokable member is all the pages can
// reach). Bodies longer than kMaxBody bytes are not read.
class WebFormBridge : public QObject
{
    Q_OBJECT

public:
    static constexpr int kMaxBody = 1 << 20;

    explicit WebFormBridge(WebPageValues& values, QObject* parent = nullptr)
        : QObject(parent), m_values(values)
    {
    }

    // A form is about to be posted to `url` with `body`; true when it changed the kept values.
    Q_INVOKABLE bool formPosted(const QString& url, const QString& body);

signals:
    // Every post read, whether it changed the values or not.
    void posted(const QString& url, const QString& body);

private:
    WebPageValues& m_values;
};

class WebPageWindow : public SetupDialog
{
    Q_OBJECT

public:
    // The pages of camera `camera` (1 to 4).
    WebPageWindow(WebPageContext& context, int camera, WebPageValues& values, QWidget* parent);
    ~WebPageWindow() override;

    QWebEngineView* view() const { return m_view; }

signals:
    // A page's authentication request for `url` was answered with `user`'s credentials, or
    // turned down when `user` is empty.
    void challengeAnswered(const QUrl& url, const QString& user);

protected:
    void onActivate() override;
    void onCancel() override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void installHook();
    void answerAuthentication(const QUrl& url, QAuthenticator* authenticator);
    void waitForRestart();

    WebPageContext& m_ctx;
    int m_cam;
    WebPageValues& m_values;
    QWebEngineProfile* m_profile = nullptr;
    QWebEngineView* m_view = nullptr;
    QWebChannel* m_channel = nullptr;
    WebFormBridge* m_bridge = nullptr;
    bool m_first = true;
    QString m_lastOffer; // the credentials last given to a challenge
};

// Opens the window modally over `owner` for camera `camera` and returns what the pages posted.
WebPageValues runWebPage(WebPageContext& context, int camera, QWidget* owner);

} // namespace pellucor
