// A scripted SMTP server on loopback for the tests of the SMTP client and the e-mail job. It
// runs the server side of a normal dialogue (greeting, EHLO, AUTH LOGIN, MAIL, RCPT, DATA, end
// of data, QUIT) and can be told to refuse one stage, drop the connection there, stall (say
// nothing until stopped), stay silent (say nothing to that stage but go on reading), or hold its
// answer until the test releases it. It records every line and every message it received, and
// how many sessions were opened. Started and stopped by the test; listens on 127.0.0.1 only.
#pragma once

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace mailtest {

class ScriptedSmtpServer
{
public:
    enum class Stage
    {
        None,
        Greeting,
        Ehlo, // EHLO and HELO
        AuthLogin,
        AuthUser,
        AuthPassword,
        Mail,
        Rcpt,
        Data,
        EndOfData,
        Quit,
    };
    enum class Failure
    {
        Refuse, // a 5xx reply (the greeting: 554)
        Drop,   // the connection is closed instead of a reply
        Stall,  // no reply at all until the server is stopped
        Silent, // no reply to that stage; later commands (QUIT) are still read and answered
        Hold,   // the normal reply, once release() is called
    };

    ScriptedSmtpServer()
    {
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = 0;
        const int one = 1;
        ::setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (::bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(m_listen, 8) != 0)
            throw std::runtime_error("scripted server: bind/listen");
        socklen_t len = sizeof a;
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &len);
        m_port = ntohs(a.sin_port);
    }
    ~ScriptedSmtpServer() { stop(); }

    // Configure before start().
    void failAt(Stage stage, Failure failure = Failure::Refuse)
    {
        m_failStage = stage;
        m_failure = failure;
    }
    void setEhloReply(std::string reply) { m_ehloReply = std::move(reply); }
    void setAuthLoginReply(std::string reply) { m_authLoginReply = std::move(reply); }
    void refuseEhloOnly() { m_refuseEhloOnly = true; }

    void start()
    {
        m_thread = std::thread([this] { run(); });
    }
    void stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_listen >= 0)
            ::close(m_listen);
        m_listen = -1;
    }

    // Lets a held stage answer.
    void release() { m_released = true; }

    int port() const { return m_port; }
    int sessions() const { return m_sessions.load(); }
    // Command lines received (without CR LF), in order, over all sessions.
    std::vector<std::string> commands() const
    {
        std::lock_guard lock(m_mutex);
        return m_commands;
    }
    // Raw DATA of every message received, as sent (dot-stuffed, up to and without ".\r\n").
    std::vector<std::string> messages() const
    {
        std::lock_guard lock(m_mutex);
        return m_messages;
    }

private:
    bool waitReadable(int fd, int ms)
    {
        pollfd p{fd, POLLIN, 0};
        return ::poll(&p, 1, ms) > 0;
    }

    void sendText(int fd, const std::string& text)
    {
        (void)::send(fd, text.data(), text.size(), MSG_NOSIGNAL);
    }

    // Reads one line through LF; false when the client closed or the server is stopped.
    bool readLine(int fd, std::string& buffer, std::string& line)
    {
        while (true) {
            const auto lf = buffer.find('\n');
            if (lf != std::string::npos) {
                line = buffer.substr(0, lf + 1);
                buffer.erase(0, lf + 1);
                return true;
            }
            // Once stopped, what the client sent before it closed is still read (the wait ends
            // at the close); a client that stays silent ends the session.
            if (!waitReadable(fd, m_stop ? 200 : 50)) {
                if (m_stop)
                    return false;
                continue;
            }
            char block[4096];
            const ssize_t n = ::recv(fd, block, sizeof block, 0);
            if (n <= 0)
                return false;
            buffer.append(block, static_cast<std::size_t>(n));
        }
    }

    // Acts on a failure at `stage`; true when the session must end.
    bool failHere(Stage stage, int fd, const std::string& refusal)
    {
        if (m_failStage != stage)
            return false;
        switch (m_failure) {
        case Failure::Refuse:
            sendText(fd, refusal);
            return stage == Stage::Greeting || stage == Stage::Quit;
        case Failure::Drop:
            return true;
        case Failure::Stall:
            while (!m_stop)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            return true;
        case Failure::Silent:
            return false; // the stage's reply is left out, since the stage is the failing one
        case Failure::Hold:
            while (!m_released && !m_stop)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            if (m_stop)
                return true;
            m_failStage = Stage::None; // from here on a normal dialogue
            return false;
        }
        return true;
    }

    void record(const std::string& line)
    {
        std::string text = line;
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        std::lock_guard lock(m_mutex);
        m_commands.push_back(text);
    }

    void session(int fd)
    {
        if (failHere(Stage::Greeting, fd, "554 no service\r\n"))
            return;
        sendText(fd, "220 scripted.test ESMTP ready\r\n");
        std::string buffer, line;
        enum class Auth
        {
            None,
            User,
            Password,
        } auth = Auth::None;
        while (readLine(fd, buffer, line)) {
            record(line);
            std::string verb = line.substr(0, line.find_first_of(" \r\n:"));
            for (auto& c : verb)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            if (auth == Auth::User) {
                if (failHere(Stage::AuthUser, fd, "535 bad user\r\n"))
                    return;
                if (m_failStage != Stage::AuthUser)
                    sendText(fd, "334 UGFzc3dvcmQ6\r\n");
                auth = m_failStage == Stage::AuthUser ? Auth::None : Auth::Password;
                continue;
            }
            if (auth == Auth::Password) {
                auth = Auth::None;
                if (failHere(Stage::AuthPassword, fd, "535 authentication failed\r\n"))
                    return;
                if (m_failStage != Stage::AuthPassword)
                    sendText(fd, "235 authenticated\r\n");
                continue;
            }
            if (verb == "EHLO") {
                if (m_refuseEhloOnly) {
                    sendText(fd, "500 say HELO\r\n");
                    continue;
                }
                if (failHere(Stage::Ehlo, fd, "550 go away\r\n"))
                    return;
                if (m_failStage != Stage::Ehlo)
                    sendText(fd, m_ehloReply);
            } else if (verb == "HELO") {
                if (failHere(Stage::Ehlo, fd, "550 go away\r\n"))
                    return;
                if (m_failStage != Stage::Ehlo)
                    sendText(fd, "250 scripted.test\r\n");
            } else if (verb == "AUTH") {
                if (failHere(Stage::AuthLogin, fd, m_authLoginReply))
                    return;
                if (m_failStage != Stage::AuthLogin) {
                    sendText(fd, "334 VXNlcm5hbWU6\r\n");
                    auth = Auth::User;
                }
            } else if (verb == "MAIL") {
                if (failHere(Stage::Mail, fd, "550 sender refused\r\n"))
                    return;
                if (m_failStage != Stage::Mail)
                    sendText(fd, "250 sender ok\r\n");
            } else if (verb == "RCPT") {
                if (failHere(Stage::Rcpt, fd, "550 no such user\r\n"))
                    return;
                if (m_failStage != Stage::Rcpt)
                    sendText(fd, "250 recipient ok\r\n");
            } else if (verb == "DATA") {
                if (failHere(Stage::Data, fd, "554 no data today\r\n"))
                    return;
                if (m_failStage == Stage::Data)
                    continue;
                sendText(fd, "354 go ahead\r\n");
                std::string data;
                bool ended = false;
                while (readLine(fd, buffer, line)) {
                    if (line == ".\r\n") {
                        ended = true;
                        break;
                    }
                    data += line;
                }
                {
                    std::lock_guard lock(m_mutex);
                    m_messages.push_back(data);
                }
                if (!ended)
                    return;
                if (failHere(Stage::EndOfData, fd, "554 message refused\r\n"))
                    return;
                if (m_failStage != Stage::EndOfData)
                    sendText(fd, "250 queued\r\n");
            } else if (verb == "QUIT") {
                if (failHere(Stage::Quit, fd, "500 no\r\n"))
                    return;
                sendText(fd, "221 bye\r\n");
                return;
            } else {
                sendText(fd, "502 unknown command\r\n");
            }
        }
    }

    void run()
    {
        while (!m_stop) {
            if (!waitReadable(m_listen, 50))
                continue;
            const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                continue;
            ++m_sessions;
            session(fd);
            ::close(fd);
        }
    }

    int m_listen = -1;
    int m_port = 0;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_released{false};
    std::atomic<int> m_sessions{0};
    Stage m_failStage = Stage::None;
    Failure m_failure = Failure::Refuse;
    std::string m_ehloReply = "250-scripted.test hello\r\n250-SIZE 1000000\r\n250 AUTH LOGIN PLAIN\r\n";
    std::string m_authLoginReply = "504 unrecognized authentication type\r\n";
    bool m_refuseEhloOnly = false;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_commands;
    std::vector<std::string> m_messages;
};

} // namespace mailtest
