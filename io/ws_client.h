// CWSClient: the one socket client of the control module. A blocking TCP/UDP client over POSIX
// sockets with connect and receive time-outs, datagrams, line, block and marker-terminated
// receives, and transfers to and from data sources. The control holds a few of them, protocol
// workers build one on the stack for a single exchange, and the SMTP client derives from it.
//
// Results. Operations that can fail return one of the codes below (0 is success) and pass it
// through the virtual OnError first, so that a derived class can watch or translate errors.
// Receive operations that deliver bytes return byte counts instead and report failure by a short
// count; the connection stays open and the caller decides to close it.
//
// Threads. An object is used by one thread at a time, with one exception: any thread may call
// CloseConnection (or ResetWinsock) to end a blocking wait of the thread that uses the object.
// CloseConnection shuts the socket down, which wakes that thread at once (its receive returns 0
// or -1, a connect in progress fails); the descriptor itself is closed only when no operation of
// this object still uses it, so its number can never be reused under a running call. Code that
// needs a raw receive or send on the connection uses ReceiveDirect / SendDirect, which take the
// same care; GetSocket() hands out the bare number for option calls on the owning thread only.
//
// Sends never raise SIGPIPE: a peer that reset the connection makes the send fail instead.
// Host look-ups use getaddrinfo and are thread-safe. getaddrinfo can be neither cancelled nor
// given a time-out (a silent name server holds it for as long as the resolver's own settings
// say, often half a minute), so Connect and the other look-ups run it on a thread of its own and
// wait for it only as long as they may: Connect at most its time-out, and every waiter only
// until CloseConnection from another thread, IsAborted or the owner's look-up abort check
// (SetLookupAbort) ends the wait. A look-up given up on
// finishes on its own thread and touches nothing of the object. Only IPv4 (AF_INET) addresses
// are spoken.
#pragma once

#include "io/socket_primitives.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>

namespace tessivor {

class CDataSource;

class CWSClient : public CSocketPrimitives
{
public:
    // Result codes (0 is success).
    enum : int
    {
        WSC_OK = 0,
        WSC_SOCKET_CALL_FAILED = 1, // close, shutdown, option, accept, non-blocking switch, socket
                                    // creation; also a datagram larger than the receive buffer
        WSC_CONNECT_TIMEOUT = 5,
        WSC_HOST_NOT_FOUND = 7,
        WSC_NO_SOCKET = 15,
        WSC_ALREADY_OPEN = 16,
        WSC_SOCKET_NOT_CREATED = 17,
        WSC_BIND_FAILED = 18,
        WSC_CONNECT_FAILED = 19,
        WSC_RECEIVE_TIMEOUT = 20,
        WSC_RECEIVE_ERROR = 21,
        WSC_SEND_ERROR = 22,
        WSC_LISTEN_FAILED = 23,
        WSC_BAD_OPEN_MODE = 26,
        WSC_BUFFER_TOO_SMALL = 35,
        WSC_SOURCE_OPEN_FAILED = 81,
        WSC_SOURCE_SHORT_WRITE = 83,
        WSC_ABORTED = 98,
        WSC_LOOKUP_FAILED = 100,
    };

    // Marker kinds of ReceiveUntilMarker.
    enum : int
    {
        MARKER_NONE = 0,
        MARKER_HEADER_END = 1, // "\r\n\r\n"
        MARKER_HTTP = 2,       // "HTTP"
    };

    static constexpr int kAddressTextSize = 30;     // dotted peer address, with its terminator
    static constexpr int kDefaultTimeOutMs = 30000; // send and receive time-outs after connect
    static constexpr int kMaxEmptyReceives = 151;   // receive calls of ReceiveAll / marker reads
    static constexpr int kSendPiece = 255;          // block size of sends from a data source
    static constexpr int kReceivePiece = 256;       // block size of receives into a data source
    static constexpr int kFileBufferSize = 4096;    // read buffer of the file data source

    CWSClient();
    // Closes whatever is open. Do not destroy an object while another thread still uses it; one
    // with a notification window is destroyed on the thread that created the window.
    ~CWSClient() override;
    CWSClient(const CWSClient&) = delete;
    CWSClient& operator=(const CWSClient&) = delete;

    // ---- connection ----

    // TCP (or `type`) connection to `host`:`port`. A dotted address is used as it stands, a name
    // is looked up. timeoutSeconds >= 0 waits at most that long for the connection (5 when it
    // runs out); a refused or failed connection gives 19 at once; a negative time-out makes an
    // ordinary blocking connect. Then the stored receive and send time-outs are applied and
    // OnConnected is asked. 16 when a connection is open already, 100 when the name is unknown
    // or its look-up did not end within the time-out (at least a second) or was ended by
    // CloseConnection or IsAborted, 17 when no socket can be made.
    virtual int Connect(int port, const char* host, int timeoutSeconds, int family = AF_INET,
                        int type = SOCK_STREAM);
    // Blocking connect from a given local port and address: 16, 17, 18 (bind), 19 or 0.
    virtual int ConnectFromLocalPort(int localPort, int remotePort, const char* localAddress,
                                     const char* remoteAddress, int family = AF_INET, int type = SOCK_STREAM);
    // An unbound UDP socket for SendTo/ReceiveFrom towards `remoteAddress`:`remotePort` (the
    // system picks the local port at the first send; the two local arguments are not used).
    // "255.255.255.255" and dotted addresses are used as they stand, names are looked up (100).
    // Broadcasts need SetSocketOption(SO_BROADCAST, 1) from the caller. 16, 17 or 0.
    virtual int CreateUdpSocket(int localPort, int remotePort, const char* remoteAddress,
                                const char* localAddress);
    // socket(); 0, or 1 when it fails.
    virtual int CreateSocket(int* socket, int family, int type, int protocol);
    // Shuts down and closes the connection and the listening socket; clears the address text and
    // the three ports. Safe from another thread (see the top of this file). 1 when a shutdown
    // failed, else 0; the descriptor itself is closed once its last user has let go.
    virtual int CloseConnection();
    // A hidden notification window: OnAsyncSelect and the asynchronous look-ups report through it,
    // on the calling thread, when that thread pumps its control windows (messageLoop::pump).
    // 0, or 0 at once when the window exists already.
    virtual int CreateNotifyWindow(int instance = 0);
    // Listening socket on `port` (0: any) and `address` (empty: all): 16, 17, 18, 23 or 0.
    virtual int Listen(int port, int backlog, int family = AF_INET, const char* address = nullptr);
    // 0 when a connection is waiting within the time, else 1.
    virtual int WaitForAccept(int seconds);
    // Takes the waiting connection as the connection socket (a previous one is closed first);
    // 1 on failure, else OnConnected's result.
    virtual int AcceptConnection();

    // ---- sending ----

    // Sends a source that the caller opened already, in blocks of 255 bytes; the source stays
    // open. 15, 22, 98 or 0.
    virtual int SendFromOpenSource(CDataSource* source);
    // Opens the source for reading (81), sends it as above and closes it.
    virtual int SendFromSource(CDataSource* source);
    // One send; a length below 1 means the text length of `data`. Returns the bytes sent, 0 on
    // any error (never -1).
    virtual int Send(const void* data, int length);
    // Repeats Send on the rest until all is sent or a send fails; the bytes sent.
    virtual int SendAll(const void* data, int length);
    // Sends the text in pieces of at most pieceSize bytes, each followed by "\r\n", until all is
    // sent, a send fails or IsAborted. length < 0 means the text length. The text bytes sent.
    virtual int SendAsLines(const char* text, int length, int pieceSize);
    // Sends a file through a file data source with a 4096-byte buffer: as SendFromSource.
    virtual int SendFile(const char* fileName);
    // One datagram to the stored address and remote port; *length becomes the bytes sent.
    // 15, 22 or 0.
    virtual int SendTo(const void* data, int* length);
    // 0 when the connection socket is writable within the time, else 1.
    virtual int WaitForSend(int seconds, int microseconds);

    // ---- receiving ----

    // Receives into an open source up to its size (or `limit` when that is smaller and above 0);
    // the source stays open. 15, 20, 21, 83, 98 or 0.
    virtual int ReceiveToOpenSource(CDataSource* source, int timeoutSeconds, int limit);
    // Opens the source (mode 1 write, 2 append; else 26), receives until the peer closes or
    // `limit` bytes (when above 0) have come, and closes it. timeoutSeconds > 0 bounds each wait
    // (20). 15, 21, 81, 83, 98 or 0.
    virtual int ReceiveToSource(CDataSource* source, int mode, int timeoutSeconds, int limit);
    // One receive of at most `size` bytes. With a time-out of 1 to 32766 seconds it first waits
    // for data and returns 0 when none came. Returns the bytes received, 0 when the peer closed
    // (or the wait ran out), -1 on error or without a connection.
    virtual int Receive(void* buffer, int size, int timeoutSeconds);
    // Receives until `size` bytes have come, the peer closed, a receive failed, a wait of
    // timeoutSeconds (when 1 or more) ran out, or 151 receive calls were made. The bytes received.
    virtual int ReceiveAll(void* buffer, int size, int timeoutSeconds);
    // Receives one byte at a time until the marker of `kind` has arrived (it is searched only in
    // the bytes received), `size` bytes have come, the peer closed, a receive failed or a wait
    // ran out. Kind 0 has no marker and stops after the first receive. Nothing after the marker
    // is taken from the socket. The bytes received, marker included; no terminator is written.
    virtual int ReceiveUntilMarker(char* buffer, int size, int timeoutSeconds, int kind);
    // As ReceiveUntilMarker, but kind 0 reads up to 200 bytes at once and then byte by byte
    // until more than 200 bytes have come; an empty receive on a datagram socket pauses 50 ms.
    virtual int ReceiveUntilMarkerPaced(char* buffer, int size, int timeoutSeconds, int kind);
    // Receives into a file through a file data source with a 4096-byte buffer: as ReceiveToSource
    // (mode 1 creates the file anew, 2 appends).
    virtual int ReceiveToFile(const char* fileName, int mode, int timeoutSeconds, int limit);
    // Receives one text line through its "\n" without taking more from the socket: at most
    // size - 1 bytes, always terminated. Waits up to timeoutSeconds (when above 0) for data,
    // then up to 120 x 100 ms for bytes to be waiting; a line cut by the size is finished by the
    // next call. The bytes delivered (0 when nothing came). Writes a trace when it gives up.
    virtual int ReceiveTextLine(char* buffer, int size, int timeoutSeconds);
    // Drops whatever is waiting to be received; 0.
    virtual int ClearReceiveBuffer();
    // One datagram into `buffer`; *size is its capacity in and the bytes stored out. The sender
    // becomes the peer address. Waits up to timeoutSeconds (negative: no limit) for it: 20.
    // 15, 21 (also when the socket was closed during the wait), 1 when the datagram was larger
    // than the buffer (its first *size bytes are stored), else 0.
    virtual int ReceiveFrom(void* buffer, int* size, int timeoutSeconds);
    // 0 when the connection socket is readable within the time, else 1.
    virtual int WaitForReceive(int seconds, int microseconds);

    // ---- hooks ----

    // Every result code passes through here; the base returns it unchanged.
    virtual int OnError(int code);
    // Called after each block of a transfer with the bytes so far; false aborts it (98).
    virtual bool OnReceiveProgress(int bytes);
    virtual bool OnSendProgress(int bytes);
    virtual bool IsAborted();
    // A check asked with IsAborted while a connect waits for its name look-up: for an owner whose
    // stop request can come before the look-up has begun, where CloseConnection would find
    // nothing to end. Set before the object is used by another thread.
    void SetLookupAbort(std::function<bool()> check) { m_LookupAbort = std::move(check); }
    // Notification-window hooks (called on the window's thread); the base does nothing.
    // `event` is one FD_* bit, `error` an errno value or 0.
    virtual void OnAsyncSelect(int event, int error);
    virtual void OnAsyncHostByAddr(int error);
    virtual void OnAsyncHostByName(int error);

    // ---- settings and look-ups ----

    // SO_RCVTIMEO / SO_SNDTIMEO in milliseconds (0: no limit). Without a connection the value is
    // kept for the next one (0); with one it is kept only when the option call succeeds, and
    // the call's result (0 or -1) is returned.
    int SetReceiveTimeOut(int ms);
    int SetSendTimeOut(int ms);
    int GetReceiveTimeOut() const;
    int GetSendTimeOut() const;
    // O_NONBLOCK on the connection socket; 1 on failure (or without one), else 0.
    int SetNonBlocking(int on);
    int GetNonBlocking() const;
    // SO_SNDBUF / SO_RCVBUF; -1 on error. The setters return the call's result.
    int GetSendBufferSize();
    int GetReceiveBufferSize();
    int SetSendBufferSize(int bytes);
    int SetReceiveBufferSize(int bytes);
    // SOL_SOCKET options with int values on the connection socket; the call's result (-1 without
    // a socket).
    int SetSocketOption(int option, int value);
    int GetSocketOption(int option, int* value);

    // True when `text` is an IPv4 address in inet_addr's forms ("255.255.255.255" is not).
    static bool IsAddress(const char* text);
    // Looks up the part after the last "@" of `name` and writes its first IPv4 address as dotted
    // text: 7 when not found, 35 when the buffer cannot hold the text and its terminator.
    int GetAddressFromName(const char* name, char* buffer, int size);
    int GetNameFromAddress(const char* address, char* buffer, int size);
    // The host's own address (unless useSocket), else or on failure the local address of the
    // connection (1 without one); cut to size - 1 characters.
    int GetLocalAddress(char* buffer, int size, int useSocket);
    // False once the peer has closed or reset the connection, or without a connection.
    bool IsConnected();
    // Watches the connection socket (and the listening socket for FD_ACCEPT) for the FD_*
    // `events` and reports each through OnAsyncSelect: FD_READ when new data has come, FD_WRITE
    // and FD_CONNECT when the socket becomes writable, FD_OOB for urgent data, FD_CLOSE once when
    // the peer ends the connection. Makes the socket non-blocking; 0 events stop the watch.
    // 1 without a notification window or a connection.
    int AsyncSelect(long events);
    // Look-ups on a worker thread that answer through OnAsyncHostByAddr / OnAsyncHostByName
    // (error 0, or 7 when not found); the result is then GetLookupResult(). A name is taken after
    // its last "@". 1 when there is no notification window or a look-up is still running.
    int AsyncGetHostByAddr(const char* address);
    int AsyncGetHostByName(const char* name);
    // The dotted address or host name of the last asynchronous look-up.
    std::string GetLookupResult() const;
    // Forgets the sockets after closing them and clears the address text and ports; 0.
    int ResetWinsock();

    int GetRemotePort() const;
    int GetLocalPort() const;
    int GetListenPort() const;
    // The connection socket's number (-1 when none); see the top of this file.
    int GetSocket() const;
    bool IsDataWaitingNow();
    // The address of the peer as used by connect and datagrams (the last sender after ReceiveFrom).
    sockaddr_in GetPeerAddress() const;

    // recv / send on the connection socket with the given flags, guarded against a concurrent
    // CloseConnection; -1 without a connection. SendDirect never raises SIGPIPE.
    int ReceiveDirect(void* buffer, int size, int flags);
    int SendDirect(const void* data, int length, int flags);
    // What the connection holds now, up to `size` bytes, without waiting: the count, 0 when the
    // peer has closed, kNothingWaiting when nothing is there yet, -1 on an error or without a
    // connection. A reader that takes what is there first waits (and polls) only when it must.
    static constexpr int kNothingWaiting = -2;
    int ReceiveAvailable(void* buffer, int size);

    // Event bits of AsyncSelect and OnAsyncSelect.
    static constexpr long FD_READ = 0x01;
    static constexpr long FD_WRITE = 0x02;
    static constexpr long FD_OOB = 0x04;
    static constexpr long FD_ACCEPT = 0x08;
    static constexpr long FD_CONNECT = 0x10;
    static constexpr long FD_CLOSE = 0x20;
    // Messages of the notification window.
    static constexpr std::uint32_t WM_WSC_ATTACH = 1151;
    static constexpr std::uint32_t WM_WSC_SELECT = 1152;
    static constexpr std::uint32_t WM_WSC_HOSTBYADDR = 1153;
    static constexpr std::uint32_t WM_WSC_HOSTBYNAME = 1154;

private:
    struct SocketRef;
    struct NotifySupport;
    struct Lookup;
    using SocketPtr = std::shared_ptr<SocketRef>;

    SocketPtr useConnection() const;
    SocketPtr useListener() const;
    // Makes `fd` the connection socket unless one exists already (then false, fd untouched).
    SocketPtr adoptConnection(int fd, bool stream);
    // Records `address` (dotted text) and, when given, the peer's socket address; creates the
    // socket of that family and type and makes it the connection. It is registered before anything can block
    // on it, so that CloseConnection from another thread can end a wait. Null, with the error code
    // in `*error`, when the socket cannot be created or a connection exists already.
    SocketPtr openConnection(const char (&address)[kAddressTextSize], int family, int type,
                             const sockaddr_in* peer, int* error);
    // Forgets `s` as the connection socket if it still is; it closes when its last user lets go.
    void dropConnection(const SocketPtr& s);
    int closeSocket(SocketPtr s);
    // Looks up the part after the last "@" of `name` (see the top of this file): 0, 7 (not
    // found, or given up), or 35. timeoutSeconds >= 0 bounds the wait (at least one second).
    int resolve(const char* name, char* buffer, int size, int timeoutSeconds = -1);
    void applyTimeOuts(int fd);
    void recordPorts(int fd, int remotePort);
    int sendFromOpen(const SocketPtr& s, CDataSource* source);
    int receiveIntoOpen(const SocketPtr& s, CDataSource* source, int timeoutSeconds, long long cap);
    void watchEvents(long events);
    int startLookup(std::uint32_t message, std::string query, bool byName);
    int receiveMarked(char* buffer, int size, int timeoutSeconds, int kind, bool paced);

    mutable std::mutex m_Lock; // guards every field below
    int m_nRemotePort = 0;
    int m_nLocalPort = 0;
    int m_nListenPort = 0;
    std::array<char, kAddressTextSize> m_szAddress{};
    SocketPtr m_Socket;
    sockaddr_in m_PeerAddress{};
    SocketPtr m_ListenSocket;
    int m_bNonBlocking = 0;
    int m_nSendTimeOut = kDefaultTimeOutMs;
    int m_nReceiveTimeOut = kDefaultTimeOutMs;
    std::array<char, 1024> m_LookupBuffer{};
    std::shared_ptr<Lookup> m_PendingLookup; // the look-up resolve() waits for, if any
    std::function<bool()> m_LookupAbort;     // see SetLookupAbort
    std::unique_ptr<NotifySupport> m_Notify; // owned by the thread that created the window
};

} // namespace tessivor
