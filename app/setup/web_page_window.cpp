#include "app/setup/web_page_window.h"

#include "app/core/app_state.h"
#include "app/core/engine.h"

#include <QAuthenticator>
#include <QFile>
#include <QKeyEvent>
#include <QVBoxLayout>
#include <QWebChannel>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineView>

namespace pellucor {

namespace {

constexpr int kRestartWaits = 5;
constexpr std::uint32_t kRestartWaitMs = 1000;

// In the page's own world: a script's form.submit() fires no submit event, so it first asks the
// hook (in its world of its own) through an event; the hook cancels the event when it sends the
// form itself.
const char* const kPageWorldScript = R"JS(
(function () {
    var send = HTMLFormElement.prototype.submit;
    HTMLFormElement.prototype.submit = function () {
        var ask = new CustomEvent('pellucor-form-submit', {bubbles: true, cancelable: true});
        if (this.dispatchEvent(ask))
            send.call(this);
    };
})();
)JS";

// In the hook's world (after qwebchannel.js): every form posted, by the user or by a script, is
// held back until the window has its address and fields, then sent as it would have been. Should
// the window not answer within five seconds, the form goes anyway. This world's DOM prototypes
// are its own, so the page's changes to them do not reach it.
const char* const kHookScript = R"JS(
(function () {
    var bridge = null, waiting = [];
    new QWebChannel(qt.webChannelTransport, function (channel) {
        bridge = channel.objects.bridge;
        waiting.splice(0).forEach(function (f) { f(); });
    });
    var form = HTMLFormElement.prototype;
    var nativeSubmit = form.submit;
    var actionOf = Object.getOwnPropertyDescriptor(form, 'action').get;
    var methodOf = Object.getOwnPropertyDescriptor(form, 'method').get;
    var override = ['action', 'method', 'enctype', 'target'];

    function attribute(element, name) {
        return element && element.hasAttribute(name) ? element.getAttribute(name) : null;
    }
    function encode(f, submitter) {
        var fields = new URLSearchParams();
        new FormData(f).forEach(function (value, name) {
            if (typeof value === 'string')
                fields.append(name, value);
        });
        if (submitter && submitter.name && submitter.type !== 'image')
            fields.append(submitter.name, submitter.value);
        return fields.toString();
    }
    // Sends `f` natively with what the button that submitted it adds: its name and value, and
    // its own action, method, encoding and target.
    function sendNatively(f, submitter) {
        var undo = [];
        if (submitter && submitter.name && submitter.type !== 'image') {
            var extra = document.createElement('input');
            extra.type = 'hidden';
            extra.name = submitter.name;
            extra.value = submitter.value;
            f.appendChild(extra);
            undo.push(function () { extra.remove(); });
        }
        override.forEach(function (name) {
            var value = attribute(submitter, 'form' + name);
            if (value === null)
                return;
            var old = attribute(f, name);
            f.setAttribute(name, value);
            undo.push(function () {
                if (old === null) f.removeAttribute(name); else f.setAttribute(name, old);
            });
        });
        nativeSubmit.call(f);
        undo.forEach(function (g) { g(); });
    }
    // True when `f` is posted and the hook has taken it over.
    function take(f, submitter) {
        var method = attribute(submitter, 'formmethod') || methodOf.call(f);
        if (String(method).toLowerCase() !== 'post')
            return false;
        var url = attribute(submitter, 'formaction') !== null ? submitter.formAction : actionOf.call(f);
        var body = encode(f, submitter);
        var sent = false;
        function go() {
            if (!sent) {
                sent = true;
                sendNatively(f, submitter);
            }
        }
        var fallback = setTimeout(go, 5000);
        function hand() {
            bridge.formPosted(String(url), body, function () { clearTimeout(fallback); go(); });
        }
        if (bridge) hand(); else waiting.push(hand);
        return true;
    }
    window.addEventListener('submit', function (ev) {
        if (ev.defaultPrevented || !(ev.target instanceof HTMLFormElement))
            return;
        if (take(ev.target, ev.submitter))
            ev.preventDefault();
    }, false);
    document.addEventListener('pellucor-form-submit', function (ev) {
        if (ev.target instanceof HTMLFormElement && take(ev.target, null))
            ev.preventDefault();
    }, true);
})();
)JS";

QWebEngineScript documentScript(const QString& name, const QString& source, quint32 world)
{
    QWebEngineScript script;
    script.setName(name);
    script.setSourceCode(source);
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setWorldId(world);
    script.setRunsOnSubFrames(true);
    return script;
}

QString webChannelLibrary()
{
    QFile file(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

} // namespace

bool WebFormBridge::formPosted(const QString& url, const QString& body)
{
    if (body.size() > kMaxBody)
        return false;
    const QByteArray u = url.toUtf8();
    const QByteArray b = body.toUtf8();
    const bool changed =
        applyPostedForm(std::string_view(u.constData(), static_cast<std::size_t>(u.size())),
                        std::string_view(b.constData(), static_cast<std::size_t>(b.size())), m_values);
    emit posted(url, body);
    return changed;
}

WebPageWindow::WebPageWindow(WebPageContext& context, int camera, WebPageValues& values, QWidget* parent)
    : SetupDialog(context, "frmWeb", parent), m_ctx(context), m_cam(camera), m_values(values)
{
    setObjectName("frmWeb");
    m_values = WebPageValues{};
    m_values.ipAddress = m_ctx.oldIPAddress;
    setWindowTitle(tr2("Caption", "Camera Web Page"));

    // No storage name: an off-the-record profile of this window alone.
    m_profile = new QWebEngineProfile(this);
    m_view = new QWebEngineView(this);
    m_view->setObjectName("WebBrowser1");
    auto* page = new QWebEnginePage(m_profile, m_view);
    m_view->setPage(page);
    m_bridge = new WebFormBridge(m_values, this);
    m_channel = new QWebChannel(this);
    m_channel->registerObject(QStringLiteral("bridge"), m_bridge);
    page->setWebChannel(m_channel, QWebEngineScript::ApplicationWorld);
    installHook();
    connect(page, &QWebEnginePage::authenticationRequired, this, &WebPageWindow::answerAuthentication);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    applyProgramFont();
}

WebPageWindow::~WebPageWindow()
{
    // The view takes its page along, before the profile goes.
    delete m_view;
}

void WebPageWindow::installHook()
{
    QWebEngineScriptCollection& scripts = m_view->page()->scripts();
    scripts.insert(documentScript(QStringLiteral("pellucor-submit"), QString::fromLatin1(kPageWorldScript),
                                  QWebEngineScript::MainWorld));
    scripts.insert(documentScript(QStringLiteral("pellucor-form-hook"),
                                  webChannelLibrary() + QString::fromLatin1(kHookScript),
                                  QWebEngineScript::ApplicationWorld));
}

void WebPageWindow::onActivate()
{
    if (!m_first)
        return;
    const int n = m_cam;
    const CamInfo& ci = state().cam(n);
    setWindowTitle(QStringLiteral("Cam%1     %2").arg(n).arg(QString::fromStdString(ci.ServerName)));
    const QString url =
        m_ctx.url.isEmpty()
            ? QStringLiteral("http://%1:%2").arg(QString::fromStdString(ci.IPAddress)).arg(ci.Port)
            : m_ctx.url;
    resize(640, 480);
    m_view->setUrl(QUrl(url));
    m_first = false;
}

// Answers each challenge once with the newest credentials known: those the pages posted, else the
// record's. A challenge that the same credentials have already failed goes to the page unanswered.
void WebPageWindow::answerAuthentication(const QUrl& url, QAuthenticator* authenticator)
{
    const CamInfo& ci = state().cam(m_cam);
    const std::string& user = m_values.cancelled ? ci.UserName : m_values.userName;
    const std::string& password = m_values.cancelled ? ci.Password : m_values.password;
    const QString offer = QString::fromStdString(user + '\n' + password);
    if (user.empty() || offer == m_lastOffer) {
        *authenticator = QAuthenticator(); // a null one turns the request down
        emit challengeAnswered(url, QString());
        return;
    }
    m_lastOffer = offer;
    authenticator->setUser(QString::fromStdString(user));
    authenticator->setPassword(QString::fromStdString(password));
    emit challengeAnswered(url, QString::fromStdString(user));
}

void WebPageWindow::onCancel()
{
    if (m_values.ipAddress != m_ctx.oldIPAddress)
        waitForRestart();
    QDialog::reject();
}

void WebPageWindow::waitForRestart()
{
    Busy busy(*this);
    for (int i = 0; i < kRestartWaits; ++i) {
        letEventsRun();
        pauseMs(kRestartWaitMs);
    }
    if (m_ctx.run)
        m_ctx.engine.CamStart(m_cam);
    for (int i = 0; i < kRestartWaits; ++i) {
        letEventsRun();
        pauseMs(kRestartWaitMs);
    }
}

// The window closes by its close box only; Esc belongs to the page.
void WebPageWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    SetupDialog::keyPressEvent(event);
}

WebPageValues runWebPage(WebPageContext& context, int camera, QWidget* owner)
{
    WebPageValues values;
    {
        WebPageWindow window(context, camera, values, owner);
        window.runModal();
    }
    return values;
}

} // namespace pellucor
