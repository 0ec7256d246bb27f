// The camera web page window in a real browser (Qt WebEngine) under an X server of the test's own,
// against form pages served on loopback by the test: posted forms reach the field parser before
// they are sent, and the panel's Web button updates the record and restarts the camera. Skipped
// with the reason when Xvfb or the browser cannot start.
#include "../imagelib/xvfb_server.h"
#include "../windows/panel_rig.h"
#include "dialog_test_support.h"

#include "app/settings/settings_context.h"
#include "app/setup/web_page_window.h"
#include "app/skin/ui_services.h"
#include "app/windows/program_dialogs.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <cstdlib>
#include <map>
#include <memory>

namespace {

using namespace pellucor;

// ---- an X server and the application for the whole program ----

// Empty when the display is up; else why it is not.
const std::string& displayProblem()
{
    static const std::string why = [] {
        static Xvfb xvfb("1024x768x24");
        if (xvfb.display().empty())
            return "no X server: " + xvfb.why();
        ::setenv("DISPLAY", xvfb.display().c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
        dialogtest::dialogApp();
        return std::string();
    }();
    return why;
}

// ---- a web server of camera pages on 127.0.0.1 ----

class PageServer : public QObject
{
public:
    struct Post
    {
        QByteArray path;
        QByteArray body;
    };

    PageServer()
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = m_server.nextPendingConnection()) {
                connect(s, &QTcpSocket::readyRead, this, [this, s] { serve(s); });
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }
    int port() const { return m_server.serverPort(); }

    std::map<QByteArray, QByteArray> pages; // path -> HTML
    std::vector<Post> posts;
    struct Request
    {
        QByteArray path;
        QByteArray authorization; // empty for none
    };

    // The Authorization of each request for `path`, in the order they came.
    std::vector<QByteArray> presentedFor(const QByteArray& path) const
    {
        std::vector<QByteArray> out;
        for (const Request& r : requests)
            if (r.path == path)
                out.push_back(r.authorization);
        return out;
    }

    QByteArray login; // "user:password" that pages want (Basic); none when empty
    std::vector<Request> requests;
    std::function<void(const Post&)> onPost;

private:
    void serve(QTcpSocket* s)
    {
        QByteArray& in = m_buffers[s];
        in += s->readAll();
        const int headEnd = in.indexOf("\r\n\r\n");
        if (headEnd < 0)
            return;
        const QList<QByteArray> lines = in.left(headEnd).split('\n');
        const QList<QByteArray> request = lines.value(0).trimmed().split(' ');
        qsizetype length = 0;
        QByteArray authorization;
        for (const QByteArray& line : lines) {
            if (line.toLower().startsWith("content-length:"))
                length = line.mid(15).trimmed().toLongLong();
            if (line.toLower().startsWith("authorization:"))
                authorization = line.mid(14).trimmed();
        }
        if (in.size() < headEnd + 4 + length)
            return;
        const QByteArray method = request.value(0);
        const QByteArray path = request.value(1);
        QByteArray reply = "<html><body><p>Not found</p></body></html>";
        QByteArray status = "404 Not Found";
        QByteArray extra;
        requests.push_back({path.split('?').value(0), authorization});
        if (!login.isEmpty() && authorization != "Basic " + login.toBase64()) {
            status = "401 Unauthorized";
            extra = "WWW-Authenticate: Basic realm=\"camera\"\r\n";
            reply = "<html><body><p>Who are you?</p></body></html>";
        } else if (method == "POST") {
            Post p{path, in.mid(headEnd + 4, length)};
            posts.push_back(p);
            if (onPost)
                onPost(p);
            status = "200 OK";
            reply = "<html><body><p>Saved</p></body></html>";
        } else if (auto it = pages.find(path.split('?').value(0)); it != pages.end()) {
            status = "200 OK";
            reply = it->second;
        }
        m_buffers.erase(s);
        s->write("HTTP/1.0 " + status + "\r\n" + extra +
                 "Content-Type: text/html; charset=utf-8\r\nContent-Length: " +
                 QByteArray::number(reply.size()) + "\r\nConnection: close\r\n\r\n" + reply);
        s->disconnectFromHost();
    }

    QTcpServer m_server;
    std::map<QTcpSocket*, QByteArray> m_buffers;
};

// The camera's system configuration page: its fields in the order the camera sends them, the
// assignment mode last.
const char* const kConfigPage = R"HTML(<html><head><title>System</title></head><body>
<h3>Camera system settings</h3>
<form name="sys" method="post" action="config1.htm">
<p>Name <input name="SRV_Name" value="Gate"> Location <input name="SRV_Location" value="Yard"></p>
<p>Administrator <input name="Sys_ID" value="admin"> Password <input type="password" name="Sys_Password" value="old">
Again <input type="password" name="Verify_Password" value="old"></p>
<p>Address <input name="IP_Address" value="127.0.0.1"> Mask <input name="Subnet_Mask" value="255.0.0.0"></p>
<p>Second port <input name="Second_Port" value="1"> Web <input name="Web_Second" value="8080">
Picture <input name="Image_Second" value="8481"><input type="hidden" name="Config1_flags" value="3"></p>
<p>Fixed address <input name="IP_ASSIGN" value="1"></p>
<p><input type="submit" id="save" name="Save" value="Apply"></p>
</form></body></html>)HTML";

// A user page: a search form that gets, a form whose own check refuses it, and the user form
// that the page's script sends.
const char* const kUserPage = R"HTML(<html><body>
<form id="find" method="get" action="find.htm"><input name="Sys_ID" value="x"></form>
<form id="refused" method="post" action="refused.cgi" onsubmit="return false;">
<input name="Sys_ID" value="refused"><input type="submit" id="refuse"></form>
<form id="user" method="post" action="user.cgi">
<input name="Sys_ID" value="viewer"><input name="Sys_Password" value="a+b c">
<input name="Second_Port" value="0"><input name="Web_Second" value="81"></form>
</body></html>)HTML";

// What the tests drive: a loaded window, the page's script, and the posts the window read.
struct PageDriver
{
    explicit PageDriver(WebPageWindow& w) : window(w)
    {
        auto* bridge = window.findChild<WebFormBridge*>();
        QObject::connect(bridge, &WebFormBridge::posted, &guard,
                         [this](const QString& url, const QString& body) {
                             read.push_back({url, body});
                             order.push_back("window");
                         });
        QObject::connect(&window, &WebPageWindow::challengeAnswered, &guard,
                         [this](const QUrl& url, const QString& user) {
                             answers.push_back({url.path(), user});
                         });
        QObject::connect(window.view(), &QWebEngineView::loadFinished, &guard,
                         [this](bool ok) { loads.push_back(ok); });
        QObject::connect(window.view()->page(), &QWebEnginePage::renderProcessTerminated, &guard,
                         [this](QWebEnginePage::RenderProcessTerminationStatus, int code) {
                             problem = "the page's process ended with " + std::to_string(code);
                         });
    }

    // Waits for the next page load; empty when it loaded, else what went wrong. `browserDown`
    // tells that the browser itself did not come up (no load at all, or its page process ended).
    std::string waitForLoad(bool* browserDown = nullptr)
    {
        const std::size_t before = loads.size();
        const bool loaded = waitUntil([&] { return loads.size() > before || !problem.empty(); }, 90000);
        if (browserDown)
            *browserDown = !loaded || !problem.empty();
        if (!loaded)
            return "no page loaded within 90 s";
        if (!problem.empty())
            return problem;
        return loads.back() ? "" : "the page did not load";
    }
    void script(const QString& js) { window.view()->page()->runJavaScript(js); }

    struct Read
    {
        QString url, body;
    };
    // How the window answered a page's authentication request: the user offered, empty for none.
    struct Answer
    {
        QString path, user;
    };
    QObject guard; // ends the connections with the driver
    WebPageWindow& window;
    std::vector<Read> read;
    std::vector<Answer> answers;
    std::vector<std::string> order; // "window" for a post read, "server" for one received
    std::vector<bool> loads;
    std::string problem;
};

// Shows `window` and waits for its first page; the test is skipped when the browser does not
// come up at all, and fails when the page does not load.
void openFirstPage(WebPageWindow& window, PageDriver& page)
{
    window.show();
    bool browserDown = false;
    if (const std::string why = page.waitForLoad(&browserDown); !why.empty()) {
        if (browserDown)
            GTEST_SKIP() << "the browser did not start: " << why;
        FAIL() << why;
    }
}

// A window's context over an engine with fake cameras: waits are counted, not waited.
struct WindowRig
{
    explicit WindowRig(const std::string& path)
        : engine(home.state, 1000), context(home.state, *engine.engine)
    {
        server.pages[QByteArray::fromStdString(path)] = kUserPage;
        server.pages["/find.htm"] = "<html><body><p>Found</p></body></html>";
        server.onPost = [this](const PageServer::Post&) {
            if (page)
                page->order.push_back("server");
        };
        CamInfo& ci = home.state.cam(1);
        ci.IPAddress = "127.0.0.1";
        ci.Port = server.port();
        ci.ServerName = "Gate";
        context.pause = [this](std::uint32_t ms) { pausedMs += ms; };
        context.run = true;
        context.oldIPAddress = "127.0.0.1";
        context.url =
            QStringLiteral("http://127.0.0.1:%1%2").arg(server.port()).arg(QString::fromStdString(path));
    }
    // Opens the window on the page; see openFirstPage.
    void open()
    {
        window = std::make_unique<WebPageWindow>(context, 1, values, nullptr);
        page = std::make_unique<PageDriver>(*window);
        openFirstPage(*window, *page);
    }
    std::size_t starts() const
    {
        return static_cast<std::size_t>(
            std::count(engine.trace.lines.begin(), engine.trace.lines.end(), "Cam(1).Run()"));
    }

    dialogtest::TestHome home;
    enginetest::EngineRig engine;
    WebPageContext context;
    PageServer server;
    std::uint64_t pausedMs = 0;
    WebPageValues values;
    std::unique_ptr<WebPageWindow> window;
    std::unique_ptr<PageDriver> page;
};

class WebPageWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (const std::string& why = displayProblem(); !why.empty())
            GTEST_SKIP() << why;
    }
};

bool hasDarkPixels(const QImage& image)
{
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2)
            if (qGray(image.pixel(x, y)) < 96)
                return true;
    return false;
}

// Saves a picture of the window once the page's text is drawn (the load ends before the first
// paint); false when nothing was drawn or the file could not be written.
bool saveWindowPicture(QWidget& window, const std::string& name)
{
    QImage picture;
    if (!waitUntil([&] { return hasDarkPixels(picture = window.grab().toImage()); }, 30000))
        return false;
    const auto folder = std::filesystem::path(TESSIVOR_BINARY_DIR) / "test-output" / "setup";
    std::filesystem::create_directories(folder);
    return picture.save(QString::fromStdString((folder / name).string()), "PNG");
}

} // namespace

// The panel's Web button on a connected camera: the configuration page posts a new address and a
// password holding "&"; the window reads the fields before the camera receives them, waits for
// the camera's restart and starts it; the panel then takes the address and credentials into the
// record and starts the camera once more.
TEST_F(WebPageWindowTest, PanelWebButtonTakesThePostedSettingsIntoTheRecord)
{
    PageServer server;
    server.pages["/"] = kConfigPage;
    paneltest::PanelRig rig([&](AppState& s) {
        paneltest::assignCamera(s.cam(1), "127.0.0.1", "Gate", false);
        s.cam(1).Port = server.port();
        s.cam(1).UserName = "admin";
        s.cam(1).Password = "old";
    });
    rig.state.CamConfOn = true;
    ASSERT_TRUE(rig.state.cam(1).Enable);

    QtUiServices ui;
    ProgramDialogs dialogs(ui);
    SettingsContext settings(rig.state, *rig.engine);
    std::uint64_t pausedMs = 0;
    settings.pause = [&](std::uint32_t ms) { pausedMs += ms; };
    dialogs.setSettings(&settings);

    std::vector<std::string> order;
    server.onPost = [&](const PageServer::Post&) { order.push_back("server"); };
    std::string failure;
    bool browserDown = false;
    std::vector<PageDriver::Read> read;
    std::size_t startsBeforeClose = 0, startsAtClose = 0;
    bool pictureSaved = false;
    QString title;
    rig.dialogs.onWeb = [&](const WebRequest& r) {
        // Acts on the window once it is up, inside its modal loop.
        QTimer::singleShot(0, [&] {
            WebPageWindow* window = nullptr;
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* found = qobject_cast<WebPageWindow*>(w); found && found->isVisible())
                    window = found;
            if (!window) {
                failure = "no web page window";
                return;
            }
            PageDriver page(*window);
            failure = page.waitForLoad(&browserDown);
            if (!failure.empty()) {
                window->close();
                return;
            }
            title = window->windowTitle();
            pictureSaved = saveWindowPicture(*window, "web_page_window.png");
            page.script("var f = document.forms.sys; f.SRV_Name.value = 'Gate west';"
                        "f.Sys_Password.value = 'p&ss w%26rd'; f.Verify_Password.value = 'p&ss w%26rd';"
                        "f.IP_Address.value = '127.0.0.2'; document.getElementById('save').click();");
            if (!waitUntil([&] { return !server.posts.empty() && !page.read.empty(); }, 60000))
                failure = "the form did not arrive";
            order.insert(order.begin(), page.order.begin(), page.order.end());
            read = page.read;
            startsBeforeClose = rig.countSince(0, "Cam(1).Run()");
            window->close(); // the close box
            startsAtClose = rig.countSince(0, "Cam(1).Run()");
        });
        return dialogs.web(r);
    };
    rig.click("Web");

    if (browserDown)
        GTEST_SKIP() << "the browser did not start: " << failure;
    ASSERT_EQ(failure, "");
    EXPECT_EQ(title, "Cam1     Gate");
    EXPECT_TRUE(pictureSaved);
    ASSERT_EQ(server.posts.size(), 1u);
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(server.posts[0].path, "/config1.htm");
    EXPECT_EQ(read[0].url, QStringLiteral("http://127.0.0.1:%1/config1.htm").arg(server.port()));
    // The camera received exactly what the window read, and after it.
    EXPECT_EQ(read[0].body.toUtf8(), server.posts[0].body);
    EXPECT_TRUE(server.posts[0].body.contains("Sys_Password=p%26ss+w%2526rd&"))
        << server.posts[0].body.toStdString();
    EXPECT_TRUE(server.posts[0].body.endsWith("&IP_ASSIGN=1&Save=Apply"))
        << server.posts[0].body.toStdString();
    EXPECT_EQ(order, (std::vector<std::string>{"window", "server"}));

    // Closing waited ten seconds around the window's own start; the panel started it once more.
    EXPECT_EQ(pausedMs, 10000u);
    EXPECT_EQ(startsAtClose - startsBeforeClose, 1u);
    EXPECT_EQ(rig.countSince(0, "Cam(1).Run()"), startsAtClose + 1);
    const CamInfo& ci = rig.state.cam(1);
    EXPECT_EQ(ci.IPAddress, "127.0.0.2");
    EXPECT_EQ(ci.UserName, "admin");
    EXPECT_EQ(ci.Password, "p&ss w%26rd");
    EXPECT_EQ(ci.ServerName, "Gate west");
    // The control was given the new address and password before that last start, so the camera
    // reconnects where it now is.
    const std::string trace = rig.traceSince(0);
    const std::size_t newHost = trace.rfind("Cam(1).RemoteHost = \"127.0.0.2\"");
    ASSERT_NE(newHost, std::string::npos) << trace;
    EXPECT_LT(newHost, trace.rfind("Cam(1).Run()"));
}

// A script's form.submit() on a page other than the configuration page: the user, password and
// ports are read, the address stays, so closing neither waits nor restarts. A form that gets and
// one that its own check refuses are neither read nor sent.
TEST_F(WebPageWindowTest, ScriptSubmittedFormIsReadAndKeepsTheAddress)
{
    WindowRig rig("/user.htm");
    rig.open();
    if (IsSkipped() || HasFailure())
        return;
    WebPageWindow& window = *rig.window;
    PageDriver& page = *rig.page;
    const WebPageValues& values = rig.values;

    page.script("document.getElementById('refuse').click(); document.forms.find.submit();");
    ASSERT_EQ(page.waitForLoad(), ""); // the search page
    ASSERT_TRUE(page.read.empty());
    EXPECT_TRUE(rig.server.posts.empty());

    window.view()->setUrl(QUrl(rig.context.url));
    ASSERT_EQ(page.waitForLoad(), "");
    page.script("document.forms.user.submit();");
    ASSERT_TRUE(waitUntil([&] { return !rig.server.posts.empty(); }, 60000));
    ASSERT_EQ(page.read.size(), 1u);
    EXPECT_EQ(rig.server.posts.size(), 1u);
    EXPECT_EQ(rig.server.posts[0].path, "/user.cgi");
    EXPECT_EQ(rig.server.posts[0].body, "Sys_ID=viewer&Sys_Password=a%2Bb+c&Second_Port=0&Web_Second=81");
    EXPECT_EQ(page.read[0].body.toUtf8(), rig.server.posts[0].body);
    EXPECT_EQ(page.order, (std::vector<std::string>{"window", "server"}));
    EXPECT_FALSE(values.cancelled);
    EXPECT_EQ(values.userName, "viewer");
    EXPECT_EQ(values.password, "a+b c");
    EXPECT_EQ(values.ipAddress, "127.0.0.1");
    EXPECT_EQ(values.webSecond, 81);

    window.close(); // the close box
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(rig.pausedMs, 0u);
    EXPECT_EQ(rig.starts(), 0u);
}

// Closing without a post: the values say cancelled, and nothing waits or starts.
TEST_F(WebPageWindowTest, ClosingWithoutAPostChangesNothing)
{
    WindowRig rig("/user.htm");
    rig.values.userName = "left over";
    rig.open();
    if (IsSkipped() || HasFailure())
        return;
    rig.window->close(); // the close box
    EXPECT_TRUE(rig.values.cancelled);
    EXPECT_EQ(rig.values.userName, "");
    EXPECT_EQ(rig.values.ipAddress, "127.0.0.1");
    EXPECT_EQ(rig.pausedMs, 0u);
    EXPECT_EQ(rig.starts(), 0u);
}

// A page that wants a login gets the record's credentials, offered once by the window; once they
// fail, the window turns the page's requests down (the page says so instead of asking without
// end). What the browser then repeats on its own (the cached login with the page's icon) is the
// browser's: the window's answers and the page's own requests are what count.
TEST_F(WebPageWindowTest, LoginIsAnsweredWithTheRecordsCredentialsOnce)
{
    WindowRig rig("/user.htm");
    rig.server.login = "admin:old";
    rig.home.state.cam(1).UserName = "admin";
    rig.home.state.cam(1).Password = "old";
    rig.open();
    if (IsSkipped() || HasFailure())
        return;
    WebPageWindow& window = *rig.window;
    PageDriver& page = *rig.page;
    const QByteArray good = "Basic " + QByteArray("admin:old").toBase64();
    // Users the window offered to the page's own challenges, empty for turned down.
    auto pageAnswers = [&] {
        std::vector<std::string> users;
        for (const PageDriver::Answer& a : page.answers)
            if (a.path == "/user.htm")
                users.push_back(a.user.toStdString());
        return users;
    };
    EXPECT_EQ(pageAnswers(), (std::vector<std::string>{"admin"}));
    // The page was asked for without a login, and once more with the one the window gave.
    EXPECT_EQ(rig.server.presentedFor("/user.htm"), (std::vector<QByteArray>{"", good}));

    rig.server.login = "admin:new";
    const std::size_t asked = rig.server.presentedFor("/user.htm").size();
    window.view()->reload();
    bool down = false;
    page.waitForLoad(&down);
    ASSERT_FALSE(down);
    // The refused login brought the window one more challenge for the page, which it turned
    // down; it offered nothing to any challenge after its one answer.
    EXPECT_EQ(pageAnswers(), (std::vector<std::string>{"admin", ""}));
    for (std::size_t i = 1; i < page.answers.size(); ++i)
        EXPECT_EQ(page.answers[i].user.toStdString(), "")
            << "answer " << i << " for " << page.answers[i].path.toStdString();
    // The page itself was asked for once more, and not again after the window's refusal. Whether
    // that request carried the cached login is up to the browser; nothing else was ever sent.
    const std::vector<QByteArray> presented = rig.server.presentedFor("/user.htm");
    ASSERT_EQ(presented.size(), asked + 1);
    EXPECT_TRUE(presented.back().isEmpty() || presented.back() == good) << presented.back().toStdString();
    for (const PageServer::Request& r : rig.server.requests)
        EXPECT_TRUE(r.authorization.isEmpty() || r.authorization == good)
            << r.path.toStdString() << ": " << r.authorization.toStdString();
    // The text comes back later; it is held by the callback too, should the window go first.
    auto text = std::make_shared<QString>();
    EXPECT_TRUE(waitUntil(
        [&] {
            window.view()->page()->toPlainText([text](const QString& t) { *text = t; });
            return text->contains("Who are you?");
        },
        30000))
        << text->toStdString();
    window.close();
}

// A post larger than the window reads is left alone (no browser needed).
TEST(WebFormBridge, OversizedBodyIsNotRead)
{
    WebPageValues values;
    WebFormBridge bridge(values);
    const QString tail = QStringLiteral("&Sys_ID=x");
    EXPECT_FALSE(bridge.formPosted("http://127.0.0.1/user.cgi",
                                   QString(WebFormBridge::kMaxBody, QLatin1Char('a')) + tail));
    EXPECT_TRUE(values.cancelled);
    EXPECT_EQ(values.userName, "");
    EXPECT_TRUE(bridge.formPosted("http://127.0.0.1/user.cgi", QStringLiteral("a=1") + tail));
    EXPECT_EQ(values.userName, "x");
}

// What the panel learns from the window's values (no browser needed).
TEST(WebPageResult, FlagsAndPortsFromThePostedValues)
{
    WebPageValues v;
    v.cancelled = false;
    v.serverName = "Gate";
    v.ipAddress = "10.0.0.9";
    v.ipAssign = 1;
    v.secondPort = 1;
    v.webSecond = 8080;
    v.imageSecond = 8481;
    WebResult r = webResultFrom(v);
    EXPECT_FALSE(r.Cancelled);
    EXPECT_EQ(r.name, "Gate");
    EXPECT_EQ(r.address, "10.0.0.9");
    EXPECT_EQ(r.addressFlag, 1);
    EXPECT_EQ(r.portFlag, 1);
    EXPECT_EQ(r.port1, 8080);
    EXPECT_EQ(r.port2, 8481);
    // Numbers beyond 16 bits are held at the limits: 65537 is no 1.
    v.ipAssign = 65537;
    v.secondPort = -65536;
    r = webResultFrom(v);
    EXPECT_EQ(r.addressFlag, INT16_MAX);
    EXPECT_EQ(r.portFlag, INT16_MIN);
    EXPECT_TRUE(webResultFrom(WebPageValues{}).Cancelled);
}
